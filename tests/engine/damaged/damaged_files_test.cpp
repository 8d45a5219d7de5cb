// Damaged tables and index files, made byte by byte from good ones: each must give its exact
// engine error, every walk over what opens must end, and the integrity check must report the
// damage instead of failing. Run under the sanitizers, these also show that no read leaves its
// buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::le16;
using test::le32;

constexpr size_t kUnit = 512;
constexpr int kRows = 120;
// Far more steps than the table has records: a walk that takes this many does not end.
constexpr int kStepCap = 100000;

// The message of the EEngineError `action` raises, or "" when it raises none.
std::string engineErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EEngineError& error) {
        return error.what();
    }
    return "";
}

// A table T.DBF with NAME C(20) and 120 rows, and its index file T.MDX with the tag NAME: a
// root branch over several leaves. Each test damages copies of their bytes.
class DamagedFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_table = m_dir.file("T.DBF");
        m_index = m_dir.file("T.MDX");
        createDbfTable(m_table, {{"NAME", 'C', 20, 0}});
        {
            GSO_dBaseFld table(m_table, false, true);
            for (int i = 0; i < kRows; ++i) {
                char name[16];
                std::snprintf(name, sizeof name, "Name%03d", (i * 37) % kRows);
                table.BlankRecord();
                table.FieldPut(1, name);
                table.AppendRecord();
            }
            createProductionIndex(table, "NAME", "NAME");
        }
        m_goodTable = test::readFileBytes(m_table);
        m_goodIndex = test::readFileBytes(m_index);
        m_tagHeader = le32(m_goodIndex, kUnit + 32);
        m_root = le32(m_goodIndex, m_tagHeader * kUnit);
        m_entryLength = le16(m_goodIndex, m_tagHeader * kUnit + 18);
        ASSERT_GT(rootCount(), 1u) << "the tree must have a root branch over several leaves";
        ASSERT_NE(pointerAfterLast(m_goodIndex, m_root), 0u);
    }

    uint32_t rootCount() const { return le32(m_goodIndex, m_root * kUnit); }
    // The offset of entry `i` of node block `block`.
    size_t entryAt(uint32_t block, uint32_t i) const {
        return block * kUnit + 8 + size_t{i} * m_entryLength;
    }
    uint32_t pointerAfterLast(const std::vector<uint8_t>& bytes, uint32_t block) const {
        return le32(bytes, entryAt(block, le32(bytes, block * kUnit)));
    }

    // Writes `bytes` as the table and walks it from the first record to the end, reading the
    // name of each: the error it gives ("" for none). The walk must end.
    std::string walkTable(const std::vector<uint8_t>& bytes, int* records = nullptr) {
        test::writeFileBytes(m_table, bytes);
        int steps = 0;
        std::string message = engineErrorOf([&] {
            GSO_dBaseFld table(m_table, true, false);
            for (table.GotoRecord(PosTop); !table.atEnd(); table.GotoRecord(PosNext)) {
                if (++steps > kStepCap) break;
                for (const DbfField& field : table.fields()) {
                    if (field.type == 'C') (void)table.FieldGet(field);
                }
            }
        });
        EXPECT_LE(steps, kStepCap) << "the walk over the table does not end";
        if (records != nullptr) *records = steps;
        return message;
    }

    // Writes `bytes` as the index file of the good table, opens it and walks every tag forward:
    // the error it gives ("" for none). The walk must end.
    std::string walkIndex(const std::vector<uint8_t>& bytes, int* keys = nullptr) {
        test::writeFileBytes(m_table, m_goodTable);
        test::writeFileBytes(m_index, bytes);
        int steps = 0;
        std::string message = engineErrorOf([&] {
            GSO_dBaseFld table(m_table, true, false);
            GSobjMDXFile index(table, m_index);
            for (const auto& tag : index.tags()) {
                for (int record = tag->Navigate(PosTop); record != 0;
                     record = tag->Navigate(PosNext)) {
                    if (++steps > kStepCap) return;
                }
            }
        });
        EXPECT_LE(steps, kStepCap) << "the walk over the index does not end";
        if (keys != nullptr) *keys = steps;
        return message;
    }

    // Runs the integrity check over the index file as it stands: the problem lines it reports.
    std::vector<std::string> checkProblems() {
        std::vector<std::string> lines;
        GSO_dBaseFld table(m_table, true, false);
        const IndexCheckReport report = checkIndexFile(table, m_index);
        for (const IndexProblem& problem : report.problems) {
            lines.push_back(formatIndexProblem(problem));
        }
        return lines;
    }

    std::string tableRefused() const { return "dBase DBF file header invalid - " + m_table; }
    std::string indexDamaged(const std::string& detail) const {
        return "Index file damaged - " + m_index + ": " + detail;
    }

    test::TempDir m_dir;
    std::string m_table, m_index;
    std::vector<uint8_t> m_goodTable, m_goodIndex;
    uint32_t m_tagHeader = 0, m_root = 0;
    uint16_t m_entryLength = 0;
};

// ---- Tables ----

