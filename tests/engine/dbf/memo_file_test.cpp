#include "engine/dbf/memo_file.h"

#include <gtest/gtest.h>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "tests/support/memo_tables.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::MemoRow;

class MemoFileTest : public ::testing::Test {
  protected:
    // The memo texts of every record, as the reader gives them (nullopt: no memo).
    std::vector<std::optional<std::string>> readAll(const std::string& table) {
        GSO_dBaseFld dbf(table, true, false);
        auto memo = MemoFile::openFor(dbf);
        const DbfField& field = dbf.FindField("NOTES");
        std::vector<std::optional<std::string>> texts;
        for (int n = 1; n <= dbf.recordCount(); ++n) {
            dbf.GotoRecord(n);
            const uint32_t block = memo->blockOf(field, dbf.fieldBytes(field));
            texts.push_back(block == 0 ? std::nullopt : std::optional(memo->text(block)));
        }
        return texts;
    }
    // The message of the engine error that reading every memo of `table` raises.
    std::string readError(const std::string& table) {
        try {
            readAll(table);
        } catch (const EEngineError& error) {
            return error.what();
        }
        return "no error";
    }
    std::string table(const char* name = "NOTES.DBF") { return m_dir.file(name); }
    test::TempDir m_dir;
};

const std::vector<MemoRow> kRows = {
    {"first", std::string("\x8F\xE0\xA8\xA2\xA5\xE2\r\n2nd line")},  // "Привет" in 866
    {"none", std::nullopt},
    {"long", std::string(1500, 'x') + "end"},  // spans several blocks of every kind
    {"empty", std::string()},
};

TEST_F(MemoFileTest, EveryKindGivesBackEachMemoAsWritten) {
    for (auto [kind, blockLength] :
         {std::pair{MemoFile::Kind::DBase3, 512u}, std::pair{MemoFile::Kind::DBase4, 512u},
          std::pair{MemoFile::Kind::DBase4, 1024u}, std::pair{MemoFile::Kind::FoxPro, 64u}}) {
        SCOPED_TRACE(std::string(memoKindName(kind)) + " " + std::to_string(blockLength));
        test::writeMemoTable(table(), kind, kRows, blockLength);
        const auto texts = readAll(table());
        ASSERT_EQ(texts.size(), kRows.size());
        for (size_t i = 0; i < kRows.size(); ++i) {
            EXPECT_EQ(texts[i], kRows[i].memo) << kRows[i].name;
        }
    }
}

TEST_F(MemoFileTest, TheTablesVersionChoosesTheFileAndAMissingOneIsNamed) {
    test::writeMemoTable(table(), MemoFile::Kind::FoxPro, kRows, 64);
    GSO_dBaseFld fox(table(), true, false);
    EXPECT_EQ(MemoFile::openFor(fox)->kind(), MemoFile::Kind::FoxPro);
    const std::string memoPath = m_dir.file("NOTES.FPT");
    std::remove(memoPath.c_str());
    try {
        MemoFile::openFor(fox);
        ADD_FAILURE() << "a missing memo file opened";
    } catch (const EEngineError& error) {
        EXPECT_EQ(std::string(error.what()), "File not found - " + memoPath);
    }
    EXPECT_EQ(MemoFile::kindFor(0x03, 0x02), std::nullopt);
    EXPECT_EQ(MemoFile::kindFor(0x30, 0x00), std::nullopt);
    EXPECT_EQ(MemoFile::kindFor(0x30, 0x02), MemoFile::Kind::FoxPro);
}

// Byte helpers on a written memo file.
void patch(const std::string& path, size_t at, std::vector<uint8_t> bytes) {
    auto content = test::readFileBytes(path);
    if (content.size() < at + bytes.size()) content.resize(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<long>(at));
    test::writeFileBytes(path, content);
}
void cut(const std::string& path, size_t size) {
    auto content = test::readFileBytes(path);
    content.resize(size);
    test::writeFileBytes(path, content);
}

TEST_F(MemoFileTest, DamagedFilesGiveTheFormatErrorNamingTheBlock) {
    const std::string format = "dBase memo record has format error - ";
    // dBASE IV: the memo of record 1 (block 1) claims more bytes than the file holds.
    std::string memo = test::writeMemoTable(table(), MemoFile::Kind::DBase4, kRows);
    patch(memo, 512 + 4, {0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(readError(table()), format + memo + " (block 1)");
    // ... or has lost the mark that starts a memo.
    memo = test::writeMemoTable(table(), MemoFile::Kind::DBase4, kRows);
    patch(memo, 512, {0x00});
    EXPECT_EQ(readError(table()), format + memo + " (block 1)");
    // ... or a length shorter than the block header it counts.
    memo = test::writeMemoTable(table(), MemoFile::Kind::DBase4, kRows);
    patch(memo, 512 + 4, {0x07, 0, 0, 0});
    EXPECT_EQ(readError(table()), format + memo + " (block 1)");
    // FoxPro: a length past the end of the file.
    memo = test::writeMemoTable(table(), MemoFile::Kind::FoxPro, kRows, 64);
    patch(memo, 512 + 4, {0x7F, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(readError(table()), format + memo + " (block 8)");
    // FoxPro: no block length.
    memo = test::writeMemoTable(table(), MemoFile::Kind::FoxPro, kRows, 64);
    patch(memo, 6, {0, 0});
    EXPECT_EQ(readError(table()), format + memo);
    // A memo file cut inside its header.
    memo = test::writeMemoTable(table(), MemoFile::Kind::DBase4, kRows);
    cut(memo, 16);
    EXPECT_EQ(readError(table()), format + memo);
    // A block number past the end of the file (the file cut after its header).
    memo = test::writeMemoTable(table(), MemoFile::Kind::DBase3, kRows);
    cut(memo, 512);
    EXPECT_EQ(readError(table()), format + memo + " (block 1)");
    // A block inside the header (FoxPro block 1 of 64 bytes lies in the 512-byte header).
    memo = test::writeMemoTable(table(), MemoFile::Kind::FoxPro, kRows, 64);
    auto dbf = test::readFileBytes(table());
    const size_t field = 97 + 1 + 20;  // record 1, NOTES
    std::string one = "         1";
    std::copy(one.begin(), one.end(), dbf.begin() + static_cast<long>(field));
    test::writeFileBytes(table(), dbf);
    EXPECT_EQ(readError(table()), format + memo + " (block 1)");
    // A memo field that holds no number.
    std::string junk = "       1x2";
    std::copy(junk.begin(), junk.end(), dbf.begin() + static_cast<long>(field));
    test::writeFileBytes(table(), dbf);
    EXPECT_EQ(readError(table()), format + memo + "->NOTES");
}

TEST_F(MemoFileTest, ADBase3MemoCutBeforeItsEndMarkEndsWithTheFile) {
    const std::string memo =
        test::writeMemoTable(table(), MemoFile::Kind::DBase3, {{"only", std::string("abc")}});
    cut(memo, 512 + 3);
    EXPECT_EQ(readAll(table()), (std::vector<std::optional<std::string>>{std::string("abc")}));
}

}  // namespace
}  // namespace abonex
