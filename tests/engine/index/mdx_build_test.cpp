// The bulk build: node blocks written bottom-up, equal keys, unique and descending tags,
// deleted records, numeric and date keys, progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "engine/index/mdx_file.h"
#include "engine/index/sort_mdx.h"
#include "tests/engine/index/index_test_util.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::le32;

std::string key3(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "KEY%03d", i);
    return text;
}

class BuildTest : public ::testing::Test {
  protected:
    std::string table() const { return m_dir.file("T.DBF"); }
    std::string index() const { return m_dir.file("T.MDX"); }
    std::vector<uint8_t> indexBytes() const { return test::readFileBytes(index()); }
    test::TempDir m_dir;
};

// 100 keys of 100 bytes, 8 keys per node: 13 leaves (12 full, one of 4), two branches (8 and 5
// pointers, stored counts 7 and 4) and a root of 2 pointers: 16 node blocks after the header.
TEST_F(BuildTest, HundredRecordsWithEightKeysPerNode) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 100; i >= 1; --i) rows.push_back({key3(i)});  // reverse order on disk
    test::makeTable(table(), {{"NAME", 'C', 100, 0}}, rows);
    {
        GSO_dBaseFld t(table(), true, true);
        auto file = GSobjMDXFile::create(t, "T");
        GSobjMDXTag& tag = file->TagCreate("NAME", "NAME", "", false, true);
        EXPECT_EQ(tag.keysPerNode(), 8);
        EXPECT_EQ(tag.entryLength(), 104);
    }
    const auto b = indexBytes();
    ASSERT_EQ(b.size(), 2048u + 1024u + 16 * 1024u);
    const uint32_t root = le32(b, 2048);
    EXPECT_EQ(root, 36u);
    EXPECT_EQ(le32(b, 2048 + 248), 6u);
    EXPECT_EQ(le32(b, 2048 + 252), 36u);

    // Allocation order: leaves 1-9, branch 1, leaves 10-13, branch 2, root.
    const std::vector<uint32_t> leaves = {6, 8, 10, 12, 14, 16, 18, 20, 22, 26, 28, 30, 32};
    int next = 1;
    for (size_t i = 0; i < leaves.size(); ++i) {
        const auto node = test::nodeAt(b, leaves[i], 100, 104);
        ASSERT_EQ(node.count, i < 12 ? 8u : 4u) << leaves[i];
        EXPECT_EQ(node.pointers[node.count], 0u);
        EXPECT_TRUE(node.zeroBehind);
        for (uint32_t e = 0; e < node.count; ++e, ++next) {
            EXPECT_EQ(node.keys[e], key3(next) + std::string(94, ' '));
            EXPECT_EQ(node.pointers[e], static_cast<uint32_t>(101 - next));
        }
    }
    EXPECT_EQ(next, 101);

    const auto branch1 = test::nodeAt(b, 24, 100, 104);
    const auto branch2 = test::nodeAt(b, 34, 100, 104);
    const auto top = test::nodeAt(b, 36, 100, 104);
    EXPECT_EQ(branch1.count, 7u);
    EXPECT_EQ(branch2.count, 4u);
    EXPECT_EQ(top.count, 1u);
    EXPECT_EQ(branch1.pointers, (std::vector<uint32_t>{6, 8, 10, 12, 14, 16, 18, 20}));
    EXPECT_EQ(branch2.pointers, (std::vector<uint32_t>{22, 26, 28, 30, 32}));
    EXPECT_EQ(top.pointers, (std::vector<uint32_t>{24, 34}));
    // Each branch entry carries the last key of its child, the extra one included.
    EXPECT_EQ(branch1.keys[7].substr(0, 6), key3(64));
    EXPECT_EQ(branch2.keys[0].substr(0, 6), key3(72));
    EXPECT_EQ(branch2.keys[4].substr(0, 6), key3(100));
    EXPECT_EQ(top.keys[0].substr(0, 6), key3(64));
    EXPECT_EQ(top.keys[1].substr(0, 6), key3(100));
    EXPECT_TRUE(branch1.zeroBehind && branch2.zeroBehind && top.zeroBehind);

    // Chain: each node block names the one allocated before it.
    std::vector<uint32_t> order = leaves;
    order.insert(order.begin() + 9, 24);
    order.push_back(34);
    order.push_back(36);
    uint32_t previous = 0;
    for (uint32_t block : order) {
        EXPECT_EQ(le32(b, block * 512 + 4), previous) << block;
        previous = block;
    }

    GSO_dBaseFld t(table(), true, false);
    GSobjMDXFile file(t, "T");
    EXPECT_EQ(test::treeKeys(*file.tags()[0]).size(), 100u);
}

