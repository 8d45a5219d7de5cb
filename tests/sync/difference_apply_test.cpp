// Applying differences: which record each chosen entry changes in which table, the rows that are
// skipped because their record is gone, the index kept current, and the lock regions shared
// with the main window and other copies of the program.
#include "sync/difference_apply.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/file/path_util.h"
#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "tests/support/test_support.h"
#include "tests/sync/plain_passes.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

class ApplyTest : public ::testing::Test, protected test::TwoFolders {
  protected:
    std::string ownTable() const { return own() + "/" + m_fileName; }
    std::string externalTable() const { return external() + "/" + m_fileName; }

    void write(const std::vector<DirectoryRow>& ownRows,
               const std::vector<DirectoryRow>& externalRows, std::string fileName = "Phone.DBF",
               DirectoryMode schema = DirectoryMode::Persons) {
        m_fileName = std::move(fileName);
        test::writeSyncTable(own(), m_fileName, schema, ownRows);
        test::writeSyncTable(external(), m_fileName, schema, externalRows);
    }
    std::vector<DifferenceEntry> compare(SyncDirection direction) {
        const bool import = direction == SyncDirection::Import;
        TEngineDataSet source, target;
        openSyncTable(target, import ? own() : external(), m_fileName);
        openSyncTable(source, import ? external() : own(), m_fileName);
        TableComparison comparison(source, target);
        comparison.run();
        return comparison.entries();
    }
    ApplyCounts apply(SyncDirection direction, ChangeSide side,
                      const std::vector<DifferenceEntry>& entries, std::vector<bool> chosen = {}) {
        if (chosen.empty()) chosen.assign(entries.size(), true);
        TEngineDataSet change;
        openChangeTable(change, side == ChangeSide::Own ? own() : external(), m_fileName);
        DifferenceApply applying(change, direction, side);
        applying.run(entries, chosen);
        return applying.counts();
    }
    void expectIndexClean(const std::string& table) {
        GSO_dBaseFld dbf(table, true, false);
        const IndexCheckReport report = checkIndexFile(dbf, replaceExtension(table, ".MDX"));
        for (const auto& problem : report.problems) ADD_FAILURE() << formatIndexProblem(problem);
    }

    // Imports `entries` (the two records "Аптека" and "Школа", both changed) into the own table
    // while another process, its table opened by `openOther`, edits "Школа": the apply writes
    // "Аптека" and ends at "Школа" with the lock's error, leaving that record as it was.
    void expectTheApplyEndsAtTheLockedSecondRecord(
        const std::vector<DifferenceEntry>& entries,
        const std::function<void(TEngineDataSet&)>& openOther, bool withIndexFiles) {
        test::ProcessSignal locked, done;
        const int child = test::forkChild([&] {
            TEngineDataSet other;
            openOther(other);
            other.GotoRecNo(2);
            other.Edit();  // holds the record lock of "Школа"
            locked.notify();
            done.wait();
            other.Cancel();
            return 0;
        });
        ASSERT_TRUE(locked.wait());
        TEngineDataSet change;
        openChangeTable(change, own(), m_fileName);
        EXPECT_EQ(change.handler()->indexFileCount() > 0, withIndexFiles);
        DifferenceApply applying(change, SyncDirection::Import, ChangeSide::Own);
        try {
            applying.run(entries, {true, true});
            ADD_FAILURE() << "the locked record was written";
        } catch (const EDatabaseError& error) {
            EXPECT_EQ(std::string(error.what()), "Record is locked by another user");
        }
        change.Close();
        done.notify();
        EXPECT_EQ(test::waitChild(child), 0);
        EXPECT_EQ(applying.counts(), (ApplyCounts{1, 0, 0, 0}));
        EXPECT_EQ(readDirectoryTable(ownTable()),
                  (std::vector<DirectoryRow>{{"Аптека", "3", "", ""}, {"Школа", "2", "", ""}}));
    }

    std::string m_fileName;
};

