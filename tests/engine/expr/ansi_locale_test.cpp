// The fixed Russian locale over code page 1251.
#include "engine/expr/ansi_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/expr/julian_date.h"

namespace abonex {
namespace {

TEST(AnsiLocale, CasePairsOfTheCodePage) {
    const std::pair<uint8_t, uint8_t> pairs[] = {
        {'a', 'A'},   {'z', 'Z'},   {0xE0, 0xC0}, {0xFF, 0xDF}, {0xB8, 0xA8},
        {0xB3, 0xB2}, {0xBF, 0xAF}, {0xBA, 0xAA}, {0xA2, 0xA1}, {0xB4, 0xA5},
        {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
        {0x9E, 0x8E}, {0x9F, 0x8F}, {0xBC, 0xA3}, {0xBE, 0xBD},
    };
    for (auto [lower, upper] : pairs) {
        EXPECT_EQ(ansiUpper(lower), upper) << int(lower);
        EXPECT_EQ(ansiLower(upper), lower) << int(upper);
        EXPECT_EQ(ansiUpper(upper), upper) << int(upper);
        EXPECT_EQ(ansiLower(lower), lower) << int(lower);
    }
    // Every other byte keeps its value, including micro sign, digits and symbols.
    int letters = 0;
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<uint8_t>(c);
        if (ansiUpper(b) != b || ansiLower(b) != b) ++letters;
        EXPECT_EQ(ansiUpper(ansiLower(b)) == b || ansiLower(ansiUpper(b)) == b, true) << c;
    }
    EXPECT_EQ(letters, 2 * (26 + 32 + 15));
    EXPECT_EQ(ansiUpper(uint8_t{0xB5}), 0xB5);
    EXPECT_EQ(ansiUpper(std::string("\xB8\xEB\xEA\xE0 1")), "\xA8\xCB\xCA\xC0 1");  // ёлка 1
}

TEST(AnsiLocale, RussianAlphabeticalOrder) {
    // Sorted as a Russian reader expects: symbols, digits, Latin, Cyrillic; ё with е.
    const std::vector<std::string> expected = {
        "-",        "1", "9", "apple", "Apple", "Zulu",
        "\xE0\xE1",  // аб
        "\xC5\xE6",  // Еж
        "\xE5\xEB",  // ел
        "\xB8\xEB",  // ёл  (after ел at the accent level only)
        "\xA8\xEB",  // Ёл
        "\xE5\xEC",  // ем
        "\xDF",      // Я
    };
    std::vector<std::string> shuffled(expected.rbegin(), expected.rend());
    std::rotate(shuffled.begin(), shuffled.begin() + 5, shuffled.end());
    std::sort(shuffled.begin(), shuffled.end(),
              [](const std::string& a, const std::string& b) { return ansiCompare(a, b) < 0; });
    EXPECT_EQ(shuffled, expected);
}

TEST(AnsiLocale, CompareIsTotalAndCaseInsensitiveOnRequest) {
    EXPECT_LT(ansiCompare("a", "A"), 0);
    EXPECT_GT(ansiCompare("ab", "AA"), 0);  // letters decide before case
    EXPECT_EQ(ansiCompare("Ivanov", "IVANOV", true), 0);
    EXPECT_EQ(ansiCompare("\xE8\xE2\xE0\xED", "\xC8\xC2\xC0\xCD", true), 0);
    EXPECT_NE(ansiCompare("\xE5", "\xB8", true), 0);  // е and ё differ in both modes
    EXPECT_EQ(ansiCompare("", ""), 0);
    EXPECT_LT(ansiCompare("", "a"), 0);
    EXPECT_LT(ansiCompare("abc", "abcd"), 0);
    // Antisymmetric, and zero only for identical bytes, over all pairs of single bytes.
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
            const int ab = ansiCompare(a, b), ba = ansiCompare(b, a);
            ASSERT_EQ(ab, -ba) << x << ' ' << y;
            ASSERT_EQ(ab == 0, x == y) << x << ' ' << y;
        }
    }
}

TEST(AnsiLocale, ShortDateFormat) {
    EXPECT_EQ(formatShortDate({2002, 3, 5}), "05.03.2002");
    EXPECT_EQ(formatShortDate({7, 12, 31}), "31.12.0007");
    EXPECT_EQ(parseShortDate("05.03.2002"), (CivilDate{2002, 3, 5}));
    EXPECT_EQ(parseShortDate(" 5.3.2002 "), (CivilDate{2002, 3, 5}));
    EXPECT_EQ(parseShortDate("5.3.49"), (CivilDate{2049, 3, 5}));
    EXPECT_EQ(parseShortDate("5.3.50"), (CivilDate{1950, 3, 5}));
    EXPECT_EQ(parseShortDate("29.02.2001"), std::nullopt);
    EXPECT_EQ(parseShortDate("29.02.2000"), (CivilDate{2000, 2, 29}));
    EXPECT_EQ(parseShortDate("29.02.1900"), std::nullopt);
    EXPECT_EQ(parseShortDate("05.03"), std::nullopt);
    EXPECT_EQ(parseShortDate("05.03.2002.1"), std::nullopt);
    EXPECT_EQ(parseShortDate("05/03/2002"), std::nullopt);
    EXPECT_EQ(parseShortDate("00.03.2002"), std::nullopt);
}

TEST(AnsiLocale, NumbersUseTheCommaSeparator) {
    EXPECT_EQ(parseLocaleNumber("3,5"), 3.5);
    EXPECT_EQ(parseLocaleNumber(" -0,25 "), -0.25);
    EXPECT_EQ(parseLocaleNumber("+7"), 7);
    EXPECT_EQ(parseLocaleNumber("1,5E3"), 1500);
    EXPECT_EQ(parseLocaleNumber(",5"), 0.5);
    EXPECT_EQ(parseLocaleNumber("3.5"), std::nullopt);
    EXPECT_EQ(parseLocaleNumber("1,2,3"), std::nullopt);
    EXPECT_EQ(parseLocaleNumber("1e"), std::nullopt);
    EXPECT_EQ(parseLocaleNumber(""), std::nullopt);
    EXPECT_EQ(parseLocaleNumber("inf"), std::nullopt);
    EXPECT_EQ(parseLocaleNumber("1e999"), std::nullopt);
}

TEST(JulianDate, DayNumbersRoundTripOverTheWholeRange) {
    EXPECT_EQ(julianDayFromCivil({1980, 1, 1}), kJulian19800101);
    EXPECT_EQ(julianDayFromCivil({1, 1, 1}), kFirstJulianDay);
    EXPECT_EQ(julianDayFromCivil({9999, 12, 31}), kLastJulianDay);
    for (int day = kFirstJulianDay; day <= kLastJulianDay; day += 997) {
        auto date = civilFromJulianDay(day);
        ASSERT_TRUE(date.has_value()) << day;
        ASSERT_TRUE(isValidCivilDate(*date)) << day;
        ASSERT_EQ(julianDayFromCivil(*date), day);
    }
    EXPECT_EQ(civilFromJulianDay(0), std::nullopt);
    EXPECT_EQ(civilFromJulianDay(kEmptyDate), std::nullopt);
    EXPECT_EQ(civilFromJulianDay(kLastJulianDay + 1), std::nullopt);
    EXPECT_EQ(civilFromJulianDay(kJulian19800101 + 0.99), (CivilDate{1980, 1, 1}));
}

}  // namespace
}  // namespace abonex
