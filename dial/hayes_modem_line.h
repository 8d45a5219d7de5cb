// HayesModemLine: a line provider that places calls through a Hayes-compatible modem on a
// serial port (a COM port, a USB modem's ttyACM, a pseudo-terminal in the tests).
//
// lineInitialize opens the port and sends "AT"; the modem is the one line device when it
// answers "OK" within the probe time, otherwise there is none. Opening the line sends the
// initialisation string, then switches caller ID on ("AT+VCID=1", or "AT#CID=1" when the modem
// answers "ERROR"; a reset makes modems forget it). A voice call is "ATD<address>;" (the modem
// dials and returns to command mode; "OK" means the number went out and the user talks on the
// handset), a data call "ATD<address>" ("CONNECT" means the modems are linked). Dropping sends
// "ATH", for a linked data call after the escape "+++" with its guard times; a dial still in
// progress is first cancelled by a lone CR. Commands go out one at a time: the next one is written
// when the modem's result code for the previous one has come or its time has run out.
//
// Calls coming in: while the line is open, each "RING" and the caller-ID lines between the
// rings (both forms, see caller_id.h) are told with incomingCall; caller-ID lines count as one
// report once the modem has been quiet for callerIdSettleMs after them or the next ring has
// come, and a data message that fails its checks is dropped. When no ring has come for
// ringGapMs the call is over (incomingCallEnded). A hex line is taken for a data message only
// while no command waits for its answer.
//
// Everything but the start-up probe runs from the event loop: reading, writing and waiting for
// replies never block the thread. The probe waits at most probeTimeoutMs for the modem.
//
// Invariants: at most one command is in progress; a call is never left waiting on the modem
// for longer than the dial time-out (or the command time-out for a drop); when the port fails
// (the modem is unplugged or stops working), the call ends at once with
// LINEDISCONNECTMODE_UNAVAIL and every later call is refused until the next lineInitialize.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "dial/hayes_replies.h"
#include "dial/line_provider.h"

class QSerialPort;

namespace abonex {

class HayesModemLine : public LineProvider {
    Q_OBJECT
  public:
    struct Options {
        QString device;  // empty: no modem
        qint32 speed = 115200;
        QByteArray initString = "ATZ";  // empty: nothing is sent when the line opens
        int dialTimeoutMs = 60000;      // how long a dial may wait for its result
        int commandTimeoutMs = 5000;    // how long any other command may wait
        int probeTimeoutMs = 2000;      // how long the modem may take to answer "AT"
        int guardMs = 1000;             // silence before and after the escape "+++"
        int ringGapMs = 8000;           // longer without a ring: the call coming in is over
        int callerIdSettleMs = 300;     // quiet after caller-ID lines: they are complete
    };

    explicit HayesModemLine(Options options, QObject* parent = nullptr);
    ~HayesModemLine() override;

    const Options& options() const { return m_options; }
    // Whether the line holds its port open and working.
    bool portOpen() const { return deviceAlive(); }

    // Sends `command` (an information request such as "ATI") after the commands waiting before
    // it and hands the modem's answer to `answered`: its lines, then the result code, joined by
    // line feeds. `answered` is called from the event loop, also when the modem is not there.
    void query(const QByteArray& command, std::function<void(const QString&)> answered);
    // The same for a device this process does not hold open: opens `options.device` without
    // the probe, sends `command`, closes it again.
    static void queryDevice(const Options& options, const QByteArray& command,
                            std::function<void(const QString&)> answered);

    // Opening the line also sends the initialisation string.
    std::int32_t lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                          std::uint32_t apiVersion, std::uint32_t extVersion,
                          std::uint32_t callbackInstance, std::uint32_t privileges,
                          std::uint32_t mediaModes, const LINECALLPARAMS* callParams) override;

  protected:
    std::uint32_t openDevice() override;
    void closeDevice() override;
    bool deviceAlive() const override;
    bool supportsKind(CallKind kind) const override;
    std::int32_t checkAddress(const QByteArray& address) const override;
    std::int32_t startCall(Call& call) override;
    void dropCall(Call& call) override;
    void abandonCall(Call& call) override;

  private:
    enum class CommandKind {
        Setup,
        Dial,
        Cancel,  // a dial stopped by a CR, waiting for the modem's result code
        Escape,
        HangUp,
        Query,
        CallerId,
    };
    using Done = std::function<void(HayesResult result, const QList<QByteArray>& lines)>;
    struct Command {
        QByteArray text;  // without the CR; "+++" is written as it is
        CommandKind kind = CommandKind::Setup;
        int timeoutMs = 0;
        Done done;
    };

    bool openPort();
    void attachPort();
    bool probe();
    void enqueue(Command command);
    void sendNext();
    void write(const QByteArray& bytes);
    void readReplies();
    void handleLine(const QByteArray& line);
    void finishCommand(HayesResult result);  // Info stands for "no answer in time"
    void commandTimedOut();
    void portFailed();
    // Closes the port and forgets every command; waiting information requests get `reason`.
    void releasePort(const QString& reason);
    void dialFinished(HayesResult result);
    // Sends ATH (`first`: before the commands waiting); then the drop of `call` (0: none) is
    // done.
    void hangUpThenDone(HCALL call, bool first = false);
    void cancelQueries(const QString& answer);
    // Switches caller ID on, with the older command when the modem refuses the newer one.
    void enableCallerId();
    // RING and caller-ID lines; false for any other line.
    bool handleIncoming(const QByteArray& line);
    void callerIdComplete();
    void ringingStopped();
    void forgetIncoming();

    Options m_options;
    std::unique_ptr<QSerialPort> m_port;
    QString m_openError;
    bool m_alive = false;
    HayesLineReader m_reader;
    std::deque<Command> m_queue;
    std::unique_ptr<Command> m_current;  // the command in progress
    QList<QByteArray> m_currentLines;
    bool m_currentAborted = false;  // a dial cancelled by a CR, waiting for its result
    bool m_online = false;          // a data call is linked: the modem passes data through
    bool m_dialProceeding = false;  // the dial went out; the modem has not shown it took it
    QTimer m_commandTimer;
    QTimer m_guardTimer;
    QElapsedTimer m_sinceWrite;
    // The call coming in, and the caller-ID lines read since its last report.
    IncomingCall m_incoming;
    bool m_ringing = false;
    CallerId m_pendingId;
    bool m_idPending = false;
    QTimer m_ringGapTimer;
    QTimer m_callerIdTimer;
};

}  // namespace abonex