TEST_F(ApplyTest, ImportIntoTheOwnTableOverwritesTheFirstPhone) {
    write({{"Иванов И.И.", "11-11-11", "12-12-12", "сосед"}},
          {{"Иванов И.И.", "22-22-22", "", ""}});
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries), (ApplyCounts{1, 0, 0, 0}));
    // Only the first phone comes over: the second phone and the comment stay.
    EXPECT_EQ(readDirectoryTable(ownTable()),
              (std::vector<DirectoryRow>{{"Иванов И.И.", "22-22-22", "12-12-12", "сосед"}}));
    const auto after = compare(SyncDirection::Import);  // the second phone still differs
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].kind, DifferenceKind::Phone2);
    expectIndexClean(ownTable());
}

TEST_F(ApplyTest, ImportIntoTheExternalTableDeletesItsFirstRecordOfTheName) {
    write({}, {
                  {"петров", "55-55-55", "", ""},
                  {"Петров", "66-66-66", "", ""},
              });
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 2u);
    // The first entry is "Петров" (first in name order); the record it deletes is the first of
    // that name in file order, whatever its letter case.
    ASSERT_EQ(entries[0].source, test::texts("Петров", "66-66-66", ""));
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::External, entries, {true, false}),
              (ApplyCounts{0, 0, 1, 0}));
    const auto rows = readDirectoryTable(externalTable());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].deleted);
    EXPECT_FALSE(rows[1].deleted);
    expectIndexClean(externalTable());
}

TEST_F(ApplyTest, ExportIntoTheExternalTableAddsTheOwnRecordWithItsComment) {
    write({{"Новиков Н.Н.", "33-33-33", "44-44-44", "сосед"}}, {{"Абрамов", "10-10-10", "", ""}});
    const auto entries = compare(SyncDirection::Export);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(apply(SyncDirection::Export, ChangeSide::External, entries),
              (ApplyCounts{0, 1, 0, 0}));
    EXPECT_EQ(readDirectoryTable(externalTable()),
              (std::vector<DirectoryRow>{{"Абрамов", "10-10-10", "", ""},
                                         {"Новиков Н.Н.", "33-33-33", "44-44-44", "сосед"}}));
    // The index file took the new record at once: the table is the same in both directions.
    expectIndexClean(externalTable());
    EXPECT_TRUE(compare(SyncDirection::Export).empty());
}

// The address a record holds in the other copy comes with it, in large tables too, where the
// comparison reads the source in chunks and two halves at once and the comment is read back
// from the file once the comparison is over; a comment of the table's full width stays whole.
TEST_F(ApplyTest, ImportedRecordsCarryTheirCommentsWhole) {
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 0; i < 3000; ++i) {
        DirectoryRow row{"Абрамов " + std::to_string(10000 + i), std::to_string(i), "", ""};
        ownRows.push_back(row);
        row.comment = "ул. Заводская, д. " + std::to_string(i);
        externalRows.push_back(row);
    }
    externalRows.push_back({"Абрамов Б.М.", "10-10-10", "", std::string(250, 'X')});
    externalRows.push_back({"Борисов", "20-20-20", "", "ул. Заводская, д. 109, кв. 4"});
    write(ownRows, externalRows);
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries), (ApplyCounts{0, 2, 0, 0}));
    const std::vector<DirectoryRow> rows = readDirectoryTable(ownTable());
    ASSERT_EQ(rows.size(), 3002u);
    EXPECT_EQ(rows[3000].comment, std::string(250, 'X'));
    EXPECT_EQ(rows[3001].comment, "ул. Заводская, д. 109, кв. 4");
    EXPECT_EQ(rows[5].comment, "");  // the records the copies share keep their own comments
    expectIndexClean(ownTable());
}

