#include "dial/hayes_modem_line.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace abonex {

namespace {

// Characters a Hayes dial string may hold besides the digits: tone/pulse switches (T, P),
// pauses (",", "W"), the flash and quiet-answer waits ("!", "@"), the keys "*" "#" and A-D,
// "+" for international numbers, and separators modems skip ("-", "(", ")", ".", blank).
// Anything else (a CR or ";" above all, which would end the command) is refused.
bool dialable(char c) {
    constexpr std::string_view kDialCharacters = "TtPpWwAaBbCcDd,!@*#+-(). ";
    return (c >= '0' && c <= '9') || kDialCharacters.find(c) != std::string_view::npos;
}

QString answerText(HayesResult result, const QList<QByteArray>& lines) {
    QStringList text;
    for (const QByteArray& line : lines) text << QString::fromUtf8(line);
    if (result != HayesResult::Info) {
        text << QString::fromLatin1(resultText(result));
    } else if (text.isEmpty()) {
        text << HayesModemLine::tr("Модем не ответил.");
    }
    return text.join(u'\n');
}

// How long the port must stay quiet after the probe's "OK".
constexpr int kSettleMs = 50;

bool portFailure(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
           error == QSerialPort::ResourceError || error == QSerialPort::UnknownError;
}

}  // namespace

HayesModemLine::HayesModemLine(Options options, QObject* parent)
    : LineProvider(parent), m_options(std::move(options)) {
    m_commandTimer.setSingleShot(true);
    connect(&m_commandTimer, &QTimer::timeout, this, &HayesModemLine::commandTimedOut);
    m_guardTimer.setSingleShot(true);
    connect(&m_guardTimer, &QTimer::timeout, this, &HayesModemLine::sendNext);
    m_ringGapTimer.setSingleShot(true);
    connect(&m_ringGapTimer, &QTimer::timeout, this, &HayesModemLine::ringingStopped);
    m_callerIdTimer.setSingleShot(true);
    connect(&m_callerIdTimer, &QTimer::timeout, this, &HayesModemLine::callerIdComplete);
    m_sinceWrite.start();
}

HayesModemLine::~HayesModemLine() {
    closeDevice();
}

// ---------------------------------------------------------------------------------------------
// The device

bool HayesModemLine::openPort() {
    if (m_options.device.isEmpty()) {
        m_openError = HayesModemLine::tr("не выбрано устройство");
        return false;
    }
    auto port = std::make_unique<QSerialPort>(m_options.device);
    port->setBaudRate(m_options.speed);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        m_openError = port->errorString();
        return false;
    }
    m_port = std::move(port);
    return true;
}

void HayesModemLine::attachPort() {
    connect(m_port.get(), &QSerialPort::readyRead, this, &HayesModemLine::readReplies);
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                if (portFailure(error)) portFailed();
            });
    m_alive = true;
    m_sinceWrite.restart();
}

bool HayesModemLine::probe() {
    // The one wait on the device: lineInitialize must say whether there is a modem. A port
    // opened again right after it was closed may still bring answers to commands sent before
    // (the initialisation string): they are thrown away, and after the "OK" the port is read
    // until it stays quiet, so no late answer is taken for the answer to a later command.
    m_port->clear(QSerialPort::Input);
    m_port->write("AT\r");
    HayesLineReader reader;
    QElapsedTimer waited;
    waited.start();
    bool answered = false;
    while (waited.elapsed() < m_options.probeTimeoutMs) {
        const int left = m_options.probeTimeoutMs - static_cast<int>(waited.elapsed());
        if (!m_port->waitForReadyRead(answered ? kSettleMs : std::max(left, 1))) {
            if (answered) break;
            if (m_port->error() != QSerialPort::TimeoutError &&
                m_port->error() != QSerialPort::NoError) {
                return false;
            }
            continue;
        }
        reader.feed(m_port->readAll());
        while (const std::optional<QByteArray> line = reader.nextLine()) {
            if (classifyReply(*line) == HayesResult::Ok) answered = true;
        }
    }
    return answered;
}

