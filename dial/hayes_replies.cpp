#include "dial/hayes_replies.h"

#include <array>

namespace abonex {

namespace {

struct ResultCode {
    HayesResult result;
    const char* verbose;
    const char* numeric;
};

// Numeric codes are those of the basic result set (ATX0 to ATX4 with ATV0); 5 and 10 are the
// oldest CONNECT-with-speed codes and the only speed codes every modem shares.
constexpr std::array<ResultCode, 8> kResultCodes{{
    {HayesResult::Ok, "OK", "0"},
    {HayesResult::Connect, "CONNECT", "1"},
    {HayesResult::Ring, "RING", "2"},
    {HayesResult::NoCarrier, "NO CARRIER", "3"},
    {HayesResult::Error, "ERROR", "4"},
    {HayesResult::NoDialtone, "NO DIALTONE", "6"},
    {HayesResult::Busy, "BUSY", "7"},
    {HayesResult::NoAnswer, "NO ANSWER", "8"},
}};

}  // namespace

HayesResult classifyReply(const QByteArray& line) {
    const QByteArray upper = line.trimmed().toUpper();
    if (upper == "5" || upper == "10") return HayesResult::Connect;
    for (const ResultCode& code : kResultCodes) {
        if (upper == code.verbose || upper == code.numeric) return code.result;
    }
    // "CONNECT 33600", "CONNECT 115200/V42BIS"; "NO DIAL TONE" is how some modems spell it.
    if (upper.startsWith("CONNECT ")) return HayesResult::Connect;
    if (upper == "NO DIAL TONE") return HayesResult::NoDialtone;
    return HayesResult::Info;
}

QByteArray resultText(HayesResult result) {
    for (const ResultCode& code : kResultCodes) {
        if (code.result == result) return code.verbose;
    }
    return {};
}

void HayesLineReader::feed(const QByteArray& bytes) {
    m_pending.append(bytes);
}

std::optional<QByteArray> HayesLineReader::nextLine() {
    while (!m_pending.isEmpty()) {
        qsizetype end = -1;
        for (qsizetype i = 0; i < m_pending.size() && i < kMaxLine; ++i) {
            if (m_pending[i] == '\r' || m_pending[i] == '\n') {
                end = i;
                break;
            }
        }
        qsizetype consumed = end + 1;
        if (end < 0) {
            if (m_pending.size() < kMaxLine) return std::nullopt;
            end = kMaxLine;  // an overlong line: hand over what there is
            consumed = kMaxLine;
        }
        QByteArray line = m_pending.left(end).trimmed();
        m_pending.remove(0, consumed);
        if (!line.isEmpty()) return line;
    }
    return std::nullopt;
}

void HayesLineReader::clear() {
    m_pending.clear();
}

}  // namespace abonex
