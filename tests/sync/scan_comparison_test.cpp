// The comparison that reads both tables from their files: chunk boundaries, the name order it
// rebuilds from the stored names, the orders it leaves to the data sets, stepwise counts, and a
// table cut shorter under it.
#include "sync/scan_comparison.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>

#include "directory/directory_tables.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/index/mdx_file.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "sync/table_scan.h"
#include "tests/support/test_support.h"
#include "tests/sync/plain_passes.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

// Tables of a few hundred rows whose names come from a small pool in several letter cases and
// with blanks before them, so that many records share a folded name and the first of them in
// name order is seldom the first in file order.
class Rows {
  public:
    explicit Rows(unsigned seed) : m_random(seed) {}

    std::vector<DirectoryRow> table(int count) {
        std::vector<DirectoryRow> rows;
        for (int i = 0; i < count; ++i) {
            DirectoryRow row;
            row.name = below(20) == 0 ? std::string() : pick(kNames);
            if (below(6) == 0) row.name = " " + row.name;
            row.phone1 = pick(kPhones);
            row.phone2 = below(2) == 0 ? std::string() : pick(kPhones);
            row.deleted = below(12) == 0;
            rows.push_back(row);
        }
        return rows;
    }
    // A copy with a quarter of the rows changed, dropped or replaced.
    std::vector<DirectoryRow> variantOf(std::vector<DirectoryRow> rows) {
        for (DirectoryRow& row : rows) {
            switch (below(16)) {
                case 0:
                    row.phone1 = pick(kPhones);
                    break;
                case 1:
                    row.phone2 = pick(kPhones);
                    break;
                case 2:
                    row = table(1).front();
                    break;
                case 3:
                    row.deleted = !row.deleted;
                    break;
                default:
                    break;
            }
        }
        return rows;
    }

  private:
    int below(int bound) { return static_cast<int>(m_random() % static_cast<unsigned>(bound)); }
    template <size_t N>
    std::string pick(const char* const (&pool)[N]) {
        return pool[static_cast<size_t>(below(static_cast<int>(N)))];
    }

    static constexpr const char* kNames[] = {"Иванов И.И.", "ИВАНОВ И.И.", "иванов и.и.",
                                             "Петров",      "петров ",     "Ёлкин Ё.Ё.",
                                             "ёлкин ё.ё.",  "Smith J.",    "SMITH J."};
    static constexpr const char* kPhones[] = {"22-33-44", " 22-33-44", "22-33-45", "7", "Доб. 5"};
    std::mt19937 m_random;
};

class ScanComparisonTest : public ::testing::Test, protected test::TwoFolders {
  protected:
    void open(std::string_view fileName) {
        openSyncTable(m_target, own(), fileName);
        openSyncTable(m_source, external(), fileName);
    }

    TEngineDataSet m_source;
    TEngineDataSet m_target;
};

TEST_F(ScanComparisonTest, ChunksOfAnySizeFindWhatThePlainPassesFind) {
    int differences = 0;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Rows rows(seed);
        // Name order (a directory table's name tag) and file order (any other name).
        const std::string fileName = seed % 2 == 0 ? "Phone.DBF" : "Spisok.dbf";
        const std::vector<DirectoryRow> ownRows = rows.table(150 + static_cast<int>(seed) * 7);
        test::writeSyncTable(own(), fileName, DirectoryMode::Persons, ownRows);
        test::writeSyncTable(external(), fileName, DirectoryMode::Persons, rows.variantOf(ownRows));
        open(fileName);
        ASSERT_TRUE(ScanComparison::suits(m_source));
        ASSERT_TRUE(ScanComparison::suits(m_target));
        const std::vector<DifferenceEntry> plain = test::plainComparison(m_source, m_target);
        // One record a chunk, a chunk ending inside a record, and the whole table at once.
        for (size_t chunkBytes : {size_t{1}, size_t{1000}, TableScan::kDefaultChunkBytes}) {
            SCOPED_TRACE("chunk " + std::to_string(chunkBytes));
            TableComparison comparison(m_source, m_target, chunkBytes);
            comparison.run();
            EXPECT_EQ(comparison.entries(), plain);
            EXPECT_EQ(comparison.found(), static_cast<int>(plain.size()));
        }
        differences += static_cast<int>(plain.size());
    }
    EXPECT_GT(differences, 500);  // the tables differ enough to reach every kind often
}

