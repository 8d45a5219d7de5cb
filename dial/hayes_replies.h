// What a Hayes-compatible modem sends back: lines of text ended by CR and/or LF, each either
// the echo of a command, an informational line (the answer to ATI, for example) or a result
// code that ends the command (verbose, "OK", or numeric, "0", depending on the modem's ATV
// setting). A result code that arrives with no command in progress is unsolicited ("RING",
// "NO CARRIER" when the far end hangs up).
#pragma once

#include <QByteArray>
#include <optional>

namespace abonex {

enum class HayesResult {
    Info,  // not a result code
    Ok,
    Connect,  // "CONNECT" with or without a speed
    Ring,
    NoCarrier,
    Error,
    NoDialtone,
    Busy,
    NoAnswer,
};

// The result code `line` (already without its line ends and surrounding blanks) stands for.
HayesResult classifyReply(const QByteArray& line);

// The text of a result code, as a verbose modem sends it ("NO CARRIER"); empty for Info.
QByteArray resultText(HayesResult result);

// Splits the bytes read from a modem into lines. Bytes arrive in any pieces; a line is
// complete at its CR or LF. Empty lines are dropped; a line longer than kMaxLine is cut into
// pieces of that length so that a device sending garbage cannot make it grow without end.
class HayesLineReader {
  public:
    static constexpr qsizetype kMaxLine = 512;

    void feed(const QByteArray& bytes);
    // The next complete line without its line ends and surrounding blanks, if any.
    std::optional<QByteArray> nextLine();
    void clear();

  private:
    QByteArray m_pending;
};

}  // namespace abonex
