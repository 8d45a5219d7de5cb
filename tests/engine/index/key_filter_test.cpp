// The key filter's tests and its skip-scan candidates, checked against every text of a small
// alphabet: a seek to the candidate must never pass over a key the filter accepts.
#include "engine/index/key_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace abonex {
namespace {

// The bytes of the small universe: both cases of a Latin letter, a blank and two bytes above
// 0x7F (order by unsigned bytes puts those last).
const std::string kAlphabet = {' ', 'A', 'a', '\x85', '\xA5'};

bool byteLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<uint8_t>(x) < static_cast<uint8_t>(y);
    });
}

// Every text of up to `longest` bytes of the alphabet, in byte order.
std::vector<std::string> allTexts(size_t longest) {
    std::vector<std::string> texts{""};
    for (size_t from = 0, length = 1; length <= longest; ++length) {
        const size_t to = texts.size();
        for (size_t i = from; i < to; ++i) {
            for (char c : kAlphabet) texts.push_back(texts[i] + c);
        }
        from = to;
    }
    std::sort(texts.begin(), texts.end(), byteLess);
    return texts;
}

// Case folding: a/A and 0xA5/0x85 stand for each other.
std::shared_ptr<const KeyMatchTable> foldingTable() {
    auto fold = [](uint8_t c) -> uint8_t {
        if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 32);
        if (c == 0xA5) return 0x85;
        return c;
    };
    return std::make_shared<const KeyMatchTable>(
        [fold](uint8_t search, uint8_t stored) { return fold(search) == fold(stored); });
}

TEST(KeyFilter, StartsWithAndContainsFollowTheMatchTable) {
    auto table = foldingTable();
    const KeyFilter starts(KeyFilter::Kind::StartsWith, 0, "ab", table);
    EXPECT_TRUE(starts.accepts("AB"));
    EXPECT_TRUE(starts.accepts("aBa"));
    EXPECT_FALSE(starts.accepts("A"));  // shorter than the search text
    EXPECT_FALSE(starts.accepts(" AB"));
    const KeyFilter contains(KeyFilter::Kind::Contains, 0, "b\x85", table);
    EXPECT_TRUE(contains.accepts("aaB\xA5"));
    EXPECT_TRUE(contains.accepts("b\x85"));
    EXPECT_FALSE(contains.accepts("b a\x85"));
    const KeyFilter empty(KeyFilter::Kind::Contains, 0, "", table);
    EXPECT_TRUE(empty.accepts(""));
    // A search byte nothing stands for accepts no key and leaves no candidate.
    const KeyFilter none(
        KeyFilter::Kind::StartsWith, 0, "a",
        std::make_shared<const KeyMatchTable>([](uint8_t, uint8_t) { return false; }));
    EXPECT_FALSE(none.accepts("a"));
    EXPECT_EQ(none.nextCandidate(""), std::nullopt);
}

TEST(KeyFilter, NoAcceptedTextLiesBetweenARejectedOneAndItsCandidate) {
    const std::vector<std::string> universe = allTexts(4);
    std::mt19937 random(17);
    for (int round = 0; round < 100; ++round) {
        // A random match table over the alphabet (the first rounds fold case), a random search.
        std::shared_ptr<const KeyMatchTable> table = foldingTable();
        if (round >= 20) {
            std::vector<int> bits(256 * 256);
            for (int& bit : bits) bit = static_cast<int>(random() % 3 == 0);
            table = std::make_shared<const KeyMatchTable>(
                [bits](uint8_t s, uint8_t k) { return bits[size_t{s} * 256 + k] != 0; });
        }
        std::string search;
        const size_t length = 1 + random() % 4;
        for (size_t i = 0; i < length; ++i) search += kAlphabet[random() % kAlphabet.size()];
        const KeyFilter filter(KeyFilter::Kind::StartsWith, 0, search, table);

        for (size_t i = 0; i < universe.size(); ++i) {
            const std::string& key = universe[i];
            if (filter.accepts(key)) continue;
            const std::optional<std::string> candidate = filter.nextCandidate(key);
            if (candidate) {
                ASSERT_TRUE(byteLess(key, *candidate)) << "the candidate does not move on";
            }
            for (size_t j = i + 1; j < universe.size(); ++j) {
                const std::string& later = universe[j];
                if (candidate && !byteLess(later, *candidate)) break;
                ASSERT_FALSE(filter.accepts(later))
                    << "search '" << search << "': after '" << key << "' the seek to '"
                    << (candidate ? *candidate : "(none)") << "' passes over '" << later << "'";
            }
        }
    }
}

