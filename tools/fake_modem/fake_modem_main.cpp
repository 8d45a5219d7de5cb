// A fake Hayes modem for trying the program without one: prints the device path to give the
// program (ABONEX_MODEM=<path>), then every command it receives, until it is interrupted.
// Lines typed on its standard input make it ring (see kControlHelp); in the background, where
// it may not read the terminal, it only answers.
//
//   build/tools/fake_modem/fake_hayes_modem [--dial-delay MS] [--dial-reply TEXT]
//                                           [--rings N] [--ring-interval MS]
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/fake_modem/fake_modem.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

constexpr char kUsage[] =
    "usage: %s [--dial-delay MS] [--dial-reply TEXT] [--rings N] [--ring-interval MS]\n";
constexpr char kControlHelp[] =
    "ring NUMBER [NAME]        rings with caller ID as formatted lines (NMBR = NUMBER)\n"
    "ring-mdmf NUMBER [NAME]   the same as an MDMF data message in hex\n"
    "ring-sdmf NUMBER          as an SDMF data message in hex\n"
    "ring-bad NUMBER [NAME]    an MDMF message with a wrong checksum\n"
    "NUMBER P is withheld, O unavailable; caller ID goes out once the program switched it on\n";

// Runs one control line; false when it is not one.
bool control(abonex::test::FakeModem& modem, abonex::test::IncomingRing call,
             const QByteArray& line) {
    using abonex::test::CallerIdForm;
    QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() < 2) return false;
    const QByteArray command = words.takeFirst();
    call.number = words.takeFirst();
    call.name = words.join(' ');
    if (command == "ring") {
        call.form = CallerIdForm::Formatted;
    } else if (command == "ring-mdmf") {
        call.form = CallerIdForm::Mdmf;
    } else if (command == "ring-sdmf" && call.name.isEmpty()) {
        call.form = CallerIdForm::Sdmf;
    } else if (command == "ring-bad") {
        call.form = CallerIdForm::Mdmf;
        call.badChecksum = true;
    } else {
        return false;
    }
    modem.ring(call);
    std::printf("ringing %d times%s\n", call.rings,
                modem.callerIdOn() ? "" : " (caller ID is off: no number goes out)");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int delay = 2000;
    QByteArray reply = "OK";
    abonex::test::IncomingRing call;
    call.rings = 4;
    call.intervalMs = 5000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--dial-delay") == 0) {
            delay = std::stoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--dial-reply") == 0) {
            reply = argv[i + 1];
        } else if (std::strcmp(argv[i], "--rings") == 0) {
            call.rings = std::stoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--ring-interval") == 0) {
            call.intervalMs = std::stoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, kUsage, argv[0]);
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr, kUsage, argv[0]);
        return 2;
    }
    abonex::test::FakeModem modem;
    if (!modem.valid()) {
        std::perror("openpty");
        return 1;
    }
    modem.setReply("ATD", reply, delay);
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    // Started in the background, reading the terminal fails instead of stopping the process.
    std::signal(SIGTTIN, SIG_IGN);
    std::printf("%s\n", modem.devicePath().toLocal8Bit().constData());
    if (isatty(STDIN_FILENO)) std::printf("%s", kControlHelp);
    std::fflush(stdout);
    bool controlled = true;
    QByteArray typed;
    qsizetype shown = 0;
    while (!g_stop) {
        const QList<QByteArray> commands = modem.commands();
        for (; shown < commands.size(); ++shown) {
            std::printf("%s\n", commands.at(shown).constData());
            std::fflush(stdout);
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (!controlled || ::poll(&input, 1, 50) <= 0) {
            if (!controlled) ::poll(nullptr, 0, 50);
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            controlled = false;  // the end of the input, or a terminal it may not read
            continue;
        }
        typed.append(buffer, got);
        for (qsizetype end; (end = typed.indexOf('\n')) >= 0; typed.remove(0, end + 1)) {
            const QByteArray line = typed.left(end).trimmed();
            if (!line.isEmpty() && !control(modem, call, line)) std::printf("%s", kControlHelp);
            std::fflush(stdout);
        }
    }
    return 0;
}