TEST_F(ScanComparisonTest, OrdersItCannotRebuildAreReadThroughTheDataSets) {
    Rows rows(99);
    const std::vector<DirectoryRow> ownRows = rows.table(120);
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, ownRows);
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, rows.variantOf(ownRows));
    open("Phone.DBF");
    struct Order {
        const char* tag;
        const char* expression;
        bool unique;
        bool ascending;
    };
    // Keys that are not the stored name, a unique tag (it leaves records out), a descending one.
    for (const Order& order :
         {Order{"UPNAME", "UPPER(NAME)", false, true}, Order{"ONENAME", "NAME", true, true},
          Order{"BACKNAME", "NAME", false, false}}) {
        SCOPED_TRACE(order.tag);
        for (TEngineDataSet* dataSet : {&m_source, &m_target}) {
            dataSet->handler()->indexFile(0)->TagCreate(order.tag, order.expression, "",
                                                        order.unique, order.ascending);
            dataSet->handler()->SelectTag(order.tag, false);
            dataSet->ReindexAll();
            EXPECT_FALSE(ScanComparison::suits(*dataSet));
        }
        TableComparison comparison(m_source, m_target);
        comparison.run();
        EXPECT_EQ(comparison.entries(), test::plainComparison(m_source, m_target));
    }
}

TEST_F(ScanComparisonTest, DifferencesAreCountedAsFoundAndListedInSourceOrderAtTheEnd) {
    // Names in reverse order of the file, a tenth of them differing.
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 400; i > 0; --i) {
        DirectoryRow row{"Фамилия " + std::to_string(1000 + i), std::to_string(i), "", ""};
        ownRows.push_back(row);
        if (i % 10 == 3) row.phone1 += "0";
        if (i % 10 == 6) row.phone2 = "2";
        if (i % 10 == 9) row.name += "а";
        externalRows.push_back(row);
    }
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, ownRows);
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, externalRows);
    open("Phone.DBF");
    const std::vector<DifferenceEntry> plain = test::plainComparison(m_source, m_target);
    ASSERT_EQ(plain.size(), 120u);
    TableComparison comparison(m_source, m_target, 2000);
    int steps = 0;
    int lastFound = 0;
    // Every step ends at once, after a few records.
    while (comparison.step(TableComparison::Clock::time_point::min())) {
        ++steps;
        EXPECT_GE(comparison.found(), lastFound);
        lastFound = comparison.found();
        EXPECT_TRUE(comparison.entries().empty());
    }
    EXPECT_GT(steps, 10);
    EXPECT_TRUE(comparison.done());
    EXPECT_EQ(comparison.found(), static_cast<int>(plain.size()));
    EXPECT_EQ(comparison.entries(), plain);
}

TEST_F(ScanComparisonTest, AComparisonStoppedHalfWayKeepsWhatItFoundInSourceOrder) {
    // Names in reverse order of the file, every third one differing.
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 300; i > 0; --i) {
        DirectoryRow row{"Фамилия " + std::to_string(1000 + i), std::to_string(i), "", ""};
        ownRows.push_back(row);
        if (i % 3 == 0) row.phone1 += "0";
        externalRows.push_back(row);
    }
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, ownRows);
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, externalRows);
    open("Phone.DBF");
    const std::vector<DifferenceEntry> plain = test::plainComparison(m_source, m_target);
    ASSERT_EQ(plain.size(), 100u);
    TableComparison comparison(m_source, m_target, 2000);
    while (comparison.visited() < 150) {
        ASSERT_TRUE(comparison.step(TableComparison::Clock::time_point::min()));
    }
    comparison.keepFoundSoFar();
    const std::vector<DifferenceEntry>& kept = comparison.entries();
    EXPECT_EQ(static_cast<int>(kept.size()), comparison.found());
    EXPECT_GT(kept.size(), 30u);
    EXPECT_LT(kept.size(), 70u);
    // The file holds the names from the last; the first half visited are the last in name
    // order, so what was kept is the end of the whole result.
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), plain.end() - static_cast<long>(kept.size())));
}

TEST_F(ScanComparisonTest, ATableCutShorterEndsTheScanAndARecordGoneIsAnError) {
    Rows rows(3);
    std::vector<DirectoryRow> ownRows = rows.table(50);
    for (DirectoryRow& row : ownRows) row.deleted = false;
    test::writeSyncTable(own(), "Spisok.dbf", DirectoryMode::Persons, ownRows);
    openSyncTable(m_target, own(), "Spisok.dbf");
    TableScan scan(m_target, 1);
    ASSERT_EQ(scan.recordCount(), 50);
    int recordNumber = 0;
    ASSERT_NE(scan.next(recordNumber), nullptr);
    EXPECT_EQ(recordNumber, 1);
    // Another program keeps the header and the first ten records only.
    DBFObject& table = *m_target.handler();
    const auto kept = static_cast<off_t>(table.headerLength() + 10 * table.recordLength());
    ASSERT_EQ(::truncate((own() + "/Spisok.dbf").c_str(), kept), 0);
    int seen = 1;
    while (scan.next(recordNumber) != nullptr) ++seen;
    EXPECT_EQ(seen, 10);
    EXPECT_NE(scan.readBack(10), nullptr);
    try {
        scan.readBack(50);  // pages past the file's new end
        FAIL() << "a record past the end was read";
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Record request beyond range of table");
    }
}