// Entries as a node block holds them: a 4-byte pointer, then the key padded with blanks.
std::vector<uint8_t> entriesOf(const std::vector<std::pair<uint32_t, std::string>>& keys,
                               size_t keyLength) {
    std::vector<uint8_t> bytes;
    for (const auto& [pointer, key] : keys) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(pointer >> shift));
        }
        std::string padded = key;
        padded.resize(keyLength, ' ');
        bytes.insert(bytes.end(), padded.begin(), padded.end());
    }
    return bytes;
}

TEST(KeyFilter, ALeafIsRejectedWholeExactlyWhenEveryKeyIsRejected) {
    std::mt19937 random(29);
    const auto table = foldingTable();
    for (int round = 0; round < 3000; ++round) {
        const size_t keyLength = 1 + random() % 6;
        std::vector<std::pair<uint32_t, std::string>> keys(random() % 6);
        for (auto& [pointer, key] : keys) {
            // Pointer bytes drawn from the alphabet too, so that they may hold search bytes.
            for (int i = 0; i < 4; ++i) {
                pointer = pointer << 8 | static_cast<uint8_t>(kAlphabet[random() % 5]);
            }
            const size_t length = random() % (keyLength + 1);
            for (size_t i = 0; i < length; ++i) key += kAlphabet[random() % kAlphabet.size()];
            while (!key.empty() && key.back() == ' ') key.pop_back();
        }
        std::string search;
        const size_t length = random() % 4;
        for (size_t i = 0; i < length; ++i) search += kAlphabet[random() % kAlphabet.size()];
        const std::vector<uint8_t> bytes = entriesOf(keys, keyLength);
        for (const KeyFilter::Kind kind :
             {KeyFilter::Kind::Contains, KeyFilter::Kind::StartsWith}) {
            const KeyFilter filter(kind, 0, search, table);
            const bool anyAccepted = std::any_of(keys.begin(), keys.end(), [&](const auto& entry) {
                return filter.accepts(entry.second);
            });
            ASSERT_EQ(filter.rejectsAll(bytes.data(), keys.size(), 4 + keyLength, 4, keyLength),
                      !anyAccepted)
                << "round " << round << " search '" << search << "'";
        }
    }
}

TEST(KeyFilter, ATextAcrossTwoEntriesOrIntoThePaddingIsNoMatch) {
    const auto table = foldingTable();
    const KeyFilter contains(KeyFilter::Kind::Contains, 0, "aA", table);
    // "xa" ends one key and the next entry's pointer starts with 'A': the bytes hold "aA" only
    // across the entries.
    EXPECT_TRUE(
        contains.rejectsAll(entriesOf({{1, "xa"}, {0x41414141, "b"}}, 2).data(), 2, 6, 4, 2));
    // Trailing blanks are padding, not a part of the key.
    const KeyFilter blank(KeyFilter::Kind::Contains, 0, "a ", table);
    EXPECT_TRUE(blank.rejectsAll(entriesOf({{1, "a"}}, 3).data(), 1, 7, 4, 3));
    EXPECT_FALSE(blank.rejectsAll(entriesOf({{1, "a b"}}, 3).data(), 1, 7, 4, 3));
    // The search text's first byte in its other case.
    EXPECT_FALSE(contains.rejectsAll(entriesOf({{1, "b"}, {2, "bAa"}}, 3).data(), 2, 7, 4, 3));
}

}  // namespace
}  // namespace abonex
