// Fixed Russian locale services over the Windows code page 1251, independent of the machine's
// locale: ANSI casing, alphabetical comparison, the short date format and the decimal separator.
//
// The key-expression functions (UPPER, LOWER, text comparison, CTOD, DTOC, VAL) and the
// directory's search filter use these, so both see the same rules on every machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace abonex {

// The short date format ("dd.MM.yyyy") and the decimal separator of the fixed locale.
inline constexpr std::string_view kShortDateFormat = "dd.MM.yyyy";
inline constexpr char kDateSeparator = '.';
inline constexpr char kDecimalSeparator = ',';

// Upper and lower case of one 1251 byte: Latin a-z and the Cyrillic letters of the page
// (а-я, ё, і, ї, є, ў, ґ, ђ, ѓ, љ, њ, ќ, ћ, џ, ј, ѕ); every other byte is returned unchanged.
uint8_t ansiUpper(uint8_t c);
uint8_t ansiLower(uint8_t c);
std::string ansiUpper(std::string_view text);
std::string ansiLower(std::string_view text);
bool isAnsiLetter(uint8_t c);

// Russian alphabetical order of two 1251 texts; negative, zero or positive like memcmp.
// The rule is described in ansi_locale.cpp. Zero only for identical bytes (case-sensitive) or
// for texts equal after ansiUpper (case-insensitive).
int ansiCompare(std::string_view a, std::string_view b, bool caseInsensitive = false);

// A calendar date; valid when year is 1..9999 and month/day name a real day.
struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const CivilDate&) const = default;
};
bool isValidCivilDate(const CivilDate& date);

// The date in the short date format, "dd.MM.yyyy" (four-digit year).
std::string formatShortDate(const CivilDate& date);
// Reads a date in the short date format: day, month and year separated by '.', each of one or
// more digits; a year of one or two digits is taken as 2000-2049 below 50 and 1950-1999 from
// 50 (a fixed window, so the result never depends on today's date). Blanks around the text are
// ignored. std::nullopt when the text is not such a date.
std::optional<CivilDate> parseShortDate(std::string_view text);

// Reads a number written with the decimal separator ',': optional blanks, an optional sign,
// digits with at most one ',' (at least one digit), an optional exponent ("e" or "E", optional
// sign, digits), optional blanks. std::nullopt when the text is anything else or overflows.
std::optional<double> parseLocaleNumber(std::string_view text);

}  // namespace abonex