std::uint32_t HayesModemLine::openDevice() {
    if (!openPort()) return 0;
    if (!probe()) {
        m_port->close();
        m_port.reset();
        return 0;
    }
    attachPort();
    return 1;
}

void HayesModemLine::closeDevice() {
    releasePort(HayesModemLine::tr("Связь с модемом закрыта."));
}

void HayesModemLine::releasePort(const QString& reason) {
    cancelQueries(reason);
    m_queue.clear();
    m_current.reset();
    m_commandTimer.stop();
    m_guardTimer.stop();
    m_alive = false;
    m_online = false;
    m_dialProceeding = false;
    m_reader.clear();
    forgetIncoming();
    if (m_port) {
        m_port->disconnect(this);
        if (m_port->isOpen()) {
            m_port->flush();
            m_port->close();
        }
        // The port may be the sender of the signal being handled.
        m_port.release()->deleteLater();
    }
}

bool HayesModemLine::deviceAlive() const {
    return m_alive && m_port != nullptr;
}

bool HayesModemLine::supportsKind(CallKind) const {
    return true;
}

void HayesModemLine::portFailed() {
    if (!m_alive) return;
    releasePort(HayesModemLine::tr("Нет связи с модемом: ") +
                (m_port ? m_port->errorString() : QString()));
    callEnded(LINEDISCONNECTMODE_UNAVAIL);
    dropDone(droppingCall());
}

std::int32_t HayesModemLine::lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                                      std::uint32_t apiVersion, std::uint32_t extVersion,
                                      std::uint32_t callbackInstance, std::uint32_t privileges,
                                      std::uint32_t mediaModes, const LINECALLPARAMS* callParams) {
    const std::int32_t result =
        LineProvider::lineOpen(lineApp, deviceId, line, apiVersion, extVersion, callbackInstance,
                               privileges, mediaModes, callParams);
    if (result == 0 && !m_options.initString.isEmpty()) {
        enqueue({m_options.initString, CommandKind::Setup, m_options.commandTimeoutMs, {}});
    }
    if (result == 0) enableCallerId();
    return result;
}

// ---------------------------------------------------------------------------------------------
// Calls

std::int32_t HayesModemLine::checkAddress(const QByteArray& address) const {
    for (char c : address) {
        if (!dialable(c)) return kLineErrorInvalidAddress;
    }
    return 0;
}

std::int32_t HayesModemLine::startCall(Call& call) {
    QByteArray command = "ATD" + call.address;
    // ";" keeps the modem in command mode after dialing: the call goes on by voice.
    if (call.kind == CallKind::Voice) command += ';';
    enqueue({command, CommandKind::Dial, m_options.dialTimeoutMs,
             [this](HayesResult result, const QList<QByteArray>&) { dialFinished(result); }});
    return 0;
}

void HayesModemLine::dialFinished(HayesResult result) {
    switch (result) {
        case HayesResult::Ok:
            callConnected();
            break;
        case HayesResult::Connect:
            if (Call* call = activeCall()) m_online = call->kind == CallKind::Data;
            callConnected();
            break;
        case HayesResult::Busy:
            callBusy();
            callEnded(LINEDISCONNECTMODE_BUSY);
            break;
        case HayesResult::NoAnswer:
            callEnded(LINEDISCONNECTMODE_NOANSWER);
            break;
        case HayesResult::NoDialtone:
            callEnded(LINEDISCONNECTMODE_NODIALTONE);
            break;
        case HayesResult::Error:
            callEnded(LINEDISCONNECTMODE_BADADDRESS);
            break;
        case HayesResult::NoCarrier:
        case HayesResult::Info:
        case HayesResult::Ring:
            callEnded(LINEDISCONNECTMODE_NORMAL);
            break;
    }
}

