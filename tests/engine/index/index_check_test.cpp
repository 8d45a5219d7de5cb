#include "engine/index/index_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::le16;
using test::le32;
using test::putLe16;
using test::putLe32;
using test::TempDir;

constexpr size_t kBlock = 1024;
constexpr size_t kUnit = 512;

std::vector<std::string> linesOf(const IndexCheckReport& report, std::string_view tag = {}) {
    std::vector<std::string> lines;
    for (const IndexProblem& problem : report.problems) {
        if (tag.empty() || problem.tag == tag) lines.push_back(formatIndexProblem(problem));
    }
    return lines;
}

long countStartingWith(const std::vector<std::string>& lines, std::string_view prefix) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.starts_with(prefix); });
}

// ---- Reading and damaging an index file image in a test ----

// A copy of a peer-written table and its index file in a temporary folder, with the index
// file's bytes at hand for damaging.
class PeerCopy {
  public:
    explicit PeerCopy(const std::string& baseName) {
        m_dbf = m_dir.file(baseName + ".DBF");
        m_mdx = m_dir.file(baseName + ".MDX");
        test::copyFile(test::peerFixtureDir() + "/" + baseName + ".DBF", m_dbf);
        test::copyFile(test::peerFixtureDir() + "/" + baseName + ".MDX", m_mdx);
        bytes = test::readFileBytes(m_mdx);
    }

    IndexCheckReport check() {
        test::writeFileBytes(m_mdx, bytes);
        GSO_dBaseFld table(m_dbf, true, false);
        return checkIndexFile(table, m_mdx);
    }

