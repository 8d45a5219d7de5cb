// The multiple-index file: header, tag table, tag headers, block allocation, open, create,
// close, TagCreate, TagDelete, Reindex and the index-file locks.
#include "engine/index/mdx_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/file/engine_error.h"
#include "engine/index/index_check.h"
#include "engine/index/production_index.h"
#include "tests/engine/index/index_test_util.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::le16;
using test::le32;

const std::vector<FieldSpec> kPersons = {
    {"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}, {"PHONE2", 'C', 15, 0}, {"COMMENT", 'C', 250, 0}};

class MdxFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_table = m_dir.file("Phone.DBF");
        m_index = m_dir.file("Phone.MDX");
        test::makeTable(m_table, kPersons, {});
    }
    std::vector<uint8_t> indexBytes() const { return test::readFileBytes(m_index); }

    test::TempDir m_dir;
    std::string m_table;
    std::string m_index;
};

TEST_F(MdxFileTest, NewFileIsAHeaderOf2048BytesWithoutTags) {
    test::FixedClock clock({2002, 3, 5, 10, 0, 0, 0});
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile::create(table, "Phone")->close();
    const auto b = indexBytes();
    ASSERT_EQ(b.size(), 2048u);
    std::vector<uint8_t> expected(2048, 0);
    expected[0] = 2;
    expected[1] = 102, expected[2] = 3, expected[3] = 5;  // 2002 is stored as 102
    std::memcpy(expected.data() + 4, "PHONE", 5);
    expected[20] = 2;
    expected[22] = 0x00, expected[23] = 0x04;  // 1024
    expected[24] = 1;
    expected[25] = 48;
    expected[26] = 32;
    expected[32] = 4;
    expected[44] = 102, expected[45] = 3, expected[46] = 5;
    EXPECT_EQ(b, expected);
}

TEST_F(MdxFileTest, OpeningAMissingFileFailsWithFileNotFound) {
    GSO_dBaseFld table(m_table, true, true);
    test::expectEngineError([&] { GSobjMDXFile file(table, "Phone"); },
                            "File not found - " + m_dir.path() + "/Phone.MDX");
}

TEST_F(MdxFileTest, TagOnAnEmptyTableHasHeaderSlotAndOneEmptyRootLeaf) {
    {
        GSO_dBaseFld table(m_table, true, true);
        auto file = GSobjMDXFile::create(table, "Phone.MDX");
        file->TagCreate("name", "NAME", "", false, true);
    }
    const auto b = indexBytes();
    ASSERT_EQ(b.size(), 2048u + 2 * 1024u);
    EXPECT_EQ(le16(b, 28), 1u);
    EXPECT_EQ(le32(b, 32), 8u);  // written with the tag table: header 4, root 6, next free 8
    EXPECT_EQ(b[529], 1);        // forward link to slot 1 in slot 0
    EXPECT_EQ(le32(b, 544), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[548]), 5), std::string("NAME\0", 5));
    EXPECT_EQ(b[544 + 17], 0);
    EXPECT_EQ(b[544 + 19], 2);
    EXPECT_EQ(b[544 + 20], 'C');

    const size_t h = 4 * 512;
    EXPECT_EQ(le32(b, h + 0), 6u);  // root
    EXPECT_EQ(b[h + 8], 0x10);
    EXPECT_EQ(b[h + 9], 'C');
    EXPECT_EQ(le16(b, h + 12), 30u);
    EXPECT_EQ(le16(b, h + 14), 27u);
    EXPECT_EQ(le16(b, h + 18), 36u);
    EXPECT_EQ(b[h + 23], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[h + 24]), 5), std::string("NAME\0", 5));
    EXPECT_EQ(b[h + 245], 0);
    EXPECT_EQ(b[h + 246], 1);
    EXPECT_EQ(le32(b, h + 248), 6u);
    EXPECT_EQ(le32(b, h + 252), 6u);
    for (size_t i = 3072; i < 4096; ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST_F(MdxFileTest, FlagsOfUniqueAndDescendingTags) {
    {
        GSO_dBaseFld table(m_table, true, true);
        auto file = GSobjMDXFile::create(table, "Phone");
        file->TagCreate("A", "NAME", "", true, false);
    }
    const auto b = indexBytes();
    EXPECT_EQ(b[2048 + 8], 0x10 | 0x40 | 0x08);
    EXPECT_EQ(b[2048 + 23], 0x40);
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "Phone");
    ASSERT_EQ(file.tags().size(), 1u);
    EXPECT_TRUE(file.tags()[0]->unique());
    EXPECT_FALSE(file.tags()[0]->ascending());
}

