#include "dial/caller_id.h"

#include <cctype>
#include <cstdint>

namespace abonex {

namespace {

constexpr std::uint8_t kSdmf = 0x04;
constexpr std::uint8_t kSdmfMessageWaiting = 0x06;
constexpr std::uint8_t kMdmf = 0x80;
constexpr std::uint8_t kMdmfMessageWaiting = 0x82;
// Type, length, checksum.
constexpr qsizetype kFrameBytes = 3;
constexpr qsizetype kDateTimeDigits = 8;

constexpr std::uint8_t kParamDateTime = 0x01;
constexpr std::uint8_t kParamNumber = 0x02;
constexpr std::uint8_t kParamDialableNumber = 0x03;
constexpr std::uint8_t kParamNoNumber = 0x04;
constexpr std::uint8_t kParamName = 0x07;
constexpr std::uint8_t kParamNoName = 0x08;

// "P" and "O" stand for a withheld and an unavailable number or name.
CallerIdAbsence absenceOf(QByteArrayView value) {
    if (value == "P") return CallerIdAbsence::Withheld;
    if (value == "O") return CallerIdAbsence::Unavailable;
    return CallerIdAbsence::None;
}

// A number or a name as reported: the text, or the mark that stands for its absence.
void setItem(QByteArrayView value, QString& text, CallerIdAbsence& absence) {
    absence = absenceOf(value);
    text = absence == CallerIdAbsence::None ? QString::fromLatin1(value).trimmed() : QString();
}

bool allDigits(QByteArrayView text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool setDateTime(QByteArrayView digits, CallerId& id) {
    if (digits.size() != kDateTimeDigits || !allDigits(digits)) return false;
    id.date = QString::fromLatin1(digits.first(4));
    id.time = QString::fromLatin1(digits.sliced(4));
    return true;
}

CallerIdPacketStatus parseMdmfBody(QByteArrayView body, CallerId& id) {
    qsizetype at = 0;
    while (at < body.size()) {
        if (body.size() - at < 2) return CallerIdPacketStatus::Malformed;
        const auto type = static_cast<std::uint8_t>(body[at]);
        const auto length = static_cast<std::uint8_t>(body[at + 1]);
        at += 2;
        if (length > body.size() - at) return CallerIdPacketStatus::Malformed;
        const QByteArrayView value = body.sliced(at, length);
        at += length;
        switch (type) {
            case kParamDateTime:
                if (!setDateTime(value, id)) return CallerIdPacketStatus::Malformed;
                break;
            case kParamNumber:
            case kParamDialableNumber:
                // The calling line's number wins over a dialable one sent beside it.
                if (type == kParamNumber || id.number.isEmpty()) {
                    id.number = QString::fromLatin1(value).trimmed();
                }
                break;
            case kParamNoNumber:
                id.numberAbsence = absenceOf(value);
                break;
            case kParamName:
                id.name = QString::fromLatin1(value).trimmed();
                break;
            case kParamNoName:
                id.nameAbsence = absenceOf(value);
                break;
            default:
                break;  // redirection, call qualifier and the like say nothing of the caller
        }
    }
    return CallerIdPacketStatus::Ok;
}

}  // namespace

CallerIdPacket parseCallerIdPacket(QByteArrayView bytes) {
    CallerIdPacket packet;
    if (bytes.size() < kFrameBytes) {
        packet.status = CallerIdPacketStatus::Truncated;
        return packet;
    }
    const auto type = static_cast<std::uint8_t>(bytes[0]);
    const auto length = static_cast<std::uint8_t>(bytes[1]);
    if (bytes.size() < kFrameBytes + length) {
        packet.status = CallerIdPacketStatus::Truncated;
        return packet;
    }
    if (bytes.size() > kFrameBytes + length) {
        packet.status = CallerIdPacketStatus::Overlong;
        return packet;
    }
    std::uint8_t sum = 0;
    for (char byte : bytes) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(byte));
    if (sum != 0) {
        packet.status = CallerIdPacketStatus::BadChecksum;
        return packet;
    }
    const QByteArrayView body = bytes.sliced(2, length);
    CallerId id;
    if (type == kSdmf) {
        if (body.size() < kDateTimeDigits || !setDateTime(body.first(kDateTimeDigits), id)) {
            packet.status = CallerIdPacketStatus::Malformed;
            return packet;
        }
        setItem(body.sliced(kDateTimeDigits), id.number, id.numberAbsence);
        packet.status = CallerIdPacketStatus::Ok;
    } else if (type == kMdmf) {
        packet.status = parseMdmfBody(body, id);
    } else {
        packet.status = CallerIdPacketStatus::NotCallerId;
    }
    if (packet.status == CallerIdPacketStatus::Ok) packet.id = id;
    return packet;
}

std::optional<QByteArray> callerIdPacketBytes(QByteArrayView line) {
    // Blanks may stand between bytes, never inside one.
    QByteArray digits;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ') {
            if (digits.size() % 2 != 0) return std::nullopt;
        } else if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits.append(c);
        } else {
            return std::nullopt;
        }
    }
    const bool high = digits.size() % 2 != 0;
    const QByteArray bytes = QByteArray::fromHex(digits);
    if (high || bytes.size() < kFrameBytes) return std::nullopt;
    const auto type = static_cast<std::uint8_t>(bytes[0]);
    if (type != kSdmf && type != kSdmfMessageWaiting && type != kMdmf &&
        type != kMdmfMessageWaiting) {
        return std::nullopt;
    }
    return bytes;
}

bool applyCallerIdLine(QByteArrayView line, CallerId& id) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) return false;
    const QByteArray key = line.first(equals).trimmed().toByteArray().toUpper();
    const QByteArrayView value = QByteArrayView(line.sliced(equals + 1)).trimmed();
    if (key == "DATE") {
        id.date = QString::fromLatin1(value);
    } else if (key == "TIME") {
        id.time = QString::fromLatin1(value);
    } else if (key == "NMBR" || key == "DDN_NMBR") {
        setItem(value, id.number, id.numberAbsence);
    } else if (key == "NAME") {
        setItem(value, id.name, id.nameAbsence);
    } else if (key == "MESG") {
        id.message = QString::fromLatin1(value);
    } else {
        return false;
    }
    return true;
}

}  // namespace abonex