void HayesModemLine::dropCall(Call& call) {
    const HCALL handle = call.handle;
    // A dial still waiting for its turn never reached the modem.
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
        if (it->kind == CommandKind::Dial) {
            m_queue.erase(it);
            dropDone(handle);
            return;
        }
    }
    if (m_current && m_current->kind == CommandKind::Dial) {
        // Any character stops a modem that is dialing; its result code for the dial then
        // comes at once, and the modem is put on hook after it.
        write("\r");
        m_dialProceeding = false;
        m_current->kind = CommandKind::Cancel;
        // The hang-up goes before a dial placed meanwhile.
        m_current->done = [this, handle](HayesResult, const QList<QByteArray>&) {
            hangUpThenDone(handle, true);
        };
        m_commandTimer.start(m_options.commandTimeoutMs);
        return;
    }
    if (m_online) {
        enqueue({"+++", CommandKind::Escape, m_options.guardMs + m_options.commandTimeoutMs,
                 [this](HayesResult, const QList<QByteArray>&) { m_online = false; }});
    }
    hangUpThenDone(handle);
}

void HayesModemLine::hangUpThenDone(HCALL call, bool first) {
    Command hangUp{"ATH", CommandKind::HangUp, m_options.commandTimeoutMs,
                   [this, call](HayesResult, const QList<QByteArray>&) { dropDone(call); }};
    if (first) {
        m_queue.push_front(std::move(hangUp));
        sendNext();
    } else {
        enqueue(std::move(hangUp));
    }
}

void HayesModemLine::abandonCall(Call&) {
    // The line closes now; the modem is told to hang up without waiting for its answer.
    const bool hangingUp = m_current && m_current->kind == CommandKind::HangUp;
    if (m_alive && !hangingUp) {
        if (m_current && m_current->kind == CommandKind::Dial) write("\r");
        write("ATH\r");
        m_port->flush();
    }
    std::erase_if(m_queue,
                  [](const Command& command) { return command.kind != CommandKind::Query; });
    if (m_current && m_current->kind != CommandKind::Query) {
        m_current.reset();
        m_commandTimer.stop();
    }
    m_online = false;
    m_dialProceeding = false;
}

// ---------------------------------------------------------------------------------------------
// Commands

void HayesModemLine::enqueue(Command command) {
    m_queue.push_back(std::move(command));
    sendNext();
}

void HayesModemLine::sendNext() {
    if (m_current || m_queue.empty() || !m_alive) return;
    if (m_queue.front().kind == CommandKind::Escape) {
        // "+++" counts only after a silence of the guard time.
        const qint64 quiet = m_sinceWrite.elapsed();
        if (quiet < m_options.guardMs) {
            if (!m_guardTimer.isActive()) {
                m_guardTimer.start(static_cast<int>(m_options.guardMs - quiet));
            }
            return;
        }
    }
    m_current = std::make_unique<Command>(std::move(m_queue.front()));
    m_queue.pop_front();
    m_currentLines.clear();
    if (m_current->kind == CommandKind::Escape) {
        write("+++");
    } else {
        write(m_current->text + '\r');
    }
    m_commandTimer.start(m_current->timeoutMs);
    if (m_current->kind == CommandKind::Dial) {
        m_dialProceeding = true;
        callDialing();
    }
}

void HayesModemLine::write(const QByteArray& bytes) {
    if (!m_port) return;
    m_port->write(bytes);
    m_sinceWrite.restart();
}

void HayesModemLine::readReplies() {
    if (!m_port) return;
    m_reader.feed(m_port->readAll());
    while (m_port) {
        const std::optional<QByteArray> line = m_reader.nextLine();
        if (!line) break;
        handleLine(*line);
    }
}

