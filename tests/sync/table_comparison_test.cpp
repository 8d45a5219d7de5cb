// The comparison of two copies of a table: which source records differ, of which kind, with
// which target texts, in which order; blank names, letter case, blanks, deleted records, file
// order for tables of other names, and stepwise work.
#include "sync/table_comparison.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "sync/sync_tables.h"
#include "tests/support/test_support.h"
#include "tests/sync/plain_passes.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

using test::texts;

// An import: the external copy is the source, the own table the target.
class ComparisonTest : public ::testing::Test, protected test::TwoFolders {
  protected:
    std::string source() const { return external(); }
    std::string target() const { return own(); }

    void write(const std::vector<DirectoryRow>& sourceRows,
               const std::vector<DirectoryRow>& targetRows, std::string_view fileName = "Phone.DBF",
               bool withIndex = true) {
        test::writeSyncTable(source(), fileName, DirectoryMode::Persons, sourceRows, withIndex);
        test::writeSyncTable(target(), fileName, DirectoryMode::Persons, targetRows, withIndex);
        m_fileName = fileName;
    }
    void open() {
        openSyncTable(m_target, target(), m_fileName);
        openSyncTable(m_source, source(), m_fileName);
    }
    std::vector<DifferenceEntry> compare() {
        open();
        TableComparison comparison(m_source, m_target);
        comparison.run();
        m_visited = comparison.visited();
        m_recordCount = comparison.recordCount();
        return comparison.entries();
    }

    std::string m_fileName;
    TEngineDataSet m_source;
    TEngineDataSet m_target;
    int m_visited = 0;
    int m_recordCount = 0;
};

TEST_F(ComparisonTest, EachKindWithItsTargetTextsInSourceOrder) {
    write(
        {
            {"Новиков Н.Н.", "30-30-30", "", "нет в базе"},
            {"Козлов К.К.", "11-11-11", "33-33-33", ""},
            {"Иванов И.И.", "22-22-22", "", ""},
            {"Абрамов А.А.", "10-10-10", "10-10-11", "точная копия"},
        },
        {
            {"Иванов И.И.", "44-44-44", "", ""},
            {"Козлов К.К.", "11-11-11", "22-22-22", ""},
            {"Абрамов А.А.", "10-10-10", "10-10-11", "другой комментарий"},
        });
    const std::vector<DifferenceEntry> expected = {
        {DifferenceKind::Phone1,
         texts("Иванов И.И.", "44-44-44", ""),
         texts("Иванов И.И.", "22-22-22", ""),
         {}},
        {DifferenceKind::Phone2,
         texts("Козлов К.К.", "11-11-11", "22-22-22"),
         texts("Козлов К.К.", "11-11-11", "33-33-33"),
         {}},
        {DifferenceKind::Missing, {}, texts("Новиков Н.Н.", "30-30-30", ""), {}},
    };
    // The comment takes no part in the comparison; a missing record brings it along, as the
    // source stores it.
    const std::vector<DifferenceEntry> found = compare();
    EXPECT_EQ(found, expected);
    ASSERT_EQ(found.size(), 3u);
    ASSERT_TRUE(found[2].sourceStored.has_value());
    EXPECT_EQ(found[2].sourceStored->comment, utf8ToPage(CodePage::Cp866, "нет в базе").value());
}

TEST_F(ComparisonTest, BlankNamesAreSkippedButVisitedAndDeletedRecordsAreNotSeen) {
    write(
        {
            {"", "11-11-11", "", ""},
            {"    ", "22-22-22", "", ""},
            {"Зайцев", "33-33-33", "", ""},
            {"Удалённый", "44-44-44", "", "", /*deleted=*/true},
        },
        {
            {"Зайцев", "33-33-33", "", "", /*deleted=*/true},
            {"", "11-11-11", "", ""},
        });
    const std::vector<DifferenceEntry> expected = {
        {DifferenceKind::Missing, {}, texts("Зайцев", "33-33-33", ""), {}},
    };
    EXPECT_EQ(compare(), expected);
    EXPECT_EQ(m_visited, 3);      // the two blank names count, the deleted record is not shown
    EXPECT_EQ(m_recordCount, 4);  // the progress maximum counts every record of the file
}

TEST_F(ComparisonTest, CaseAndLeadingBlanksOfTheNameYieldNothing) {
    write(
        {
            {"ИВАНОВ И.И.", "22-22-22", "", ""},
            {"  Петров П.П.", "10-00-00", "", ""},
            {"сидоров", "99-99-99", "", ""},
        },
        {
            {"Иванов И.И.", "22-22-22", "", ""},
            {"Петров П.П.", "55-55-55", "", ""},
            {"Сидоров", "10-10-10", "", ""},
            {"сидоров", "20-20-20", "", ""},
        });
    // Each source name is found by the rule but its first target record differs in case or
    // blanks, so the exact tests fail at every level; "сидоров" exists exactly in the target,
    // but "Сидоров" comes first in the name order.
    EXPECT_TRUE(compare().empty());
}