TEST_F(ScanComparisonTest, TwoThreadsGiveWhatOneGivesInTheSameOrder) {
    // Tables large enough for the source to be compared in halves, both orders; the halves'
    // differences must come one after the other, as one thread finds them.
    int differences = 0;
    for (unsigned seed = 31; seed <= 36; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Rows rows(seed);
        const std::string fileName = seed % 2 == 0 ? "Phone.DBF" : "Spisok.dbf";
        const std::vector<DirectoryRow> ownRows = rows.table(2500 + static_cast<int>(seed));
        test::writeSyncTable(own(), fileName, DirectoryMode::Persons, ownRows);
        const std::vector<DirectoryRow> externalRows = rows.variantOf(ownRows);
        test::writeSyncTable(external(), fileName, DirectoryMode::Persons, externalRows);
        open(fileName);
        TableComparison one(m_source, m_target, TableScan::kDefaultChunkBytes, 1);
        one.run();
        TableComparison two(m_source, m_target, TableScan::kDefaultChunkBytes, 2);
        two.run();
        EXPECT_EQ(two.entries(), one.entries());
        EXPECT_EQ(two.found(), static_cast<int>(one.entries().size()));
        // Every record not marked deleted, blank names included.
        EXPECT_EQ(two.visited(), static_cast<int>(std::count_if(
                                     externalRows.begin(), externalRows.end(),
                                     [](const DirectoryRow& row) { return !row.deleted; })));
        // In steps of a millisecond, with chunks that end inside records.
        TableComparison stepped(m_source, m_target, 1000, 2);
        while (stepped.step(TableComparison::Clock::now() + std::chrono::milliseconds(1))) {
        }
        EXPECT_EQ(stepped.entries(), one.entries());
        differences += static_cast<int>(one.entries().size());
        m_source.Close();
        m_target.Close();
    }
    EXPECT_GT(differences, 1000);
}

TEST_F(ScanComparisonTest, TwoThreadsAgreeWithThePlainPasses) {
    Rows rows(41);
    for (const char* fileName : {"Phone.DBF", "Spisok.dbf"}) {
        SCOPED_TRACE(fileName);
        const std::vector<DirectoryRow> ownRows = rows.table(700);
        test::writeSyncTable(own(), fileName, DirectoryMode::Persons, ownRows);
        test::writeSyncTable(external(), fileName, DirectoryMode::Persons, rows.variantOf(ownRows));
        open(fileName);
        TableComparison comparison(m_source, m_target, TableScan::kDefaultChunkBytes, 2);
        comparison.run();
        const std::vector<DifferenceEntry> plain = test::plainComparison(m_source, m_target);
        EXPECT_GE(plain.size(), 5u);
        EXPECT_EQ(comparison.entries(), plain);
        m_source.Close();
        m_target.Close();
    }
}

TEST_F(ScanComparisonTest, AComparisonInTwoThreadsStoppedKeepsTheDifferencesOfTheFirstRecords) {
    // File order: what was kept must be the start of the whole result, with nothing missing
    // between the two halves of a batch.
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 0; i < 30000; ++i) {
        DirectoryRow row{"Фамилия " + std::to_string(100000 + i), std::to_string(i), "", ""};
        ownRows.push_back(row);
        if (i % 4 == 1) row.phone1 += "0";
        if (i % 4 == 2) row.phone2 = "2";
        externalRows.push_back(row);
    }
    test::writeSyncTable(own(), "Spisok.dbf", DirectoryMode::Persons, ownRows);
    test::writeSyncTable(external(), "Spisok.dbf", DirectoryMode::Persons, externalRows);
    open("Spisok.dbf");
    TableComparison whole(m_source, m_target, TableScan::kDefaultChunkBytes, 1);
    whole.run();
    ASSERT_EQ(whole.entries().size(), 15000u);
    TableComparison comparison(m_source, m_target, TableScan::kDefaultChunkBytes, 2);
    // Steps long enough for batches that are split.
    while (comparison.visited() < 3000) {
        ASSERT_TRUE(comparison.step(TableComparison::Clock::now() + std::chrono::milliseconds(1)));
    }
    const int visited = comparison.visited();
    comparison.keepFoundSoFar();
    const std::vector<DifferenceEntry>& kept = comparison.entries();
    ASSERT_LT(visited, 30000);
    // Every other record differs: those of the records visited, no more, no fewer.
    EXPECT_EQ(static_cast<int>(kept.size()), visited / 2);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), whole.entries().begin()));
}

