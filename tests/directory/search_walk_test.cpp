// Searches through the name tag with the key filter (the window's way: keys tested before
// records, prefix searches seeking over the keys that cannot match) against the full walk that
// reads every record through the filter. The rows and their order must be the same, also while
// another copy changes the table; and the walk must read few index blocks and few records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "directory/keyboard_layout.h"
#include "directory/persons_generator.h"
#include "directory/search_filter.h"
#include "directory/search_variants.h"
#include "engine/expr/ansi_locale.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using test::Person;
using test::TempDir;

std::string ansi(const std::string& utf8) {
    return *utf8ToAnsi(utf8);
}

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// A row as the grid holds it: record number and name.
using Row = std::pair<int, std::string>;

// A data set on the persons table that searches with `search`, with or without the key filter.
struct Walker {
    Walker(const std::string& dir, const SearchCriteria& criteria, bool keys, bool translate)
        : search(criteria) {
        set.setTranslateASCII(translate);
        set.OnFilterRecord = [this](TEngineDataSet& d, bool& accept) {
            DSetFilterRecord(this->search, d, accept);
        };
        if (keys) {
            set.OnFilterKey = [this](TEngineDataSet& d) {
                return searchKeyFilter(this->search, d);
            };
            set.OnFilterBytes = [this](TEngineDataSet&) { return searchBytesTest(this->search); };
        }
        set.setFiltered(true);
        test::openPersons(set, dir);
        // Small tables: the scan for candidate records comes after a few rejected ones.
        if (keys) set.handler()->setScanAfterRejected(kScanAfter);
    }
    static constexpr int kScanAfter = 8;
    Row row() { return {set.RecNo(), set.Fields(0).AsString()}; }

    SearchCriteria search;
    TEngineDataSet set;
};

// Names with every mix of letter case of both alphabets, Ё and ё, leading blanks, duplicates.
class NameMaker {
  public:
    explicit NameMaker(unsigned seed) : m_random(seed) {}

    std::string name() {
        static const std::vector<std::string> parts = {
            "Иван", "ИВАН",  "иван",  "иВаН", "Ёжиков", "ёжиков", "ЕЖИКОВ", "ежиков",
            "Ежи",  "Пётр",  "ПЁТР",  "петр", "Петров", "Ivan",   "IVAN",   "ivan",
            "iVaN", "Semen", "SEMEN", "Ан",   "ан",     "А",      "а",      "Я",
            "я",    "Z",     "z",     "Ъ",    "ъ",      "0"};
        std::string text;
        if (m_random() % 7 == 0) text += std::string(1 + m_random() % 2, ' ');
        text += pick(parts);
        if (m_random() % 2 == 0) text += (m_random() % 3 == 0 ? "-" : " ") + pick(parts);
        if (m_random() % 3 == 0) text += " " + pick(parts).substr(0, 2) + ".";
        return text.substr(0, 28);
    }
    std::string phone() {
        return std::to_string(20 + m_random() % 3) + "-" + pick({"11", "12", "21"});
    }

    // A search text for `name` (UTF-8): a beginning or a piece of it, each letter in either
    // case, е and ё swapped now and then; now and then something no name holds.
    SearchCriteria search(const std::vector<std::string>& names) {
        SearchCriteria search;
        search.atStart = m_random() % 3 != 0;
        std::string text = ansi(pick(names));
        if (m_random() % 8 == 0) text = ansi("ЩЮЩ");
        size_t from = search.atStart || text.empty() ? 0 : m_random() % text.size();
        text = text.substr(from, 1 + m_random() % 5);
        for (char& c : text) {
            const std::string one(1, c);
            const int turn = static_cast<int>(m_random() % 4);
            if (turn == 0) c = ansiUpper(one)[0];
            if (turn == 1) c = ansiLower(one)[0];
            if (one == ansi("е") && m_random() % 2 == 0) c = ansi("ё")[0];
        }
        search.name = m_random() % 10 == 0 ? std::string() : text;
        if (m_random() % 4 == 0) search.phone = pick({"2", "21", "20-1", "22-21"});
        return search;
    }