TEST_F(ApplyTest, ExportIntoTheOwnTableDeletesAndImportAddsWithTheOtherTexts) {
    write({{"Лишний", "1", "", ""}, {"Козлов", "11", "22", ""}},
          {{"Козлов", "11", "33", ""}, {"Новый", "7", "8", ""}});
    // Export with the own table changed: the own-only record goes, the second phone becomes
    // the external one.
    EXPECT_EQ(apply(SyncDirection::Export, ChangeSide::Own, compare(SyncDirection::Export)),
              (ApplyCounts{1, 0, 1, 0}));
    // Import with the own table changed: the external-only record comes in.
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, compare(SyncDirection::Import)),
              (ApplyCounts{0, 1, 0, 0}));
    EXPECT_EQ(
        readDirectoryTable(ownTable()),
        (std::vector<DirectoryRow>{
            {"Лишний", "1", "", "", true}, {"Козлов", "11", "33", ""}, {"Новый", "7", "8", ""}}));
    EXPECT_TRUE(compare(SyncDirection::Import).empty());
    EXPECT_TRUE(compare(SyncDirection::Export).empty());
    expectIndexClean(ownTable());
}

TEST_F(ApplyTest, AnEntryWhoseRecordIsGoneIsSkippedAndCounted) {
    write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}, {"Иванов", "33", "", ""}});
    const auto entries = compare(SyncDirection::Import);
    // Both external records point at the one own record.
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_EQ(entries[0].target, entries[1].target);
    // The first entry changes it; the second entry's keys no longer match any record.
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries), (ApplyCounts{1, 0, 0, 1}));
    EXPECT_EQ(readDirectoryTable(ownTable()),
              (std::vector<DirectoryRow>{{"Иванов", "22", "", ""}}));
}

// A record missing at the comparison that another writer added before the apply is not added a
// second time; records of one name that only the source holds are all added.
TEST_F(ApplyTest, AnInsertLooksAtTheTableAsItIsNow) {
    write({{"Иванов", "11", "", ""}}, {{"Иванов", "11", "", ""},
                                       {"Петров", "22", "", ""},
                                       {"Сидоров", "33", "", ""},
                                       {"Сидоров", "44", "", ""}});
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 3u);
    {
        TEngineDataSet other;
        openChangeTable(other, own(), m_fileName);
        other.Insert();
        other.Fields(0).SetAsString(test::ansi("петров "));  // the same name to the comparison
        other.Fields(1).SetAsString("99");
        other.Post();
    }
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries), (ApplyCounts{0, 2, 0, 1}));
    EXPECT_EQ(readDirectoryTable(ownTable()),
              (std::vector<DirectoryRow>{{"Иванов", "11", "", ""},
                                         {"петров", "99", "", ""},
                                         {"Сидоров", "33", "", ""},
                                         {"Сидоров", "44", "", ""}}));
    expectIndexClean(ownTable());
}

TEST_F(ApplyTest, AnEntryFollowsTheChangesOfEarlierEntries) {
    // Two own records of one name. The first entry gives the first record the phone that the
    // second entry looks for, so the second entry finds the first record, not the second.
    write({{"Сидоров", "1", "", ""}, {"Сидоров", "2", "", ""}}, {});
    const std::vector<DifferenceEntry> entries = {
        {DifferenceKind::Phone1,
         test::texts("Сидоров", "1", ""),
         test::texts("Сидоров", "2", ""),
         {}},
        {DifferenceKind::Phone2,
         test::texts("Сидоров", "2", ""),
         test::texts("Сидоров", "2", "9"),
         {}},
    };
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries), (ApplyCounts{2, 0, 0, 0}));
    EXPECT_EQ(readDirectoryTable(ownTable()),
              (std::vector<DirectoryRow>{{"Сидоров", "2", "9", ""}, {"Сидоров", "2", "", ""}}));
}

