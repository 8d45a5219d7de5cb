#include "engine/dbf/dbf_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file_tap.h"
#include "engine/file/engine_error.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::FixedClock;
using test::le16;
using test::le32;
using test::TempDir;

const std::vector<FieldSpec> kPersons = {
    {"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}, {"PHONE2", 'C', 15, 0}, {"COMMENT", 'C', 250, 0}};
constexpr int kHeaderLength = 32 + 4 * 32 + 1;         // 161
constexpr int kRecordLength = 1 + 30 + 15 + 15 + 250;  // 311

std::string padded(std::string_view text, size_t width) {
    std::string result(text);
    result.resize(width, ' ');
    return result;
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.file("Phone.DBF");
        createDbfTable(m_path, kPersons);
    }
    void appendPerson(GSO_dBaseFld& table, std::string_view name, std::string_view phone) {
        table.BlankRecord();
        table.FieldPut("NAME", name);
        table.FieldPut("PHONE1", phone);
        table.AppendRecord();
    }
    std::vector<uint8_t> bytes() const { return test::readFileBytes(m_path); }
    std::string recordBytes(int n) const {
        auto all = bytes();
        size_t at = kHeaderLength + static_cast<size_t>(n - 1) * kRecordLength;
        return std::string(all.begin() + static_cast<long>(at),
                           all.begin() + static_cast<long>(at + kRecordLength));
    }
    void expectError(const std::function<void()>& action, const std::string& message) {
        try {
            action();
            ADD_FAILURE() << "no error; expected " << message;
        } catch (const EEngineError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
    TempDir m_dir;
    std::string m_path;
};

TEST_F(TableTest, CreatedTableHasHeaderDescriptorsTerminatorAndEndMark) {
    FixedClock clock({2002, 3, 5, 10, 0, 0, 0});
    std::remove(m_path.c_str());  // made again under the fixed clock
    createDbfTable(m_path, kPersons);
    auto b = bytes();
    ASSERT_EQ(b.size(), static_cast<size_t>(kHeaderLength + 1));
    EXPECT_EQ(b[0], 0x03);
    EXPECT_EQ(b[1], 102);  // years since 1900, as other dBASE readers take the byte
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(b[3], 5);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 8), kHeaderLength);
    EXPECT_EQ(le16(b, 10), kRecordLength);
    EXPECT_EQ(b[29], 0x26);  // code page 866
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[32]), 5), std::string("NAME\0", 5));
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 16], 30);
    EXPECT_EQ(b[32 + 3 * 32 + 16], 250);
    EXPECT_EQ(b[kHeaderLength - 1], 0x0D);
    EXPECT_EQ(b[kHeaderLength], 0x1A);
}

TEST_F(TableTest, AppendWritesRecordEndMarkAndHeader) {
    FixedClock clock({2002, 3, 5, 13, 45, 30, 250});
    {
        GSO_dBaseFld table(m_path, true, true);
        table.setUserNumber(7);
        appendPerson(table, "IVANOV I.I.", "22-33-44");
        EXPECT_EQ(table.recordCount(), 1);
        EXPECT_EQ(table.recordNumber(), 1);
        appendPerson(table, "PETROV P.P.", "22-33-45");
    }
    auto b = bytes();
    ASSERT_EQ(b.size(), static_cast<size_t>(kHeaderLength + 2 * kRecordLength + 1));
    EXPECT_EQ(b.back(), 0x1A);
    EXPECT_EQ(b[1], 102);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(b[3], 5);
    EXPECT_EQ(le32(b, 4), 2u);
    EXPECT_EQ(le32(b, 16), (13u << 22) | (45u << 16) | (30u << 10) | 250u);
    EXPECT_EQ(le32(b, 20), 7u);
    std::string expected =
        " " + padded("PETROV P.P.", 30) + padded("22-33-45", 15) + std::string(15 + 250, ' ');
    EXPECT_EQ(recordBytes(2), expected);
}