TEST_F(MdxFileTest, SlotsStayInNameOrderWithForwardLinksAndUpperCaseNames) {
    {
        GSO_dBaseFld table(m_table, true, true);
        auto file = GSobjMDXFile::create(table, "Phone");
        file->TagCreate("phone2", "PHONE2", "", false, true);
        file->TagCreate("Name", "NAME", "", false, true);
        file->TagCreate("PHONE1", "PHONE1", "", false, true);
    }
    const auto b = indexBytes();
    EXPECT_EQ(le16(b, 28), 3u);
    const char* names[] = {"NAME", "PHONE1", "PHONE2"};
    for (size_t k = 1; k <= 3; ++k) {
        EXPECT_STREQ(reinterpret_cast<const char*>(&b[512 + 32 * k + 4]), names[k - 1]);
        EXPECT_EQ(b[512 + 32 * (k - 1) + 17], k);
    }
    EXPECT_EQ(b[512 + 32 * 3 + 17], 0);
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "PHONE.MDX");
    ASSERT_EQ(file.tags().size(), 3u);
    EXPECT_EQ(file.tags()[0]->name(), "NAME");
    EXPECT_EQ(file.tags()[2]->name(), "PHONE2");
    EXPECT_EQ(file.tags()[2]->keyLength(), 15);
    EXPECT_EQ(file.findTag("phone1"), file.tags()[1].get());
}

TEST_F(MdxFileTest, ReopeningTakesTheNextFreeBlockFromTheFileLength) {
    {
        GSO_dBaseFld table(m_table, true, true);
        auto file = GSobjMDXFile::create(table, "Phone");
        file->TagCreate("NAME", "NAME", "", false, true);
    }
    auto b = indexBytes();
    b[32] = 4;  // a stale next-free value
    test::writeFileBytes(m_index, b);
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "Phone");
    EXPECT_EQ(file.nextFreeBlock(), 8);
    GSobjMDXTag& tag = file.TagCreate("PHONE1", "PHONE1", "", false, true);
    EXPECT_EQ(tag.headerBlock(), 8u);
    EXPECT_EQ(tag.rootBlock(), 10u);
    // The first tag's blocks are untouched.
    EXPECT_EQ(le32(indexBytes(), 2048), 6u);
}

TEST_F(MdxFileTest, TagCreateReplacesATagOfTheSameName) {
    GSO_dBaseFld table(m_table, true, true);
    auto file = GSobjMDXFile::create(table, "Phone");
    file->TagCreate("NAME", "NAME", "", false, true);
    file->TagCreate("name", "PHONE1", "", false, true);
    ASSERT_EQ(file->tags().size(), 1u);
    EXPECT_EQ(file->tags()[0]->keyExpression(), "PHONE1");
    EXPECT_EQ(le32(indexBytes(), 544), 8u);
}

TEST_F(MdxFileTest, ABadKeyExpressionChangesNothing) {
    GSO_dBaseFld table(m_table, true, true);
    auto file = GSobjMDXFile::create(table, "Phone");
    file->TagCreate("NAME", "NAME", "", false, true);
    const auto before = indexBytes();
    EXPECT_THROW(file->TagCreate("BAD", "NOSUCHFIELD", "", false, true), EEngineError);
    EXPECT_EQ(file->tags().size(), 1u);
    EXPECT_EQ(indexBytes(), before);
    // A logical key has no stored form that readers would take for its value.
    test::expectEngineError([&] { file->TagCreate("EMPTY2", "PHONE2=\"\"", "", false, true); },
                            "Key expression of tag EMPTY2 gives a logical value; an index key "
                            "holds text, a number or a date");
    EXPECT_EQ(file->tags().size(), 1u);
    EXPECT_EQ(indexBytes(), before);
}

