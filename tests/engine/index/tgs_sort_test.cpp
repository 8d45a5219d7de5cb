#include "engine/index/tgs_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/file/engine_error.h"

namespace abonex {
namespace {

using Entry = std::pair<std::string, uint32_t>;

std::vector<Entry> drain(TgsSort& sort) {
    std::vector<Entry> out;
    TgsVariant key;
    while (sort.nextKey(key)) out.emplace_back(key.bytes(), key.pointer());
    return out;
}

// The order a tag keeps: unsigned bytes, shorter first, then record number; reversed whole for
// a descending tag.
std::vector<Entry> modelOrder(std::vector<Entry> entries, bool ascending) {
    auto less = [](const Entry& a, const Entry& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    };
    std::sort(entries.begin(), entries.end(), less);
    if (!ascending) std::reverse(entries.begin(), entries.end());
    return entries;
}

std::string randomKey(std::mt19937& random, size_t maxLength, char first, char last) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<int> letter(first, last);
    std::string key(length(random), ' ');
    for (char& c : key) c = static_cast<char>(letter(random));
    return key;
}

void expectError(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error; expected " << message;
    } catch (const EEngineError& error) {
        EXPECT_EQ(std::string(error.what()), message);
    }
}

TEST(TgsSort, CharacterKeysInByteOrderWithEqualKeysByRecordNumber) {
    for (bool ascending : {true, false}) {
        TgsSort sort(31, ascending, false);
        const std::vector<Entry> input = {{"SMITH", 4},    {"ADAMS", 9}, {"SMITH", 2},
                                          {"\x8F\xA5", 1},  // high bytes sort after ASCII
                                          {"SMITHSON", 3}, {"SMIT", 8},  {"", 7},
                                          {"SMITH", 6}};
        for (const auto& [key, record] : input) {
            sort.addKey(TgsVariant::character(key), record);
        }
        EXPECT_EQ(drain(sort), modelOrder(input, ascending)) << ascending;
    }
}

TEST(TgsSort, TrailingBlanksAreNotPartOfTheKey) {
    TgsSort sort(31, true, true);
    sort.addKey(TgsVariant::character("AB  "), 2);
    sort.addKey(TgsVariant::character("AB"), 1);
    EXPECT_EQ(drain(sort), (std::vector<Entry>{{"AB", 1}}));
}

TEST(TgsSort, UniqueKeepsTheFirstRecordOfEachKeyInSortOrder) {
    const std::vector<Entry> input = {{"B", 5}, {"A", 3}, {"B", 1}, {"A", 7}, {"C", 2}, {"B", 9}};
    TgsSort ascending(31, true, true);
    TgsSort descending(31, false, true);
    for (const auto& [key, record] : input) {
        ascending.addKey(TgsVariant::character(key), record);
        descending.addKey(TgsVariant::character(key), record);
    }
    EXPECT_EQ(drain(ascending), (std::vector<Entry>{{"A", 3}, {"B", 1}, {"C", 2}}));
    EXPECT_EQ(drain(descending), (std::vector<Entry>{{"C", 2}, {"B", 9}, {"A", 7}}));
}

// Keys over a four-letter alphabet share long prefixes, end inside one another and diverge
// inside packed chains: every branch of the trie is exercised.
TEST(TgsSort, RandomKeysWithSharedPrefixesMatchTheModel) {
    std::mt19937 random(20261208);
    for (bool ascending : {true, false}) {
        TgsSort sort(41, ascending, false);
        std::vector<Entry> input;
        for (uint32_t record = 1; record <= 5000; ++record) {
            input.emplace_back(randomKey(random, 12, 'A', 'D'), record);
            sort.addKey(TgsVariant::character(input.back().first), record);
        }
        EXPECT_EQ(sort.runCount(), 0u);
        EXPECT_EQ(drain(sort), modelOrder(input, ascending));
        EXPECT_EQ(sort.runCount(), 1u);
    }
}