    unsigned next() { return static_cast<unsigned>(m_random()); }

  private:
    std::string pick(const std::vector<std::string>& from) {
        return from[m_random() % from.size()];
    }
    std::mt19937 m_random;
};

// Two copies of one table; every change goes to both, through a data set of another copy of
// the program on each.
struct TwinTables {
    TwinTables(const std::vector<Person>& people) {
        test::makePersonsTable(fast.path(), people);
        for (const char* file : {"Phone.DBF", "Phone.MDX"}) {
            test::copyFile(fast.file(file), full.file(file));
        }
        test::openPersons(writers[0], fast.path());
        test::openPersons(writers[1], full.path());
    }

    // A change somewhere in the table, or, as often, right where a walk stands on `near`: a
    // name that sorts just after it, or the record renamed or deleted.
    void change(NameMaker& maker, const Row& near) {
        const int kind = static_cast<int>(maker.next() % 6);
        const int records = writers[0].RecordCount();
        int record = 1 + static_cast<int>(maker.next() % static_cast<unsigned>(records));
        std::string name = ansi(maker.name());
        if (kind >= 3 && near.first > 0) record = near.first;
        if (kind == 3) name = near.second + (maker.next() % 2 == 0 ? "" : "a");
        for (TEngineDataSet& set : writers) {
            if (kind == 0 || kind == 3) {
                set.Append();
                set.Fields(0).SetAsString(name);
                set.Post();
            } else if (kind == 1 || kind == 4) {
                set.GotoRecNo(record);
                set.Edit();
                set.Fields(0).SetAsString(name);
                set.Post();
            } else {
                set.GotoRecNo(record);
                set.Delete();
            }
        }
    }

    TempDir fast, full;
    TEngineDataSet writers[2];
};

std::string describe(const SearchCriteria& search) {
    return "search '" + ansiToUtf8(search.name) + "' phone '" + search.phone + "' " +
           (search.atStart ? "at the start" : "anywhere");
}

TEST(SearchWalk, KeyFilteredWalksShowTheRowsOfTheFullWalkInItsOrder) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        NameMaker maker(seed);
        std::vector<Person> people;
        std::vector<std::string> names;
        const int count = 300 + static_cast<int>(maker.next() % 1200);
        for (int i = 0; i < count; ++i) {
            names.push_back(maker.name());
            people.push_back({names.back(), maker.phone(), maker.next() % 9 == 0});
        }
        TwinTables tables(people);
        const bool translate = seed != 4;
        for (int round = 0; round < 8; ++round) {
            const SearchCriteria search = maker.search(names);
            SCOPED_TRACE(describe(search) + ", seed " + std::to_string(seed));
            Walker fast(tables.fast.path(), search, true, translate);
            Walker full(tables.full.path(), search, false, translate);

            // Forward, with another copy changing the table now and then between two rows.
            int steps = 0;
            for (fast.set.First(), full.set.First();; fast.set.Next(), full.set.Next()) {
                ASSERT_EQ(fast.set.Eof(), full.set.Eof()) << "after " << steps << " rows";
                if (full.set.Eof()) break;
                ASSERT_EQ(fast.row(), full.row()) << "row " << steps;
                if (maker.next() % 8 == 0) tables.change(maker, full.row());
                ++steps;
            }
            // Backward in the same way.
            steps = 0;
            for (fast.set.Last(), full.set.Last();; fast.set.Prior(), full.set.Prior()) {
                ASSERT_EQ(fast.set.Bof(), full.set.Bof()) << "after " << steps << " rows back";
                if (full.set.Bof()) break;
                ASSERT_EQ(fast.row(), full.row()) << "row " << steps << " back";
                if (maker.next() % 8 == 0) tables.change(maker, full.row());
                ++steps;
            }
            // In blocks from a row on, as the grid reads them.
            const std::vector<DataSetRow> fastFirst = fast.set.fetchRows(0, 7);
            const std::vector<DataSetRow> fullFirst = full.set.fetchRows(0, 7);
            ASSERT_EQ(fastFirst.size(), fullFirst.size());
            for (size_t i = 0; i < fastFirst.size(); ++i) {
                EXPECT_EQ(fastFirst[i].recordNumber, fullFirst[i].recordNumber);
            }
            if (!fullFirst.empty()) {
                const int after = fullFirst.back().recordNumber;
                std::vector<int> fastMore, fullMore;
                for (const DataSetRow& row : fast.set.fetchRows(after, 40))
                    fastMore.push_back(row.recordNumber);
                for (const DataSetRow& row : full.set.fetchRows(after, 40))
                    fullMore.push_back(row.recordNumber);
                EXPECT_EQ(fastMore, fullMore);
            }
        }
        test::expectIndexClean(tables.fast.path());
    }
}