TEST_F(ApplyTest, StepsThatEndAtOnceDoTheSameAsOneRun) {
    // Every kind, in both tables, with steps whose time is up before they begin: each does the
    // least it may, and the result is the one apply of run().
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Абонент " + std::to_string(i);
        ownRows.push_back({name, "1", i % 3 == 0 ? "5" : "", ""});
        if (i % 7 != 0) externalRows.push_back({name, i % 2 == 0 ? "2" : "1", "", ""});
    }
    externalRows.push_back({"Новый", "9", "", ""});
    write(ownRows, externalRows);
    const auto entries = compare(SyncDirection::Export);
    ASSERT_GT(entries.size(), 100u);
    std::vector<bool> chosen(entries.size(), true);
    chosen[3] = false;
    TEngineDataSet change;
    openChangeTable(change, external(), m_fileName);
    DifferenceApply stepped(change, SyncDirection::Export, ChangeSide::External);
    stepped.begin(entries, chosen);
    const int total = stepped.total();
    int steps = 0;
    int lastDone = -1;
    while (stepped.step(DifferenceApply::Clock::now() - std::chrono::seconds(1))) {
        ++steps;
        EXPECT_GT(stepped.done(), lastDone);  // every step makes headway
        lastDone = stepped.done();
        ASSERT_LT(steps, 100000);
    }
    EXPECT_GT(steps, 100);
    EXPECT_LE(stepped.done(), total);
    const ApplyCounts steppedCounts = stepped.counts();
    const auto steppedRows = readDirectoryTable(externalTable());
    change.Close();
    expectIndexClean(externalTable());

    // The same apply in one run, on the tables as they were.
    write(ownRows, externalRows);
    EXPECT_EQ(apply(SyncDirection::Export, ChangeSide::External, entries, chosen), steppedCounts);
    EXPECT_EQ(readDirectoryTable(externalTable()), steppedRows);
    EXPECT_GT(steppedCounts.changed + steppedCounts.added + steppedCounts.deleted, 100);
}

TEST_F(ApplyTest, NothingChosenChangesNothing) {
    write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}, {"Петров", "1", "", ""}});
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 2u);
    const auto before = test::readFileBytes(ownTable());
    EXPECT_EQ(apply(SyncDirection::Import, ChangeSide::Own, entries, {false, false}),
              ApplyCounts{});
    EXPECT_EQ(test::readFileBytes(ownTable()), before);
}

TEST_F(ApplyTest, ARecordLockedByAnotherCopyEndsTheApplyThere) {
    // Another copy of the program editing a record in its main window holds that record's lock
    // in the region its protocol gives: DB4Lock for organisations; for persons the Default
    // protocol, whose record region differs with and without open index files. The change
    // table locks the same regions, so the apply meets the lock.
    for (const DirectoryMode mode : {DirectoryMode::Organisations, DirectoryMode::Persons}) {
        const DirectoryTable& table = directoryTable(mode);
        SCOPED_TRACE(std::string(table.tableFile));
        write({{"Аптека", "1", "", ""}, {"Школа", "2", "", ""}},
              {{"Аптека", "3", "", ""}, {"Школа", "4", "", ""}}, std::string(table.tableFile),
              mode);
        const auto entries = compare(SyncDirection::Import);
        ASSERT_EQ(entries.size(), 2u);

        expectTheApplyEndsAtTheLockedSecondRecord(
            entries,
            [&](TEngineDataSet& other) {
                other.setLockProtocol(table.protocol);
                other.setDatabaseName(own());
                other.setTableName(table.tableFile);
                other.setIndexFiles({std::string(table.indexFile)});
                other.setIndexName(table.tagName);
                other.Open();
            },
            true);
    }
}

TEST_F(ApplyTest, ARecordLockedInATableWithoutIndexFilesEndsTheApplyThere) {
    // Without index files nothing but the record lock keeps another copy's post out: the apply
    // takes it as an edit does.
    m_fileName = "Spisok.dbf";
    test::writeSyncTable(own(), m_fileName, DirectoryMode::Persons,
                         {{"Аптека", "1", "", ""}, {"Школа", "2", "", ""}}, false);
    test::writeSyncTable(external(), m_fileName, DirectoryMode::Persons,
                         {{"Аптека", "3", "", ""}, {"Школа", "4", "", ""}}, false);
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 2u);

    expectTheApplyEndsAtTheLockedSecondRecord(
        entries,
        [&](TEngineDataSet& other) {
            other.setDatabaseName(own());
            other.setTableName(m_fileName);
            other.Open();
        },
        false);
}

