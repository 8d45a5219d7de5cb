// The caller-ID parser on byte-exact data messages (SDMF and MDMF, good, damaged, cut short)
// and on the formatted lines a modem sends instead.
#include "dial/caller_id.h"

#include <gtest/gtest.h>

using namespace abonex;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

// The classic single data message: 30 September 12:24, 6095551212.
const char kSdmf[] = "04 12 30 39 33 30 31 32 32 34 36 30 39 35 35 35 31 32 31 32 51";
// 10 December 14:05, 88172538752, "PETROV A ZH".
const char kMdmf[] =
    "80 24 01 08 31 32 31 30 31 34 30 35 02 0B 38 38 31 37 32 35 33 38 37 35 32"
    " 07 0B 50 45 54 52 4F 56 20 41 20 5A 48 5B";

QByteArray withByte(QByteArray bytes, qsizetype at, int delta) {
    bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) + delta);
    return bytes;
}

}  // namespace

TEST(CallerIdPacketTest, SingleDataMessageGivesDateTimeAndNumber) {
    const CallerIdPacket packet = parseCallerIdPacket(hex(kSdmf));
    ASSERT_EQ(packet.status, CallerIdPacketStatus::Ok);
    EXPECT_EQ(packet.id.date, QStringLiteral("0930"));
    EXPECT_EQ(packet.id.time, QStringLiteral("1224"));
    EXPECT_EQ(packet.id.number, QStringLiteral("6095551212"));
    EXPECT_EQ(packet.id.numberAbsence, CallerIdAbsence::None);
    EXPECT_TRUE(packet.id.name.isEmpty());

    // "O" in place of the number: unavailable.
    const CallerIdPacket unavailable =
        parseCallerIdPacket(hex("04 09 31 32 31 30 31 34 30 35 4F 16"));
    ASSERT_EQ(unavailable.status, CallerIdPacketStatus::Ok);
    EXPECT_TRUE(unavailable.id.number.isEmpty());
    EXPECT_EQ(unavailable.id.numberAbsence, CallerIdAbsence::Unavailable);
}

TEST(CallerIdPacketTest, MultipleDataMessageGivesEachParameterAndSkipsUnknownOnes) {
    const CallerIdPacket packet = parseCallerIdPacket(hex(kMdmf));
    ASSERT_EQ(packet.status, CallerIdPacketStatus::Ok);
    CallerId expected;
    expected.date = QStringLiteral("1210");
    expected.time = QStringLiteral("1405");
    expected.number = QStringLiteral("88172538752");
    expected.name = QStringLiteral("PETROV A ZH");
    EXPECT_EQ(packet.id, expected);

    // A call-qualifier parameter (6) between them is passed over; the name is unavailable.
    const CallerIdPacket other = parseCallerIdPacket(
        hex("80 18 01 08 31 32 31 30 31 34 30 35 06 01 01 02 06 35 33 38 37 35 32 08 01 4F 2B"));
    ASSERT_EQ(other.status, CallerIdPacketStatus::Ok);
    EXPECT_EQ(other.id.number, QStringLiteral("538752"));
    EXPECT_EQ(other.id.nameAbsence, CallerIdAbsence::Unavailable);

    // Number and name withheld.
    const CallerIdPacket withheld =
        parseCallerIdPacket(hex("80 10 01 08 31 32 31 30 31 34 30 35 04 01 50 08 01 50 2B"));
    ASSERT_EQ(withheld.status, CallerIdPacketStatus::Ok);
    EXPECT_TRUE(withheld.id.number.isEmpty());
    EXPECT_EQ(withheld.id.numberAbsence, CallerIdAbsence::Withheld);
    EXPECT_EQ(withheld.id.nameAbsence, CallerIdAbsence::Withheld);
}

TEST(CallerIdPacketTest, AWrongChecksumDropsTheWholeMessage) {
    const QByteArray good = hex(kMdmf);
    // The checksum itself, a digit of the number, the type of the name parameter.
    for (const qsizetype at : {good.size() - 1, qsizetype{15}, qsizetype{25}}) {
        for (const int delta : {1, -1, 0x80}) {
            const CallerIdPacket packet = parseCallerIdPacket(withByte(good, at, delta));
            EXPECT_EQ(packet.status, CallerIdPacketStatus::BadChecksum) << at << " " << delta;
            EXPECT_TRUE(packet.id.empty()) << at;
        }
    }
    EXPECT_EQ(parseCallerIdPacket(withByte(hex(kSdmf), 10, 1)).status,
              CallerIdPacketStatus::BadChecksum);
}