TEST_F(MdxFileTest, TagDeleteRewritesTheTableAndTheLastDeleteTruncates) {
    GSO_dBaseFld table(m_table, true, true);
    auto file = GSobjMDXFile::create(table, "Phone");
    file->TagCreate("NAME", "NAME", "", false, true);
    file->TagCreate("PHONE1", "PHONE1", "", false, true);
    file->TagDelete("name");
    auto b = indexBytes();
    EXPECT_EQ(le16(b, 28), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[548]), "PHONE1");
    EXPECT_EQ(le32(b, 544), 8u);
    test::expectEngineError([&] { file->TagDelete("NAME"); }, "Cannot find index tag NAME");
    file->TagDelete("PHONE1");
    EXPECT_EQ(test::fileSize(m_index), 2048u);
    EXPECT_EQ(le16(indexBytes(), 28), 0u);
}

TEST_F(MdxFileTest, ReindexOfAnEmptyTableLeavesOneEmptyRootPerTag) {
    GSO_dBaseFld table(m_table, true, true);
    auto file = GSobjMDXFile::create(table, "Phone");
    file->TagCreate("PHONE2", "PHONE2", "", false, true);
    file->TagCreate("NAME", "NAME", "", false, true);
    file->TagCreate("PHONE1", "PHONE1", "", false, true);
    file->TagDelete("PHONE2");
    file->TagCreate("PHONE2", "PHONE2", "", false, true);
    file->Reindex();
    const auto b = indexBytes();
    ASSERT_EQ(b.size(), 2048u + 2048u * 3);
    // The three headers first (4, 6, 8), then the roots (10, 12, 14), in tag-table order.
    for (uint32_t k = 1; k <= 3; ++k) {
        const uint32_t header = 2 + 2 * k;
        const uint32_t root = 8 + 2 * k;
        EXPECT_EQ(le32(b, 512 + 32 * k), header);
        EXPECT_EQ(le32(b, header * 512), root);
        EXPECT_EQ(le32(b, header * 512 + 248), root);
        EXPECT_EQ(le32(b, header * 512 + 252), root);
    }
}

TEST_F(MdxFileTest, OpeningSetsTheProductionFlagOfTheTable) {
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile::create(table, "Other");
        EXPECT_EQ(table.tableFlags() & kFlagProductionIndex, 0);
        GSobjMDXFile::create(table, "phone.mdx");
    }
    EXPECT_EQ(test::readFileBytes(m_table)[28] & kFlagProductionIndex, kFlagProductionIndex);
}

TEST_F(MdxFileTest, CreatingOverAnExistingIndexFileIsRefused) {
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile::create(table, "Phone")->TagCreate("NAME", "NAME", "", false, true);
    const auto before = indexBytes();
    for (const char* name : {"Phone", "phone.mdx", "PHONE.MDX"}) {
        test::expectEngineError([&] { GSobjMDXFile::create(table, name); },
                                "File already exists - " + m_index);
        EXPECT_EQ(indexBytes(), before) << name;
    }
}

TEST_F(MdxFileTest, NamesResolveWithoutRegardToCase) {
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile::create(table, "phone.mdx");
    EXPECT_TRUE(test::fileSize(m_dir.file("phone.mdx")) == 2048u);
    GSobjMDXFile file(table, "PHONE");
    EXPECT_EQ(file.path(), m_dir.file("phone.mdx"));
    EXPECT_EQ(productionIndexPath(table), m_dir.file("phone.mdx"));
}

// ---------------------------------------------------------------------------------------------
// Damaged files

class DamagedMdxTest : public MdxFileTest {
  protected:
    void SetUp() override {
        MdxFileTest::SetUp();
        GSO_dBaseFld table(m_table, true, true);
        auto file = GSobjMDXFile::create(table, "Phone");
        file->TagCreate("NAME", "NAME", "", false, true);
    }
    void patch(size_t offset, std::vector<uint8_t> bytes) {
        auto b = indexBytes();
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(offset));
        test::writeFileBytes(m_index, b);
    }
    void expectDamaged(const std::string& detail) {
        GSO_dBaseFld table(m_table, true, true);
        test::expectEngineError([&] { GSobjMDXFile file(table, "Phone"); },
                                "Index file damaged - " + m_index + ": " + detail);
    }
};

TEST_F(DamagedMdxTest, BlockLengthThatDisagreesWithItsUnits) {
    patch(20, {2, 0, 0, 0});
    expectDamaged("block length 0 in 2 units");
}

TEST_F(DamagedMdxTest, TagCountBeyondTheTagTable) {
    patch(28, {48, 0});
    expectDamaged("tag count 48 exceeds the tag table");
}