TEST_F(TableTest, WithAutoFlushTheRecordIsOnTheDiskBeforeTheHeaderThatCountsIt) {
    // Other programs read as many records as the header counts; a power cut between the two
    // writes must not leave the count ahead of the records.
    struct Order : DiskFileTap {
        void wrote(const std::string&, uint64_t offset, const uint8_t*, size_t count) override {
            events.push_back(offset == 0 ? "header" : "record " + std::to_string(count));
        }
        void flushed(const std::string&) override { events.push_back("flush"); }
        std::vector<std::string> events;
    } order;
    GSO_dBaseFld table(m_path, true, true);
    table.setAutoFlush(true);
    setDiskFileTap(&order);
    appendPerson(table, "IVANOV I.I.", "22-33-44");
    setDiskFileTap(nullptr);
    EXPECT_EQ(order.events, (std::vector<std::string>{"record 312", "flush", "header", "flush"}));
}

TEST_F(TableTest, ReplaceDeleteRecallRewriteOnlyTheRecord) {
    {
        GSO_dBaseFld table(m_path, true, true);
        appendPerson(table, "A", "1");
        appendPerson(table, "B", "2");
        appendPerson(table, "C", "3");
        table.GotoRecord(2);
        table.FieldPut("PHONE2", "99-99");
        table.ReplaceRecord(2);
        table.GotoRecord(3);
        table.DeleteRecord();
        EXPECT_TRUE(table.isDeleted());
    }
    EXPECT_EQ(recordBytes(2), " " + padded("B", 30) + padded("2", 15) + padded("99-99", 15) +
                                  std::string(250, ' '));
    EXPECT_EQ(recordBytes(3)[0], '*');
    EXPECT_EQ(recordBytes(1)[0], ' ');
    {
        GSO_dBaseFld table(m_path, true, true);
        table.GotoRecord(3);
        table.RecallRecord();
    }
    EXPECT_EQ(recordBytes(3), " " + padded("C", 30) + padded("3", 15) + std::string(265, ' '));
    EXPECT_EQ(le32(bytes(), 4), 3u);
}

TEST_F(TableTest, DeletingADeletedRecordWritesNothing) {
    GSO_dBaseFld table(m_path, true, true);
    appendPerson(table, "A", "1");
    table.DeleteRecord();
    // Change the record behind the table's back: a second delete must not overwrite it.
    auto b = bytes();
    b[kHeaderLength + 1] = 'Z';
    test::writeFileBytes(m_path, b);
    table.DeleteRecord();
    EXPECT_EQ(recordBytes(1)[1], 'Z');
}

TEST_F(TableTest, RecordCountComesFromTheFileSize) {
    {
        GSO_dBaseFld table(m_path, true, true);
        for (int i = 0; i < 12; ++i) appendPerson(table, "N" + std::to_string(i), "1");
    }
    auto b = bytes();
    b[4] = 10;     // header claims 10
    b.pop_back();  // drop the end mark as a writer that did not update the header might
    test::writeFileBytes(m_path, b);
    EXPECT_EQ(GSO_dBaseFld(m_path, true, false).recordCount(), 12);

    b.resize(kHeaderLength + 3 * kRecordLength);
    b.push_back(0x1A);
    test::writeFileBytes(m_path, b);
    EXPECT_EQ(GSO_dBaseFld(m_path, true, false).recordCount(), 3);

    b.pop_back();
    b.insert(b.end(), 100, 'q');  // a partly written fourth record
    test::writeFileBytes(m_path, b);
    EXPECT_EQ(GSO_dBaseFld(m_path, true, false).recordCount(), 3);
}

TEST_F(TableTest, PartialLastRecordIsMeasuredButAnEndMarkIsNot) {
    {
        GSO_dBaseFld table(m_path, true, true);
        for (int i = 0; i < 3; ++i) appendPerson(table, "N" + std::to_string(i), "1");
        EXPECT_EQ(table.partialRecordBytes(), 0u);  // three records and the end mark
    }
    auto b = bytes();
    b.pop_back();
    test::writeFileBytes(m_path, b);
    EXPECT_EQ(GSO_dBaseFld(m_path, true, false).partialRecordBytes(), 0u);
    b.push_back('q');  // one byte of a fourth record, not an end mark
    test::writeFileBytes(m_path, b);
    EXPECT_EQ(GSO_dBaseFld(m_path, true, false).partialRecordBytes(), 1u);
    b.insert(b.end(), 56, 'q');
    test::writeFileBytes(m_path, b);
    GSO_dBaseFld table(m_path, true, false);
    EXPECT_EQ(table.recordCount(), 3);
    EXPECT_EQ(table.partialRecordBytes(), 57u);
}