    // Tag geometry read straight from the image.
    uint32_t headerBlock(std::string_view tag) const {
        for (size_t k = 1; k <= le16(bytes, 28); ++k) {
            const char* name = reinterpret_cast<const char*>(&bytes[512 + 32 * k + 4]);
            if (tag == name) return le32(bytes, 512 + 32 * k);
        }
        ADD_FAILURE() << "no tag " << tag;
        return 0;
    }
    uint32_t root(std::string_view tag) const { return le32(bytes, headerBlock(tag) * kUnit); }
    size_t entryLength(std::string_view tag) const {
        return le16(bytes, headerBlock(tag) * kUnit + 18);
    }
    uint32_t count(uint32_t block) const { return le32(bytes, block * kUnit); }
    size_t entryOffset(std::string_view tag, uint32_t block, size_t i) const {
        return block * kUnit + 8 + i * entryLength(tag);
    }
    uint32_t pointer(std::string_view tag, uint32_t block, size_t i) const {
        return le32(bytes, entryOffset(tag, block, i));
    }
    void setPointer(std::string_view tag, uint32_t block, size_t i, uint32_t value) {
        putLe32(bytes, entryOffset(tag, block, i), value);
    }
    std::string key(std::string_view tag, uint32_t block, size_t i, size_t length) const {
        const char* at = reinterpret_cast<const char*>(&bytes[entryOffset(tag, block, i) + 4]);
        std::string text(at, length);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    void setKey(std::string_view tag, uint32_t block, size_t i, std::string_view text,
                size_t length) {
        std::string padded(text);
        padded.resize(length, ' ');
        std::copy(padded.begin(), padded.end(),
                  bytes.begin() + static_cast<long>(entryOffset(tag, block, i) + 4));
    }
    // The first leaf: entry 0 at every level.
    uint32_t firstLeaf(std::string_view tag) const {
        uint32_t block = root(tag);
        while (pointer(tag, block, count(block)) != 0) block = pointer(tag, block, 0);
        return block;
    }
    void swapEntries(std::string_view tag, uint32_t block, size_t i, size_t j) {
        size_t length = entryLength(tag);
        std::swap_ranges(bytes.begin() + static_cast<long>(entryOffset(tag, block, i)),
                         bytes.begin() + static_cast<long>(entryOffset(tag, block, i) + length),
                         bytes.begin() + static_cast<long>(entryOffset(tag, block, j)));
    }
    // Removes entry i of a leaf, as if its key had never been inserted.
    void removeLeafEntry(std::string_view tag, uint32_t block, size_t i) {
        uint32_t n = count(block);
        size_t length = entryLength(tag);
        auto from = bytes.begin() + static_cast<long>(entryOffset(tag, block, i + 1));
        auto end = bytes.begin() + static_cast<long>(entryOffset(tag, block, n + 1));
        std::copy(from, end, bytes.begin() + static_cast<long>(entryOffset(tag, block, i)));
        std::fill(end - static_cast<long>(length), end, 0);
        putLe32(bytes, block * kUnit, n - 1);
    }

    const std::string& dbfPath() const { return m_dbf; }
    const std::string& mdxPath() const { return m_mdx; }
    const TempDir& dir() const { return m_dir; }

    std::vector<uint8_t> bytes;

  private:
    TempDir m_dir;
    std::string m_dbf;
    std::string m_mdx;
};

// ---- Peer-written files ----

TEST(IndexCheckPeerFiles, PeopleIsCleanWithDeletedRecordsKeepingTheirKeys) {
    PeerCopy people("PEOPLE");
    IndexCheckReport report = people.check();
    EXPECT_EQ(linesOf(report), std::vector<std::string>{});
    EXPECT_TRUE(report.clean());
    EXPECT_EQ(report.tagsChecked, 2);
    EXPECT_EQ(report.keysChecked, 3000);  // 1,500 records, 41 of them deleted, in both tags
}

// The one defect the peer writer left in MIXED.MDX: in the descending numeric tag AMOUNT,
// 1369 (record 77), 1369.6 (record 753) and 1369.3 (record 415) stand in that order, so 1369
// comes before the larger 1369.6. Every other key of the four tags is in order and matches
// its record.
const std::string kPeerAmountSlip =
    "AMOUNT: block 82 entry 2: key 1369.6 sorts before the previous key 1369";

TEST(IndexCheckPeerFiles, MixedHasOnlyThePeerWritersNumericSlip) {
    PeerCopy mixed("MIXED");
    IndexCheckReport report = mixed.check();
    EXPECT_EQ(linesOf(report), std::vector<std::string>{kPeerAmountSlip});
    EXPECT_EQ(report.tagsChecked, 4);
    // AMOUNT and BORN 900 each, UNAME one per distinct name, BIG only AMOUNT > 500.
    EXPECT_EQ(report.keysChecked, 900 + 900 + 160 + 452);
}

// ---- Damaged copies of the peer files ----

class IndexCheckDamage : public ::testing::Test {
  protected:
    PeerCopy m_mixed{"MIXED"};
    PeerCopy m_people{"PEOPLE"};
};

TEST_F(IndexCheckDamage, SwappedKeyPairInALeaf) {
    uint32_t leaf = m_mixed.firstLeaf("UNAME");
    ASSERT_EQ(m_mixed.key("UNAME", leaf, 2, 20), "ITEM006");
    ASSERT_EQ(m_mixed.key("UNAME", leaf, 3, 20), "ITEM007");
    m_mixed.swapEntries("UNAME", leaf, 2, 3);  // pointers travel with their keys
    EXPECT_EQ(linesOf(m_mixed.check(), "UNAME"),
              std::vector<std::string>{"UNAME: block " + std::to_string(leaf) +
                                       " entry 3: key \"ITEM006\" sorts before the previous "
                                       "key \"ITEM007\""});
}

TEST_F(IndexCheckDamage, EqualKeysInAnyRecordOrderAreFine) {
    // BIG holds ITEM003 for records 6, 262, 390 and 646 at the start of its first leaf. An edit
    // that makes a key equal to others puts it after them, so record order is not required.
    uint32_t leaf = m_mixed.firstLeaf("BIG");
    ASSERT_EQ(m_mixed.pointer("BIG", leaf, 0), 6u);
    ASSERT_EQ(m_mixed.pointer("BIG", leaf, 1), 262u);
    m_mixed.swapEntries("BIG", leaf, 0, 1);
    EXPECT_EQ(linesOf(m_mixed.check(), "BIG"), std::vector<std::string>{});
}

TEST_F(IndexCheckDamage, SwappedChildPointersOfABranch) {
    uint32_t root = m_mixed.root("UNAME");
    uint32_t first = m_mixed.pointer("UNAME", root, 0);
    uint32_t second = m_mixed.pointer("UNAME", root, 1);
    uint32_t secondLeafCount = m_mixed.count(second);
    std::string lastOfSecond = m_mixed.key("UNAME", second, secondLeafCount - 1, 20);
    m_mixed.setPointer("UNAME", root, 0, second);
    m_mixed.setPointer("UNAME", root, 1, first);
    const std::string r = std::to_string(root);
    EXPECT_EQ(
        linesOf(m_mixed.check(), "UNAME"),
        (std::vector<std::string>{
            "UNAME: block " + r + " entry 0: branch key \"ITEM078\" is not the largest key \"" +
                lastOfSecond + "\" of child block " + std::to_string(second),
            "UNAME: block " + std::to_string(first) +
                " entry 0: key \"ITEM000\" sorts before the previous key \"" + lastOfSecond + "\"",
            "UNAME: block " + r + " entry 1: branch key \"" + lastOfSecond +
                "\" is not the largest key \"ITEM078\" of child block " + std::to_string(first)}));
}

TEST_F(IndexCheckDamage, ChildBlockPastTheEndOfTheFile) {
    uint32_t root = m_mixed.root("UNAME");
    uint32_t leaf = m_mixed.pointer("UNAME", root, 0);
    uint32_t past = static_cast<uint32_t>(m_mixed.bytes.size() / kUnit);  // next free block
    m_mixed.setPointer("UNAME", root, 0, past);
    auto lines = linesOf(m_mixed.check(), "UNAME");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "UNAME: block " + std::to_string(past) +
                            ": past the end of the file (entry 0 of block " + std::to_string(root) +
                            ")");
    // The keys of the lost leaf are reported missing, and nothing else.
    EXPECT_EQ(countStartingWith(lines, "UNAME: record "), m_mixed.count(leaf));
    EXPECT_EQ(lines.size(), 1 + m_mixed.count(leaf));
}

TEST_F(IndexCheckDamage, ChildBlockOffABlockBoundaryOrInsideTheHeader) {
    uint32_t root = m_mixed.root("UNAME");
    m_mixed.setPointer("UNAME", root, 0, 7);  // byte 3584: half-way into block 6
    m_mixed.setPointer("UNAME", root, 1, 2);  // byte 1024: the tag table
    auto lines = linesOf(m_mixed.check(), "UNAME");
    const std::string r = std::to_string(root);
    EXPECT_EQ(countStartingWith(
                  lines, "UNAME: block 7: not on a block boundary (entry 0 of block " + r + ")"),
              1);
    EXPECT_EQ(countStartingWith(
                  lines, "UNAME: block 2: inside the file header (entry 1 of block " + r + ")"),
              1);
}