TEST(TgsSort, OverflowingThePoolsSpillsRunsThatMergeIntoOneOrder) {
    std::mt19937 random(7);
    for (bool ascending : {true, false}) {
        TgsSort sort(31, ascending, false);
        std::vector<Entry> input;
        // Random 20-byte keys need about one node per four bytes: far beyond 131,072 nodes.
        for (uint32_t record = 1; record <= 120000; ++record) {
            input.emplace_back(randomKey(random, 20, 'A', 'Z'), record);
            sort.addKey(TgsVariant::character(input.back().first), record);
        }
        const auto out = drain(sort);
        EXPECT_GT(sort.runCount(), 2u);
        EXPECT_EQ(out, modelOrder(input, ascending));
    }
}

TEST(TgsSort, UniqueAcrossRuns) {
    TgsSort sort(31, true, true);
    // The same 1000 keys three times over, far enough apart to land in different runs.
    for (uint32_t pass = 0; pass < 3; ++pass) {
        for (uint32_t i = 0; i < 1000; ++i) {
            sort.addKey(TgsVariant::character("KEY" + std::to_string(i * 7919 % 1000) +
                                              std::string(20, 'x')),
                        pass * 1000 + i + 1);
        }
        for (uint32_t i = 0; i < 40000; ++i) {
            sort.addKey(TgsVariant::character("~" + std::to_string(pass) + std::to_string(i)),
                        100000 + pass * 40000 + i);
        }
    }
    TgsVariant key;
    std::vector<uint32_t> firstRecords;
    while (sort.nextKey(key)) {
        if (key.bytes()[0] != '~') firstRecords.push_back(key.pointer());
    }
    EXPECT_GT(sort.runCount(), 1u);
    ASSERT_EQ(firstRecords.size(), 1000u);
    for (uint32_t record : firstRecords) EXPECT_LE(record, 1000u);
}

// Keys split between two sorts by record (as two threads of a build add them) come out of the
// one that takes the other's over exactly as from a single sort: across several runs of each,
// with equal keys, unique and descending.
TEST(TgsSort, TakingOverAnotherSortsKeysGivesTheOrderOfOneSort) {
    std::mt19937 random(11);
    for (const bool ascending : {true, false}) {
        for (const bool unique : {false, true}) {
            TgsSort single(31, ascending, unique);
            TgsSort first(31, ascending, unique);
            TgsSort second(31, ascending, unique);
            for (uint32_t record = 1; record <= 150000; ++record) {
                // Few distinct short keys among long random ones: equal keys in both halves.
                const std::string key = record % 3 == 0 ? "K" + std::to_string(record % 50)
                                                        : randomKey(random, 20, 'A', 'Z');
                single.addKey(TgsVariant::character(key), record);
                // Chunks of 2048 records handed out alternately, as the two threads take them.
                TgsSort& half = ((record - 1) / 2048) % 2 == 0 ? first : second;
                half.addKey(TgsVariant::character(key), record);
            }
            first.takeKeysOf(second);
            const auto expected = drain(single);
            const auto out = drain(first);
            EXPECT_GT(first.runCount(), 2u);
            EXPECT_EQ(out.size(), expected.size());
            EXPECT_TRUE(out == expected) << "ascending " << ascending << " unique " << unique;
            // The sort taken over hands out nothing and takes no more keys.
            TgsVariant key;
            EXPECT_FALSE(second.nextKey(key));
            expectError([&] { second.addKey(TgsVariant::character("A"), 1); },
                        "Cannot add sort keys after beginning retrieval");
        }
    }
}

