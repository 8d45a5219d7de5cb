// Walks through the whole name order of a table larger than a short walk: the first records of
// a walk are read with a system call each, the rest through the table's mapping, and the leaves
// that follow one another in the index file are read in runs. Rows, their order and their texts
// must be those the table holds, in both directions, also when another copy writes ahead of the
// walk into leaves the walk has read in a run already.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/index/mdx_tag.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using test::Person;
using test::TempDir;

// Enough rows for a walk to go well past the records it reads with system calls, and for more
// leaves than one run of the index file holds.
constexpr int kRows = 12000;
static_assert(kRows > 2 * GSO_dBHandler::kShortWalkRecords);

// A row as the walk shows it: record number, name and first phone (ANSI).
struct Row {
    int record = 0;
    std::string name, phone;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << row.record << ' ' << ansiToUtf8(row.name) << ' ' << row.phone;
}

Row current(TEngineDataSet& set) {
    return {set.RecNo(), set.Fields(0).AsString(), set.Fields(1).AsString()};
}

// The rows of the table in the tag's order, read by record number without the index: the key is
// the stored name, blank-padded to the field's length, equal keys in record order; deleted
// records leave no row. Texts as the data set hands them over (translated from `page`).
std::vector<Row> expectedRows(const std::string& dir, CodePage page) {
    GSO_dBaseFld table(dir + "/Phone.DBF", true, false);
    std::vector<std::pair<std::string, Row>> keyed;
    for (int n = 1; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        if (table.isDeleted()) continue;
        std::string key = table.FieldGet("NAME");
        key.resize(30, ' ');
        keyed.push_back({key, Row{n, pageToAnsi(page, table.FieldGet("NAME")),
                                  pageToAnsi(page, table.FieldGet("PHONE1"))}});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Row> rows;
    for (auto& [key, row] : keyed) rows.push_back(std::move(row));
    return rows;
}

TEST(LongWalk, EveryRowComesInNameOrderWithItsTextsBothWays) {
    // Names from a few letters, so that many are equal; some records deleted.
    std::mt19937 random(2026);
    const std::vector<std::string> letters = {"А", "Б", "В", "Ё", "Ж", "Я", "а", "я", "Z", "1"};
    std::vector<Person> people;
    for (int i = 0; i < kRows; ++i) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < length; ++k) name += letters[random() % letters.size()];
        people.push_back({name, std::to_string(random() % 100000), random() % 10 == 0});
    }
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    const std::vector<Row> expected = expectedRows(dir.path(), set.tableCodePage());
    ASSERT_GT(expected.size(), static_cast<size_t>(2 * GSO_dBHandler::kShortWalkRecords));

    std::vector<Row> forward;
    for (set.First(); !set.Eof(); set.Next()) forward.push_back(current(set));
    EXPECT_EQ(forward, expected);

    std::vector<Row> backward;
    for (set.Last(); !set.Bof(); set.Prior()) backward.push_back(current(set));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, expected);

    // A second walk after the first one ended (and gave its pages back) is the same.
    std::vector<Row> again;
    for (set.First(); !set.Eof(); set.Next()) again.push_back(current(set));
    EXPECT_EQ(again, expected);
}

std::string citizen(int number) {
    return "Житель" + std::to_string(number);
}

TEST(LongWalk, WhatAnotherCopyWritesAheadOfALongWalkIsSeenThere) {
    // Even numbers from 100000 on: the names sort as their numbers.
    std::vector<Person> people;
    for (int i = 0; i < kRows; ++i) people.push_back({citizen(100000 + 2 * i), "1"});
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    set.First();
    const int stop = GSO_dBHandler::kShortWalkRecords + 900;
    for (int i = 0; i < stop; ++i) set.Next();
    ASSERT_EQ(ansiToUtf8(set.Fields(0).AsString()), citizen(100000 + 2 * stop));

    // Another copy adds a name right after the current row (in the leaf the walk stands on),
    // one a few leaves ahead (which the walk has read in a run already) and one far ahead, and
    // renames a row ahead past the end.
    const int next = 100000 + 2 * stop + 1;
    const int fewLeavesAhead = 100000 + 2 * (stop + 150) + 1;
    const int farAhead = 100000 + 2 * (kRows - 100) + 1;
    const int renamed = stop + 300;  // its record number: record n holds row n - 1
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    for (const int number : {next, fewLeavesAhead, farAhead}) {
        other.Append();
        other.Fields(0).SetAsString(*utf8ToAnsi(citizen(number)));
        other.Post();
    }
    other.GotoRecNo(renamed + 1);
    other.Edit();
    other.Fields(0).SetAsString(*utf8ToAnsi(citizen(999999)));
    other.Post();

    std::vector<std::string> rest;
    for (set.Next(); !set.Eof(); set.Next()) rest.push_back(ansiToUtf8(set.Fields(0).AsString()));
    std::vector<std::string> wanted;
    for (int i = stop + 1; i < kRows; ++i) {
        if (i == renamed) continue;
        wanted.push_back(citizen(100000 + 2 * i));
    }
    for (const int number : {next, fewLeavesAhead, farAhead}) wanted.push_back(citizen(number));
    wanted.push_back(citizen(999999));
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(rest, wanted);
}