// Every row of a data set from the one it stands on, as the grid would show them.
std::vector<Row> rowsFromHere(Walker& walker) {
    std::vector<Row> rows;
    for (; !walker.set.Eof(); walker.set.Next()) rows.push_back(walker.row());
    return rows;
}

// Today's search for `search`: the full walk, every record through the filter, no key filter.
std::vector<Row> fullWalk(const std::string& dir, const SearchCriteria& search, bool translate) {
    Walker full(dir, search, false, translate);
    full.set.First();
    return rowsFromHere(full);
}

// A search as people get it wrong: a piece of a stored name, in any letter case, with е and ё
// swapped, typed in the other keyboard layout or partly so; a piece of a stored phone with or
// without its separators.
SearchCriteria mistypedSearch(NameMaker& maker, const std::vector<Person>& people) {
    const Person& person = people[maker.next() % people.size()];
    SearchCriteria search;
    search.atStart = maker.next() % 3 != 0;
    std::string text = ansi(person.name);
    const size_t from = search.atStart || text.empty() ? 0 : maker.next() % text.size();
    text = text.substr(from, 1 + maker.next() % 6);
    for (char& c : text) {
        const std::string one(1, c);
        const unsigned turn = maker.next() % 8;
        if (turn == 0) c = ansiUpper(one)[0];
        if (turn == 1) c = ansiLower(one)[0];
        if (ansiUpper(one) == ansi("Е") && turn % 2 == 0) c = ansi(turn < 4 ? "ё" : "Ё")[0];
        if (ansiUpper(one) == ansi("Ё") && turn % 2 == 0) c = ansi(turn < 4 ? "е" : "Е")[0];
    }
    const unsigned layout = maker.next() % 4;
    if (layout == 0) text = russianToQwerty(text);
    if (layout == 1) text = qwertyToRussian(text);
    if (layout == 2 && text.size() > 1) text = russianToQwerty(text.substr(0, 1)) + text.substr(1);
    search.name = maker.next() % 8 == 0 ? std::string() : text;
    if (maker.next() % 3 == 0) {
        std::string phone = person.phone.substr(0, 1 + maker.next() % person.phone.size());
        if (maker.next() % 2 == 0) phone = digitsOf(phone);
        search.phone = phone;
    }
    return search;
}

// Thousands of leaves whose keys a substring search rejects lie between the few names that hold
// it: the walk passes over them unloaded and must still stop at every one of those names, in
// both directions, and stand after the last one as a walk through every key would.
TEST(SearchWalk, ASubstringWalkOverLongRunsOfRejectedLeavesFindsEveryRowBothWays) {
    std::vector<Person> people;
    std::mt19937 random(5);
    for (int i = 0; i < 24000; ++i) {
        people.push_back({"Иванов " + std::to_string(random() % 100000), "20-11"});
    }
    // Sorting first, in the middle (after far more than one look's worth of leaves) and last.
    for (const char* name : {"Ааъъ", "Иванов 5ЪЪ", "Иванов 5ъЪ", "Яъъ", "ЯЯЪЪ"}) {
        people.insert(people.begin() + static_cast<long>(random() % people.size()),
                      Person{name, "20-12"});
    }
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    for (const auto& [text, rows] :
         std::vector<std::pair<std::string, size_t>>{{"ъЪ", 5}, {"ЯЪ", 2}, {"нет такого", 0}}) {
        SCOPED_TRACE(text);
        const SearchCriteria search{ansi(text), "", false};
        Walker keyed(dir.path(), search, true, true);
        Walker full(dir.path(), search, false, true);
        std::vector<Row> forward, expected;
        for (keyed.set.First(); !keyed.set.Eof(); keyed.set.Next()) forward.push_back(keyed.row());
        for (full.set.First(); !full.set.Eof(); full.set.Next()) expected.push_back(full.row());
        EXPECT_EQ(forward, expected);
        EXPECT_EQ(expected.size(), rows);
        // From the end, back through the same rows.
        std::vector<Row> backward, expectedBackward;
        for (keyed.set.Prior(); !keyed.set.Bof(); keyed.set.Prior()) {
            backward.push_back(keyed.row());
        }
        for (full.set.Prior(); !full.set.Bof(); full.set.Prior()) {
            expectedBackward.push_back(full.row());
        }
        EXPECT_EQ(backward, expectedBackward);
    }
}

