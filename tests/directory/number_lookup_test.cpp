// Looking a caller up by number: which stored phones a number matches and by how many digits
// (prefixes +7 and 8, the town's code, any separators), and the rows found in the three tables:
// both phones, the longest match only, favourites first, deleted rows never.
#include "directory/number_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directory/table_writer.h"
#include "engine/dataset/engine_dataset.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::TempDir;

TEST(NumberLookupTest, TheCallersFormsDropPrefixAndTownCode) {
    EXPECT_EQ(NumberLookup("+7 (8172) 53-87-52", "8172").forms(),
              (std::vector<std::string>{"78172538752", "8172538752", "538752"}));
    EXPECT_EQ(NumberLookup("8 8172 538752", "(8172)").forms(),
              (std::vector<std::string>{"88172538752", "8172538752", "538752"}));
    EXPECT_EQ(NumberLookup("8172538752", "8172").forms(),
              (std::vector<std::string>{"8172538752", "538752"}));
    // Another town's number keeps its code; without a town's code no local form is made.
    EXPECT_EQ(NumberLookup("88352538752", "8172").forms(),
              (std::vector<std::string>{"88352538752", "8352538752"}));
    EXPECT_EQ(NumberLookup("88172538752", "").forms(),
              (std::vector<std::string>{"88172538752", "8172538752"}));
    // Only eleven digits have a prefix to drop, only ten a town's code.
    EXPECT_EQ(NumberLookup("7538752", "").forms(), (std::vector<std::string>{"7538752"}));
    EXPECT_EQ(NumberLookup("81725387520", "8172").forms(),
              (std::vector<std::string>{"81725387520", "1725387520"}));
    EXPECT_FALSE(NumberLookup("P", "8172").valid());
    EXPECT_FALSE(NumberLookup("", "").valid());
}

TEST(NumberLookupTest, AStoredPhoneMatchesByTheLongestFormItShares) {
    const NumberLookup caller("88172538752", "8172");
    EXPECT_EQ(caller.match("53-87-52"), 6u);
    EXPECT_EQ(caller.match(" 53 87 52 "), 6u);
    EXPECT_EQ(caller.match("(8172) 53-87-52"), 10u);
    EXPECT_EQ(caller.match("+7 8172 538752"), 10u);   // another prefix, the same number
    EXPECT_EQ(caller.match("8-8172-53-87-52"), 11u);  // the caller's number as it came
    // Another number, another town's same local number, a part of the number.
    for (const char* other : {"53-87-53", "8 (8352) 53-87-52", "38752", "8172", "", "-"}) {
        EXPECT_EQ(caller.match(other), 0u) << other;
    }
    // A caller ID of the local number alone finds the number stored with the code.
    EXPECT_EQ(NumberLookup("538752", "8172").match("8 (8172) 53-87-52"), 6u);
    // Without the town's code a local number is found only by itself.
    EXPECT_EQ(NumberLookup("88172538752", "").match("53-87-52"), 0u);
    EXPECT_EQ(NumberLookup("538752", "").match("53-87-52"), 6u);
    EXPECT_EQ(NumberLookup("12", "8172").match("12"), 2u);
    EXPECT_EQ(NumberLookup("12", "8172").match("1-2-3"), 0u);
}

class NumberLookupTablesTest : public ::testing::Test {
  protected:
    void write(DirectoryMode mode, const std::vector<DirectoryRow>& rows) {
        const DirectoryTable& table = directoryTable(mode);
        writeDirectoryTable(dir.file(table.tableFile), table, rows);
    }
    std::vector<NumberMatch> lookup(std::string_view number, std::string_view townCode) {
        NumberLookup lookup(number, townCode);
        EXPECT_EQ(lookup.scanFolder(dir.path() + "/"), 3);
        return lookup.matches();
    }
    static std::vector<std::pair<DirectoryMode, int>> places(
        const std::vector<NumberMatch>& found) {
        std::vector<std::pair<DirectoryMode, int>> result;
        for (const NumberMatch& match : found) result.emplace_back(match.mode, match.record);
        return result;
    }

    TempDir dir;
};

TEST_F(NumberLookupTablesTest, BothPhonesOfEveryTableLongestMatchOnlyFavouritesFirst) {
    write(DirectoryMode::Persons, {{"Иванов И.И.", "22-33-44", "", ""},
                                   {"Петров А.Ж.", "35-96-27", "53-87-52", "дача"},
                                   {"Удалённый", "53-87-52", "", "", true},
                                   {"Сидоров", "53-87-52", "53-87-52", ""}});
    write(DirectoryMode::Organisations, {{"Аптека", "53-87-52", "", ""}});
    write(DirectoryMode::Favourites, {{"Петров А.Ж.", "", "53-87-52", ""}});

    const std::vector<NumberMatch> found = lookup("+7 (8172) 53-87-52", "8172");
    using enum DirectoryMode;
    EXPECT_EQ(places(found), (std::vector<std::pair<DirectoryMode, int>>{
                                 {Favourites, 1}, {Organisations, 1}, {Persons, 2}, {Persons, 4}}));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[2].row, (DirectoryRow{"Петров А.Ж.", "35-96-27", "53-87-52", "дача"}));
    EXPECT_EQ(found[2].field, kFieldPhone2);
    EXPECT_EQ(found[3].field, kFieldPhone1);
    EXPECT_EQ(found[0].digits, 6u);
    EXPECT_EQ(places(lookup("88172538752", "8172")), places(found));
    EXPECT_TRUE(lookup("12", "8172").empty());
    EXPECT_TRUE(lookup("88172538752", "").empty());
}

TEST_F(NumberLookupTablesTest, ANumberStoredWithItsCodeWinsOverTheLocalOne) {
    write(DirectoryMode::Persons,
          {{"Петров А.Ж.", "53-87-52", "", ""}, {"Петров-сын", "8(8172)53-87-52", "", ""}});
    write(DirectoryMode::Organisations, {});
    write(DirectoryMode::Favourites, {{"Петров", "53-87-52", "", ""}});
    const std::vector<NumberMatch> found = lookup("88172538752", "8172");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].row.name, "Петров-сын");
    EXPECT_EQ(found[0].digits, 11u);
}

}  // namespace
}  // namespace abonex
