#include "tools/fake_modem/fake_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace abonex::test {

namespace {

using namespace std::chrono_literals;
constexpr auto kPoll = 5ms;

}  // namespace

FakeModem::FakeModem() {
    struct termios raw {};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_path = QString::fromLocal8Bit(name);
    m_script["AT"] = {"OK", 0};
    m_script["ATI"] = {"Fake Hayes modem 1.0\nOK", 0};
    m_script["ATD"] = {"OK", 0};
    m_lastByte = Clock::now();
    m_thread = std::thread([this] { run(); });
}

FakeModem::~FakeModem() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

void FakeModem::setReply(const QByteArray& prefix, const QByteArray& reply, int delayMs) {
    std::lock_guard lock(m_mutex);
    m_script[prefix.toUpper()] = {reply, delayMs};
}

void FakeModem::setEcho(bool on) {
    std::lock_guard lock(m_mutex);
    m_echo = on;
}

void FakeModem::setGuardMs(int milliseconds) {
    std::lock_guard lock(m_mutex);
    m_guardMs = milliseconds;
}

void FakeModem::sendUnsolicited(const QByteArray& line) {
    std::lock_guard lock(m_mutex);
    m_unsolicited.push_back(line);
}

void FakeModem::ring(const IncomingRing& call) {
    std::lock_guard lock(m_mutex);
    const Clock::time_point now = Clock::now();
    const auto interval = std::chrono::milliseconds(call.intervalMs);
    for (int i = 0; i < call.rings; ++i) m_pending.push_back({now + i * interval, "RING", false});
    if (!m_callerIdOn) return;
    const QList<QByteArray> lines = callerIdLines(call);
    m_pending.push_back({now + interval / 2, lines.join('\n'), false});
}

bool FakeModem::callerIdOn() const {
    std::lock_guard lock(m_mutex);
    return m_callerIdOn;
}

QByteArray FakeModem::callerIdMessage(const IncomingRing& call) {
    QByteArray body;
    const bool absent = call.number == "P" || call.number == "O";
    if (call.form == CallerIdForm::Sdmf) {
        body = call.dateTime + call.number;
    } else {
        const auto parameter = [&body](char type, const QByteArray& value) {
            body += type;
            body += static_cast<char>(value.size());
            body += value;
        };
        parameter(0x01, call.dateTime);
        parameter(absent ? 0x04 : 0x02, call.number);
        if (call.name == "P" || call.name == "O") {
            parameter(0x08, call.name);
        } else if (!call.name.isEmpty()) {
            parameter(0x07, call.name);
        }
    }
    QByteArray message;
    message += static_cast<char>(call.form == CallerIdForm::Sdmf ? 0x04 : 0x80);
    message += static_cast<char>(body.size());
    message += body;
    unsigned sum = 0;
    for (char byte : message) sum += static_cast<unsigned char>(byte);
    // The checksum makes every byte of the message add up to 0.
    unsigned checksum = (256 - sum % 256) % 256;
    if (call.badChecksum) checksum = (checksum + 1) % 256;
    message += static_cast<char>(checksum);
    return message;
}

QList<QByteArray> FakeModem::callerIdLines(const IncomingRing& call) {
    if (call.form != CallerIdForm::Formatted) return {callerIdMessage(call).toHex().toUpper()};
    QList<QByteArray> lines{"DATE = " + call.dateTime.left(4), "TIME = " + call.dateTime.mid(4),
                            "NMBR = " + call.number};
    if (!call.name.isEmpty()) lines.append("NAME = " + call.name);
    return lines;
}

void FakeModem::unplug() {
    m_unplug = true;
    // The terminal is closed by the modem's thread; wait until it is.
    while (m_unplug && m_thread.joinable() && !m_stop) std::this_thread::sleep_for(kPoll);
}

QList<QByteArray> FakeModem::commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

int FakeModem::count(const QByteArray& prefix) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(
        std::count_if(m_commands.begin(), m_commands.end(),
                      [&](const QByteArray& c) { return c.startsWith(prefix); }));
}

