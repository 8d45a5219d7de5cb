// Case and order of a table's text in its own code page, and the expressions that use them.
#include "engine/expr/text_casing.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"
#include "tests/engine/expr/fake_link.h"

namespace abonex::test {
namespace {

// Text typed here in UTF-8, as a table of code page 866 holds it.
std::string oem(std::string_view utf8) {
    return *utf8ToOem(utf8);
}

TEST(TextCasing, LettersOf866ChangeCaseInPairsAndNothingElseChanges) {
    std::vector<std::pair<uint8_t, uint8_t>> pairs;  // lower, upper
    for (int c = 'a'; c <= 'z'; ++c) pairs.emplace_back(c, c - 32);
    for (int i = 0; i < 16; ++i) pairs.emplace_back(0xA0 + i, 0x80 + i);    // а-п, А-П
    for (int i = 0; i < 16; ++i) pairs.emplace_back(0xE0 + i, 0x90 + i);    // р-я, Р-Я
    for (int i = 0; i < 8; i += 2) pairs.emplace_back(0xF1 + i, 0xF0 + i);  // ё є ї ў
    for (auto [lower, upper] : pairs) {
        EXPECT_EQ(upperInPage(lower, TextCodePage::Oem866), upper) << int(lower);
        EXPECT_EQ(lowerInPage(upper, TextCodePage::Oem866), lower) << int(upper);
        EXPECT_EQ(upperInPage(upper, TextCodePage::Oem866), upper) << int(upper);
        EXPECT_EQ(lowerInPage(lower, TextCodePage::Oem866), lower) << int(lower);
    }
    int changed = 0;
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<uint8_t>(c);
        if (upperInPage(b, TextCodePage::Oem866) != b || lowerInPage(b, TextCodePage::Oem866) != b)
            ++changed;
    }
    EXPECT_EQ(changed, static_cast<int>(2 * pairs.size()));
    // The box-drawing block, which the 1251 rules would turn into Cyrillic letters, stays.
    for (int c = 0xB0; c <= 0xDF; ++c) {
        EXPECT_EQ(upperInPage(static_cast<uint8_t>(c), TextCodePage::Oem866), c) << c;
        EXPECT_EQ(lowerInPage(static_cast<uint8_t>(c), TextCodePage::Oem866), c) << c;
    }
    EXPECT_EQ(upperInPage(oem("Петров П. ёжик"), TextCodePage::Oem866), oem("ПЕТРОВ П. ЁЖИК"));
    EXPECT_EQ(lowerInPage(oem("ЯКОВЛЕВ Ё.Ю."), TextCodePage::Oem866), oem("яковлев ё.ю."));
    // On 1251 text the ANSI rules apply as before.
    const std::string ansi = *utf8ToAnsi("Петров");
    EXPECT_EQ(upperInPage(ansi, TextCodePage::Ansi1251), ansiUpper(ansi));
}

TEST(TextCasing, TextsOf866CompareInAlphabeticalOrder) {
    const auto less = [](std::string_view a, std::string_view b) {
        return compareInPage(oem(a), oem(b), false, TextCodePage::Oem866) < 0;
    };
    // In 866 "я" (0xEF) lies before "ё" (0xF1) and "Ю" (0x9E) before "а" (0xA0).
    EXPECT_TRUE(less("ёж", "яд"));
    EXPECT_TRUE(less("еж", "ёж"));  // ё sorts with е, after it
    EXPECT_TRUE(less("абрамов", "Юрьев"));
    EXPECT_TRUE(less("ива", "Ивб"));
    EXPECT_EQ(compareInPage(oem("Иванов"), oem("ИВАНОВ"), true, TextCodePage::Oem866), 0);
    EXPECT_NE(compareInPage(oem("Иванов"), oem("ИВАНОВ"), false, TextCodePage::Oem866), 0);
    // Box-drawing characters that the translation turns into one look-alike stay apart.
    EXPECT_LT(compareInPage("\xC2", "\xC3", false, TextCodePage::Oem866), 0);
    EXPECT_GT(compareInPage("\xC3", "\xC2", true, TextCodePage::Oem866), 0);
}

TEST(TextCasing, ExpressionsFollowTheCodePageOfTheirTable) {
    FakeLink link;
    link.addField("NAME", 'C', 20);
    link.set("NAME", oem("ёжиков иван"));
    link.setCodePage(TextCodePage::Oem866);
    EXPECT_EQ(textOf("UPPER(NAME)", &link), oem("ЁЖИКОВ ИВАН") + std::string(9, ' '));
    EXPECT_EQ(textOf("LOWER(UPPER(NAME))", &link), oem("ёжиков иван") + std::string(9, ' '));
    EXPECT_EQ(textOf("PROPER(NAME)", &link), oem("Ёжиков Иван") + std::string(9, ' '));
    EXPECT_TRUE(booleanOf("BETWEEN(NAME, '" + oem("еж") + "', '" + oem("ж") + "')", &link));
    EXPECT_FALSE(booleanOf("NAME > '" + oem("Яковлев") + "'", &link));  // ё before я
    TgsExpHandler insensitive(&link);
    insensitive.setCaseInsensitive(true);
    insensitive.ExpressionCompile("NAME = '" + oem("ЁЖИКОВ ИВАН") + "'");
    EXPECT_TRUE(insensitive.ExpressionEvaluate().boolean);
    insensitive.ExpressionCompile("NAME = '" + oem("ЁЖИК*") + "'");
    EXPECT_TRUE(insensitive.ExpressionEvaluate().boolean);

    // A table of another code page keeps the ANSI rules.
    link.setCodePage(TextCodePage::Ansi1251);
    EXPECT_EQ(textOf("UPPER(NAME)", &link), ansiUpper(oem("ёжиков иван")) + std::string(9, ' '));
}

}  // namespace
}  // namespace abonex::test