TEST_F(DamagedFilesTest, GoodFilesWalkCompletely) {
    int records = 0, keys = 0;
    EXPECT_EQ(walkTable(m_goodTable, &records), "");
    EXPECT_EQ(records, kRows);
    EXPECT_EQ(walkIndex(m_goodIndex, &keys), "");
    EXPECT_EQ(keys, kRows);
    EXPECT_TRUE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, TableCutInsideItsFirstHeaderBlock) {
    for (size_t length : {size_t{0}, size_t{1}, size_t{31}}) {
        EXPECT_EQ(walkTable({m_goodTable.begin(), m_goodTable.begin() + length}), tableRefused())
            << length << " bytes";
    }
}

TEST_F(DamagedFilesTest, TableCutInsideItsDescriptors) {
    // The header length (65) now lies past the end of the file.
    EXPECT_EQ(walkTable({m_goodTable.begin(), m_goodTable.begin() + 50}), tableRefused());
}

TEST_F(DamagedFilesTest, TableWithRecordLengthZero) {
    auto bytes = m_goodTable;
    test::putLe16(bytes, 10, 0);
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

TEST_F(DamagedFilesTest, TableWhoseDescriptorAreaRunsPastTheEnd) {
    auto bytes = m_goodTable;
    test::putLe16(bytes, 8, 0xFFFF);
    EXPECT_EQ(walkTable(bytes), tableRefused());
    // Exactly one byte beyond the file.
    test::putLe16(bytes, 8, static_cast<uint16_t>(bytes.size() + 1));
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

TEST_F(DamagedFilesTest, TableWithHeaderLengthBelowOneDescriptor) {
    auto bytes = m_goodTable;
    test::putLe16(bytes, 8, 32);
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

TEST_F(DamagedFilesTest, TableWhoseFieldIsLongerThanItsRecord) {
    auto bytes = m_goodTable;
    bytes.at(32 + 16) = 21;  // NAME C(21) in a record of 21 bytes with the deletion flag
    EXPECT_EQ(walkTable(bytes), tableRefused());
    bytes.at(32 + 16) = 20;
    bytes.at(32 + 17) = 1;  // C(276): the high byte of a character field's length
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

TEST_F(DamagedFilesTest, TableWithAnUnknownVersion) {
    auto bytes = m_goodTable;
    bytes.at(0) = 0x04;
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

TEST_F(DamagedFilesTest, TableCutInsideItsLastRecordWalksTheWholeRecordsOnly) {
    int records = 0;
    EXPECT_EQ(walkTable({m_goodTable.begin(), m_goodTable.end() - 10}, &records), "");
    EXPECT_EQ(records, kRows - 1);
}

TEST_F(DamagedFilesTest, TableWithRecordLengthOneCannotHoldItsField) {
    // A record of only the deletion flag cannot hold the NAME field: refused.
    auto bytes = m_goodTable;
    test::putLe16(bytes, 10, 1);
    EXPECT_EQ(walkTable(bytes), tableRefused());
}

// ---- Index files ----

TEST_F(DamagedFilesTest, IndexCutInsideItsFirstUnit) {
    EXPECT_EQ(walkIndex({m_goodIndex.begin(), m_goodIndex.begin() + 300}),
              indexDamaged("header shorter than 512 bytes"));
}

TEST_F(DamagedFilesTest, IndexCutInsideItsHeader) {
    EXPECT_EQ(walkIndex({m_goodIndex.begin(), m_goodIndex.begin() + 1500}),
              indexDamaged("header shorter than 2048 bytes"));
}

TEST_F(DamagedFilesTest, IndexWithBlockLengthZero) {
    auto bytes = m_goodIndex;
    test::putLe16(bytes, 20, 0);
    test::putLe16(bytes, 22, 0);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("block length 0 in 0 units"));
}

TEST_F(DamagedFilesTest, IndexWhoseTagHeaderPointsPastTheEnd) {
    auto bytes = m_goodIndex;
    const auto pastEnd = static_cast<uint32_t>(bytes.size() / kUnit);
    test::putLe32(bytes, kUnit + 32, pastEnd);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("header block " + std::to_string(pastEnd) +
                                             " of tag NAME lies outside the file"));
    // Half a block before the end: the tag header would be read across the end.
    test::putLe32(bytes, kUnit + 32, pastEnd - 1);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("header block " + std::to_string(pastEnd - 1) +
                                             " of tag NAME lies outside the file"));
}

TEST_F(DamagedFilesTest, IndexWhoseTagHeaderLiesInTheFileHeader) {
    auto bytes = m_goodIndex;
    test::putLe32(bytes, kUnit + 32, 1);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("header block 1 of tag NAME lies outside the file"));
}

TEST_F(DamagedFilesTest, IndexWithOneUnitBlocksHasNoTagTable) {
    // Found by the index fuzz target: a 512-byte header has no room for tag slots, and the
    // check read its slots past the end of the header.
    auto bytes = m_goodIndex;
    test::putLe16(bytes, 20, 1);
    test::putLe16(bytes, 22, 512);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("block length 512 in 1 units"));
    const auto problems = checkProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems.front(), "file header: 1 tags do not fit in the tag table (at most 0)");
}