TEST_F(IndexCheckDamage, ChildPointingAtATagHeader) {
    uint32_t root = m_mixed.root("UNAME");
    uint32_t bornHeader = m_mixed.headerBlock("BORN");
    m_mixed.setPointer("UNAME", root, 0, bornHeader);
    auto lines = linesOf(m_mixed.check(), "UNAME");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "UNAME: block " + std::to_string(bornHeader) +
                            ": a tag header, not a node (entry 0 of block " + std::to_string(root) +
                            ")");
}

TEST_F(IndexCheckDamage, NodeSharedWithAnotherTag) {
    // BORN's tree is walked before UNAME's (tag-table order).
    uint32_t root = m_mixed.root("UNAME");
    uint32_t bornLeaf = m_mixed.firstLeaf("BORN");
    m_mixed.setPointer("UNAME", root, 0, bornLeaf);
    auto lines = linesOf(m_mixed.check(), "UNAME");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "UNAME: block " + std::to_string(bornLeaf) +
                            ": a node of tag BORN as well (entry 0 of block " +
                            std::to_string(root) + ")");
}

TEST_F(IndexCheckDamage, NodeCountAboveTheLimit) {
    uint32_t leaf = m_mixed.firstLeaf("UNAME");
    uint32_t keys = m_mixed.count(leaf);
    putLe32(m_mixed.bytes, leaf * kUnit, 43);  // UNAME: 42 keys per node
    auto lines = linesOf(m_mixed.check(), "UNAME");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              "UNAME: block " + std::to_string(leaf) + ": node count 43 above the limit 42");
    EXPECT_EQ(countStartingWith(lines, "UNAME: record "), keys);
}

TEST_F(IndexCheckDamage, HugeNodeCountIsNeverReadPastTheBlock) {
    uint32_t leaf = m_people.firstLeaf("NAME");
    putLe32(m_people.bytes, leaf * kUnit, 0xFFFFFFFFu);
    auto lines = linesOf(m_people.check(), "NAME");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              "NAME: block " + std::to_string(leaf) + ": node count 4294967295 above the limit 28");
}

TEST_F(IndexCheckDamage, BranchPointingAtItselfIsACycle) {
    uint32_t root = m_mixed.root("UNAME");
    uint32_t leaf = m_mixed.pointer("UNAME", root, 2);
    m_mixed.setPointer("UNAME", root, 2, root);
    auto lines = linesOf(m_mixed.check(), "UNAME");
    const std::string r = std::to_string(root);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "UNAME: block " + r +
                            ": reached a second time, a cycle or a shared node (entry 2 of block " +
                            r + ")");
    EXPECT_EQ(countStartingWith(lines, "UNAME: record "), m_mixed.count(leaf));
}

TEST_F(IndexCheckDamage, LowerBranchPointingBackAtTheRoot) {
    // NAME is two levels deep: root -> branches -> leaves.
    uint32_t root = m_people.root("NAME");
    uint32_t branch = m_people.pointer("NAME", root, 1);
    ASSERT_NE(m_people.pointer("NAME", branch, m_people.count(branch)), 0u);
    m_people.setPointer("NAME", branch, 0, root);
    auto lines = linesOf(m_people.check(), "NAME");
    EXPECT_EQ(countStartingWith(lines, "NAME: block " + std::to_string(root) +
                                           ": reached a second time, a cycle or a shared node "
                                           "(entry 0 of block " +
                                           std::to_string(branch) + ")"),
              1);
}

TEST_F(IndexCheckDamage, LeavesAtDifferentDepths) {
    // The root's first entry goes straight to the first leaf, skipping a level.
    uint32_t root = m_people.root("NAME");
    uint32_t firstLeaf = m_people.firstLeaf("NAME");
    m_people.setPointer("NAME", root, 0, firstLeaf);
    auto lines = linesOf(m_people.check(), "NAME");
    uint32_t secondBranch = m_people.pointer("NAME", root, 1);
    uint32_t leafBelowIt = m_people.pointer("NAME", secondBranch, 0);
    EXPECT_EQ(countStartingWith(lines, "NAME: block " + std::to_string(leafBelowIt) +
                                           ": leaf at depth 2, the first leaf is at depth 1"),
              1);
}

TEST_F(IndexCheckDamage, RecordMissingFromATag) {
    uint32_t leaf = m_mixed.firstLeaf("UNAME");
    ASSERT_EQ(m_mixed.pointer("UNAME", leaf, 4), 87u);
    m_mixed.removeLeafEntry("UNAME", leaf, 4);
    EXPECT_EQ(linesOf(m_mixed.check(), "UNAME"),
              std::vector<std::string>{"UNAME: record 87 missing (key \"ITEM010\")"});
}

TEST_F(IndexCheckDamage, KeyNoLongerMatchesItsRecord) {
    // Record 1 of PEOPLE has the phone 20-00-00, the last key of the descending tag PHONE1.
    std::vector<uint8_t> table = test::readFileBytes(m_people.dbfPath());
    size_t phone1 = le16(table, 8) + 1 + 30;  // record 1: deletion flag, NAME C30, PHONE1
    ASSERT_EQ(std::string(table.begin() + static_cast<long>(phone1),
                          table.begin() + static_cast<long>(phone1 + 8)),
              "20-00-00");
    std::memcpy(&table[phone1], "20-00-01", 8);
    test::writeFileBytes(m_people.dbfPath(), table);

    uint32_t root = m_people.root("PHONE1");
    uint32_t lastLeaf = m_people.pointer("PHONE1", root, m_people.count(root));
    uint32_t last = m_people.count(lastLeaf) - 1;
    EXPECT_EQ(linesOf(m_people.check()),
              std::vector<std::string>{"PHONE1: block " + std::to_string(lastLeaf) + " entry " +
                                       std::to_string(last) +
                                       ": key \"20-00-00\" does not match record 1, whose key "
                                       "is \"20-00-01\""});
}

