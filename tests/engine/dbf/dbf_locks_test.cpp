// Lock regions of the table file and appends from several processes.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

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

// --- Appends in bulk ---

// `count` record images of the fixture's table, named "<prefix><number>" from `first` on.
std::vector<uint8_t> images(const GSO_dBaseFld& table, const std::string& prefix, int first,
                            int count, bool deleteEveryThird = false) {
    const auto length = static_cast<size_t>(table.recordLength());
    std::vector<uint8_t> bytes(length * static_cast<size_t>(count), ' ');
    for (int i = 0; i < count; ++i) {
        uint8_t* record = &bytes[length * static_cast<size_t>(i)];
        if (deleteEveryThird && i % 3 == 0) record[0] = kDeletedFlag;
        const std::string name = prefix + std::to_string(first + i);
        std::memcpy(record + table.fields()[0].offset, name.data(), name.size());
    }
    return bytes;
}

TEST_F(TableLockTest, BulkAppendWritesTheBytesSingleAppendsWrite) {
    // The same clock for both tables, so that their headers' dates and change stamps agree.
    test::FixedClock clock({2026, 2, 12, 13, 45, 30, 250});
    const std::string single = m_dir.file("Single.dbf");
    test::copyFile(m_path, single);
    {
        GSO_dBaseFld table(single, true, true);
        for (int i = 0; i < 40; ++i) {
            table.BlankRecord();
            table.FieldPut(1, "BULK" + std::to_string(i));
            table.AppendRecord();
            if (i % 3 == 0) table.DeleteRecord();
        }
    }
    GSO_dBaseFld table(m_path, true, true);
    const std::vector<uint8_t> first = images(table, "BULK", 0, 25, true);
    table.appendRecords(first.data(), 25);
    // Numbering goes on from 25, so the second run keeps the deletion marks' rhythm.
    std::vector<uint8_t> second = images(table, "BULK", 25, 15);
    for (int i = 0; i < 15; ++i) {
        if ((25 + i) % 3 == 0) second[static_cast<size_t>(i * table.recordLength())] = kDeletedFlag;
    }
    table.appendRecords(second.data(), 15);
    EXPECT_EQ(table.recordCount(), 52);
    EXPECT_EQ(table.recordNumber(), 0) << "the current record moved";

    const std::vector<uint8_t> bytes = test::readFileBytes(m_path);
    EXPECT_EQ(bytes, test::readFileBytes(single));
    EXPECT_EQ(test::le32(bytes, 4), 52u);
    EXPECT_EQ(bytes.size(), table.headerLength() + 52u * table.recordLength() + 1);
    EXPECT_EQ(bytes.back(), kEndOfFileMark);
}

TEST_F(TableLockTest, BulkAndSingleAppendsOfTwoProcessesLoseNothing) {
    constexpr int kRuns = 30, kPerRun = 7, kSinglesPerRun = 5;
    // The two take turns: every run of the one lands behind the other's records, which its
    // handle has not seen yet.
    test::ProcessSignal yourTurn, done;
    const int bulk = test::forkChild([&] {
        GSO_dBaseFld table(m_path, true, true);
        for (int run = 0; run < kRuns; ++run) {
            if (!yourTurn.wait()) return 1;
            const std::vector<uint8_t> runImages = images(table, "R", run * kPerRun, kPerRun);
            table.appendRecords(runImages.data(), kPerRun);
            done.notify();
        }
        return 0;
    });
    GSO_dBaseFld table(m_path, true, true);
    for (int run = 0; run < kRuns; ++run) {
        for (int i = 0; i < kSinglesPerRun; ++i) {
            table.BlankRecord();
            table.FieldPut(1, "S" + std::to_string(run * kSinglesPerRun + i));
            table.AppendRecord();
        }
        yourTurn.notify();
        ASSERT_TRUE(done.wait());
    }
    EXPECT_EQ(test::waitChild(bulk), 0);
    const int kSingles = kRuns * kSinglesPerRun;

    GSO_dBaseFld reader(m_path, true, false);
    const int total = 12 + kRuns * kPerRun + kSingles;
    ASSERT_EQ(reader.recordCount(), total);
    std::set<std::string> names;
    // Each run lands whole, its records one after the other.
    int previousRunRecord = -1;
    for (int n = 13; n <= total; ++n) {
        reader.GotoRecord(n);
        const std::string name = reader.FieldGet(1);
        names.insert(name);
        if (name[0] == 'R') {
            const int number = std::stoi(name.substr(1));
            if (number % kPerRun != 0) {
                EXPECT_EQ(number, previousRunRecord + 1) << "record " << n;
            }
            previousRunRecord = number;
        }
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kRuns * kPerRun + kSingles));
    const std::vector<uint8_t> bytes = test::readFileBytes(m_path);
    EXPECT_EQ(bytes.back(), kEndOfFileMark);
    EXPECT_EQ(test::le32(bytes, 4), static_cast<uint32_t>(total));
}

TEST_F(TableLockTest, BulkAppendWaitsForTheAppendLockAndRefusesWithoutIt) {
    ShortLockWait shortWait;
    GSO_DiskFile holder(m_path, true, true);
    ASSERT_TRUE(holder.lock(0xEFFFFFFF, 1));  // the DB4Lock append lock
    GSO_dBaseFld table(m_path, true, true);
    table.setLockProtocol(TgsLokProtocol::DB4Lock);
    const std::vector<uint8_t> before = test::readFileBytes(m_path);
    const std::vector<uint8_t> run = images(table, "NEW", 0, 3);
    try {
        table.appendRecords(run.data(), 3);
        FAIL() << "bulk append went ahead without its lock";
    } catch (const EEngineError& error) {
        EXPECT_EQ(std::string(error.what()), "Error 33 in Lock of " + m_path);
    }
    EXPECT_EQ(test::readFileBytes(m_path), before);
    EXPECT_EQ(table.recordCount(), 12);
    EXPECT_EQ(table.lockCount(), 0);
    holder.unlock();
    table.appendRecords(run.data(), 3);
    EXPECT_EQ(table.recordCount(), 15);
    EXPECT_EQ(test::le32(test::readFileBytes(m_path), 4), 15u);
}

TEST_F(TableLockTest, BulkAppendIsRefusedWhileIndexFilesAreOpen) {
    IndexedTable table(m_path, true, true);
    const std::vector<uint8_t> before = test::readFileBytes(m_path);
    const std::vector<uint8_t> run = images(table, "NEW", 0, 2);
    EXPECT_THROW(table.appendRecords(run.data(), 2), EEngineError);
    EXPECT_EQ(test::readFileBytes(m_path), before);
    EXPECT_EQ(table.recordCount(), 12);
}

}  // namespace
}  // namespace abonex