// A phone search that rejects most rows scans the table for the records whose phones can match
// and passes over the others unread; rows another copy changes or appends after the scan must
// still be found, and the rows stay those of the full walk.
TEST(SearchWalk, APhoneSearchPassesOverRecordsItsScanRejectedAndSeesLaterChanges) {
    std::vector<Person> people;
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        people.push_back({"Петров " + std::to_string(random() % 10000),
                          i % 100 == 0 ? "55-12" : "20-11", i % 250 == 0});
    }
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet writer;
    test::openPersons(writer, dir.path());
    // Deleted records with a matching phone: every 500th, and each search's own appended one.
    size_t deletedMatches = 6;
    for (const SearchCriteria& search :
         {SearchCriteria{"", "55-1", false}, SearchCriteria{"", "55", true}}) {
        SCOPED_TRACE(describe(search));
        Walker keyed(dir.path(), search, true, true);
        keyed.set.First();
        const std::vector<Row> before = rowsFromHere(keyed);
        EXPECT_EQ(before, fullWalk(dir.path(), search, true));
        ASSERT_NE(keyed.set.handler()->recordCandidates(), nullptr);
        // The next walk reads the rows it shows and few more.
        const uint64_t reads = keyed.set.handler()->readCount();
        keyed.set.First();
        EXPECT_EQ(rowsFromHere(keyed), before);
        EXPECT_LE(keyed.set.handler()->readCount() - reads, before.size() + 2);
        // Shown with the deleted records, the rows include the deleted ones that match.
        {
            keyed.set.setUseDeleted(true);
            Walker full(dir.path(), search, false, true);
            full.set.setUseDeleted(true);
            keyed.set.First();
            full.set.First();
            const std::vector<Row> withDeleted = rowsFromHere(keyed);
            EXPECT_EQ(withDeleted, rowsFromHere(full));
            EXPECT_EQ(withDeleted.size(), before.size() + deletedMatches);
            keyed.set.setUseDeleted(false);
        }

        // Another copy gives a record the phone, and appends one with it: both are found.
        writer.GotoRecNo(1503);
        writer.Edit();
        writer.Fields(1).SetAsString("55-19");
        writer.Post();
        writer.Append();
        writer.Fields(0).SetAsString(ansi("Петров 5"));
        writer.Fields(1).SetAsString("55-13");
        writer.Post();
        keyed.set.First();
        const std::vector<Row> after = rowsFromHere(keyed);
        EXPECT_EQ(after, fullWalk(dir.path(), search, true));
        EXPECT_EQ(after.size(), before.size() + 2);

        // Changed while a walk is under way, after the walk's scan: a row ahead of it is found.
        keyed.set.First();
        std::vector<Row> walked{keyed.row()};
        writer.GotoRecNo(2999);
        const std::string oldName = writer.Fields(0).AsString();
        const Row changed{2999, ansi("Петров 9999Я")};  // sorts after every other row
        writer.Edit();
        writer.Fields(0).SetAsString(changed.second);
        writer.Fields(1).SetAsString("55-18");
        writer.Post();
        for (keyed.set.Next(); !keyed.set.Eof(); keyed.set.Next()) walked.push_back(keyed.row());
        EXPECT_EQ(walked.back(), changed);
        EXPECT_EQ(walked, fullWalk(dir.path(), search, true));
        // Put back for the next search.
        for (const int record : {1503, 2999}) {
            writer.GotoRecNo(record);
            writer.Edit();
            if (record == 2999) writer.Fields(0).SetAsString(oldName);
            writer.Fields(1).SetAsString("20-11");
            writer.Post();
        }
        writer.GotoRecNo(writer.RecordCount());
        writer.Delete();
        ++deletedMatches;
    }
}

