// FakeModem: a Hayes-compatible modem on a pseudo-terminal, for the tests. The program under
// test opens devicePath() as its serial port; the modem answers on a thread of its own, so it
// answers even while the program's thread waits on the port.
//
// It behaves as a modem does where the program depends on it: commands end with CR and are
// echoed (setEcho); each is answered with the scripted reply of the longest matching prefix
// after the scripted delay, framed by CR LF; any character that arrives while a dial waits for
// its reply cancels the dial ("NO CARRIER" at once, the character itself is swallowed); after
// a "CONNECT" reply the modem is on line and passes data until the escape "+++", which counts
// only between two silences of the guard time and is answered "OK".
//
// Every command line is recorded as received, without its CR ("ATDP22-33-44;"); an escape is
// recorded as "+++" when its guard times were kept and as "+++ (no guard)" otherwise.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace abonex::test {

class FakeModem {
  public:
    FakeModem();
    ~FakeModem();
    FakeModem(const FakeModem&) = delete;
    FakeModem& operator=(const FakeModem&) = delete;

    bool valid() const { return m_master >= 0; }
    // The terminal's device path, for the program's serial port.
    QString devicePath() const { return m_path; }

    // The answer to commands that begin with `prefix` (letter case ignored): the lines of
    // `reply` ("\n" between them) after `delayMs`. An empty reply: the modem says nothing.
    // Defaults: "AT" -> "OK", "ATI" -> "Fake Hayes modem 1.0\nOK", "ATD" -> "OK".
    void setReply(const QByteArray& prefix, const QByteArray& reply, int delayMs = 0);
    void setEcho(bool on);
    void setGuardMs(int milliseconds);
    // Sends a line the modem reports on its own ("NO CARRIER" when the far end hangs up).
    void sendUnsolicited(const QByteArray& line);
    // Closes the modem's side of the terminal, as when a modem is unplugged.
    void unplug();

    QList<QByteArray> commands() const;
    // How many recorded commands begin with `prefix`.
    int count(const QByteArray& prefix) const;
    void clearCommands();

  private:
    using Clock = std::chrono::steady_clock;
    struct Scripted {
        QByteArray reply;
        int delayMs = 0;
    };
    struct Pending {
        Clock::time_point due;
        QByteArray lines;
        bool dial = false;
    };

    void run();
    void received(char c, Clock::time_point now);
    void command(const QByteArray& line, Clock::time_point now);
    void sendLines(const QByteArray& lines);
    void record(const QByteArray& line);

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_unplug{false};

    mutable std::mutex m_mutex;               // guards everything below
    std::map<QByteArray, Scripted> m_script;  // by upper-case prefix
    bool m_echo = true;
    int m_guardMs = 900;
    QList<QByteArray> m_commands;
    std::vector<Pending> m_pending;
    std::vector<QByteArray> m_unsolicited;
    QByteArray m_line;
    bool m_online = false;
    // The escape being typed while on line.
    int m_plusCount = 0;
    bool m_silenceBefore = false;
    Clock::time_point m_escapeAt{};
    Clock::time_point m_lastByte{};
};

}  // namespace abonex::test
