// Lock regions of the table file and appends from several processes.
#include <gtest/gtest.h>

#include <set>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::regionLocked;
using test::TempDir;

// A table that says it has index files open, as the handler does.
class IndexedTable : public GSO_dBaseFld {
  public:
    using GSO_dBaseFld::GSO_dBaseFld;

  protected:
    bool hasOpenIndexFiles() const override { return true; }
};

using test::ShortLockWait;

class TableLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.file("Org.dbf");
        createDbfTable(m_path, {{"ORG_NAME", 'C', 100, 0}, {"PHON_1", 'C', 15, 0}});
        GSO_dBaseFld table(m_path, false, true);
        for (int i = 0; i < 12; ++i) {
            table.BlankRecord();
            table.FieldPut(1, "ORG" + std::to_string(i));
            table.AppendRecord();
        }
    }
    TempDir m_dir;
    std::string m_path;
};

TEST_F(TableLockTest, RecordLockRegionsFollowTheProtocol) {
    GSO_dBaseFld table(m_path, true, true);
    table.setLockProtocol(TgsLokProtocol::DB4Lock);
    ASSERT_TRUE(table.recordLock(1));
    EXPECT_TRUE(regionLocked(m_path, 0xEFFFFFFD, 1));
    EXPECT_FALSE(regionLocked(m_path, 0xEFFFFFFE, 1));
    table.tableUnlock();

    table.setLockProtocol(TgsLokProtocol::ClipLock);
    ASSERT_TRUE(table.recordLock(5));
    EXPECT_TRUE(regionLocked(m_path, 1000000005, 1));
    table.tableUnlock();

    // Default without index files: the record's own bytes, shifted up by 0x40000000.
    table.setLockProtocol(TgsLokProtocol::Default);
    ASSERT_TRUE(table.recordLock(3));
    uint64_t expected = 0x40000000u + table.headerLength() + 2u * table.recordLength();
    EXPECT_TRUE(regionLocked(m_path, expected, 1));
    EXPECT_FALSE(regionLocked(m_path, expected - 1, 1));
    table.tableUnlock();
    EXPECT_FALSE(regionLocked(m_path, expected, 1));

    IndexedTable indexed(m_path, true, true);
    EXPECT_EQ(indexed.recordLockRegion(1), (LockRegion{0x7FFFFFFD, 1}));
    EXPECT_EQ(indexed.recordLockRegion(10), (LockRegion{0x7FFFFFF4, 1}));
    ASSERT_TRUE(indexed.recordLock(10));
    EXPECT_TRUE(regionLocked(m_path, 0x7FFFFFF4, 1));
}

TEST_F(TableLockTest, SecondEditorOfARecordIsRefusedAtOnce) {
    test::ProcessSignal locked, release;
    int child = test::forkChild([&] {
        GSO_dBaseFld table(m_path, true, true);
        table.setLockProtocol(TgsLokProtocol::DB4Lock);
        if (!table.recordLock(4)) return 1;
        locked.notify();
        release.wait();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    GSO_dBaseFld table(m_path, true, true);
    table.setLockProtocol(TgsLokProtocol::DB4Lock);
    EXPECT_FALSE(table.recordLock(4));
    EXPECT_EQ(table.lastError(), 33);
    EXPECT_TRUE(table.recordLock(5));
    table.tableUnlock();
    release.notify();
    EXPECT_EQ(test::waitChild(child), 0);
}

TEST_F(TableLockTest, ExclusiveTableMakesNoSystemLocks) {
    GSO_dBaseFld table(m_path, false, true);
    EXPECT_TRUE(table.recordLock(1));
    EXPECT_TRUE(table.appendLock());
    EXPECT_FALSE(regionLocked(m_path, 0x40000000, 0x40000000));
}

TEST_F(TableLockTest, AppendWaitsForTheAppendLockAndRefusesWithoutIt) {
    ShortLockWait shortWait;
    GSO_DiskFile holder(m_path, true, true);
    ASSERT_TRUE(holder.lock(0x7FFFFFFE, 1));  // the Default append lock
    GSO_dBaseFld table(m_path, true, true);
    auto before = test::readFileBytes(m_path);
    table.BlankRecord();
    table.FieldPut(1, "NEW");
    try {
        table.AppendRecord();
        FAIL() << "append went ahead without its lock";
    } catch (const EEngineError& error) {
        EXPECT_EQ(std::string(error.what()), "Error 33 in Lock of " + m_path);
    }
    EXPECT_EQ(test::readFileBytes(m_path), before);
    EXPECT_EQ(table.recordCount(), 12);
    holder.unlock();
    table.AppendRecord();
    EXPECT_EQ(table.recordCount(), 13);
}

TEST_F(TableLockTest, FileLockDefersTheHeaderWriteToItsRelease) {
    GSO_dBaseFld table(m_path, true, true);
    ASSERT_TRUE(table.fileLock());
    EXPECT_TRUE(regionLocked(m_path, 0x40000000, 0x3FFFFFFF));
    EXPECT_TRUE(table.recordLock(3));  // granted by counting under the file lock
    table.tableUnlock();
    table.BlankRecord();
    table.AppendRecord();
    EXPECT_EQ(test::le32(test::readFileBytes(m_path), 4), 12u) << "header written too early";
    table.tableUnlock();
    EXPECT_FALSE(table.isFileLocked());
    EXPECT_EQ(test::le32(test::readFileBytes(m_path), 4), 13u);
}

TEST_F(TableLockTest, TwoProcessesAppendingAtOnceLoseNothing) {
    constexpr int kPerWriter = 150;
    test::ProcessSignal go;
    auto writer = [&](char id) {
        return test::forkChild([&, id] {
            GSO_dBaseFld table(m_path, true, true);
            go.wait();
            for (int i = 0; i < kPerWriter; ++i) {
                table.BlankRecord();
                table.FieldPut(1, std::string(1, id) + std::to_string(i));
                table.AppendRecord();
            }
            return 0;
        });
    };
    int a = writer('A');
    int b = writer('B');
    go.notify();
    go.notify();
    EXPECT_EQ(test::waitChild(a), 0);
    EXPECT_EQ(test::waitChild(b), 0);

    GSO_dBaseFld table(m_path, true, false);
    ASSERT_EQ(table.recordCount(), 12 + 2 * kPerWriter);
    std::set<std::string> names;
    for (int n = 13; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        names.insert(table.FieldGet(1));
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(2 * kPerWriter));
    EXPECT_TRUE(names.count("A0") && names.count("B149"));
    auto bytes = test::readFileBytes(m_path);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(test::le32(bytes, 4), static_cast<uint32_t>(12 + 2 * kPerWriter));
}

}  // namespace
}  // namespace abonex