// A fragment of the second phone is found like one of the first, by the walk that passes over
// the records its scan rejected as by the full one.
TEST(SearchWalk, APhoneSearchFindsTheSecondPhoneWithAndWithoutTheScan) {
    std::vector<Person> people;
    for (int i = 0; i < 3000; ++i) people.push_back({"Петров " + std::to_string(i), "20-11"});
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet writer;
    test::openPersons(writer, dir.path());
    for (const int record : {7, 1500, 2999}) {
        writer.GotoRecNo(record);
        writer.Edit();
        writer.Fields(2).SetAsString("67-87-70");
        writer.Post();
    }
    for (const SearchCriteria& search :
         {SearchCriteria{"", "87-70", false}, SearchCriteria{"", "67-8", true}}) {
        SCOPED_TRACE(describe(search));
        Walker keyed(dir.path(), search, true, true);
        keyed.set.First();
        const std::vector<Row> rows = rowsFromHere(keyed);
        EXPECT_EQ(rows, fullWalk(dir.path(), search, true));
        ASSERT_EQ(rows.size(), 3u);
        ASSERT_NE(keyed.set.handler()->recordCandidates(), nullptr);
        std::vector<int> records;
        for (const Row& row : rows) records.push_back(row.first);
        std::sort(records.begin(), records.end());
        EXPECT_EQ(records, (std::vector<int>{7, 1500, 2999}));
    }
}

// The scan for candidates comes after an eighth of kScanAfterRejected failing records when
// hardly any record passed, and only then: a walk through a table that holds fewer records than
// the full count scans it when no phone matches, and walks it record by record when every
// eighth phone does.
TEST(SearchWalk, APhoneSearchScansSoonOnlyWhenNearlyEveryRecordFailsItsTest) {
    constexpr int kRecords = GSO_dBHandler::kScanAfterRejected / 2;
    for (const int every : {0, 8}) {
        SCOPED_TRACE("a match every " + std::to_string(every) + " records");
        std::vector<Person> people;
        for (int i = 0; i < kRecords; ++i) {
            const bool match = every != 0 && i % every == 0;
            people.push_back({"Петров " + std::to_string(i), match ? "55-12" : "20-11"});
        }
        TempDir dir;
        test::makePersonsTable(dir.path(), people);
        const SearchCriteria search{"", "55-1", false};
        Walker keyed(dir.path(), search, true, true);
        keyed.set.handler()->setScanAfterRejected(GSO_dBHandler::kScanAfterRejected);
        keyed.set.First();
        const std::vector<Row> rows = rowsFromHere(keyed);
        EXPECT_EQ(rows, fullWalk(dir.path(), search, true));
        EXPECT_EQ(rows.size(), every == 0 ? 0u : static_cast<size_t>(kRecords / every));
        if (every == 0) {
            ASSERT_NE(keyed.set.handler()->recordCandidates(), nullptr);
            EXPECT_EQ(keyed.set.handler()->recordCandidates()->size(), 0u);
        } else {
            EXPECT_EQ(keyed.set.handler()->recordCandidates(), nullptr);
        }
    }
}