TEST(CallerIdPacketTest, AMessageCutShortOrRunningOnIsDropped) {
    const QByteArray good = hex(kMdmf);
    for (qsizetype size = 0; size < good.size(); ++size) {
        const CallerIdPacket packet = parseCallerIdPacket(good.left(size));
        EXPECT_EQ(packet.status, CallerIdPacketStatus::Truncated) << size;
        EXPECT_TRUE(packet.id.empty()) << size;
    }
    EXPECT_EQ(parseCallerIdPacket(good + '\0').status, CallerIdPacketStatus::Overlong);
    // A length byte one too large: the message ends before it says.
    EXPECT_EQ(parseCallerIdPacket(withByte(good, 1, 1)).status, CallerIdPacketStatus::Truncated);
}

TEST(CallerIdPacketTest, ABodyThatContradictsItselfIsMalformed) {
    // A number parameter of 9 bytes in a body of 4, the checksum right.
    EXPECT_EQ(parseCallerIdPacket(hex("80 04 02 09 35 33 09")).status,
              CallerIdPacketStatus::Malformed);
    // A date of letters.
    QByteArray letters = hex(kSdmf);
    letters[2] = 'X';
    letters[letters.size() - 1] =
        static_cast<char>(static_cast<unsigned char>(letters.back()) - ('X' - '0'));
    EXPECT_EQ(parseCallerIdPacket(letters).status, CallerIdPacketStatus::Malformed);
    // A message-waiting signal is no call.
    EXPECT_EQ(parseCallerIdPacket(hex("82 03 0B 01 FF 70")).status,
              CallerIdPacketStatus::NotCallerId);
}

TEST(CallerIdPacketTest, HexLinesAreTakenOnlyWhenTheyBeginLikeADataMessage) {
    EXPECT_EQ(callerIdPacketBytes(kSdmf), hex(kSdmf));
    EXPECT_EQ(callerIdPacketBytes(QByteArray(kMdmf).replace(" ", "").toLower()), hex(kMdmf));
    for (const char* line :
         {"OK", "56000", "1234", "0412", "04 1", "8 0 24 01", "80 24 0G", "", "RING"}) {
        EXPECT_FALSE(callerIdPacketBytes(line)) << line;
    }
}

TEST(CallerIdLineTest, FormattedLinesFillTheirItems) {
    CallerId id;
    for (const char* line : {"DATE = 1210", "TIME=1405", "NMBR = 88172538752", "NAME = PETROV A ZH",
                             "MESG = 060101"}) {
        EXPECT_TRUE(applyCallerIdLine(line, id)) << line;
    }
    EXPECT_EQ(id.date, QStringLiteral("1210"));
    EXPECT_EQ(id.time, QStringLiteral("1405"));
    EXPECT_EQ(id.number, QStringLiteral("88172538752"));
    EXPECT_EQ(id.name, QStringLiteral("PETROV A ZH"));
    EXPECT_EQ(id.message, QStringLiteral("060101"));

    CallerId withheld;
    EXPECT_TRUE(applyCallerIdLine("NMBR = P", withheld));
    EXPECT_TRUE(applyCallerIdLine("name = O", withheld));
    EXPECT_TRUE(withheld.number.isEmpty());
    EXPECT_EQ(withheld.numberAbsence, CallerIdAbsence::Withheld);
    EXPECT_EQ(withheld.nameAbsence, CallerIdAbsence::Unavailable);
    CallerId dialable;
    EXPECT_TRUE(applyCallerIdLine("DDN_NMBR= 538752", dialable));
    EXPECT_EQ(dialable.number, QStringLiteral("538752"));

    CallerId untouched;
    for (const char* line : {"RING", "OK", "AT+VCID=1", "CONNECT 33600", "Fake modem = 1"}) {
        EXPECT_FALSE(applyCallerIdLine(line, untouched)) << line;
    }
    EXPECT_TRUE(untouched.empty());
}