TEST(TgsSort, NoKeysAreTakenOverOnceRetrievalBegan) {
    TgsSort taking(10, true, false);
    TgsSort given(10, true, false);
    given.addKey(TgsVariant::character("B"), 2);
    taking.addKey(TgsVariant::character("A"), 1);
    TgsVariant key;
    ASSERT_TRUE(taking.nextKey(key));
    expectError([&] { taking.takeKeysOf(given); },
                "Cannot add sort keys after beginning retrieval");
    TgsSort fresh(10, true, false);
    ASSERT_TRUE(given.nextKey(key));
    expectError([&] { fresh.takeKeysOf(given); }, "Cannot add sort keys after beginning retrieval");
    // An empty sort taken over adds nothing.
    TgsSort empty(10, true, false);
    fresh.addKey(TgsVariant::character("C"), 3);
    fresh.takeKeysOf(empty);
    EXPECT_EQ(drain(fresh), (std::vector<Entry>{{"C", 3}}));
}

TEST(TgsSort, DoublesSortNumericallyIncludingNegatives) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-1e6, 1e6);
    for (bool ascending : {true, false}) {
        TgsSort sort(9, ascending, false);
        std::vector<std::pair<double, uint32_t>> input;
        for (uint32_t record = 1; record <= 3000; ++record) {
            double v = record % 10 == 0 ? 0.0 : value(random);
            if (record % 7 == 0) v = 1.0;              // equal keys
            if (record == 11) v = 1.0000000000000002;  // differs from 1 in the last bit only
            input.emplace_back(v, record);
            sort.addKey(TgsVariant::number(v), record);
        }
        std::sort(input.begin(), input.end());
        if (!ascending) std::reverse(input.begin(), input.end());
        TgsVariant key;
        std::vector<std::pair<double, uint32_t>> out;
        while (sort.nextKey(key)) {
            ASSERT_EQ(key.type(), VariantType::Double);
            out.emplace_back(key.asDouble(), key.pointer());
        }
        EXPECT_EQ(out, input);
    }
}

TEST(TgsSort, DatesComeBackAsDates) {
    TgsSort sort(9, true, false);
    sort.addKey(TgsVariant::date(2451604), 1);
    sort.addKey(TgsVariant::date(2444240), 2);
    TgsVariant key;
    ASSERT_TRUE(sort.nextKey(key));
    EXPECT_EQ(key.type(), VariantType::Date);
    EXPECT_EQ(key.asDate(), 2444240);
    EXPECT_EQ(key.pointer(), 2u);
}

TEST(TgsSort, EmptySortYieldsNothing) {
    TgsSort sort(31, true, false);
    TgsVariant key;
    EXPECT_FALSE(sort.nextKey(key));
    EXPECT_FALSE(sort.nextKey(key));
}

TEST(TgsSort, Errors) {
    expectError([] { TgsSort sort(241, true, false); }, "Sort key length greater than 240 bytes");
    TgsSort sort(10, true, false);
    expectError([&] { sort.addKey(TgsVariant::character(std::string(11, 'A')), 1); },
                "Sort key length greater than 240 bytes");
    expectError([&] { sort.addKey(TgsVariant::logical(true), 1); },
                "Variant type cannot be sorted");
    sort.addKey(TgsVariant::character("A"), 1);
    TgsVariant key;
    ASSERT_TRUE(sort.nextKey(key));
    expectError([&] { sort.addKey(TgsVariant::character("B"), 2); },
                "Cannot add sort keys after beginning retrieval");
}

TEST(TgsPageCollection, FrontCompressesAndSpansPages) {
    TgsPageCollection run;
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) {
        keys.push_back("PREFIX-SHARED-" + std::to_string(100000 + i) + std::string(i % 5, 'z'));
        run.append(SortKeyType::Character, reinterpret_cast<const uint8_t*>(keys.back().data()),
                   keys.back().size());
    }
    EXPECT_GT(run.pageCount(), 1u);
    for (const auto& expected : keys) {
        ASSERT_TRUE(run.advance());
        EXPECT_EQ(run.head(), expected);
        EXPECT_EQ(run.headType(), SortKeyType::Character);
    }
    EXPECT_FALSE(run.advance());
}

}  // namespace
}  // namespace abonex