TEST_F(TableTest, CreatingOverAnExistingTableIsRefusedAndChangesNothing) {
    GSO_dBaseFld reader(m_path, true, false);
    {
        GSO_dBaseFld table(m_path, true, true);
        appendPerson(table, "IVANOV I.I.", "22-33-44");
    }
    const auto before = bytes();
    for (const std::string name : {"Phone.DBF", "PHONE.dbf", "phone.dbf"}) {
        expectError([&] { createDbfTable(m_dir.file(name), kPersons); },
                    "File already exists - " + m_path);
        EXPECT_EQ(bytes(), before) << name;
    }
    // The copy that had the table open reads on as before.
    reader.GotoRecord(1);
    EXPECT_EQ(reader.FieldGet("NAME"), "IVANOV I.I.");
}

TEST_F(TableTest, SettingAFlagKeepsTheRecordCountOfOtherWriters) {
    GSO_dBaseFld early(m_path, true, true);  // opened before the others appended
    {
        GSO_dBaseFld other(m_path, true, true);
        for (int i = 0; i < 3; ++i) appendPerson(other, "N" + std::to_string(i), "1");
    }
    early.setTableFlags(kFlagProductionIndex);
    auto b = bytes();
    EXPECT_EQ(le32(b, 4), 3u);  // other readers take the count from here
    EXPECT_EQ(b[28] & kFlagProductionIndex, kFlagProductionIndex);
}

TEST_F(TableTest, PositionCodesAndEdgeFlags) {
    GSO_dBaseFld table(m_path, true, true);
    table.GotoRecord(PosTop);
    EXPECT_TRUE(table.atEnd());
    EXPECT_TRUE(table.atBeginning());
    for (auto name : {"A", "B", "C"}) appendPerson(table, name, "1");

    table.GotoRecord(PosTop);
    EXPECT_EQ(table.recordNumber(), 1);
    EXPECT_FALSE(table.atBeginning());
    EXPECT_EQ(table.FieldGet("NAME"), "A");
    table.GotoRecord(PosPrior);
    EXPECT_TRUE(table.atBeginning());
    EXPECT_EQ(table.recordNumber(), 1);
    table.GotoRecord(PosNext);
    EXPECT_EQ(table.FieldGet("NAME"), "B");
    table.GotoRecord(PosBottom);
    EXPECT_EQ(table.recordNumber(), 3);
    table.GotoRecord(PosNext);
    EXPECT_TRUE(table.atEnd());
    EXPECT_EQ(table.recordNumber(), 3);
    EXPECT_EQ(table.FieldGet("NAME"), "C");
    table.GotoRecord(PosCurrent);
    EXPECT_FALSE(table.atEnd());
    EXPECT_EQ(table.FieldGet("NAME"), "C");

    expectError([&] { table.GotoRecord(5); }, "dBase record request beyond EOF - " + m_path);
    EXPECT_EQ(table.recordNumber(), 3);
    expectError([&] { table.GotoRecord(-9); }, "dBase record request beyond EOF - " + m_path);
    table.GotoRecord(4);
    EXPECT_TRUE(table.atEnd());
}

TEST_F(TableTest, SharedTableSeesAnotherWritersAppends) {
    GSO_dBaseFld reader(m_path, true, false);
    GSO_dBaseFld writer(m_path, true, true);
    appendPerson(writer, "A", "1");
    appendPerson(writer, "B", "2");
    EXPECT_EQ(reader.recordCount(), 0);
    reader.GotoRecord(PosTop);  // an empty count refreshes the header
    EXPECT_EQ(reader.recordCount(), 2);
    appendPerson(writer, "C", "3");
    reader.GotoRecord(3);  // beyond the known count: refreshed
    EXPECT_EQ(reader.FieldGet("NAME"), "C");
}