TEST(LongWalk, FieldTextsOfEveryByteAndLengthAreTranslatedAsThePageSays) {
    // Names of every length from 1 to 30 made of every byte from 0x21 to 0xFF in turn, so that
    // each byte meets each place in an eight-byte word and in the bytes after the last word.
    TempDir dir;
    const std::string path = dir.path() + "/Phone.DBF";
    createDbfTable(path, test::kPersonFields);
    std::vector<std::string> stored;
    {
        GSO_dBaseFld table(path, false, true);
        int byte = 0x21;
        for (int round = 0; round < 12; ++round) {
            for (int length = 1; length <= 30; ++length) {
                std::string name;
                for (int k = 0; k < length; ++k) {
                    name += static_cast<char>(byte);
                    byte = byte == 0xFF ? 0x21 : byte + 1;
                }
                table.BlankRecord();
                table.FieldPut("NAME", name);
                table.AppendRecord();
                stored.push_back(name);
            }
        }
    }
    for (const bool translate : {true, false}) {
        TEngineDataSet set;
        set.setTranslateASCII(translate);
        set.setDatabaseName(dir.path());
        set.setTableName("Phone.DBF");
        set.Open();
        size_t i = 0;
        for (set.First(); !set.Eof(); set.Next(), ++i) {
            ASSERT_LT(i, stored.size());
            const std::string want =
                translate ? pageToAnsi(set.tableCodePage(), stored[i]) : stored[i];
            EXPECT_EQ(set.Fields(0).AsString(), want) << "record " << i + 1;
        }
        EXPECT_EQ(i, stored.size());
    }
}

TEST(LongWalk, KeysOfEveryLengthComeWholeInBothDirectionsAndBackAgain) {
    // Names from 1 to 30 letters, long and short ones side by side in every leaf, so that a
    // leaf read in place of the one before it holds longer and shorter keys than it did; some
    // names equal, some the beginnings of others; some records deleted.
    std::mt19937 random(27);
    const std::vector<std::string> letters = {"К", "Л", "к", "Z", "A", "9"};
    std::vector<Person> people;
    for (int i = 0; i < kRows; ++i) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 30);
        for (int k = 0; k < length; ++k) name += letters[random() % (k == 0 ? 2 : 6)];
        people.push_back({name, std::to_string(i), random() % 8 == 0});
    }
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    const std::vector<Row> expected = expectedRows(dir.path(), set.tableCodePage());
    // The key the tag stands on is the name as stored, without its trailing blanks.
    auto keyIsName = [&](const Row& row) {
        const std::string key = set.handler()->currentTag()->currentKey().bytes();
        return pageToAnsi(set.tableCodePage(), key) == row.name;
    };

    std::vector<Row> forward;
    for (set.First(); !set.Eof(); set.Next()) {
        forward.push_back(current(set));
        ASSERT_TRUE(keyIsName(forward.back())) << forward.back();
    }
    EXPECT_EQ(forward, expected);

    std::vector<Row> backward;
    for (set.Last(); !set.Bof(); set.Prior()) {
        backward.push_back(current(set));
        ASSERT_TRUE(keyIsName(backward.back())) << backward.back();
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, expected);

    // Forward and back by uneven strides, across leaf ends either way: each row is the one
    // the order puts there.
    set.First();
    size_t at = 0;
    for (int turn = 0; turn < 400 && !set.Eof(); ++turn) {
        const int ahead = 1 + static_cast<int>(random() % 90);
        for (int k = 0; k < ahead && at + 1 < expected.size(); ++k, ++at) set.Next();
        const int back = static_cast<int>(random() % 60);
        for (int k = 0; k < back && at > 0; ++k, --at) set.Prior();
        ASSERT_EQ(current(set), expected[at]) << "turn " << turn;
        ASSERT_TRUE(keyIsName(expected[at]));
    }
}

}  // namespace
}  // namespace abonex