void FakeModem::clearCommands() {
    std::lock_guard lock(m_mutex);
    m_commands.clear();
}

void FakeModem::record(const QByteArray& line) {
    m_commands.append(line);
}

void FakeModem::sendLines(const QByteArray& lines) {
    for (const QByteArray& line : lines.split('\n')) {
        if (line.isEmpty()) continue;
        const QByteArray framed = "\r\n" + line + "\r\n";
        (void)!::write(m_master, framed.constData(), framed.size());
        if (line.startsWith("CONNECT")) m_online = true;
    }
}

void FakeModem::run() {
    using namespace std::chrono;
    while (!m_stop) {
        if (m_unplug) {
            std::lock_guard lock(m_mutex);
            ::close(m_master);
            ::close(m_slave);
            m_master = m_slave = -1;
            m_unplug = false;
            return;
        }
        pollfd fd{m_master, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(kPoll.count()));
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(m_mutex);
        if (ready > 0 && (fd.revents & POLLIN)) {
            char buffer[256];
            const ssize_t got = ::read(m_master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < got; ++i) received(buffer[i], now);
        }
        // An escape is complete after the guard time of silence that follows it.
        if (m_online && m_plusCount == 3 && now - m_escapeAt >= milliseconds(m_guardMs)) {
            m_plusCount = 0;
            if (m_silenceBefore) {
                record("+++");
                m_online = false;
                sendLines("OK");
            } else {
                record("+++ (no guard)");
            }
        }
        // In the order they are due, whatever the order they were asked for in.
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const Pending& a, const Pending& b) { return a.due < b.due; });
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->due <= now) {
                sendLines(it->lines);
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
        for (const QByteArray& line : m_unsolicited) {
            sendLines(line);
            if (line == "NO CARRIER") m_online = false;
        }
        m_unsolicited.clear();
    }
}

void FakeModem::received(char c, Clock::time_point now) {
    using namespace std::chrono;
    const bool quiet = now - m_lastByte >= milliseconds(m_guardMs);
    m_lastByte = now;
    if (m_online) {
        if (c == '+' && m_plusCount < 3) {
            if (m_plusCount == 0) m_silenceBefore = quiet;
            if (++m_plusCount == 3) m_escapeAt = now;
        } else {
            m_plusCount = 0;  // data, or more after "+++": not an escape
        }
        return;
    }
    const auto dialing =
        std::find_if(m_pending.begin(), m_pending.end(), [](const Pending& p) { return p.dial; });
    if (dialing != m_pending.end()) {
        m_pending.erase(dialing);
        m_line.clear();
        sendLines("NO CARRIER");
        return;
    }
    if (m_echo) (void)!::write(m_master, &c, 1);
    if (c == '\r') {
        const QByteArray line = m_line.trimmed();
        m_line.clear();
        if (!line.isEmpty()) command(line, now);
    } else if (c != '\n') {
        m_line.append(c);
    }
}

void FakeModem::command(const QByteArray& line, Clock::time_point now) {
    record(line);
    const QByteArray upper = line.toUpper();
    if (!upper.startsWith("AT")) return;  // not a command: ignored as a modem does
    const Scripted* best = nullptr;
    qsizetype bestLength = -1;
    for (const auto& [prefix, scripted] : m_script) {
        if (upper.startsWith(prefix) && prefix.size() > bestLength) {
            best = &scripted;
            bestLength = prefix.size();
        }
    }
    if (best == nullptr || best->reply.isEmpty()) return;
    if (best->reply.startsWith("OK")) {
        if (upper == "ATZ" || upper == "AT+VCID=0" || upper == "AT#CID=0") m_callerIdOn = false;
        if (upper == "AT+VCID=1" || upper == "AT+VCID=2" || upper == "AT#CID=1") {
            m_callerIdOn = true;
        }
    }
    m_pending.push_back(
        {now + std::chrono::milliseconds(best->delayMs), best->reply, upper.startsWith("ATD")});
}

}  // namespace abonex::test