TEST(SearchWalk, VariantsLeaveASearchThatFindsRowsAsItIsAndElseShowTheFirstVariantThatFinds) {
    int asTyped = 0, byVariant = 0, none = 0;
    for (unsigned seed = 1; seed <= 5; ++seed) {
        NameMaker maker(100 + seed);
        std::vector<Person> people;
        const int count = 200 + static_cast<int>(maker.next() % 600);
        for (int i = 0; i < count; ++i) {
            std::string phone = maker.phone();
            // Numbers stored with and without their separators.
            if (maker.next() % 3 == 0) phone = digitsOf(phone);
            if (maker.next() % 5 == 0) phone = phone.substr(0, 2) + " " + phone.substr(2);
            people.push_back({maker.name(), phone, maker.next() % 9 == 0});
        }
        for (const char* name : {"Ёлкин", "елкина", "Петров", "Зуев", "Ivanov", "Соловьёв"}) {
            people.push_back({name, "53-87-52"});
        }
        TempDir dir;
        test::makePersonsTable(dir.path(), people);
        const bool translate = seed != 3;
        for (int round = 0; round < 40; ++round) {
            const SearchCriteria typed = mistypedSearch(maker, people);
            SCOPED_TRACE(describe(typed) + ", seed " + std::to_string(seed));
            Walker fast(dir.path(), typed, true, translate);
            const SearchAttempt used = searchWithVariants(fast.set, fast.search, typed);
            const std::vector<Row> shown = rowsFromHere(fast);

            const std::vector<Row> typedRows = fullWalk(dir.path(), typed, translate);
            if (!typedRows.empty()) {
                ++asTyped;
                EXPECT_EQ(used.variant, SearchVariant::AsTyped);
                EXPECT_EQ(fast.search, typed);
                EXPECT_EQ(shown, typedRows);
                continue;
            }
            std::optional<SearchAttempt> finder;
            std::vector<Row> finderRows;
            for (const SearchAttempt& attempt : searchAttempts(typed)) {
                finderRows = fullWalk(dir.path(), attempt.criteria, translate);
                if (!finderRows.empty()) {
                    finder = attempt;
                    break;
                }
            }
            if (!finder) {
                ++none;
                EXPECT_EQ(used.variant, SearchVariant::AsTyped);
                EXPECT_EQ(fast.search, typed);
                EXPECT_TRUE(shown.empty());
                continue;
            }
            ++byVariant;
            EXPECT_EQ(used.variant, finder->variant);
            EXPECT_EQ(used.criteria, finder->criteria);
            EXPECT_EQ(fast.search, finder->criteria);
            EXPECT_EQ(shown, finderRows) << searchNote(*finder);
        }
    }
    // The searches made cover all three outcomes.
    EXPECT_GT(asTyped, 20);
    EXPECT_GT(byVariant, 20);
    EXPECT_GT(none, 5);
}

TEST(SearchWalk, AMoveSeesWhatAnotherCopyWroteBeforeItInTheLeafItStandsOn) {
    std::vector<Person> people;
    for (int i = 0; i < 600; ++i) people.push_back({"Житель" + std::to_string(1000 + 2 * i), "1"});
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    const SearchCriteria search{ansi("жит"), "", true};
    Walker walker(dir.path(), search, true, true);
    walker.set.First();
    for (int i = 0; i < 300; ++i) walker.set.Next();
    ASSERT_EQ(ansiToUtf8(walker.row().second), "Житель1600");

    // Another copy adds the name that comes right after the current row, and changes the one
    // after that: the walk shows both as they are now.
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    other.Append();
    other.Fields(0).SetAsString(ansi("Житель1601"));
    other.Post();
    test::renameRecord(other, 302, "Житель1602а");  // was Житель1602

    walker.set.Next();
    EXPECT_EQ(ansiToUtf8(walker.row().second), "Житель1601");
    walker.set.Next();
    EXPECT_EQ(ansiToUtf8(walker.row().second), "Житель1602а");
    walker.set.Next();
    EXPECT_EQ(ansiToUtf8(walker.row().second), "Житель1604");
}