TEST_F(ComparisonTest, PhonesAreComparedTrimmedOnTheSourceSideOnly) {
    write(
        {
            {"Лебедев", " 44-44-44 ", "  ", ""},
            {"Орлов", "55-55-55", "", ""},
            {"Соколов", "66-66-66", "77-77-77", ""},
        },
        {
            {"Лебедев", "44-44-44", "", ""},
            {"Орлов", "  55-55-55", "", ""},
            {"Соколов", "66-66-66", " 77-77-77", ""},
        });
    // The target's phones are compared as read: a leading blank there is a difference, found
    // at the level that still matches the name (and the first phone).
    const std::vector<DifferenceEntry> expected = {
        {DifferenceKind::Phone1,
         texts("Орлов", "  55-55-55", ""),
         texts("Орлов", "55-55-55", ""),
         {}},
        {DifferenceKind::Phone2,
         texts("Соколов", "66-66-66", " 77-77-77"),
         texts("Соколов", "66-66-66", "77-77-77"),
         {}},
    };
    EXPECT_EQ(compare(), expected);
}

TEST_F(ComparisonTest, TheFirstTargetRecordIsTheFirstInNameOrder) {
    // File order: "сидоров" first; name order: "Сидоров" first (upper-case letters sort before
    // lower-case ones in the index's byte order).
    const std::vector<DirectoryRow> targetRows = {
        {"сидоров", "11-11-11", "", ""},
        {"Сидоров", "22-22-22", "", ""},
        {"Сидоров", "23-23-23", "", ""},
    };
    const std::vector<DirectoryRow> sourceRows = {{"Сидоров", "33-33-33", "", ""}};
    write(sourceRows, targetRows);
    const std::vector<DifferenceEntry> expected = {
        {DifferenceKind::Phone1,
         texts("Сидоров", "22-22-22", ""),
         texts("Сидоров", "33-33-33", ""),
         {}},
    };
    EXPECT_EQ(compare(), expected);

    // A table of another name has no index file and is compared in file order: the first
    // record of the name is "сидоров", whose name is not exact, so nothing is reported.
    m_source.Close();
    m_target.Close();
    write(sourceRows, targetRows, "Spisok.dbf", /*withIndex=*/false);
    EXPECT_TRUE(compare().empty());
}

TEST_F(ComparisonTest, StepsGiveWhatOneRunGives) {
    std::vector<DirectoryRow> sourceRows, targetRows;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "Абонент " + std::to_string(i % 700);
        sourceRows.push_back({name, std::to_string(i % 13), "", ""});
        if (i % 3 != 0) targetRows.push_back({name, std::to_string(i % 11), "", ""});
    }
    write(sourceRows, targetRows);
    const std::vector<DifferenceEntry> whole = compare();
    ASSERT_FALSE(whole.empty());

    open();
    TableComparison comparison(m_source, m_target);
    int steps = 0;
    int lastVisited = 0;
    // A deadline already past: each step does the least work it can.
    while (comparison.step(TableComparison::Clock::now())) {
        ++steps;
        EXPECT_GE(comparison.visited(), lastVisited);
        lastVisited = comparison.visited();
    }
    EXPECT_GT(steps, 10);
    EXPECT_TRUE(comparison.done());
    EXPECT_EQ(comparison.visited(), 1000);
    EXPECT_EQ(comparison.entries(), whole);
    EXPECT_EQ(whole, test::plainComparison(m_source, m_target));
}

TEST_F(ComparisonTest, OpeningRefusesWhatCannotBeCompared) {
    write({{"Иванов", "1", "", ""}}, {{"Иванов", "1", "", ""}});
    // A directory table without its index file.
    std::filesystem::remove(source() + "/Phone.MDX");
    EXPECT_THROW(openSyncTable(m_source, source(), "Phone.DBF"), std::exception);
    EXPECT_FALSE(m_source.Active());
    // A table of fewer than three fields.
    createDbfTable(source() + "/Two.dbf", {{"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}});
    try {
        openSyncTable(m_source, source(), "Two.dbf");
        ADD_FAILURE() << "opened a table of two fields";
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Table " + source() + "/Two.dbf has fewer than three fields");
    }
    EXPECT_FALSE(m_source.Active());
    // The own table is found whatever the letter case of its name on disk.
    EXPECT_NO_THROW(openSyncTable(m_target, target(), "PHONE.dbf"));
    EXPECT_EQ(m_target.RecordCount(), 1);
}

}  // namespace
}  // namespace abonex
