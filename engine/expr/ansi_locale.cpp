#include "engine/expr/ansi_locale.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace abonex {

namespace {

// Lower/upper pairs of code page 1251 outside the ASCII range and the А-Я/а-я block.
struct CasePair {
    uint8_t lower;
    uint8_t upper;
};
constexpr CasePair kExtraCyrillicPairs[] = {
    {0x90, 0x80},  // ђ Ђ
    {0x83, 0x81},  // ѓ Ѓ
    {0x9A, 0x8A},  // љ Љ
    {0x9C, 0x8C},  // њ Њ
    {0x9D, 0x8D},  // ќ Ќ
    {0x9E, 0x8E},  // ћ Ћ
    {0x9F, 0x8F},  // џ Џ
    {0xA2, 0xA1},  // ў Ў
    {0xBC, 0xA3},  // ј Ј
    {0xB4, 0xA5},  // ґ Ґ
    {0xB8, 0xA8},  // ё Ё
    {0xBA, 0xAA},  // є Є
    {0xBF, 0xAF},  // ї Ї
    {0xB3, 0xB2},  // і І
    {0xBE, 0xBD},  // ѕ Ѕ
};

// Lower-case letters of 1251 in alphabetical order. Russian order, with the letters of the
// other Cyrillic alphabets of the page placed right after the letter they derive from.
// ё is not listed: it takes the weight of е and differs from it only at the accent level.
constexpr uint8_t kCyrillicOrder[] = {
    0xE0,  // а
    0xE1,  // б
    0xE2,  // в
    0xE3,  // г
    0xB4,  // ґ
    0x83,  // ѓ
    0xE4,  // д
    0x90,  // ђ
    0xE5,  // е (and ё)
    0xBA,  // є
    0xE6,  // ж
    0xE7,  // з
    0xBE,  // ѕ
    0xE8,  // и
    0xB3,  // і
    0xBF,  // ї
    0xE9,  // й
    0xBC,  // ј
    0xEA,  // к
    0x9D,  // ќ
    0xEB,  // л
    0x9A,  // љ
    0xEC,  // м
    0xED,  // н
    0x9C,  // њ
    0xEE,  // о
    0xEF,  // п
    0xF0,  // р
    0xF1,  // с
    0xF2,  // т
    0x9E,  // ћ
    0xF3,  // у
    0xA2,  // ў
    0xF4,  // ф
    0xF5,  // х
    0xF6,  // ц
    0xF7,  // ч
    0x9F,  // џ
    0xF8,  // ш
    0xF9,  // щ
    0xFA,  // ъ
    0xFB,  // ы
    0xFC,  // ь
    0xFD,  // э
    0xFE,  // ю
    0xFF,  // я
};

constexpr uint8_t kLowerYo = 0xB8;
constexpr uint8_t kLowerYe = 0xE5;

// Per-byte collation data.
//   primary: the alphabetical weight. Symbols and control bytes (by byte value) come first,
//            then the digits, then Latin letters, then Cyrillic letters; both cases of a
//            letter share a weight.
//   accent:  1 for ё/Ё (sorted with е but after it at the accent level), else 0.
//   upper:   1 for an upper-case letter (lower case sorts first at the case level).
struct Collation {
    std::array<uint8_t, 256> upper{};
    std::array<uint8_t, 256> lower{};
    std::array<uint16_t, 256> primary{};
    std::array<uint8_t, 256> accent{};
    std::array<uint8_t, 256> isUpper{};
    std::array<uint8_t, 256> isLetter{};