TEST_F(IndexCheckDamage, EntryForARecordOutsideTheTable) {
    uint32_t leaf = m_people.firstLeaf("NAME");
    uint32_t record = m_people.pointer("NAME", leaf, 0);
    m_people.setPointer("NAME", leaf, 0, 1501);
    EXPECT_EQ(
        linesOf(m_people.check()),
        (std::vector<std::string>{"NAME: block " + std::to_string(leaf) +
                                      " entry 0: record 1501 outside the table (1..1500)",
                                  "NAME: record " + std::to_string(record) + " missing (key \"" +
                                      oemToUtf8(m_people.key("NAME", leaf, 0, 30)) + "\")"}));
}

TEST_F(IndexCheckDamage, TwoEntriesForOneRecord) {
    uint32_t leaf = m_mixed.firstLeaf("BIG");
    // BIG: ITEM003 for records 6, 262, 390, 646; point the second entry at record 6 too.
    m_mixed.setPointer("BIG", leaf, 1, 6);
    EXPECT_EQ(linesOf(m_mixed.check(), "BIG"),
              (std::vector<std::string>{"BIG: block " + std::to_string(leaf) +
                                            " entry 1: second entry for record 6 "
                                            "(first in block " +
                                            std::to_string(leaf) + ")",
                                        "BIG: record 262 missing (key \"ITEM003\")"}));
}

TEST_F(IndexCheckDamage, RecordThatFailsTheFilter) {
    // BIG holds ITEM003 for records 6, 262, 390 and 646 (AMOUNT > 500); record 134 is also
    // ITEM003 but has a smaller amount, and so has record 518.
    uint32_t leaf = m_mixed.firstLeaf("BIG");
    m_mixed.setPointer("BIG", leaf, 3, 518);
    EXPECT_EQ(linesOf(m_mixed.check(), "BIG"),
              (std::vector<std::string>{"BIG: block " + std::to_string(leaf) +
                                            " entry 3: record 518 does not pass the filter",
                                        "BIG: record 646 missing (key \"ITEM003\")"}));
}

TEST_F(IndexCheckDamage, UniqueTagWithTwoEntriesForOneKey) {
    // In UNAME, ITEM003 is held by record 6 (of 6, 262, 390 and 646). Another record with the
    // same key may hold it instead, but never two of them.
    uint32_t leaf = m_mixed.firstLeaf("UNAME");
    ASSERT_EQ(m_mixed.pointer("UNAME", leaf, 1), 6u);
    ASSERT_EQ(m_mixed.key("UNAME", leaf, 2, 20), "ITEM006");
    m_mixed.setPointer("UNAME", leaf, 1, 262);
    EXPECT_EQ(linesOf(m_mixed.check(), "UNAME"), std::vector<std::string>{});
    m_mixed.setKey("UNAME", leaf, 2, "ITEM003", 20);
    m_mixed.setPointer("UNAME", leaf, 2, 390);
    auto lines = linesOf(m_mixed.check(), "UNAME");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "UNAME: block " + std::to_string(leaf) +
                            " entry 2: record 390 duplicates key \"ITEM003\" of record 262 in a "
                            "unique tag"),
              lines.end());
}

TEST_F(IndexCheckDamage, TagGeometryThatDoesNotFitTheBlock) {
    uint32_t header = m_people.headerBlock("NAME");
    putLe16(m_people.bytes, header * kUnit + 14, 29);  // 8 + 29 * 36 + 4 > 1024
    EXPECT_EQ(linesOf(m_people.check()),
              std::vector<std::string>{"NAME: tag header block 4: 29 keys per node do not fit "
                                       "in a block of 1024 bytes"});
}

TEST_F(IndexCheckDamage, TagHeaderWithAWrongKeyLength) {
    uint32_t header = m_mixed.headerBlock("BORN");
    putLe16(m_mixed.bytes, header * kUnit + 12, 9);
    EXPECT_EQ(
        linesOf(m_mixed.check(), "BORN"),
        std::vector<std::string>{"BORN: tag header block 8: key length 9 is wrong for key type D"});
}

TEST_F(IndexCheckDamage, FileHeaderDamage) {
    putLe16(m_people.bytes, 22, 1000);
    IndexCheckReport report = m_people.check();
    EXPECT_EQ(linesOf(report), std::vector<std::string>{"file header: block length of 1000 "
                                                        "bytes and 2 units is not usable"});
    EXPECT_EQ(report.tagsChecked, 0);

    m_people.bytes = test::readFileBytes(test::peerFixtureDir() + "/PEOPLE.MDX");
    putLe16(m_people.bytes, 28, 48);
    EXPECT_EQ(linesOf(m_people.check())[0],
              "file header: 48 tags do not fit in the tag table (at most 47)");

    m_people.bytes.resize(300);
    EXPECT_EQ(linesOf(m_people.check()),
              std::vector<std::string>{"file header: the file has 300 bytes, too short for a "
                                       "header"});

    m_people.bytes.resize(1500);  // the first part of the header only
    EXPECT_EQ(linesOf(m_people.check()),
              std::vector<std::string>{"file header: header of 2048 bytes is longer than the "
                                       "file (1500 bytes)"});
}

