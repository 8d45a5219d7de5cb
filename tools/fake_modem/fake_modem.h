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
// It rings on request (ring()): "RING" lines at the interval asked for, with the caller's
// identification after the first one, as a modem with caller ID on sends it: formatted lines
// ("NMBR = 88172538752") or the data message in hex (SDMF or MDMF). Caller ID is on after
// "AT+VCID=1" (or =2, or "AT#CID=1") was answered "OK", off after "=0" and after "ATZ"; while
// it is off a ring sends no caller ID.
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

// How the caller's identification goes down the line.
enum class CallerIdForm { Formatted, Sdmf, Mdmf };

// A call coming in.
struct IncomingRing {
    QByteArray number;                 // "P": withheld, "O": unavailable
    QByteArray name;                   // none when empty (SDMF has no name)
    QByteArray dateTime = "12101405";  // MMDDHHMM
    CallerIdForm form = CallerIdForm::Formatted;
    int rings = 2;
    int intervalMs = 400;      // from one ring to the next (a telephone line's is about 5 s)
    bool badChecksum = false;  // the data message's checksum one off
};

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
    // Rings: the first "RING" now, the caller ID half an interval after it, the other rings
    // an interval apart.
    void ring(const IncomingRing& call);
    bool callerIdOn() const;

    // The caller-ID lines a ring sends for `call` (the data message in hex, or the formatted
    // lines), and the data message itself (from its type to its checksum).
    static QList<QByteArray> callerIdLines(const IncomingRing& call);
    static QByteArray callerIdMessage(const IncomingRing& call);

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
    bool m_callerIdOn = false;
    // The escape being typed while on line.
    int m_plusCount = 0;
    bool m_silenceBefore = false;
    Clock::time_point m_escapeAt{};
    Clock::time_point m_lastByte{};
};

}  // namespace abonex::test
