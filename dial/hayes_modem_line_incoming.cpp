// HayesModemLine's incoming side: caller ID switched on, and the rings and caller-ID lines of a
// call coming in turned into incomingCall and incomingCallEnded.
#include <utility>

#include "dial/hayes_modem_line.h"

namespace abonex {

namespace {

// What a report of the newer caller-ID lines adds to what the call already knows: an item the
// modem did not repeat keeps its earlier value.
void merge(CallerId& into, const CallerId& from) {
    const auto take = [](QString& to, const QString& value) {
        if (!value.isEmpty()) to = value;
    };
    take(into.date, from.date);
    take(into.time, from.time);
    take(into.message, from.message);
    if (!from.number.isEmpty() || from.numberAbsence != CallerIdAbsence::None) {
        into.number = from.number;
        into.numberAbsence = from.numberAbsence;
    }
    if (!from.name.isEmpty() || from.nameAbsence != CallerIdAbsence::None) {
        into.name = from.name;
        into.nameAbsence = from.nameAbsence;
    }
}

}  // namespace

void HayesModemLine::enableCallerId() {
    enqueue({"AT+VCID=1", CommandKind::CallerId, m_options.commandTimeoutMs,
             [this](HayesResult result, const QList<QByteArray>&) {
                 if (result != HayesResult::Error) return;
                 // Before anything placed meanwhile: a call coming in may ring at any time.
                 m_queue.push_front(
                     {"AT#CID=1", CommandKind::CallerId, m_options.commandTimeoutMs, {}});
             }});
}

bool HayesModemLine::handleIncoming(const QByteArray& line) {
    if (classifyReply(line) == HayesResult::Ring) {
        // Caller ID comes between the first rings; what came is whole by the next one.
        if (m_idPending) callerIdComplete();
        ++m_incoming.rings;
        m_ringing = true;
        m_ringGapTimer.start(m_options.ringGapMs);
        if (LineProvider::lineOpen()) emit incomingCall(m_incoming);
        return true;
    }
    if (applyCallerIdLine(line, m_pendingId)) {
        m_idPending = true;
    } else if (const std::optional<QByteArray> bytes =
                   m_current ? std::nullopt : callerIdPacketBytes(line)) {
        const CallerIdPacket packet = parseCallerIdPacket(*bytes);
        if (packet.status == CallerIdPacketStatus::Ok) {
            merge(m_pendingId, packet.id);
            m_idPending = true;
        } else if (packet.status != CallerIdPacketStatus::NotCallerId) {
            m_incoming.messageDropped = true;
        } else {
            return true;  // a message-waiting signal: no call
        }
    } else {
        return false;
    }
    // Some exchanges send caller ID before the first ring: the call begins with it.
    m_ringing = true;
    m_ringGapTimer.start(m_options.ringGapMs);
    if (m_idPending) m_callerIdTimer.start(m_options.callerIdSettleMs);
    return true;
}

void HayesModemLine::callerIdComplete() {
    m_callerIdTimer.stop();
    if (!m_idPending) return;
    m_idPending = false;
    merge(m_incoming.callerId, std::exchange(m_pendingId, {}));
    m_incoming.identified = true;
    if (LineProvider::lineOpen()) emit incomingCall(m_incoming);
}

void HayesModemLine::ringingStopped() {
    if (m_idPending) callerIdComplete();
    const IncomingCall ended = std::exchange(m_incoming, {});
    const bool wasRinging = std::exchange(m_ringing, false);
    if (wasRinging && LineProvider::lineOpen()) emit incomingCallEnded(ended);
}

void HayesModemLine::forgetIncoming() {
    m_ringGapTimer.stop();
    m_callerIdTimer.stop();
    m_incoming = {};
    m_ringing = false;
    m_pendingId = {};
    m_idPending = false;
}

}  // namespace abonex
