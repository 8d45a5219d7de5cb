// What the desktop's search box gets from the directory: the rows for the words typed, shared
// between persons and organisations, their titles and the variant that found them, and the
// rows asked for again by id.
#include "search_provider/desktop_search.h"

#include <gtest/gtest.h>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "tests/search_provider/provider_fixture.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::TempDir;
using test::writeDirectoryTable;

std::vector<std::string> titles(const std::vector<DesktopRow>& rows) {
    std::vector<std::string> result;
    for (const DesktopRow& row : rows) result.push_back(row.title());
    return result;
}

class DesktopSearchTest : public ::testing::Test {
  protected:
    void SetUp() override { test::writeTownTables(m_dir); }
    std::string folder() const { return m_dir.path() + "/"; }

    TempDir m_dir;
};

TEST_F(DesktopSearchTest, WordsFindPersonsThenOrganisationsAsNameAndPhone) {
    DesktopSearch search(folder());
    const std::vector<DesktopRow> rows = search.find({"петр"});
    EXPECT_EQ(titles(rows),
              (std::vector<std::string>{"Петров П.П. — 22-11-00", "Петрова А.А. — 33-44-55",
                                        "Петровский", "Петровский рынок — 11-22-33"}));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].id, "P:1");
    EXPECT_EQ(rows[0].mode, DirectoryMode::Persons);
    EXPECT_EQ(rows[0].record, 1);
    EXPECT_EQ(rows[3].id, "O:1");
    EXPECT_EQ(rows[3].mode, DirectoryMode::Organisations);
    for (const DesktopRow& row : rows) EXPECT_EQ(row.note, "") << row.title();

    // A word of digits is the phone; the rest is the name, both at the start.
    EXPECT_EQ(titles(search.find({"петров", "22-1"})),
              std::vector<std::string>{"Петров П.П. — 22-11-00"});
    EXPECT_EQ(titles(search.find({"школа", "№12"})),
              std::vector<std::string>{"Школа №12 — 44-55-66"});
    EXPECT_EQ(search.tablePath(DirectoryMode::Organisations), folder() + "Org.dbf");
}

TEST_F(DesktopSearchTest, VariantsFindWhatWasMeantAndSaySo) {
    DesktopSearch search(folder());
    std::vector<DesktopRow> rows = search.find({"елкин"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].title(), "Ёлкин Е.Е. — 53-87-52");
    EXPECT_EQ(rows[0].note, "Найдено без учёта Ё");
    rows = search.find({"Cbljhjd"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].note, "Найдено по раскладке: Сидоров");
    rows = search.find({"sidorov"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].note, "Найдено по транслитерации: сидоров");
    rows = search.find({"538752"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].note, "Найдено по цифрам номера: 538752");
}

TEST_F(DesktopSearchTest, NothingToSearchOrNothingFound) {
    DesktopSearch search(folder());
    EXPECT_TRUE(search.find({}).empty());
    EXPECT_TRUE(search.find({"щщщ"}).empty());
    // A character neither code page holds cannot be in any row.
    EXPECT_TRUE(search.find({"петр\xE2\x82\xAC"}).empty());
    EXPECT_EQ(search.lastError(), "");
}

TEST(DesktopSearch, TheTenRowsAreSharedBetweenPersonsAndOrganisations) {
    const auto rows = [](int count, const char* stem) {
        std::vector<DirectoryRow> made;
        for (int i = 0; i < count; ++i) made.push_back({stem + std::to_string(10 + i), "1", ""});
        return made;
    };
    struct Case {
        int persons, organisations, personsShown, organisationsShown;
    };
    for (const Case& c : {Case{12, 12, 5, 5}, Case{12, 2, 8, 2}, Case{3, 12, 3, 7},
                          Case{4, 4, 4, 4}, Case{0, 12, 0, 10}}) {
        TempDir dir;
        writeDirectoryTable(dir, DirectoryMode::Persons, rows(c.persons, "Абонент "));
        writeDirectoryTable(dir, DirectoryMode::Organisations, rows(c.organisations, "Аптека "));
        DesktopSearch search(dir.path() + "/");
        const std::vector<DesktopRow> found = search.find({"а"});
        const auto persons = std::count_if(found.begin(), found.end(), [](const DesktopRow& row) {
            return row.mode == DirectoryMode::Persons;
        });
        EXPECT_EQ(persons, c.personsShown) << c.persons << " + " << c.organisations;
        EXPECT_EQ(static_cast<int>(found.size()) - persons, c.organisationsShown)
            << c.persons << " + " << c.organisations;
        // Persons first, each kind in name order.
        EXPECT_TRUE(std::is_sorted(
            found.begin(), found.end(), [](const DesktopRow& a, const DesktopRow& b) {
                return a.mode != b.mode ? a.mode < b.mode : a.record < b.record;
            }));
    }
}

