// Packing a table: the live records in name order, and a process that dies at any write of
// the pack leaves a table that opens whole, the old one or the new one.
#include "engine/dataset/table_pack.h"

#include <unistd.h>

#include <algorithm>
#include <map>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex::test {

namespace {

// Every third name of a shuffled run, every seventh record deleted.
std::vector<Person> packablePeople(int count) {
    std::vector<Person> people;
    for (int i = 0; i < count; ++i) {
        const int key = (i * 7919) % count;
        people.push_back(
            {"Абонент " + std::to_string(100000 + key), std::to_string(i), i % 7 == 3});
    }
    return people;
}

// The live rows of the table file itself, in record order: (name, phone) as stored.
std::vector<std::pair<std::string, std::string>> liveRecords(const std::string& table) {
    GSO_dBaseFld dbf(table, true, false);
    std::vector<std::pair<std::string, std::string>> rows;
    for (int n = 1; n <= dbf.recordCount(); ++n) {
        dbf.GotoRecord(n);
        if (dbf.isDeleted()) continue;
        rows.emplace_back(dbf.FieldGet("NAME"), dbf.FieldGet("PHONE1"));
    }
    return rows;
}

// Stops the process at the `stopAt`-th write any disk file makes, the write itself done: as a
// kill or a crash at that moment would.
class DieAtWrite : public DiskFileTap {
  public:
    explicit DieAtWrite(int stopAt) : m_left(stopAt) {}
    void wrote(const std::string&, uint64_t, const uint8_t*, size_t) override {
        if (--m_left == 0) ::_exit(0);
    }

  private:
    int m_left;
};

class CountWrites : public DiskFileTap {
  public:
    void wrote(const std::string&, uint64_t, const uint8_t*, size_t) override { ++count; }
    int count = 0;
};

void copyFolder(const std::string& from, const std::string& to) {
    for (const char* name : {"Phone.DBF", "Phone.MDX"}) {
        copyFile(from + "/" + name, to + "/" + name);
    }
}

void packPersons(const std::string& dir) {
    TEngineDataSet set;
    set.setDatabaseName(dir);
    set.setTableName("Phone.DBF");
    set.setIndexFiles({"Phone.MDX"});
    set.setIndexName("NAME");
    packTable(set);
}

}  // namespace

TEST(TablePackTest, LiveRecordsGoInNameOrderAndDeletedOnesGo) {
    TempDir dir;
    makePersonsTable(dir.path(), packablePeople(700));
    auto live = liveRecords(dir.file("Phone.DBF"));
    TEngineDataSet set;
    set.setDatabaseName(dir.path());
    set.setTableName("Phone.DBF");
    set.setIndexFiles({"Phone.MDX"});
    set.setIndexName("NAME");
    const PackResult result = packTable(set);
    EXPECT_EQ(result.liveRecords, 600);
    EXPECT_EQ(result.deletedRecords, 100);
    EXPECT_FALSE(set.Active());
    std::sort(live.begin(), live.end());
    EXPECT_EQ(liveRecords(dir.file("Phone.DBF")), live);
    expectIndexClean(dir.path());
    openPersons(set, dir.path());
    EXPECT_EQ(set.RecordCount(), 600);
    EXPECT_TRUE(set.deletedRows().empty());
}

TEST(TablePackTest, AProcessThatDiesAtAnyWriteLeavesATableThatOpensWhole) {
    TempDir pristine;
    // Over a megabyte of records: the new file takes more than one write.
    makePersonsTable(pristine.path(), packablePeople(4200));
    const auto before = liveRecords(pristine.file("Phone.DBF"));
    auto sorted = before;
    std::sort(sorted.begin(), sorted.end());
    const uint32_t oldCount = le32(readFileBytes(pristine.file("Phone.DBF")), 4);

    int writes = 0;
    {
        TempDir counted;
        copyFolder(pristine.path(), counted.path());
        CountWrites counter;
        setDiskFileTap(&counter);
        packPersons(counted.path());
        setDiskFileTap(nullptr);
        writes = counter.count;
    }
    ASSERT_GT(writes, 4);
    int oldTables = 0, newTables = 0;
    for (int stopAt = 1; stopAt <= writes; ++stopAt) {
        SCOPED_TRACE("died at write " + std::to_string(stopAt) + " of " + std::to_string(writes));
        TempDir dir;
        copyFolder(pristine.path(), dir.path());
        const int child = forkChild([&] {
            DieAtWrite tap(stopAt);
            setDiskFileTap(&tap);
            packPersons(dir.path());
            return 1;  // the pack ended without the write it was to die at
        });
        ASSERT_EQ(waitChild(child), 0);
        const std::string table = dir.file("Phone.DBF");
        const auto records = liveRecords(table);
        if (le32(readFileBytes(table), 4) == oldCount) {
            ++oldTables;
            EXPECT_EQ(records, before);
        } else {
            ++newTables;
            EXPECT_EQ(records, sorted);
            EXPECT_EQ(fileSize(table), 161u + 311u * sorted.size() + 1u);
        }
        // Opened as the window opens it: an index the quick look refuses is rebuilt.
        TEngineDataSet set;
        openPersons(set, dir.path());
        if (!set.IndexesCoverTable()) set.ReindexAll();
        EXPECT_EQ(visibleNames(set).size(), sorted.size());
        set.Close();
        expectIndexClean(dir.path());
        // The next pack clears what this one left beside the table.
        packPersons(dir.path());
        EXPECT_EQ(liveRecords(table), sorted);
        EXPECT_NE(::access((table + ".pack-new").c_str(), F_OK), 0);
        EXPECT_NE(::access((table + ".pack-old").c_str(), F_OK), 0);
    }
    EXPECT_GT(oldTables, 0);
    EXPECT_GT(newTables, 0);
}

TEST(TablePackTest, RefusedWhileAnotherHandleHasTheTableOpen) {
    TempDir dir;
    makePersonsTable(dir.path(), packablePeople(50));
    const auto table = readFileBytes(dir.file("Phone.DBF"));
    TEngineDataSet other;
    openPersons(other, dir.path());
    TEngineDataSet set;
    set.setDatabaseName(dir.path());
    set.setTableName("Phone.DBF");
    set.setIndexFiles({"Phone.MDX"});
    set.setIndexName("NAME");
    EXPECT_THROW(packTable(set), ETableInUse);
    EXPECT_EQ(readFileBytes(dir.file("Phone.DBF")), table);
    EXPECT_FALSE(set.Exclusive());
    // The other copy goes on reading and writing the same file.
    EXPECT_TRUE(other.Recall(4));
    EXPECT_FALSE(other.Recall(4));
    EXPECT_EQ(other.deletedRows().size(), 6u);
}

}  // namespace abonex::test