    Collation() {
        for (int c = 0; c < 256; ++c) {
            upper[c] = lower[c] = static_cast<uint8_t>(c);
        }
        auto pair = [this](int lo, int up) {
            upper[lo] = static_cast<uint8_t>(up);
            lower[up] = static_cast<uint8_t>(lo);
            isUpper[up] = 1;
            isLetter[lo] = isLetter[up] = 1;
        };
        for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
        for (int c = 0xE0; c <= 0xFF; ++c) pair(c, c - 32);
        for (const auto& p : kExtraCyrillicPairs) pair(p.lower, p.upper);

        // Weights: 0..255 are left to symbols (their byte value), letters and digits follow.
        for (int c = 0; c < 256; ++c) primary[c] = static_cast<uint16_t>(c);
        uint16_t next = 256;
        for (int c = '0'; c <= '9'; ++c) primary[c] = next++;
        for (int c = 'a'; c <= 'z'; ++c) {
            primary[c] = primary[c - 32] = next++;
        }
        for (uint8_t c : kCyrillicOrder) {
            primary[c] = primary[upper[c]] = next++;
        }
        primary[kLowerYo] = primary[upper[kLowerYo]] = primary[kLowerYe];
        accent[kLowerYo] = accent[upper[kLowerYo]] = 1;
    }
};

const Collation& collation() {
    static const Collation table;
    return table;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

}  // namespace

uint8_t ansiUpper(uint8_t c) {
    return collation().upper[c];
}
uint8_t ansiLower(uint8_t c) {
    return collation().lower[c];
}
bool isAnsiLetter(uint8_t c) {
    return collation().isLetter[c] != 0;
}

std::string ansiUpper(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(ansiUpper(static_cast<uint8_t>(ch)));
    return out;
}

std::string ansiLower(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(ansiLower(static_cast<uint8_t>(ch)));
    return out;
}

// The comparison works in levels, the first difference deciding:
//   1. alphabetical weights, byte by byte; a text that is a prefix of the other comes first;
//   2. accents: е before ё at the first position where only that differs;
//   3. case (only when case-sensitive): lower case before upper case at the first position
//      where only the case differs;
//   4. the bytes themselves (unsigned), of the upper-cased texts when case-insensitive, so
//      that only identical texts (or texts equal apart from case) compare equal.
int ansiCompare(std::string_view a, std::string_view b, bool caseInsensitive) {
    const Collation& t = collation();
    const size_t common = std::min(a.size(), b.size());
    auto at = [](std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); };
    for (size_t i = 0; i < common; ++i) {
        int d = int(t.primary[at(a, i)]) - int(t.primary[at(b, i)]);
        if (d != 0) return sign(d);
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < common; ++i) {
        int d = int(t.accent[at(a, i)]) - int(t.accent[at(b, i)]);
        if (d != 0) return sign(d);
    }
    if (!caseInsensitive) {
        for (size_t i = 0; i < common; ++i) {
            int d = int(t.isUpper[at(a, i)]) - int(t.isUpper[at(b, i)]);
            if (d != 0) return sign(d);
        }
    }
    for (size_t i = 0; i < common; ++i) {
        uint8_t ca = at(a, i), cb = at(b, i);
        if (caseInsensitive) {
            ca = t.upper[ca];
            cb = t.upper[cb];
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

bool isValidCivilDate(const CivilDate& date) {
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12) return false;
    int days = kDaysInMonth[date.month - 1];
    bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    if (date.month == 2 && leap) days = 29;
    return date.day >= 1 && date.day <= days;
}

std::string formatShortDate(const CivilDate& date) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%c%02d%c%04d", date.day, kDateSeparator, date.month,
                  kDateSeparator, date.year);
    return buffer;
}

std::optional<CivilDate> parseShortDate(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    int parts[3] = {0, 0, 0};
    int digitCounts[3] = {0, 0, 0};
    int part = 0;
    for (char ch : text) {
        if (ch == kDateSeparator) {
            if (++part > 2) return std::nullopt;
        } else if (ch >= '0' && ch <= '9') {
            if (++digitCounts[part] > 4) return std::nullopt;
            parts[part] = parts[part] * 10 + (ch - '0');
        } else {
            return std::nullopt;
        }
    }
    if (part != 2 || digitCounts[0] == 0 || digitCounts[1] == 0 || digitCounts[2] == 0) {
        return std::nullopt;
    }
    CivilDate date{parts[2], parts[1], parts[0]};
    if (digitCounts[2] <= 2) date.year += date.year < 50 ? 2000 : 1900;
    if (!isValidCivilDate(date)) return std::nullopt;
    return date;
}

std::optional<double> parseLocaleNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    // Rewritten into the C form ('.' separator, no '+') for std::from_chars.
    std::string plain;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') plain += '-';
        ++i;
    }
    int mantissaDigits = 0;
    bool separatorSeen = false;
    for (; i < text.size(); ++i) {
        char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            plain += ch;
            ++mantissaDigits;
        } else if (ch == kDecimalSeparator && !separatorSeen) {
            plain += '.';
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
        int exponentDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++exponentDigits) {
            plain += text[i];
        }
        if (exponentDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0.0;
    auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace abonex
