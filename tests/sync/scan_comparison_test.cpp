// The comparison that reads both tables from their files: chunk boundaries, the name order it
// rebuilds from the stored names, the orders it leaves to the data sets, stepwise counts, and a
// table cut shorter under it.
#include "sync/scan_comparison.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

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