TEST_F(DamagedFilesTest, IndexWithATagCountAboveItsTagTable) {
    auto bytes = m_goodIndex;
    test::putLe16(bytes, 28, 0xFFFF);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag count 65535 exceeds the tag table"));
}

TEST_F(DamagedFilesTest, IndexWhoseRootLiesPastTheEnd) {
    auto bytes = m_goodIndex;
    test::putLe32(bytes, m_tagHeader * kUnit, 0x7FFFFFFF);
    EXPECT_EQ(walkIndex(bytes),
              indexDamaged("tag NAME: node block 2147483647 lies outside the file"));
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexWhoseRootIsTheFileHeader) {
    auto bytes = m_goodIndex;
    test::putLe32(bytes, m_tagHeader * kUnit, 0);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: node block 0 lies outside the file"));
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexWithAKeyLengthThatDoesNotFitItsType) {
    auto bytes = m_goodIndex;
    test::putLe16(bytes, m_tagHeader * kUnit + 12, 0);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: key length 0 does not fit its key type"));
    bytes = m_goodIndex;
    bytes.at(m_tagHeader * kUnit + 9) = 'X';
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: unknown key type"));
}

TEST_F(DamagedFilesTest, IndexWithNoKeysPerNode) {
    auto bytes = m_goodIndex;
    test::putLe16(bytes, m_tagHeader * kUnit + 14, 0);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: no keys per node"));
}

TEST_F(DamagedFilesTest, IndexLeafWithACountAboveWhatABlockHolds) {
    auto bytes = m_goodIndex;
    const uint32_t leaf = le32(bytes, entryAt(m_root, 0));
    const uint32_t tooMany = (1024 - 12) / m_entryLength + 1;
    test::putLe32(bytes, leaf * kUnit, tooMany);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: node block " + std::to_string(leaf) +
                                             " claims " + std::to_string(tooMany) + " keys"));
    EXPECT_FALSE(checkProblems().empty());
    test::putLe32(bytes, leaf * kUnit, 0xFFFFFFFF);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: node block " + std::to_string(leaf) +
                                             " claims 4294967295 keys"));
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexLeafWithACountAboveTheTagsLimitIsReported) {
    auto bytes = m_goodIndex;
    test::putLe16(bytes, m_tagHeader * kUnit + 14, 2);  // keys per node
    test::writeFileBytes(m_index, bytes);
    const uint32_t leaf = le32(bytes, entryAt(m_root, 0));
    const auto problems = checkProblems();
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems.front(), "NAME: block " + std::to_string(leaf) + ": node count " +
                                    std::to_string(le32(bytes, leaf * kUnit)) +
                                    " above the limit 2");
}

TEST_F(DamagedFilesTest, IndexBranchPointingAtItself) {
    auto bytes = m_goodIndex;
    test::putLe32(bytes, entryAt(m_root, 0), m_root);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: tree deeper than 32 levels"));
    EXPECT_FALSE(checkProblems().empty());
    // The pointer after the last key leads back to the root: found on the way forward.
    bytes = m_goodIndex;
    test::putLe32(bytes, entryAt(m_root, rootCount()), m_root);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: tree deeper than 32 levels"));
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexBranchPointingTwiceAtOneLeafEnds) {
    auto bytes = m_goodIndex;
    test::putLe32(bytes, entryAt(m_root, 1), le32(bytes, entryAt(m_root, 0)));
    int keys = 0;
    EXPECT_EQ(walkIndex(bytes, &keys), "");
    EXPECT_GT(keys, 0);
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexLeafTurnedIntoABranchOverTheRoot) {
    auto bytes = m_goodIndex;
    const uint32_t leaf = le32(bytes, entryAt(m_root, 0));
    const uint32_t count = le32(bytes, leaf * kUnit);
    // Only the pointer after the last key: the record numbers become block numbers.
    test::putLe32(bytes, entryAt(leaf, count), m_root);
    EXPECT_EQ(walkIndex(bytes),
              indexDamaged("tag NAME: node block " + std::to_string(le32(bytes, entryAt(leaf, 0))) +
                           " lies outside the file"));
    EXPECT_FALSE(checkProblems().empty());
    // Every pointer of the leaf leads back to the root.
    for (uint32_t i = 0; i <= count; ++i) test::putLe32(bytes, entryAt(leaf, i), m_root);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: tree deeper than 32 levels"));
    EXPECT_FALSE(checkProblems().empty());
}

TEST_F(DamagedFilesTest, IndexCutInsideItsNodes) {
    std::vector<uint8_t> bytes(m_goodIndex.begin(), m_goodIndex.begin() + (m_root + 1) * kUnit);
    EXPECT_EQ(walkIndex(bytes), indexDamaged("tag NAME: node block " + std::to_string(m_root) +
                                             " lies outside the file"));
}

}  // namespace
}  // namespace abonex