TEST_F(ScanComparisonTest, BytesThatGiveOneCharacterAreOneText) {
    // Box-drawing lines of code page 866 read as the ASCII bar: a name stored with either is
    // the same name, and a copy whose stored bytes differ that way is identical.
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Кафе │ Уют", "1-11", "", ""},
                          {"Бар ║ Луч", "2-22", "5", ""},
                          {"Клуб | Ось", "3-33", "", ""}});
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Кафе | Уют", "1-11", "", ""},
                          {"Бар │ Луч", "2-22", "6", ""},
                          {"Клуб ║ Ось", "3-34", "", ""}});
    open("Phone.DBF");
    m_target.GotoRecNo(1);  // stored with the single line
    ASSERT_EQ(m_target.Fields(kFieldName).AsString(), test::ansi("Кафе | Уют"));
    const std::vector<DifferenceEntry> plain = test::plainComparison(m_source, m_target);
    for (int threads : {1, 2}) {
        TableComparison comparison(m_source, m_target, TableScan::kDefaultChunkBytes, threads);
        comparison.run();
        EXPECT_EQ(comparison.entries(), plain);
    }
    // The texts are those the data sets give: the bar, whichever byte is stored.
    EXPECT_EQ(plain, (std::vector<DifferenceEntry>{{DifferenceKind::Phone2,
                                                    test::texts("Бар | Луч", "2-22", "5"),
                                                    test::texts("Бар | Луч", "2-22", "6"),
                                                    {}},
                                                   {DifferenceKind::Phone1,
                                                    test::texts("Клуб | Ось", "3-33", ""),
                                                    test::texts("Клуб | Ось", "3-34", ""),
                                                    {}}}));
}

TEST_F(ScanComparisonTest, ARecordWrittenByAnotherProcessMeanwhileIsComparedAsItIsNow) {
    // Another copy of the program changes a target record after the target was read, and after
    // records near it were read back: the comparison reads it back as it is then, and finds the
    // second phone changed.
    std::vector<DirectoryRow> rows;
    for (int i = 0; i < 400; ++i) {
        rows.push_back({"Фамилия " + std::to_string(1000 + i), std::to_string(i), "7", ""});
    }
    for (int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, rows);
        test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, rows);
        open("Phone.DBF");
        TableComparison comparison(m_source, m_target, TableScan::kDefaultChunkBytes, threads);
        while (comparison.visited() == 0) {
            ASSERT_TRUE(comparison.step(TableComparison::Clock::time_point::min()));
        }
        const int child = test::forkChild([&] {
            TEngineDataSet other;
            openChangeTable(other, own(), "Phone.DBF");
            other.GotoRecNo(45);
            other.Edit();
            other.Fields(kFieldPhone2).SetAsString("8");
            other.Post();
            other.Close();
            return 0;
        });
        ASSERT_EQ(test::waitChild(child), 0);
        comparison.run();
        EXPECT_EQ(comparison.entries(),
                  (std::vector<DifferenceEntry>{{DifferenceKind::Phone2,
                                                 test::texts("Фамилия 1044", "44", "8"),
                                                 test::texts("Фамилия 1044", "44", "7"),
                                                 {}}}));
        EXPECT_EQ(comparison.entries(), test::plainComparison(m_source, m_target));
        m_source.Close();
        m_target.Close();
    }
}

TEST(StoredKeys, CompareAsATagOrdersThemPaddedWithBlanks) {
    EXPECT_EQ(compareStoredKeys("ABC", "ABC"), 0);
    EXPECT_EQ(compareStoredKeys("AB", "AB  "), 0);
    EXPECT_LT(compareStoredKeys("AB", "ABC"), 0);
    EXPECT_GT(compareStoredKeys("ABC", "AB"), 0);
    // A byte below the blank sorts before the padding.
    EXPECT_LT(compareStoredKeys("AB\x01", "AB"), 0);
    EXPECT_GT(compareStoredKeys("AB", "AB\x01"), 0);
    // Bytes are unsigned: code page letters above 0x7F sort after Latin ones.
    EXPECT_GT(compareStoredKeys("\x88", "Z"), 0);
    EXPECT_LT(compareStoredKeys(" Z", "\x88"), 0);
}

}  // namespace
}  // namespace abonex