TEST_F(BuildTest, AtMostOneNodeOfKeysIsASingleLeafRoot) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 27; ++i) rows.push_back({key3(28 - i)});
    test::makeTable(table(), {{"NAME", 'C', 30, 0}}, rows);
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("NAME", "NAME", "", false, true);
    EXPECT_EQ(tag.rootBlock(), 6u);
    EXPECT_EQ(tag.firstNodeBlock(), 6u);
    EXPECT_EQ(tag.lastNodeBlock(), 6u);
    const auto b = indexBytes();
    EXPECT_EQ(b.size(), 4096u);
    const auto node = test::nodeAt(b, 6, 30, 36);
    EXPECT_EQ(node.count, 27u);
    EXPECT_EQ(node.chain, 0u);
    EXPECT_EQ(node.pointers[27], 0u);
    EXPECT_EQ(node.keys[0], key3(1) + std::string(24, ' '));
    EXPECT_EQ(node.pointers[0], 27u);
}

TEST_F(BuildTest, OneKeyMoreThanANodeMakesTwoLeavesAndARoot) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 28; ++i) rows.push_back({key3(i)});
    test::makeTable(table(), {{"NAME", 'C', 30, 0}}, rows);
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("NAME", "NAME", "", false, true);
    const auto b = indexBytes();
    EXPECT_EQ(tag.rootBlock(), 10u);
    EXPECT_EQ(test::nodeAt(b, 6, 30, 36).count, 27u);
    EXPECT_EQ(test::nodeAt(b, 8, 30, 36).count, 1u);
    const auto root = test::nodeAt(b, 10, 30, 36);
    EXPECT_EQ(root.count, 1u);
    EXPECT_EQ(root.pointers, (std::vector<uint32_t>{6, 8}));
    const auto keys = test::treeKeys(tag);
    ASSERT_EQ(keys.size(), 28u);
    EXPECT_EQ(keys.back(), key3(28) + "|28");
}