TEST(SearchWalk, AWalkSeesAnotherCopysChangeToALeafItHasReadAheadInARun) {
    // Enough names for many leaves, all within one run of the index file's blocks.
    std::vector<Person> people;
    for (int i = 0; i < 3000; ++i) people.push_back({"Житель" + std::to_string(10000 + i), "1"});
    TempDir dir;
    test::makePersonsTable(dir.path(), people);
    test::waitUntilSettled(dir.file("Phone.MDX"));
    Walker walker(dir.path(), SearchCriteria{}, true, true);
    GSO_DiskFile& indexFile = walker.set.handler()->indexFile(0)->diskFile();
    walker.set.First();
    for (int i = 0; i < 200; ++i) walker.set.Next();
    ASSERT_EQ(ansiToUtf8(walker.row().second), "Житель10200");
    // The walk has read the leaves after its own in one go: the next ones read nothing.
    const uint64_t readsBefore = indexFile.readCount();
    for (int i = 0; i < 100; ++i) walker.set.Next();
    ASSERT_EQ(ansiToUtf8(walker.row().second), "Житель10300");
    const uint64_t readsMeanwhile = indexFile.readCount() - readsBefore;

    // Another copy renames a row far ahead (its key moves within the read-ahead leaves) and one
    // just ahead (its key moves far back, behind the walk).
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    test::renameRecord(other, 2501, "Житель10303а");  // was Житель12500
    test::renameRecord(other, 1000, "Житель00000");   // was Житель10999

    std::vector<std::string> rest;
    for (walker.set.Next(); !walker.set.Eof(); walker.set.Next()) {
        rest.push_back(ansiToUtf8(walker.row().second));
    }
    std::vector<std::string> expected{"Житель10301", "Житель10302", "Житель10303", "Житель10303а"};
    for (int i = 10304; i < 13000; ++i) {
        if (i != 10999 && i != 12500) expected.push_back("Житель" + std::to_string(i));
    }
    EXPECT_EQ(rest, expected);
    EXPECT_EQ(readsMeanwhile, 0u);
}

TEST(SearchWalk, WithBothTextsEmptyPrefixModeAcceptsAndSubstringModeKeepsThePresetValue) {
    TempDir dir;
    test::makePersonsTable(dir.path(), {{"Иванов", "22-33-44"}, {"Петров", ""}});
    TEngineDataSet set;
    for (const bool open : {true, false}) {
        if (open) test::openPersons(set, dir.path());
        SCOPED_TRACE(open ? "open" : "closed");
        for (const bool preset : {true, false}) {
            bool accept = preset;
            DSetFilterRecord(SearchCriteria{"", "", true}, set, accept);
            // Open: the fields read, the empty texts match them. Closed: the fields cannot be
            // read, and the error leaves the preset value.
            EXPECT_EQ(accept, open || preset);
            accept = preset;
            DSetFilterRecord(SearchCriteria{"", "", false}, set, accept);
            EXPECT_EQ(accept, preset);
        }
        set.Close();
    }
}

// A persons table of the demo generator, as large as needed for a tree of four levels.
class SearchReadsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        demo::writePersonsTable(s_dir->file("Phone.DBF"), 100000, 2026);
        // Until the clock has moved past the last write, every move reads its path again.
        test::waitUntilSettled(s_dir->file("Phone.MDX"));
    }
    static void TearDownTestSuite() { delete s_dir; }

    void SetUp() override {
        m_walker = std::make_unique<Walker>(s_dir->path(), SearchCriteria{}, true, true);
        m_indexFile = &m_walker->set.handler()->indexFile(0)->diskFile();
    }
    // Node blocks of the name tag: every block after the file header and the tag header.
    uint64_t tagBlocks() const {
        return (test::fileSize(s_dir->file("Phone.MDX")) - mdx::kHeaderSize) / mdx::kBlockLength -
               1;
    }
    struct Reads {
        uint64_t indexReads = 0, tableReads = 0;
        size_t rows = 0;
    };
    // The window's search (the filter off and on again, then the rows after the first one),
    // counted from the filter's going on; `rows` < 0: every row.
    Reads search(const SearchCriteria& search, int rows) {
        m_walker->search = search;
        TEngineDataSet& set = m_walker->set;
        set.setFiltered(false);
        const uint64_t index = m_indexFile->readCount();
        const uint64_t table = set.handler()->readCount();
        set.setFiltered(true);
        Reads reads;
        if (!set.Eof()) reads.rows = 1 + set.fetchRows(set.RecNo(), rows - 1).size();
        if (rows < 0) {
            for (reads.rows = 0; !set.Eof(); set.Next()) ++reads.rows;
        }
        reads.indexReads = m_indexFile->readCount() - index;
        reads.tableReads = set.handler()->readCount() - table;
        return reads;
    }

    static TempDir* s_dir;
    std::unique_ptr<Walker> m_walker;
    GSO_DiskFile* m_indexFile = nullptr;
};