void HayesModemLine::handleLine(const QByteArray& line) {
    if (handleIncoming(line)) return;
    const HayesResult result = classifyReply(line);
    if (m_current) {
        const bool echo = line.compare(m_current->text, Qt::CaseInsensitive) == 0;
        // The modem's echo of the dial, or failing that its answer, shows it has taken the
        // number: the call proceeds.
        if (m_dialProceeding && (echo || result != HayesResult::Info)) {
            m_dialProceeding = false;
            callProceeding();
        }
        if (result == HayesResult::Info) {
            // The echo is not part of the answer.
            if (!echo) m_currentLines.append(line);
        } else if (result != HayesResult::Ring) {
            finishCommand(result);
        }
        return;
    }
    if (result == HayesResult::Info || result == HayesResult::Ring) return;
    // With no command in progress: the far end hung up (a linked data call drops its carrier;
    // some modems also report the end of a voice call).
    Call* call = activeCall();
    if (call == nullptr || call->state != LINECALLSTATE_CONNECTED) return;
    if (result == HayesResult::NoCarrier) {
        m_online = false;
        callEnded(LINEDISCONNECTMODE_NORMAL);
    } else if (result == HayesResult::Busy) {
        callBusy();
        callEnded(LINEDISCONNECTMODE_BUSY);
    }
}

void HayesModemLine::finishCommand(HayesResult result) {
    m_commandTimer.stop();
    std::unique_ptr<Command> finished = std::move(m_current);
    const QList<QByteArray> lines = std::exchange(m_currentLines, {});
    if (finished->kind == CommandKind::Escape && result == HayesResult::Ok) m_online = false;
    if (finished->done) finished->done(result, lines);
    sendNext();
}

void HayesModemLine::commandTimedOut() {
    if (!m_current) return;
    if (m_current->kind == CommandKind::Dial) {
        // The dial has waited its whole time: the call ends now, and the modem is stopped and
        // put on hook after it answers the CR (or after the command time, if it does not).
        write("\r");
        m_dialProceeding = false;
        callEnded(LINEDISCONNECTMODE_NOANSWER);
        m_current->kind = CommandKind::Cancel;
        m_current->done = [this](HayesResult, const QList<QByteArray>&) {
            hangUpThenDone(0, true);
        };
        m_commandTimer.start(m_options.commandTimeoutMs);
        return;
    }
    finishCommand(HayesResult::Info);
}

// ---------------------------------------------------------------------------------------------
// Information requests

void HayesModemLine::query(const QByteArray& command,
                           std::function<void(const QString&)> answered) {
    if (!deviceAlive()) {
        QMetaObject::invokeMethod(
            this, [answered] { answered(HayesModemLine::tr("Модем не подключён.")); },
            Qt::QueuedConnection);
        return;
    }
    enqueue({command, CommandKind::Query, m_options.commandTimeoutMs,
             [answered](HayesResult result, const QList<QByteArray>& lines) {
                 answered(answerText(result, lines));
             }});
}

void HayesModemLine::queryDevice(const Options& options, const QByteArray& command,
                                 std::function<void(const QString&)> answered) {
    auto* line = new HayesModemLine(options);
    if (!line->openPort()) {
        const QString text =
            HayesModemLine::tr("Не удалось открыть %1: %2").arg(options.device, line->m_openError);
        QMetaObject::invokeMethod(
            line,
            [line, answered, text] {
                answered(text);
                line->deleteLater();
            },
            Qt::QueuedConnection);
        return;
    }
    line->attachPort();
    line->query(command, [line, answered](const QString& text) {
        answered(text);
        line->deleteLater();
    });
}

void HayesModemLine::cancelQueries(const QString& answer) {
    std::vector<Done> waiting;
    if (m_current && m_current->kind == CommandKind::Query) {
        waiting.push_back(std::move(m_current->done));
        m_current.reset();
        m_commandTimer.stop();
    }
    for (Command& command : m_queue) {
        if (command.kind == CommandKind::Query) waiting.push_back(std::move(command.done));
    }
    std::erase_if(m_queue,
                  [](const Command& command) { return command.kind == CommandKind::Query; });
    for (Done& done : waiting) {
        if (done) done(HayesResult::Info, {answer.toUtf8()});
    }
}

}  // namespace abonex