TEST_F(IndexCheckDamage, MissingIndexFileRaises) {
    GSO_dBaseFld table(m_people.dbfPath(), true, false);
    EXPECT_THROW(checkIndexFile(table, m_people.dir().file("NOSUCH.MDX")), EEngineError);
}

// Random damage anywhere in the tree blocks must give problem lines, never a crash or a hang.
TEST_F(IndexCheckDamage, RandomBlockDamageNeverCrashes) {
    const std::vector<uint8_t> good = m_mixed.bytes;
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> position(2048, good.size() - 1);
    std::uniform_int_distribution<int> byteValue(0, 255);
    int damaged = 0;
    for (int round = 0; round < 200; ++round) {
        m_mixed.bytes = good;
        for (int k = 0; k < 1 + round % 8; ++k)
            m_mixed.bytes[position(random)] = static_cast<uint8_t>(byteValue(random));
        IndexCheckReport report = m_mixed.check();
        EXPECT_LE(report.tagsChecked, 4);
        if (report.problems.size() > 1) ++damaged;
    }
    EXPECT_GT(damaged, 50);  // most damage is seen
}

// ---- Small index files written by the test ----

// One leaf entry: record number and the key bytes in the stored form.
struct Entry {
    uint32_t record;
    std::string key;
};

struct TagLayout {
    char type = 'C';
    int keyLength = 10;
    bool descending = false;
    bool unique = false;
    std::string expression;
    std::string filter;
};

size_t entryLengthFor(int keyLength) {
    return (static_cast<size_t>(keyLength) + 4 + 3) / 4 * 4;
}

// An index file with the one tag "T": header block 4, root block 6. With one leaf the root is
// that leaf; with several, the root is a branch over leaves at blocks 8, 10, ... whose entries
// carry each leaf's last key.
std::vector<uint8_t> buildIndex(const TagLayout& tag,
                                const std::vector<std::vector<Entry>>& leaves) {
    const size_t entry = entryLengthFor(tag.keyLength);
    const size_t blocks = leaves.size() == 1 ? 1 : 1 + leaves.size();
    std::vector<uint8_t> image(2048 + kBlock * (1 + blocks), 0);
    image[0] = 2;
    putLe16(image, 20, 2);
    putLe16(image, 22, kBlock);
    putLe16(image, 28, 1);
    putLe32(image, 544, 4);
    std::memcpy(&image[548], "T", 1);

    const size_t header = 4 * kUnit;
    putLe32(image, header, 6);
    image[header + 8] = static_cast<uint8_t>(0x10 | (tag.descending ? 0x08 : 0));
    image[header + 9] = static_cast<uint8_t>(tag.type);
    putLe16(image, header + 12, static_cast<uint16_t>(tag.keyLength));
    putLe16(image, header + 14, static_cast<uint16_t>((kBlock - 8) / entry - 1));
    putLe16(image, header + 18, static_cast<uint16_t>(entry));
    image[header + 23] = tag.unique ? 0x40 : 0;
    std::memcpy(&image[header + 24], tag.expression.data(), tag.expression.size());
    if (!tag.filter.empty()) {
        image[header + 245] = 1;
        std::memcpy(&image[header + 762], tag.filter.data(), tag.filter.size());
    }

    auto writeNode = [&](uint32_t block, const std::vector<Entry>& entries, uint32_t extra) {
        size_t at = block * kUnit;
        putLe32(image, at, static_cast<uint32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            putLe32(image, at + 8 + i * entry, entries[i].record);
            std::memcpy(&image[at + 12 + i * entry], entries[i].key.data(), entries[i].key.size());
        }
        putLe32(image, at + 8 + entries.size() * entry, extra);
    };
    if (leaves.size() == 1) {
        writeNode(6, leaves[0], 0);
        return image;
    }
    std::vector<Entry> branch;
    for (size_t i = 0; i < leaves.size(); ++i) {
        uint32_t block = static_cast<uint32_t>(8 + 2 * i);
        writeNode(block, leaves[i], 0);
        if (i + 1 < leaves.size()) branch.push_back({block, leaves[i].back().key});
    }
    writeNode(6, branch, static_cast<uint32_t>(8 + 2 * (leaves.size() - 1)));
    return image;
}

std::string charKey(std::string_view text, int keyLength) {
    std::string key(text);
    key.resize(static_cast<size_t>(keyLength), ' ');
    return key;
}

std::string dateKey(double julianDay) {
    std::string key(8, '\0');
    putLE64(reinterpret_cast<uint8_t*>(key.data()), std::bit_cast<uint64_t>(julianDay));
    return key;
}

