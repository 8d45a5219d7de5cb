// A fake Hayes modem for trying the program without one: prints the device path to give the
// program (ABONEX_MODEM=<path>), then every command it receives, until it is interrupted.
//
//   build/tools/fake_modem/fake_hayes_modem [--dial-delay MS] [--dial-reply TEXT]
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tools/fake_modem/fake_modem.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

}  // namespace

int main(int argc, char** argv) {
    int delay = 2000;
    QByteArray reply = "OK";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--dial-delay") == 0) {
            delay = std::stoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--dial-reply") == 0) {
            reply = argv[i + 1];
        } else {
            std::fprintf(stderr, "usage: %s [--dial-delay MS] [--dial-reply TEXT]\n", argv[0]);
            return 2;
        }
    }
    abonex::test::FakeModem modem;
    if (!modem.valid()) {
        std::perror("openpty");
        return 1;
    }
    modem.setReply("ATD", reply, delay);
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::printf("%s\n", modem.devicePath().toLocal8Bit().constData());
    std::fflush(stdout);
    qsizetype shown = 0;
    while (!g_stop) {
        const QList<QByteArray> commands = modem.commands();
        for (; shown < commands.size(); ++shown) {
            std::printf("%s\n", commands.at(shown).constData());
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