TEST_F(TableTest, FieldPutCutsAndBlanksFieldGetTrims) {
    GSO_dBaseFld table(m_path, true, true);
    table.BlankRecord();
    table.FieldPut("NAME", std::string(35, 'x'));
    EXPECT_EQ(table.FieldGet("NAME"), std::string(30, 'x'));
    EXPECT_EQ(table.FieldGet("PHONE1"), "");
    table.FieldPut("NAME", "");
    EXPECT_EQ(std::string(table.fieldBytes(table.FindField("NAME"))), std::string(30, ' '));
    EXPECT_EQ(table.FieldGet("NAME"), "");
    // Trailing control characters go, leading blanks stay, a NUL ends the text.
    table.FieldPut("PHONE1", std::string("  12\t\x01", 6));
    EXPECT_EQ(table.FieldGet("PHONE1"), "  12");
    table.FieldPut("PHONE2", std::string("45\0"
                                         "67",
                                         5));
    EXPECT_EQ(table.FieldGet("PHONE2"), "45");
}

TEST_F(TableTest, CyrillicTextRoundTripsThroughCodePage866) {
    std::string ansi = *utf8ToAnsi("  Иванов Ёжик");
    {
        GSO_dBaseFld table(m_path, true, true);
        table.BlankRecord();
        table.FieldPut("NAME", ansiToOem(ansi + "   "));
        table.AppendRecord();
    }
    std::string stored = recordBytes(1).substr(1, 30);
    EXPECT_EQ(stored, padded(*utf8ToOem("  Иванов Ёжик"), 30));
    EXPECT_EQ(static_cast<uint8_t>(stored[2]), 0x88);  // 'И' in 866
    GSO_dBaseFld table(m_path, true, false);
    table.GotoRecord(1);
    EXPECT_EQ(oemToAnsi(table.FieldGet("NAME")), ansi);
}

TEST_F(TableTest, FieldLookupIgnoresCaseAndTrailingBlanks) {
    GSO_dBaseFld table(m_path, true, false);
    EXPECT_EQ(table.FindField("phone1 ").number, 2);
    EXPECT_EQ(table.FindField("Comment").offset, 61);
    expectError([&] { table.FindField("SURNAME"); },
                "dBase field name is invalid - " + m_path + "->SURNAME");
}