// The 12-byte decimal form: exponent + 52, 8 x digit bytes + 1 (0x80 when negative), the
// digits packed two to a byte.
std::string numericKey(double value) {
    std::string key(12, '\0');
    if (value == 0) {
        key[0] = 0x34;
        key[1] = 0x01;
        return key;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.14e", std::fabs(value));
    std::string digits = std::string(1, text[0]) + std::string(text + 2, 14);
    digits.erase(digits.find_last_not_of('0') + 1);
    int exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
    size_t digitBytes = (digits.size() + 1) / 2;
    key[0] = static_cast<char>(52 + exponent);
    key[1] = static_cast<char>(8 * digitBytes + 1 + (value < 0 ? 0x80 : 0));
    for (size_t i = 0; i < digits.size(); ++i) {
        int digit = digits[i] - '0';
        key[2 + i / 2] = static_cast<char>(key[2 + i / 2] | (i % 2 == 0 ? digit << 4 : digit));
    }
    return key;
}

class SyntheticIndex : public ::testing::Test {
  protected:
    // A table with the given fields and records (text per field; a leading '*' in the first
    // value marks the record deleted), in place of the one made before.
    void makeTable(const std::vector<FieldSpec>& fields,
                   const std::vector<std::vector<std::string>>& records) {
        std::remove(m_dbf.c_str());
        createDbfTable(m_dbf, fields);
        GSO_dBaseFld table(m_dbf, false, true);
        for (const auto& values : records) {
            table.BlankRecord();
            bool deleted = false;
            for (size_t f = 0; f < values.size(); ++f) {
                std::string value = values[f];
                if (f == 0 && value.starts_with("*")) {
                    deleted = true;
                    value.erase(0, 1);
                }
                table.FieldPut(static_cast<int>(f + 1), value);
            }
            table.AppendRecord();
            if (deleted) table.DeleteRecord();
        }
    }

    std::vector<std::string> check(const TagLayout& tag,
                                   const std::vector<std::vector<Entry>>& leaves) {
        test::writeFileBytes(m_mdx, buildIndex(tag, leaves));
        GSO_dBaseFld table(m_dbf, true, false);
        m_report = checkIndexFile(table, m_mdx);
        return linesOf(m_report);
    }

    TempDir m_dir;
    std::string m_dbf = m_dir.file("T.DBF");
    std::string m_mdx = m_dir.file("T.MDX");
    IndexCheckReport m_report;
    const std::vector<std::string> m_clean;
};

TEST_F(SyntheticIndex, TheTestsNumericEncoderWritesTheDocumentedForm) {
    EXPECT_EQ(numericKey(123), std::string("\x37\x11\x12\x30\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(numericKey(0), std::string("\x34\x01\0\0\0\0\0\0\0\0\0\0", 12));
}

TEST_F(SyntheticIndex, NumericKeysCompareByValueAtTheStoredPrecision) {
    makeTable({{"AMOUNT", 'N', 12, 2}},
              {{"123.00"}, {"-4.50"}, {"0.00"}, {"2.25"}, {"1234567.89"}, {"-1000.00"}});
    TagLayout tag{'N', 12, false, false, "AMOUNT", ""};
    auto n = [](double v) { return numericKey(v); };
    EXPECT_EQ(check(tag, {{{6, n(-1000)}, {2, n(-4.5)}, {3, n(0)}},
                          {{4, n(2.25)}, {1, n(123)}, {5, n(1234567.89)}}}),
              m_clean);
    EXPECT_EQ(m_report.keysChecked, 6);

    EXPECT_EQ(check(tag, {{{6, n(-1000)}, {2, n(-4.5)}, {3, n(0)}},
                          {{4, n(2.25)}, {1, n(124)}, {5, n(1234567.89)}}}),
              std::vector<std::string>{
                  "T: block 10 entry 1: key 124 does not match record 1, whose key is 123"});

    // Descending: the largest first.
    tag.descending = true;
    EXPECT_EQ(check(tag, {{{5, n(1234567.89)},
                           {1, n(123)},
                           {4, n(2.25)},
                           {3, n(0)},
                           {2, n(-4.5)},
                           {6, n(-1000)}}}),
              m_clean);
    EXPECT_EQ(
        check(tag, {{{5, n(1234567.89)},
                     {1, n(123)},
                     {4, n(2.25)},
                     {2, n(-4.5)},
                     {3, n(0)},
                     {6, n(-1000)}}}),
        std::vector<std::string>{"T: block 6 entry 4: key 0 sorts before the previous key -4.5"});
}

TEST_F(SyntheticIndex, DatesAreDayNumbersWithTheEmptyDateLast) {
    makeTable({{"BORN", 'D', 8, 0}}, {{"19800101"}, {""}, {"20020305"}});
    TagLayout tag{'D', 8, false, false, "BORN", ""};
    const double jan1980 = 2444240, mar2002 = 2452339;
    EXPECT_EQ(check(tag, {{{1, dateKey(jan1980)}, {3, dateKey(mar2002)}, {2, dateKey(1.0e100)}}}),
              m_clean);
    EXPECT_EQ(check(tag, {{{2, dateKey(1.0e100)}, {1, dateKey(jan1980)}, {3, dateKey(mar2002)}}}),
              std::vector<std::string>{
                  "T: block 6 entry 1: key 1980-01-01 sorts before the previous key empty date"});
}

TEST_F(SyntheticIndex, CharacterKeysLoseTrailingBlanksAndAreCutToTheKeyLength) {
    // A key of 4 bytes over a 10-byte field; deleted records keep their keys.
    makeTable({{"NAME", 'C', 10, 0}}, {{"ABCDEFG"}, {"*AB"}, {""}, {"AB\x01"}});
    TagLayout tag{'C', 4, false, false, "NAME", ""};
    EXPECT_EQ(check(tag, {{{3, charKey("", 4)},
                           {2, charKey("AB", 4)},
                           {4, charKey("AB", 4)},
                           {1, charKey("ABCD", 4)}}}),
              m_clean);
    EXPECT_EQ(
        check(tag, {{{3, charKey("", 4)},
                     {2, charKey("AB", 4)},
                     {4, charKey("AB", 4)},
                     {1, charKey("ABC", 4)}}}),
        std::vector<std::string>{
            "T: block 6 entry 3: key \"ABC\" does not match record 1, whose key is \"ABCD\""});
}

TEST_F(SyntheticIndex, CharacterKeysCompareAsUnsignedBytes) {
    // 0x80 and above sort after ASCII: the Cyrillic letters of code page 866.
    makeTable({{"NAME", 'C', 10, 0}}, {{"\x80\xa1"}, {"Zeta"}, {"zeta"}});
    TagLayout tag{'C', 10, false, false, "NAME", ""};
    EXPECT_EQ(
        check(tag,
              {{{2, charKey("Zeta", 10)}, {3, charKey("zeta", 10)}, {1, charKey("\x80\xa1", 10)}}}),
        m_clean);
    EXPECT_EQ(
        check(tag,
              {{{1, charKey("\x80\xa1", 10)}, {2, charKey("Zeta", 10)}, {3, charKey("zeta", 10)}}}),
        std::vector<std::string>{
            "T: block 6 entry 1: key \"Zeta\" sorts before the previous key \"Аб\""});
}

TEST_F(SyntheticIndex, EqualKeysMayStandInAnyRecordOrderDirectionStillCounts) {
    makeTable({{"NAME", 'C', 10, 0}}, {{"A"}, {"B"}, {"A"}, {"A"}});
    TagLayout tag{'C', 10, false, false, "NAME", ""};
    auto a = charKey("A", 10), b = charKey("B", 10);
    EXPECT_EQ(check(tag, {{{1, a}, {3, a}, {4, a}, {2, b}}}), m_clean);
    EXPECT_EQ(check(tag, {{{1, a}, {4, a}, {3, a}, {2, b}}}), m_clean);
    EXPECT_EQ(check(tag, {{{2, b}, {1, a}, {3, a}, {4, a}}}),
              std::vector<std::string>{
                  "T: block 6 entry 1: key \"A\" sorts before the previous key \"B\""});
    tag.descending = true;
    EXPECT_EQ(check(tag, {{{2, b}, {4, a}, {3, a}, {1, a}}}), m_clean);
    EXPECT_EQ(check(tag, {{{1, a}, {2, b}, {3, a}, {4, a}}}),
              std::vector<std::string>{
                  "T: block 6 entry 1: key \"B\" sorts before the previous key \"A\""});
}

TEST_F(SyntheticIndex, UniqueTagHoldsOneEntryPerDistinctKey) {
    makeTable({{"NAME", 'C', 10, 0}}, {{"A"}, {"B"}, {"A"}});
    TagLayout tag{'C', 10, false, true, "NAME", ""};
    auto a = charKey("A", 10), b = charKey("B", 10);
    EXPECT_EQ(check(tag, {{{1, a}, {2, b}}}), m_clean);
    EXPECT_EQ(check(tag, {{{3, a}, {2, b}}}), m_clean);  // any record with the key may hold it
    EXPECT_EQ(check(tag, {{{1, a}, {3, a}, {2, b}}}),
              std::vector<std::string>{
                  "T: block 6 entry 1: record 3 duplicates key \"A\" of record 1 in a unique tag"});
    // A key held by no record is missing once, for the record a rebuild would give it.
    EXPECT_EQ(check(tag, {{{2, b}}}), std::vector<std::string>{"T: record 1 missing (key \"A\")"});
}

TEST_F(SyntheticIndex, FilteredTagHoldsExactlyTheRecordsThatPass) {
    makeTable({{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}},
              {{"A", "600.00"}, {"B", "100.00"}, {"*C", "501.00"}, {"D", "500.00"}});
    TagLayout tag{'C', 10, false, false, "NAME", "AMOUNT > 500"};
    auto k = [](std::string_view text) { return charKey(text, 10); };
    EXPECT_EQ(check(tag, {{{1, k("A")}, {3, k("C")}}}), m_clean);
    EXPECT_EQ(check(tag, {{{1, k("A")}, {2, k("B")}}}),
              (std::vector<std::string>{"T: block 6 entry 1: record 2 does not pass the filter",
                                        "T: record 3 missing (key \"C\")"}));
}

TEST_F(SyntheticIndex, KeyExpressionsAreEvaluatedLikeTheTagsWriter) {
    makeTable({{"NAME", 'C', 10, 0}, {"PHONE", 'C', 6, 0}}, {{"ab", "12"}, {"Ab", "3"}});
    TagLayout tag{'C', 16, false, false, "UPPER(NAME)+PHONE", ""};
    EXPECT_EQ(check(tag, {{{1, charKey("AB        12", 16)}, {2, charKey("AB        3", 16)}}}),
              m_clean);

    tag.expression = "NOSUCH";
    EXPECT_EQ(check(tag, {{{2, charKey("Ab", 16)}, {1, charKey("ab", 16)}}}),
              std::vector<std::string>{"T: tag header block 4: the expressions cannot be "
                                       "compiled: There is no function for NOSUCH"});
}

TEST_F(SyntheticIndex, EmptyTagOnAnEmptyAndOnAFilledTable) {
    makeTable({{"NAME", 'C', 10, 0}}, {});
    TagLayout tag{'C', 10, false, false, "NAME", ""};
    EXPECT_EQ(check(tag, {{}}), m_clean);
    EXPECT_EQ(m_report.tagsChecked, 1);
    EXPECT_EQ(m_report.keysChecked, 0);

    makeTable({{"NAME", 'C', 10, 0}}, {{"A"}});
    EXPECT_EQ(check(tag, {{}}), std::vector<std::string>{"T: record 1 missing (key \"A\")"});
}

TEST_F(SyntheticIndex, BranchKeyOfTheLastLeafIsTheHighValueAndNotCompared) {
    makeTable({{"NAME", 'C', 10, 0}}, {{"A"}, {"B"}, {"C"}});
    TagLayout tag{'C', 10, false, false, "NAME", ""};
    auto image =
        buildIndex(tag, {{{1, charKey("A", 10)}}, {{2, charKey("B", 10)}, {3, charKey("C", 10)}}});
    // Garbage in the key bytes of the root's extra last entry.
    std::memset(&image[6 * kUnit + 8 + entryLengthFor(10) + 4], 0xEE, 10);
    test::writeFileBytes(m_mdx, image);
    GSO_dBaseFld table(m_dbf, true, false);
    EXPECT_EQ(linesOf(checkIndexFile(table, m_mdx)), m_clean);
}

TEST_F(SyntheticIndex, KeyTypeOfTheExpressionMustMatchTheTag) {
    makeTable({{"NAME", 'C', 10, 0}}, {{"A"}});
    TagLayout tag{'D', 8, false, false, "NAME", ""};
    EXPECT_EQ(check(tag, {{{1, dateKey(2444240)}}}),
              std::vector<std::string>{"T: tag header block 4: key expression \"NAME\" gives C "
                                       "keys, the tag holds D keys"});
}

// ---- The abonex-db check command ----

class CheckCommand : public ::testing::Test {
  protected:
    test::CommandResult run(const std::string& arguments) {
        return test::runCommand(test::shellQuote(test::toolPath()) + " check " + arguments);
    }
    PeerCopy m_people{"PEOPLE"};
};

TEST_F(CheckCommand, CleanDamagedAndUnreadableFiles) {
    auto good = run(test::shellQuote(m_people.dbfPath()));
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out, "2 tags, 3000 keys checked, no problems\n");

    // PHONE1 is descending: its first leaf starts 79-96-39, 79-94-28.
    uint32_t leaf = m_people.firstLeaf("PHONE1");
    m_people.swapEntries("PHONE1", leaf, 0, 1);
    test::writeFileBytes(m_people.mdxPath(), m_people.bytes);
    auto damaged = run(test::shellQuote(m_people.dbfPath()));
    EXPECT_EQ(damaged.status, 1) << damaged.err;
    EXPECT_EQ(damaged.out, "PHONE1: block " + std::to_string(leaf) +
                               " entry 1: key \"79-96-39\" sorts before the previous key "
                               "\"79-94-28\"\n2 tags, 3000 keys checked, 1 problem\n");

    auto missing = run(test::shellQuote(m_people.dbfPath()) + " " +
                       test::shellQuote(m_people.dir().file("OTHER.MDX")));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "File not found - " + m_people.dir().file("OTHER.MDX") +
                               " (abonex-db index create makes its tags)\n");

    auto noTable = run(test::shellQuote(m_people.dir().file("NONE.DBF")));
    EXPECT_EQ(noTable.status, 2);
    EXPECT_NE(noTable.err.find("File not found"), std::string::npos) << noTable.err;

    auto usage = run("");
    EXPECT_EQ(usage.status, 2);
}

// The engine's own writer, judged by the check: rebuilt peer tags and new tags with many
// equal keys in both directions, a unique descending tag and a filter on deleted records.
TEST_F(CheckCommand, TagsBuiltByTheEnginesWriterAreClean) {
    const std::string tool = test::shellQuote(test::toolPath());
    const std::string dbf = test::shellQuote(m_people.dbfPath());
    const std::string mdx = test::shellQuote(m_people.mdxPath());
    for (const std::string& command :
         {" reindex " + dbf, " index create " + dbf + " " + mdx + " INITA \"LEFT(NAME,1)\"",
          " index create " + dbf + " " + mdx + " INITD \"LEFT(NAME,1)\" --descending",
          " index create " + dbf + " " + mdx + " INITU \"LEFT(NAME,1)\" --unique --descending",
          " index create " + dbf + " " + mdx + " GONE \"PHONE2\" --filter \"DELETED()\""}) {
        auto result = test::runCommand(tool + command);
        ASSERT_EQ(result.status, 0) << command << ": " << result.err;
    }
    // One key per initial in INITU: count the initials straight from the table file.
    std::vector<uint8_t> table = test::readFileBytes(m_people.dbfPath());
    std::set<uint8_t> initials;
    for (size_t r = 0; r < 1500; ++r)
        initials.insert(table[le16(table, 8) + r * le16(table, 10) + 1]);
    // NAME, PHONE1, INITA and INITD hold every record, INITU one per initial, GONE the 41
    // deleted records.
    const long keys = 4 * 1500 + static_cast<long>(initials.size()) + 41;
    auto result = run(dbf);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, "6 tags, " + std::to_string(keys) + " keys checked, no problems\n");
}

TEST_F(CheckCommand, FindsTheProductionIndexInAnyLetterCase) {
    std::rename(m_people.mdxPath().c_str(), m_people.dir().file("people.mdx").c_str());
    auto result = run(test::shellQuote(m_people.dbfPath()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "2 tags, 3000 keys checked, no problems\n");
}

TEST_F(CheckCommand, SeveralIndexFilesAreNamedInTheirLines) {
    PeerCopy mixed("MIXED");
    auto result = run(test::shellQuote(mixed.dbfPath()) + " " + test::shellQuote(mixed.mdxPath()) +
                      " " + test::shellQuote(mixed.mdxPath()));
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "MIXED.MDX: " + kPeerAmountSlip + "\nMIXED.MDX: " + kPeerAmountSlip +
                              "\n8 tags, 4824 keys checked, 2 problems\n");
}

}  // namespace
}  // namespace abonex