TempDir* SearchReadsTest::s_dir = nullptr;

TEST_F(SearchReadsTest, AFullWalkReadsEveryNodeBlockOnce) {
    const Reads all = search({}, -1);
    EXPECT_EQ(all.rows, 100000u);
    EXPECT_LE(all.indexReads, tagBlocks() * 105 / 100);
    // Substring search that no name matches: every key is looked at, no record is read.
    const Reads none = search({ansi("ЯЯЯЯ"), "", false}, -1);
    EXPECT_EQ(none.rows, 0u);
    EXPECT_LE(none.indexReads, tagBlocks() * 105 / 100);
    EXPECT_EQ(none.tableReads, 0u);
    // Leaves whose keys all fail are scanned in runs of many blocks per read; so are the leaves
    // of a tree built in one go, which lie in the file in the order of their keys.
    EXPECT_LE(none.indexReads, tagBlocks() / 10);
    EXPECT_LE(all.indexReads, tagBlocks() / 10);
}

// What a grid's read asks of the disk ahead of the rows: the records of the entries that follow
// in the held leaf, as many as asked for, and of those only the ones the walk would read.
TEST_F(SearchReadsTest, RecordsAskedForAheadAreAtMostThoseTheWalkReadsNext) {
    GSO_dBHandler& handler = *m_walker->set.handler();
    // Every row: the rest of the first leaf.
    search({}, 1);
    EXPECT_EQ(handler.willNeedUpcoming(3), 3);
    const int leafRest = handler.willNeedUpcoming(1000);
    EXPECT_GT(leafRest, 3);
    EXPECT_LT(leafRest, 1000);
    EXPECT_EQ(handler.willNeedUpcoming(0), 0);

    // A name prefix: entries whose keys the prefix rejects are left out.
    m_walker->set.First();
    for (int i = 0; i < 5; ++i) m_walker->set.Next();
    const SearchCriteria one{trimmed(m_walker->set.Fields(0).AsString()), "", true};
    const Reads prefix = search(one, -1);
    ASSERT_GE(prefix.rows, 1u);
    search(one, 1);
    EXPECT_LE(handler.willNeedUpcoming(1000), static_cast<int>(prefix.rows) - 1);

    // A whole phone anywhere in the phones: the scan leaves out the records that do not hold
    // it, though their entries lie in the same leaves.
    const SearchCriteria phone{"", trimmed(m_walker->set.Fields(1).AsString()), false};
    const Reads byPhone = search(phone, -1);
    ASSERT_GE(byPhone.rows, 1u);
    ASSERT_NE(handler.recordCandidates(), nullptr);
    search(phone, 1);
    EXPECT_LE(handler.willNeedUpcoming(1000), static_cast<int>(byPhone.rows) - 1);
}

TEST_F(SearchReadsTest, APrefixSearchReadsAFewBlocksAndOnlyTheRecordsItShows) {
    for (const char* name : {"абрамов", "ПЕТРОВ", "ПеТрОвА", "Яковлев", "Щюк", "ЯЯЯЯ"}) {
        const Reads first = search({ansi(name), "", true}, 50);
        SCOPED_TRACE(name);
        EXPECT_LE(first.indexReads, 12u);
        // Beside the rows shown: the first row once more when the grid starts from it, and the
        // current row put back after the block.
        EXPECT_LE(first.tableReads, first.rows + 2);
    }
    EXPECT_EQ(search({ansi("ПЕТРОВ"), "", true}, 50).rows, 50u);
}

}  // namespace
}  // namespace abonex