TEST_F(TableTest, OtherFieldTypes) {
    std::string path = m_dir.file("MIXED.DBF");
    createDbfTable(path, {{"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"SUM", 'N', 8, 2}});
    GSO_dBaseFld table(path, true, true);
    table.BlankRecord();
    EXPECT_EQ(std::string(table.fieldBytes(table.FindField("SUM"))), "    0.00");
    table.FieldPut("BORN", "20020305");
    table.fieldPutLogical(table.FindField("OK"), true);
    table.FieldPut("SUM", "12.5");
    EXPECT_EQ(std::string(table.fieldBytes(table.FindField("SUM"))), "    12.5");
    EXPECT_TRUE(table.fieldGetLogical(table.FindField("OK")));
    EXPECT_EQ(table.FieldGet("BORN"), "20020305");
    expectError([&] { table.FieldGet("SUM"); }, "dBase field is of incorrect type - SUM");
}

class DamagedTableTest : public TableTest {
  protected:
    void expectRefused(std::vector<uint8_t> damaged) {
        test::writeFileBytes(m_path, damaged);
        expectError([&] { GSO_dBaseFld table(m_path, true, true); },
                    "dBase DBF file header invalid - " + m_path);
        EXPECT_EQ(bytes(), damaged) << "a refused file must not be written";
    }
};

TEST_F(DamagedTableTest, MalformedHeadersAreErrorOneThousandOne) {
    auto good = bytes();
    expectRefused({good.begin(), good.begin() + 20});  // shorter than its header
    auto zeroLength = good;
    zeroLength[10] = zeroLength[11] = 0;
    expectRefused(zeroLength);
    auto shortHeader = good;
    shortHeader[8] = 32;
    shortHeader[9] = 0;
    expectRefused(shortHeader);
    auto pastEnd = good;
    pastEnd[8] = 0x00;
    pastEnd[9] = 0x10;  // header length 4096, file has 162 bytes
    expectRefused(pastEnd);
    auto version = good;
    version[0] = 0x04;
    expectRefused(version);
    auto v30 = good;
    v30[0] = 0x30;  // header length 161 is below the 296 that version needs
    expectRefused(v30);
    auto fieldsTooWide = good;
    fieldsTooWide[10] = 20;  // record length 20 but the fields need 311
    fieldsTooWide[11] = 0;
    expectRefused(fieldsTooWide);
}

// A header whose lengths disagree with its descriptors would have every record read shifted
// into the wrong fields. The table holds 220 records (68,421 bytes), so that each header length
// below lies inside the file and only the disagreement can refuse it.
TEST_F(DamagedTableTest, LengthsThatDisagreeWithTheDescriptorsAreRefused) {
    {
        GSO_dBaseFld table(m_path, false, true);
        for (int i = 0; i < 220; ++i) appendPerson(table, "Name " + std::to_string(i), "22-33-44");
    }
    const auto good = bytes();
    ASSERT_GT(good.size(), 65535u);
    auto fieldsShort = good;
    fieldsShort[32 + 3 * 32 + 16] = 220;  // COMMENT C(220): the fields add up to 281 of 311
    expectRefused(fieldsShort);
    for (int headerLength : {160, 162, 193, 32767, 65535}) {
        SCOPED_TRACE("header length " + std::to_string(headerLength));
        auto damaged = good;
        test::putLe16(damaged, 8, static_cast<uint16_t>(headerLength));
        expectRefused(damaged);
    }
    for (int recordLength : {310, 312, 32767, 65535}) {
        SCOPED_TRACE("record length " + std::to_string(recordLength));
        auto damaged = good;
        test::putLe16(damaged, 10, static_cast<uint16_t>(recordLength));
        expectRefused(damaged);
    }
    // Room behind the terminator holding anything but NULs is a record's start, whatever the
    // terminator's place.
    auto room = good;
    room.insert(room.begin() + kHeaderLength, 32, 0);
    room[kHeaderLength + 31] = ' ';
    test::putLe16(room, 8, kHeaderLength + 32);
    expectRefused(room);
    room[kHeaderLength + 31] = 0;
    room[kHeaderLength - 1] = ' ';  // the terminator missing where the descriptors end
    expectRefused(room);
}

// Writers that leave NUL-filled room behind the terminator, as version 0x30 tables do with
// their backlink area, still open, and their records are read from the header length on.
TEST_F(TableTest, RoomBehindTheTerminatorIsAcceptedWhenItHoldsOnlyNuls) {
    {
        GSO_dBaseFld table(m_path, false, true);
        appendPerson(table, "Ivanov", "22-33-44");
        appendPerson(table, "Petrov", "22-33-45");
    }
    const auto good = bytes();
    for (int version : {0x03, 0x30}) {
        SCOPED_TRACE("version " + std::to_string(version));
        const int room = version == 0x30 ? 263 + 2 : 2;
        auto padded = good;
        padded.insert(padded.begin() + kHeaderLength, static_cast<size_t>(room), 0);
        if (version == 0x30) padded[kHeaderLength + room - 1] = 'x';  // a backlink's text
        padded[0] = static_cast<uint8_t>(version);
        test::putLe16(padded, 8, static_cast<uint16_t>(kHeaderLength + room));
        test::writeFileBytes(m_path, padded);
        GSO_dBaseFld table(m_path, true, false);
        ASSERT_EQ(table.recordCount(), 2);
        ASSERT_EQ(table.fieldCount(), 4);
        table.GotoRecord(2);
        EXPECT_EQ(table.FieldGet("NAME"), "Petrov");
        EXPECT_EQ(table.FieldGet("PHONE1"), "22-33-45");
    }
    // A version 0x30 table whose header holds the descriptors, the terminator and the backlink
    // area and nothing more.
    auto exact = good;
    exact.insert(exact.begin() + kHeaderLength, 263, 'b');
    exact[0] = 0x30;
    test::putLe16(exact, 8, kHeaderLength + 263);
    test::writeFileBytes(m_path, exact);
    GSO_dBaseFld table(m_path, true, false);
    table.GotoRecord(1);
    EXPECT_EQ(table.FieldGet("NAME"), "Ivanov");
}

TEST_F(DamagedTableTest, EncryptedTableIsRefused) {
    auto b = bytes();
    b[15] = 1;
    test::writeFileBytes(m_path, b);
    try {
        GSO_dBaseFld table(m_path, true, false);
        FAIL();
    } catch (const EEngineEncryption& error) {
        EXPECT_EQ(std::string(error.what()), "No Password for encrypted file " + m_path);
    }
}

TEST_F(TableTest, IndependentReaderReadsWhatWeWrote) {
    {
        FixedClock clock({2026, 3, 5, 10, 0, 0, 0});
        GSO_dBaseFld table(m_path, true, true);
        appendPerson(table, ansiToOem(*utf8ToAnsi("Иванов И.И.")), "22-33-44");
        appendPerson(table, ansiToOem(*utf8ToAnsi("Щукина Ё.Ю.")), "22-33-45");
        table.DeleteRecord();
    }
    std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "t = DBF(sys.argv[1], encoding='cp866', load=True, ignore_missing_memofile=True)\n"
        "print(t.date, len(t.records), len(t.deleted))\n"
        "for r in t.records: print(r['NAME'] + '|' + r['PHONE1'])\n"
        "for r in t.deleted: print('*' + r['NAME'])\n";
    std::string scriptPath = m_dir.file("read.py");
    test::writeFileBytes(scriptPath, std::vector<uint8_t>(script.begin(), script.end()));
    auto result = test::runCommand("/usr/bin/python3 " + test::shellQuote(scriptPath) + " " +
                                   test::shellQuote(m_path));
    if (result.status != 0 && result.err.find("No module named") != std::string::npos) {
        GTEST_SKIP() << "python3-dbfread is not installed";
    }
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "2026-03-05 1 1\nИванов И.И.|22-33-44\n*Щукина Ё.Ю.\n");
}

// The text a reader sees, byte by byte as the field's description says: up to the first NUL,
// then trailing bytes of 0x20 or less removed.
std::string_view plainFieldText(std::string_view bytes) {
    const size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
    while (!bytes.empty() && static_cast<uint8_t>(bytes.back()) <= 0x20) bytes.remove_suffix(1);
    return bytes;
}

TEST(FieldTextTest, WideFieldsTrimToTheSameTextAsByteByByte) {
    // Blanks around the eight-byte steps of the trimming, NULs before, inside and after the
    // text, control bytes and bytes above 0x7F that must stay.
    const std::vector<std::string> texts = {"",         "A",       "ИВАНОВ",    "A B",
                                            "12345678", "1234567", "123456789", " lead",
                                            "\x01X",    "X\x1F",   "\xFF",      "\x21"};
    for (const size_t width : {1, 7, 8, 9, 15, 16, 17, 30, 250}) {
        for (const std::string& text : texts) {
            for (size_t nulAt = 0; nulAt <= width + 1; ++nulAt) {
                std::string bytes = text;
                bytes.resize(width, ' ');
                if (nulAt < width) bytes[nulAt] = '\0';
                // Bytes after the NUL are never text, blanks or not.
                if (nulAt + 2 < width) bytes[width - 1] = 'Z';
                ASSERT_EQ(fieldText(bytes), plainFieldText(bytes))
                    << "width " << width << " text '" << text << "' NUL at " << nulAt;
                if (nulAt == width + 1) {
                    // Control bytes and tabs in the tail go as blanks do.
                    for (size_t i = text.size(); i < width; i += 3) bytes[i] = '\t';
                    ASSERT_EQ(fieldText(bytes), plainFieldText(bytes));
                }
            }
        }
    }
    // The text views the bytes given: nothing is copied.
    const std::string bytes = padded("ПЕТРОВ", 250);
    EXPECT_EQ(fieldText(bytes).data(), bytes.data());
    EXPECT_EQ(fieldText(bytes).size(), std::string_view("ПЕТРОВ").size());
}

}  // namespace
}  // namespace abonex
