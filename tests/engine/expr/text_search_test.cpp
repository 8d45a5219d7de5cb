// TextSearcher against a plain search, and the long blank texts that made searching slow.
#include "engine/expr/text_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/engine/expr/fake_link.h"

namespace abonex::test {
namespace {

std::string randomText(std::mt19937& random, size_t maxLength) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<int> letter(0, 2);  // a tiny alphabet makes many borders
    std::string text(length(random), 'a');
    for (char& ch : text) ch = static_cast<char>('a' + letter(random));
    return text;
}

TEST(TextSearch, AgreesWithAPlainSearchOnRandomTexts) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 20000; ++round) {
        const std::string text = randomText(random, 40);
        const std::string needle = randomText(random, 6);
        const TextSearcher searcher(needle);
        for (size_t from = 0; from <= text.size() + 1; ++from) {
            ASSERT_EQ(searcher.find(text, from),
                      from > text.size() ? std::string::npos : text.find(needle, from))
                << text << " / " << needle << " from " << from;
        }
        if (needle.empty()) continue;
        // Overlapping occurrences, each search one byte after the previous start.
        size_t expected = std::string::npos;
        for (size_t n = 1, at = text.find(needle); n <= 8 && at != std::string::npos;
             ++n, at = text.find(needle, at + 1)) {
            expected = at;
            ASSERT_EQ(searcher.findNth(text, n), expected) << text << " / " << needle << " " << n;
        }
        ASSERT_EQ(searcher.findNth(text, 1000),
                  expected == std::string::npos ? std::string::npos : text.rfind(needle));
    }
}

TEST(TextSearch, EmptyNeedle) {
    const TextSearcher searcher("");
    EXPECT_EQ(searcher.find("abc"), 0u);
    EXPECT_EQ(searcher.find("abc", 3), 3u);
    EXPECT_EQ(searcher.find("abc", 4), std::string::npos);
    EXPECT_EQ(searcher.findNth("abc", 1), std::string::npos);
}

// Found by the fuzz target: a wildcard pattern of 80000 mostly blank bytes compared with a text
// of 550000 blanks made the comparison search quadratically.
TEST(TextSearch, LongBlankTextsInOperatorsAndFunctions) {
    EXPECT_TRUE(booleanOf("SPACE(550000) + '1' = '*' + SPACE(80000) + '1'"));
    EXPECT_FALSE(booleanOf("SPACE(550000) + '1' = '*' + SPACE(80000) + '2'"));
    EXPECT_TRUE(booleanOf("SPACE(80000) + '1' $ SPACE(550000) + '1'"));
    EXPECT_EQ(numberOf("AT(SPACE(100000) + 'x', SPACE(300000) + 'x')"), 200001);
    EXPECT_EQ(numberOf("AT(SPACE(100000), SPACE(300000), 150000)"), 150000);
    EXPECT_EQ(numberOf("AT(SPACE(100000), SPACE(300000), 900000)"), 200001);
    EXPECT_EQ(textOf("STRTRAN(SPACE(300000) + 'x', SPACE(100000) + 'x', 'y')"),
              std::string(200000, ' ') + "y");
}

}  // namespace
}  // namespace abonex::test