// Rows of which about half differ between the copies, of every kind, so that an apply has
// entries for several batches.
void writeManyDifferences(std::vector<DirectoryRow>& ownRows,
                          std::vector<DirectoryRow>& externalRows) {
    for (int i = 0; i < 1400; ++i) {
        const std::string name = "Абонент " + std::to_string(i % 1250);
        ownRows.push_back({name, std::to_string(i), i % 4 == 0 ? "5" : "", ""});
        if (i % 9 == 0) continue;  // missing in the external copy
        externalRows.push_back(
            {name, std::to_string(i % 3 == 0 ? i + 1 : i), i % 5 == 0 ? "6" : "", ""});
    }
}

TEST_F(ApplyTest, ManyBatchesDoWhatThePlainApplyDoes) {
    std::vector<DirectoryRow> ownRows, externalRows;
    writeManyDifferences(ownRows, externalRows);
    for (const ChangeSide side : {ChangeSide::Own, ChangeSide::External}) {
        SCOPED_TRACE(side == ChangeSide::Own ? "own" : "external");
        write(ownRows, externalRows);
        const auto entries = compare(SyncDirection::Import);
        ASSERT_GT(entries.size(), 600u);  // more than two batches
        std::vector<bool> chosen(entries.size(), true);
        for (size_t i = 0; i < chosen.size(); i += 11) chosen[i] = false;
        const ApplyCounts counts = apply(SyncDirection::Import, side, entries, chosen);
        const std::string changed = side == ChangeSide::Own ? ownTable() : externalTable();
        const auto rows = readDirectoryTable(changed);
        expectIndexClean(changed);

        write(ownRows, externalRows);
        TEngineDataSet change;
        openChangeTable(change, side == ChangeSide::Own ? own() : external(), m_fileName);
        EXPECT_EQ(test::plainApply(change, SyncDirection::Import, side, entries, chosen), counts);
        change.Close();
        EXPECT_EQ(readDirectoryTable(changed), rows);
    }
}

// Adds to the table's index file a tag on the first phone and one on the name that leaves
// deleted records out, so that phone changes and deletions change index keys.
void addPhoneAndLiveTags(const std::string& table) {
    GSO_dBaseFld dbf(table, false, true);
    GSobjMDXFile index(dbf, replaceExtension(table, ".MDX"));
    index.TagCreate("PHONE", "PHONE1", "", false, true);
    index.TagCreate("LIVE", "NAME", ".NOT. DELETED()", false, true);
    index.close();
}

TEST_F(ApplyTest, TagsOnThePhonesAndFilteredTagsAreKeptCurrent) {
    // The apply writes a record in place only when no tag of the index file changes by it;
    // here the first phone and deletions change keys, and the result must be the plain one.
    std::vector<DirectoryRow> ownRows, externalRows;
    writeManyDifferences(ownRows, externalRows);
    for (const ChangeSide side : {ChangeSide::Own, ChangeSide::External}) {
        SCOPED_TRACE(side == ChangeSide::Own ? "own" : "external");
        write(ownRows, externalRows);
        const std::string changed = side == ChangeSide::Own ? ownTable() : externalTable();
        const auto entries = compare(SyncDirection::Import);
        ASSERT_GT(entries.size(), 600u);
        addPhoneAndLiveTags(changed);
        const ApplyCounts counts = apply(SyncDirection::Import, side, entries);
        EXPECT_GT(counts.changed, 0);
        const auto rows = readDirectoryTable(changed);
        expectIndexClean(changed);

        write(ownRows, externalRows);
        addPhoneAndLiveTags(changed);
        TEngineDataSet change;
        openChangeTable(change, side == ChangeSide::Own ? own() : external(), m_fileName);
        const std::vector<bool> all(entries.size(), true);
        EXPECT_EQ(test::plainApply(change, SyncDirection::Import, side, entries, all), counts);
        change.Close();
        EXPECT_EQ(readDirectoryTable(changed), rows);
    }
}