TEST_F(BuildTest, EqualKeysInRecordOrderAscendingAndDescending) {
    test::makeTable(table(), {{"NAME", 'C', 10, 0}},
                    {{"B"}, {"A"}, {"B"}, {"A"}, {"C"}, {"B"}, {"  "}, {"A"}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    file->TagCreate("UP", "NAME", "", false, true);
    file->TagCreate("DOWN", "NAME", "", false, false);
    EXPECT_EQ(test::treeKeys(*file->findTag("UP")),
              (std::vector<std::string>{"|7", "A|2", "A|4", "A|8", "B|1", "B|3", "B|6", "C|5"}));
    EXPECT_EQ(test::treeKeys(*file->findTag("DOWN")),
              (std::vector<std::string>{"C|5", "B|6", "B|3", "B|1", "A|8", "A|4", "A|2", "|7"}));
}

TEST_F(BuildTest, UniqueTagsKeepTheFirstRecordOfEachKeyInSortOrder) {
    test::makeTable(table(), {{"NAME", 'C', 10, 0}}, {{"B"}, {"A"}, {"B"}, {"A"}, {"C"}, {"B"}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    file->TagCreate("UP", "NAME", "", true, true);
    file->TagCreate("DOWN", "NAME", "", true, false);
    EXPECT_EQ(test::treeKeys(*file->findTag("UP")),
              (std::vector<std::string>{"A|2", "B|1", "C|5"}));
    EXPECT_EQ(test::treeKeys(*file->findTag("DOWN")),
              (std::vector<std::string>{"C|5", "B|6", "A|4"}));
}

TEST_F(BuildTest, DeletedRecordsKeepTheirKeys) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 50; ++i) rows.push_back({key3(i)});
    test::makeTable(table(), {{"NAME", 'C', 10, 0}}, rows, {1, 7, 50});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    const auto keys = test::treeKeys(file->TagCreate("NAME", "NAME", "", false, true));
    ASSERT_EQ(keys.size(), 50u);
    EXPECT_EQ(keys[0], key3(1) + "|1");
    EXPECT_EQ(keys[6], key3(7) + "|7");
    EXPECT_EQ(keys[49], key3(50) + "|50");
}

TEST_F(BuildTest, NumericKeysInTheDecimalFormAndInNumericOrder) {
    test::makeTable(table(), {{"AMOUNT", 'N', 12, 2}},
                    {{"123"}, {"0"}, {"-5.25"}, {"1499.99"}, {"-1000"}, {"0.01"}, {""}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("AMOUNT", "AMOUNT", "", false, true);
    EXPECT_EQ(tag.keyType(), 'N');
    EXPECT_EQ(tag.keyLength(), 12);
    EXPECT_EQ(tag.keysPerNode(), 62);
    std::vector<double> values;
    std::vector<uint32_t> records;
    tag.walkKeys([&](const TgsVariant& key) {
        values.push_back(key.asDouble());
        records.push_back(key.pointer());
    });
    EXPECT_EQ(values, (std::vector<double>{-1000, -5.25, 0, 0, 0.01, 123, 1499.99}));
    EXPECT_EQ(records, (std::vector<uint32_t>{5, 3, 2, 7, 6, 1, 4}));
    // Record 1 (123) sits in the leaf at entry 5 in its 12-byte form.
    const auto b = indexBytes();
    const size_t entry = tag.rootBlock() * 512 + 8 + 5 * 16;
    EXPECT_EQ(le32(b, entry), 1u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + static_cast<long>(entry) + 4,
                                   b.begin() + static_cast<long>(entry) + 16),
              (std::vector<uint8_t>{0x37, 0x11, 0x12, 0x30, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(BuildTest, DateKeysAsJulianDoublesWithTheEmptyDateLast) {
    test::makeTable(table(), {{"BORN", 'D', 8, 0}},
                    {{"20000229"}, {""}, {"19800101"}, {"19991231"}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("BORN", "BORN", "", false, true);
    EXPECT_EQ(tag.keyType(), 'D');
    EXPECT_EQ(tag.keysPerNode(), 83);
    std::vector<double> days;
    tag.walkKeys([&](const TgsVariant& key) { days.push_back(key.asDouble()); });
    EXPECT_EQ(days, (std::vector<double>{2444240, 2451544, 2451604, 1.0e100}));
    const auto b = indexBytes();
    EXPECT_EQ(mdx::getDouble(b.data() + tag.rootBlock() * 512 + 8 + 4), 2444240.0);
}

TEST_F(BuildTest, ReindexPutsTheTagHeadersFirstAndTheTreesAfterThem) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 40; ++i) rows.push_back({key3(i), std::to_string(i % 3)});
    test::makeTable(table(), {{"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}}, rows);
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    file->TagCreate("PHONE1", "PHONE1", "", false, true);
    file->TagCreate("NAME", "NAME", "", false, false);
    const auto before = test::treeKeys(*file->findTag("NAME"));
    // Created one after the other, PHONE1's header lies at 4 and NAME's behind PHONE1's tree.
    EXPECT_EQ(le32(indexBytes(), 544), 8u);
    file->Reindex();
    const auto b = indexBytes();
    // Headers in tag-table order: NAME 4, PHONE1 6; then NAME's two leaves (8, 10) and root
    // 12, and PHONE1's one leaf 14.
    ASSERT_EQ(b.size(), 16u * 512);
    EXPECT_EQ(le32(b, 544), 4u);
    EXPECT_EQ(le32(b, 576), 6u);
    EXPECT_EQ(le32(b, 4 * 512), 12u);
    EXPECT_EQ(le32(b, 6 * 512), 14u);
    EXPECT_EQ(b[4 * 512 + 8], 0x18);
    EXPECT_EQ(test::treeKeys(*file->findTag("NAME")), before);
    // A second rebuild finds the headers in place and writes the same file.
    file->Reindex();
    EXPECT_EQ(indexBytes(), b);
    // The header's next-free field is left as it was; reopening takes the file length.
    file->close();
    GSobjMDXFile reopened(t, "T");
    EXPECT_EQ(reopened.nextFreeBlock(), 16);
}

TEST_F(BuildTest, ProgressReportsBothPhases) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 5; ++i) rows.push_back({key3(i)});
    test::makeTable(table(), {{"NAME", 'C', 10, 0}}, rows);
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    std::vector<std::string> events;
    file->setProgressCallback([&](const IndexProgress& p) {
        events.push_back(std::to_string(static_cast<int>(p.event)) + ":" + std::to_string(p.phase) +
                         ":" + std::to_string(p.total) + ":" + std::to_string(p.position));
    });
    file->TagCreate("NAME", "NAME", "", false, true);
    EXPECT_EQ(events,
              (std::vector<std::string>{"0:1:5:0", "1:1:0:1", "1:1:0:2", "1:1:0:3", "1:1:0:4",
                                        "1:1:0:5", "2:1:0:0", "0:2:5:0", "1:2:0:1", "1:2:0:2",
                                        "1:2:0:3", "1:2:0:4", "1:2:0:5", "2:2:0:0"}));
}

TEST_F(BuildTest, CharacterKeysLongerThan239BytesCannotBeBuiltAndChangeNoTag) {
    test::makeTable(table(), {{"TEXT", 'C', 240, 0}, {"NAME", 'C', 10, 0}}, {{"x", "A"}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    file->TagCreate("TEXT", "NAME", "", false, true);
    test::expectEngineError([&] { file->TagCreate("TEXT", "TEXT", "", false, true); },
                            "Sort key length greater than 240 bytes");
    ASSERT_EQ(file->tags().size(), 1u);
    EXPECT_EQ(file->tags()[0]->keyExpression(), "NAME");
    file->close();
    GSobjMDXFile reopened(t, "T");
    ASSERT_EQ(reopened.tags().size(), 1u);
    EXPECT_EQ(test::treeKeys(*reopened.tags()[0]), (std::vector<std::string>{"A|1"}));
}

// The writer on keys handed to it directly: a three-level tree of 1,000 keys with 3 per node.
TEST_F(BuildTest, WriterFillsEveryBlockButTheLastOfEachLevel) {
    test::makeTable(table(), {{"TEXT", 'C', 239, 0}}, {});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("TEXT", "TEXT", "", false, true);
    ASSERT_EQ(tag.keysPerNode(), 3);
    const uint32_t start = static_cast<uint32_t>(file->nextFreeBlock());
    {
        GSobjSortMDX writer(tag);
        for (uint32_t i = 1; i <= 1000; ++i) {
            char text[16];
            std::snprintf(text, sizeof text, "K%04u", 1001 - i);
            writer.addKey(TgsVariant::character(text), i);
        }
        tag.setNodeRange(0, 0);
        writer.writeTree();
        EXPECT_EQ(writer.keysWritten(), 1000);
    }
    // Levels: 334 leaves (333 full), 112 (111 full), 38, 13, 5, 2, 1 root.
    const auto b = indexBytes();
    const uint32_t blocks = (static_cast<uint32_t>(b.size()) / 512 - start) / 2;
    EXPECT_EQ(blocks, 334u + 112 + 38 + 13 + 5 + 2 + 1);
    EXPECT_EQ(tag.rootBlock(), static_cast<uint32_t>(b.size() / 512 - 2));
    EXPECT_EQ(tag.firstNodeBlock(), start);
    int leafCount = 0, partial = 0;
    for (uint32_t block = start; block < b.size() / 512; block += 2) {
        const auto node = test::nodeAt(b, block, 239, 244);
        const bool leaf = node.pointers[node.count] == 0;
        if (leaf) ++leafCount;
        if ((leaf && node.count != 3) || (!leaf && node.count != 2)) ++partial;
    }
    EXPECT_EQ(leafCount, 334);
    EXPECT_EQ(partial, 7);  // the last block of each level (and the root)
    const auto keys = test::treeKeys(tag);
    ASSERT_EQ(keys.size(), 1000u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

// Keys enough to overflow the sort's 32 pools: several runs, merged into one sorted tree.
TEST_F(BuildTest, KeysOverflowingThePoolsStillBuildOneSortedTree) {
    test::makeTable(table(), {{"NAME", 'C', 30, 0}}, {});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    GSobjMDXTag& tag = file->TagCreate("NAME", "NAME", "", false, false);
    size_t runs = 0;
    {
        GSobjSortMDX writer(tag);
        uint64_t state = 12345;
        for (uint32_t record = 1; record <= 80000; ++record) {
            std::string key;
            for (int i = 0; i < 20; ++i) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                key.push_back(static_cast<char>('A' + (state >> 59) % 26));
            }
            writer.addKey(TgsVariant::character(key), record);
        }
        tag.setNodeRange(0, 0);
        writer.writeTree();
        runs = writer.runCount();
    }
    EXPECT_GT(runs, 1u);
    tag.HeaderWrite();
    const auto keys = test::treeKeys(tag);
    ASSERT_EQ(keys.size(), 80000u);
    std::vector<std::string> names;
    for (const auto& entry : keys) names.push_back(entry.substr(0, entry.find('|')));
    EXPECT_TRUE(std::is_sorted(names.rbegin(), names.rend()));
}

TEST_F(BuildTest, RenameStoresTheNewBaseName) {
    test::makeTable(table(), {{"NAME", 'C', 10, 0}}, {{"A"}});
    GSO_dBaseFld t(table(), true, true);
    auto file = GSobjMDXFile::create(t, "T");
    file->TagCreate("NAME", "NAME", "", false, true);
    file->Rename("Other");
    EXPECT_EQ(file->path(), m_dir.file("Other.MDX"));
    file->close();
    const auto b = test::readFileBytes(m_dir.file("Other.MDX"));
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[4]), "OTHER");
    GSobjMDXFile reopened(t, "Other");
    EXPECT_EQ(test::treeKeys(*reopened.findTag("NAME")), (std::vector<std::string>{"A|1"}));
}

}  // namespace
}  // namespace abonex