TEST_F(DesktopSearchTest, AnIdNamesItsRowAgainInThisRunAndTheNext) {
    DesktopSearch search(folder());
    const std::vector<DesktopRow> rows = search.find({"елкин"});
    ASSERT_EQ(rows.size(), 1u);
    const std::optional<DesktopRow> again = search.row(rows[0].id);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->title(), rows[0].title());
    EXPECT_EQ(again->note, "Найдено без учёта Ё");

    // Another run knows nothing of that search: the row is read from the table.
    DesktopSearch later(folder());
    const std::optional<DesktopRow> read = later.row("O:2");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->title(), "Школа №12 — 44-55-66");
    EXPECT_EQ(read->mode, DirectoryMode::Organisations);
    EXPECT_EQ(read->note, "");
    for (const char* bad : {"P:0", "P:6", "P:", "P:1x", "X:1", "P1", "", "O:-1", "P: 1"}) {
        EXPECT_FALSE(later.row(bad).has_value()) << bad;
    }
}

TEST_F(DesktopSearchTest, RowsOtherCopiesChangedAreSeenAsTheyAreNow) {
    DesktopSearch search(folder());
    ASSERT_EQ(search.find({"сидоров"}).size(), 1u);
    {
        // Another copy of the program adds a row and deletes one.
        TEngineDataSet other;
        other.setDatabaseName(m_dir.path());
        other.setTableName("Phone.DBF");
        other.setIndexFiles({"Phone.MDX"});
        other.setIndexName("NAME");
        other.Open();
        other.Append();
        other.Fields(0).SetAsString(*utf8ToAnsi("Сидорова О.О."));
        other.Fields(1).SetAsString("77-77-77");
        other.Post();
        other.GotoRecNo(4);  // Ёлкин
        other.Delete();
    }
    EXPECT_EQ(titles(search.find({"сидоров"})),
              (std::vector<std::string>{"Сидоров С.С. — 21-00-01", "Сидорова О.О. — 77-77-77"}));
    EXPECT_TRUE(search.find({"ёлкин"}).empty());
    DesktopSearch later(folder());
    EXPECT_FALSE(later.row("P:4").has_value()) << "a deleted record";
}

TEST_F(DesktopSearchTest, RowsAnotherProgramChangedOrAddedAreFoundByTheirNewNames) {
    DesktopSearch search(folder());
    ASSERT_EQ(search.find({"сидоров"}).size(), 1u);
    {
        // Another dBASE program renames Сидоров in place and adds a row, a while after the index
        // was last written, and leaves the index as it was.
        test::ageModifiedTime(m_dir.file("Phone.MDX"), 10);
        GSO_dBaseFld table(m_dir.file("Phone.DBF"), true, true);
        table.GotoRecord(5);
        table.FieldPut("NAME", *utf8ToOem("Перлов П.П."));
        table.ReplaceRecord(5);
        table.BlankRecord();
        table.FieldPut("NAME", *utf8ToOem("Перлова Е.П."));
        table.AppendRecord();
    }
    EXPECT_EQ(titles(search.find({"перлов"})),
              (std::vector<std::string>{"Перлов П.П. — 21-00-01", "Перлова Е.П."}));
    EXPECT_TRUE(search.find({"сидоров"}).empty());
    // A provider started afterwards, over the index rebuilt.
    DesktopSearch later(folder());
    EXPECT_EQ(later.find({"перлов"}).size(), 2u);
}

TEST(DesktopSearch, AFolderWithoutTablesFindsNothingAndSaysWhy) {
    TempDir dir;
    DesktopSearch search(dir.path() + "/missing/");
    EXPECT_TRUE(search.find({"петр"}).empty());
    EXPECT_NE(search.lastError(), "");
    EXPECT_FALSE(search.row("P:1").has_value());
    // Persons alone, no organisations table: the persons are still found.
    writeDirectoryTable(dir, DirectoryMode::Persons, {{"Петров П.П.", "22-11-00", ""}});
    DesktopSearch persons(dir.path() + "/");
    EXPECT_EQ(titles(persons.find({"петр"})), std::vector<std::string>{"Петров П.П. — 22-11-00"});
}

TEST(DesktopSearch, QueryWordsSplitAtBlanks) {
    EXPECT_EQ(queryWords("  петров  22-11 "), (std::vector<std::string>{"петров", "22-11"}));
    EXPECT_EQ(queryWords("a\tb\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(queryWords("   "), std::vector<std::string>{});
}

}  // namespace
}  // namespace abonex