TEST_F(ApplyTest, ARecordCutAwayByAnotherProgramEndsTheApplyWithAClearError) {
    write({{"Аптека", "1", "", ""}, {"Школа", "2", "", ""}},
          {{"Аптека", "3", "", ""}, {"Школа", "4", "", ""}});
    const auto entries = compare(SyncDirection::Import);
    ASSERT_EQ(entries.size(), 2u);
    TEngineDataSet change;
    openChangeTable(change, own(), m_fileName);
    DifferenceApply applying(change, SyncDirection::Import, ChangeSide::Own);
    applying.begin(entries, {true, true});
    // A step whose time is up at once reads the table and applies the first entry.
    ASSERT_TRUE(applying.step(DifferenceApply::Clock::now() - std::chrono::seconds(1)));
    ASSERT_EQ(applying.counts(), (ApplyCounts{1, 0, 0, 0}));
    // Another program cuts the table after its first record.
    const auto length = static_cast<uint64_t>(change.handler()->recordLength());
    std::filesystem::resize_file(ownTable(), change.handler()->headerLength() + length);
    try {
        while (applying.step(DifferenceApply::Clock::now() + std::chrono::seconds(5))) {
        }
        ADD_FAILURE() << "a record past the table's end was applied";
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(std::string(error.what()), "Record request beyond range of table");
    }
    change.Close();
    EXPECT_EQ(applying.counts(), (ApplyCounts{1, 0, 0, 0}));
    EXPECT_EQ(readDirectoryTable(ownTable()), (std::vector<DirectoryRow>{{"Аптека", "3", "", ""}}));
}

TEST_F(ApplyTest, OtherWritersGetTheIndexLockBetweenSteps) {
    std::vector<DirectoryRow> ownRows, externalRows;
    writeManyDifferences(ownRows, externalRows);
    write(ownRows, externalRows);
    const auto entries = compare(SyncDirection::Import);
    TEngineDataSet change;
    openChangeTable(change, own(), m_fileName);
    ASSERT_TRUE(change.handler()->readAhead());
    DifferenceApply stepped(change, SyncDirection::Import, ChangeSide::Own);
    stepped.begin(entries, std::vector<bool>(entries.size(), true));
    // Steps whose time is up at once, until some entries are applied.
    const int entriesBegin = stepped.total() - static_cast<int>(entries.size());
    while (stepped.done() < entriesBegin + 10) {
        ASSERT_TRUE(stepped.step(DifferenceApply::Clock::now() - std::chrono::seconds(1)));
    }
    EXPECT_FALSE(change.handler()->readAhead());  // the entries' records are read alone

    // Another copy of the program writes a record while the apply is between two steps: it
    // gets the index lock without waiting for the apply's end.
    const int child = test::forkChild([&] {
        test::ScopedLockWait shortWait(LockWait{4, 25});
        TEngineDataSet other;
        other.setDatabaseName(own());
        other.setTableName(m_fileName);
        other.setIndexFiles({"Phone.MDX"});
        other.setIndexName("NAME");
        other.Open();
        other.GotoRecNo(2);
        other.Edit();
        other.Fields(3).SetAsString(test::ansi("между шагами"));
        other.Post();
        return 0;
    });
    EXPECT_EQ(test::waitChild(child), 0);

    while (stepped.step(DifferenceApply::Clock::now() - std::chrono::seconds(1))) {
    }
    EXPECT_TRUE(change.handler()->readAhead());  // as it was before the apply
    change.Close();
    EXPECT_EQ(readDirectoryTable(ownTable())[1].comment, "между шагами");
    expectIndexClean(ownTable());
}

}  // namespace
}  // namespace abonex