TEST_F(DamagedMdxTest, TagHeaderBlockBeyondTheFile) {
    patch(544, {100, 0, 0, 0});
    expectDamaged("header block 100 of tag NAME lies outside the file");
}

// Another program left a tag table whose second slot is bad: the copy that reads it reports the
// damage and keeps the tags it had, the objects a table handler holds among them.
TEST_F(DamagedMdxTest, ATagTableThatReadsBadHalfwayLeavesTheTagsAsTheyWere) {
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile reader(table, "Phone");
    GSobjMDXFile(table, "Phone").TagCreate("PHONE1", "PHONE1", "", false, true);
    reader.refreshTags();
    ASSERT_EQ(reader.tags().size(), 2u);
    GSobjMDXTag* name = reader.findTag("NAME");
    GSobjMDXTag* phone = reader.findTag("PHONE1");
    patch(576, {0xA0, 0x86, 0x01, 0});  // the second slot's header block: 100000
    test::expectEngineError([&] { reader.refreshTags(); },
                            "Index file damaged - " + m_index +
                                ": header block 100000 of tag PHONE1 lies outside the file");
    ASSERT_EQ(reader.tags().size(), 2u);
    EXPECT_EQ(reader.findTag("NAME"), name);
    EXPECT_EQ(reader.findTag("PHONE1"), phone);
    EXPECT_EQ(name->name(), "NAME");
    EXPECT_EQ(phone->keyExpression(), "PHONE1");
}

TEST_F(DamagedMdxTest, ShortFile) {
    test::writeFileBytes(m_index, std::vector<uint8_t>(300, 0));
    expectDamaged("header shorter than 512 bytes");
}

TEST_F(DamagedMdxTest, EntryLengthThatDoesNotFitABlock) {
    patch(2048 + 18, {0xFC, 0x03});
    expectDamaged("tag NAME: entry length 1020 does not fit a block");
}

TEST_F(DamagedMdxTest, NodeCountBeyondTheBlockAndCyclesAreRefused) {
    patch(3072, {29, 0, 0, 0});  // 8 + 29 * 36 + 4 > 1024
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile file(table, "Phone");
        test::expectEngineError(
            [&] { test::treeKeys(*file.tags()[0]); },
            "Index file damaged - " + m_index + ": tag NAME: node block 6 claims 29 keys");
    }
    // A branch whose child is the branch itself.
    patch(3072, {0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0});
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "Phone");
    test::expectEngineError(
        [&] { test::treeKeys(*file.tags()[0]); },
        "Index file damaged - " + m_index + ": tag NAME: node block 6 is reached twice");
    const std::string tooDeep =
        "Index file damaged - " + m_index + ": tag NAME: tree deeper than 32 levels";
    test::expectEngineError([&] { file.tags()[0]->Navigate(PosTop); }, tooDeep);
    test::expectEngineError([&] { file.tags()[0]->KeyFind(TgsVariant::character("A")); }, tooDeep);
}

// ---------------------------------------------------------------------------------------------
// Locks

