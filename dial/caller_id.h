// Caller ID as a Hayes modem reports it between the rings of a call coming in, in one of two
// forms (AT+VCID=1 asks for the first, AT+VCID=2 for the second; some modems send the second
// for what they cannot format):
//
// Formatted: one line per item, "KEY = VALUE" (blanks around "=" optional):
//   DATE = 1210          month and day
//   TIME = 1405          hour and minute
//   NMBR = 88172538752   the caller's number; "P" withheld by the caller, "O" unavailable
//   NAME = IVANOV        the caller's name; "P" and "O" as for the number
//   MESG = 060150        what the modem could not format, as hex
// ("DDN_NMBR" is how some modems name the number.)
//
// Unformatted: the whole data message as it came down the line, two hex digits a byte
// (blanks between bytes allowed). A message is
//   OFFSET SIZE  DESCRIPTION
//        0    1  message type: 0x04 single data message (SDMF), 0x80 multiple data (MDMF)
//        1    1  L: the length of the body
//        2    L  body
//      2+L    1  checksum: the bytes from offset 0 to 1+L and it add up to 0 (mod 256)
// An SDMF body is 8 ASCII digits MMDDHHMM and the number (or "P", "O"). An MDMF body is a run
// of parameters, each a type byte, a length byte and that many bytes:
//   0x01 date and time (8 digits MMDDHHMM)   0x02 number   0x03 dialable number
//   0x04 why there is no number ("P", "O")   0x07 name     0x08 why there is no name
// Other parameter types are skipped. Nothing of a message whose checksum fails, that ends
// before its length says or that runs on past its checksum is used.
//
// Pure functions and a value type; the line (HayesModemLine) feeds them what the modem sends.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace abonex {

// Why a number or a name is not there.
enum class CallerIdAbsence { None, Withheld, Unavailable };

// What is known of who is calling; every text empty when not reported.
struct CallerId {
    QString date;  // "1210": month, day
    QString time;  // "1405": hour, minute
    QString number;
    CallerIdAbsence numberAbsence = CallerIdAbsence::None;
    QString name;
    CallerIdAbsence nameAbsence = CallerIdAbsence::None;
    QString message;  // MESG as the modem sent it

    bool empty() const { return *this == CallerId{}; }
    bool operator==(const CallerId&) const = default;
};

enum class CallerIdPacketStatus {
    Ok,
    NotCallerId,  // a message of another type (a message-waiting signal, say)
    Truncated,    // fewer bytes than the lengths say
    Overlong,     // bytes after the checksum
    BadChecksum,
    Malformed,  // a date that is not 8 digits, a parameter running past the body
};

struct CallerIdPacket {
    CallerIdPacketStatus status = CallerIdPacketStatus::Malformed;
    CallerId id;  // empty unless status is Ok
};

// Decodes one data message (its bytes from the type to the checksum).
CallerIdPacket parseCallerIdPacket(QByteArrayView bytes);

// The bytes a line of hex digits stands for ("80 1A 01 08 ..." or "801A0108..."), if it is one
// that begins like a data message: at least three bytes, the first a message type (0x04, 0x06,
// 0x80, 0x82). Nothing for any other line.
std::optional<QByteArray> callerIdPacketBytes(QByteArrayView line);

// Applies one formatted line ("NMBR = 88172538752") to `id`; false, `id` untouched, when the
// line is not one of the keys above.
bool applyCallerIdLine(QByteArrayView line, CallerId& id);

}  // namespace abonex