TEST_F(MdxFileTest, IndexFileLockWaitsAndThenFailsWithTheLockError) {
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile::create(table, "Phone");
    }
    test::ProcessSignal locked, done;
    const int child = test::forkChild([&] {
        GSO_DiskFile file(m_index, true, true);
        if (!file.lock(indexFileLockRegion(TgsLokProtocol::Default))) return 1;
        locked.notify();
        done.wait();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    {
        const LockWait saved = GSO_DiskFile::defaultLockWait();
        GSO_DiskFile::defaultLockWait() = LockWait{3, 10};
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile file(table, "Phone");
        test::expectEngineError([&] { file.lockIndexFile(); }, "Error 33 in Lock of " + m_index);
        // Rebuilding needs the whole file: refused while another process holds a lock in it
        // for longer than a writer waits.
        test::expectEngineError([&] { file.Reindex(); }, "File access denied - " + m_index);
        GSO_DiskFile::defaultLockWait() = saved;
        done.notify();
        EXPECT_EQ(test::waitChild(child), 0);
        file.lockIndexFile();
        EXPECT_TRUE(test::regionLocked(m_index, 0x7FFFFFFD, 1));
        file.unlockIndexFile();
        EXPECT_FALSE(test::regionLocked(m_index, 0x7FFFFFFD, 1));
        file.Reindex();
        EXPECT_FALSE(test::regionLocked(m_index, 0, 0x7FFFFFFF));
    }
}

// Another process that holds a lock region of the index file until `release` is notified, and
// lets go 150 ms after that (then notifies `released`).
struct LockHolder {
    LockHolder(const std::string& path, LockRegion region) {
        child = test::forkChild([&] {
            GSO_DiskFile file(path, true, true);
            if (!file.lock(region)) return 1;
            locked.notify();
            release.wait();
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            file.unlock();
            released.notify();
            return 0;
        });
        EXPECT_TRUE(locked.wait());
    }
    test::ProcessSignal locked, release, released;
    int child = 0;
};

TEST_F(MdxFileTest, CreatingAndDeletingATagWaitForTheIndexLock) {
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile::create(table, "Phone")->TagCreate("NAME", "NAME", "", false, true);
    }
    const auto before = indexBytes();
    LockHolder holder(m_index, indexFileLockRegion(TgsLokProtocol::Default));
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "Phone");
    {
        const test::ShortLockWait shortWait;
        test::expectEngineError([&] { file.TagCreate("PHONE1", "PHONE1", "", false, true); },
                                "Error 33 in Lock of " + m_index);
        test::expectEngineError([&] { file.TagDelete("NAME"); }, "Error 33 in Lock of " + m_index);
    }
    EXPECT_EQ(indexBytes(), before);  // nothing written without the lock
    ASSERT_EQ(file.tags().size(), 1u);
    // With the whole wait, the change goes ahead once the other writer lets go.
    const auto start = std::chrono::steady_clock::now();
    holder.release.notify();
    file.TagCreate("PHONE1", "PHONE1", "", false, true);
    // The holder lets go 150 ms after it was told to: the tag came after that.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_TRUE(holder.released.wait());
    EXPECT_EQ(test::waitChild(holder.child), 0);
    EXPECT_FALSE(test::regionLocked(m_index, 0x7FFFFFFD, 1));
    file.TagDelete("NAME");
    file.close();
    GSobjMDXFile reopened(table, "Phone");
    ASSERT_EQ(reopened.tags().size(), 1u);
    EXPECT_EQ(reopened.tags()[0]->name(), "PHONE1");
}

TEST_F(MdxFileTest, TagChangesTakeOverTheTagTableThatAnotherCopyLeft) {
    GSO_dBaseFld table(m_table, true, true);
    auto first = GSobjMDXFile::create(table, "Phone");
    first->TagCreate("NAME", "NAME", "", false, true);
    GSobjMDXFile second(table, "Phone");  // opened now: knows NAME only
    GSobjMDXTag* name = second.findTag("NAME");
    first->TagCreate("PHONE2", "PHONE2", "", false, true);
    const uint32_t phone1 = second.TagCreate("PHONE1", "PHONE1", "", false, true).headerBlock();
    // The second copy's tag goes after the first copy's, in the table both see.
    EXPECT_GT(phone1, first->findTag("PHONE2")->headerBlock());
    ASSERT_EQ(second.tags().size(), 3u);
    second.TagDelete("PHONE2");
    first->refreshTags();
    ASSERT_EQ(first->tags().size(), 2u);
    EXPECT_EQ(first->tags()[0]->name(), "NAME");
    EXPECT_EQ(first->tags()[1]->name(), "PHONE1");
    EXPECT_EQ(second.findTag("NAME"), name);  // a known tag keeps its object
    first->close();
    second.close();
    GSobjMDXFile reopened(table, "Phone");
    ASSERT_EQ(reopened.tags().size(), 2u);
    EXPECT_EQ(reopened.tags()[1]->name(), "PHONE1");
    EXPECT_EQ(reopened.tags()[1]->headerBlock(), phone1);
}

TEST_F(MdxFileTest, RebuildUnderDb4LockWaitsForTheWritersLock) {
    GSO_dBaseFld table(m_table, true, true);
    table.setLockProtocol(TgsLokProtocol::DB4Lock);
    GSobjMDXFile::create(table, "Phone")->TagCreate("NAME", "NAME", "", false, true);
    LockHolder holder(m_index, indexFileLockRegion(TgsLokProtocol::DB4Lock));
    GSobjMDXFile file(table, "Phone");
    const auto before = indexBytes();
    {
        const test::ShortLockWait shortWait;
        test::expectEngineError([&] { file.Reindex(); }, "Error 33 in Lock of " + m_index);
    }
    EXPECT_EQ(indexBytes(), before);  // not cut while a writer works on it
    const auto start = std::chrono::steady_clock::now();
    holder.release.notify();
    file.Reindex();
    // The writer lets go 150 ms after it was told to: the rebuild came after that.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_TRUE(holder.released.wait());
    EXPECT_EQ(test::waitChild(holder.child), 0);
    EXPECT_FALSE(test::regionLocked(m_index, 0xEFFFFFFE, 2));
    EXPECT_FALSE(test::regionLocked(m_index, 0, 0x7FFFFFFF));
}

TEST_F(MdxFileTest, ARebuildThatCannotHaveTheFileLeavesItAsItWas) {
    // A writer of another process holds the index lock (inside the region a rebuild takes)
    // for longer than the rebuild waits: the rebuild gives up before it writes anything.
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile::create(table, "Phone")->TagCreate("NAME", "NAME", "", false, true);
    LockHolder holder(m_index, indexFileLockRegion(TgsLokProtocol::Default));
    GSobjMDXFile file(table, "Phone");
    const auto before = indexBytes();
    {
        const test::ShortLockWait shortWait;
        test::expectEngineError([&] { file.Reindex(); }, "File access denied - " + m_index);
    }
    EXPECT_EQ(indexBytes(), before);
    holder.release.notify();
    EXPECT_TRUE(holder.released.wait());
    EXPECT_EQ(test::waitChild(holder.child), 0);
    file.Reindex();
    EXPECT_NE(file.findTag("NAME")->RootBlock(), 0u);
}

// A writer of another process holds the index lock and appends rows to a table that was empty
// when this process opened it; the rebuild and the tag made meanwhile wait for the lock and
// hold every row, not the count the table had at its open.
TEST_F(MdxFileTest, RebuildsAndNewTagsWaitForAWriterAndHoldTheRowsItAppended) {
    {
        GSO_dBaseFld table(m_table, true, true);
        GSobjMDXFile::create(table, "Phone")->TagCreate("NAME", "NAME", "", false, true);
    }
    GSO_dBaseFld table(m_table, true, true);
    GSobjMDXFile file(table, "Phone");
    ASSERT_EQ(table.recordCount(), 0);
    int appended = 0;
    auto writerAppends = [&](int rows) {
        test::ProcessSignal locked;
        const int child = test::forkChild([&] {
            GSO_DiskFile lock(m_index, true, true);
            if (!lock.lock(indexFileLockRegion(TgsLokProtocol::Default))) return 1;
            locked.notify();
            GSO_dBaseFld writer(m_table, true, true);
            for (int i = 0; i < rows; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                writer.BlankRecord();
                writer.FieldPut("NAME", "Row" + std::to_string(appended + i));
                writer.AppendRecord();
            }
            return 0;
        });
        EXPECT_TRUE(locked.wait());
        appended += rows;
        return child;
    };
    auto keysOf = [&](const char* tag) {
        int keys = 0;
        file.findTag(tag)->walkKeys([&](const TgsVariant&) { ++keys; });
        return keys;
    };

    int writer = writerAppends(60);
    file.Reindex();
    EXPECT_EQ(test::waitChild(writer), 0);
    EXPECT_EQ(file.lastRebuild().records, 60);
    EXPECT_EQ(file.lastRebuild().partialBytes, 0u);
    EXPECT_EQ(keysOf("NAME"), 60);

    writer = writerAppends(40);
    file.TagCreate("PHONE1", "PHONE1", "", false, true);
    EXPECT_EQ(test::waitChild(writer), 0);
    EXPECT_EQ(keysOf("PHONE1"), 100);
    file.close();
    const IndexCheckReport report = checkIndexFile(table, m_index);
    EXPECT_EQ(report.problems.size(), 40u);  // NAME lacks the keys of the last 40 rows
    EXPECT_EQ(report.keysChecked, 160);
}

TEST_F(MdxFileTest, IndexFileLockFollowsTheTableProtocol) {
    GSO_dBaseFld table(m_table, true, true);
    table.setLockProtocol(TgsLokProtocol::DB4Lock);
    auto file = GSobjMDXFile::create(table, "Phone");
    file->lockIndexFile();
    EXPECT_TRUE(test::regionLocked(m_index, 0xEFFFFFFE, 2));
    file->unlockIndexFile();
}

}  // namespace
}  // namespace abonex
