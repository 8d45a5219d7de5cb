#include "directory/transliteration.h"

#include <algorithm>
#include <cstdint>

#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

// One way of writing: the choices where the common forms and GOST 7.79 part.
struct Scheme {
    bool softSign = true;      // "ya", "ye", "yo", "yu", "yi" after a consonant: ья, ье, ...
    bool xIsKh = false;        // "x" is х (GOST 7.79) instead of кс
    bool cIsK = false;         // "c" is к, except before "e", "i", "y" (English habits)
    bool initialEIsE = false;  // "e" at the start of a word is э
};

// Likeliest first. The plain forms come second: "Belyaev" is Беляев, though "Solovyev" is
// Соловьев; then GOST's "x", then the English "c" and the initial э.
constexpr Scheme kSchemes[] = {
    {true, false, false, false}, {false, false, false, false}, {false, true, false, false},
    {true, false, true, false},  {true, false, false, true},
};

// Letter groups read as one Russian letter, longest first (lower case, UTF-8).
struct Group {
    std::string_view latin;
    std::string_view russian;
};
constexpr Group kGroups[] = {
    {"shch", "щ"}, {"sch", "щ"}, {"shh", "щ"}, {"zh", "ж"}, {"kh", "х"},
    {"ch", "ч"},   {"sh", "ш"},  {"ts", "ц"},  {"cz", "ц"}, {"``", "ъ"},
    {"''", "ъ"},   {"y`", "ы"},  {"e`", "э"},  {"`", "ь"},  {"'", "ь"},
};
// After "y" or "j": the iotated vowels.
constexpr Group kIotated[] = {{"o", "ё"}, {"u", "ю"}, {"a", "я"}, {"e", "е"}};
// Single letters whose reading does not depend on the scheme or the neighbours.
constexpr std::string_view kPlainLatin = "abdfghjklmnopqrstuvwz";
constexpr std::string_view kPlainRussian = "абдфгхйклмнопкрстуввз";

bool isLatin(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isLatinVowel(char c) {
    return std::string_view("aeiouy").find(lower(c)) != std::string_view::npos;
}

bool isLatinConsonant(char c) {
    return isLatin(static_cast<uint8_t>(c)) && !isLatinVowel(c);
}

bool isLetter(char c) {
    return isAnsiLetter(static_cast<uint8_t>(c));
}

std::string ansi(std::string_view utf8) {
    return utf8ToAnsi(utf8).value_or(std::string());
}

// The Russian letter (ANSI) of the plain single Latin letter `c` (lower case).
std::string_view plainLetter(char c) {
    static const std::string russian = ansi(kPlainRussian);
    const size_t at = kPlainLatin.find(c);
    return at == std::string_view::npos ? std::string_view()
                                        : std::string_view(russian).substr(at, 1);
}

std::string readWith(std::string_view text, const Scheme& scheme) {
    std::string out;
    size_t i = 0;
    const auto startsGroup = [&](std::string_view latin) {
        if (i + latin.size() > text.size()) return false;
        for (size_t k = 0; k < latin.size(); ++k) {
            if (lower(text[i + k]) != latin[k]) return false;
        }
        return true;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (!isLatin(static_cast<uint8_t>(c)) && c != '`' && c != '\'') {
            out += c;
            ++i;
            continue;
        }
        const bool upper = c >= 'A' && c <= 'Z';
        const bool wordStart = i == 0 || !isLetter(text[i - 1]);
        const bool afterConsonant = i > 0 && isLatinConsonant(text[i - 1]);
        const bool afterVowel = i > 0 && isLatinVowel(text[i - 1]);
        const bool wordEnd = i + 1 == text.size() || !isLetter(text[i + 1]);
        std::string russian;
        size_t used = 1;
        for (const Group& group : kGroups) {
            if (startsGroup(group.latin)) {
                russian = ansi(group.russian);
                used = group.latin.size();
                break;
            }
        }
        const char l = lower(c);
        if (russian.empty() && (l == 'y' || l == 'j') && i + 1 < text.size()) {
            for (const Group& group : kIotated) {
                if (lower(text[i + 1]) == group.latin[0]) {
                    russian = ansi(group.russian);
                    used = 2;
                }
            }
            if (scheme.softSign && afterConsonant && l == 'y' && lower(text[i + 1]) == 'i') {
                russian = ansi("и");
                used = 2;
            }
            if (!russian.empty() && scheme.softSign && afterConsonant)
                russian = ansi("ь") + russian;
        }
        if (russian.empty()) {
            if (l == 'y') {
                russian = ansi(afterVowel ? "й" : "ы");
            } else if (l == 'i') {
                // "Andrei", "Nikolai": after a vowel at the end of a word, й.
                russian = ansi(afterVowel && wordEnd ? "й" : "и");
            } else if (l == 'e') {
                russian = ansi(scheme.initialEIsE && wordStart ? "э" : "е");
            } else if (l == 'x') {
                russian = ansi(scheme.xIsKh ? "х" : "кс");
            } else if (l == 'c') {
                const char next = i + 1 < text.size() ? lower(text[i + 1]) : ' ';
                const bool soft = next == 'e' || next == 'i' || next == 'y';
                russian = ansi(scheme.cIsK && !soft ? "к" : "ц");
            } else {
                russian = std::string(plainLetter(l));
            }
        }
        out += upper ? ansiUpper(russian) : russian;
        i += used;
    }
    return out;
}

}  // namespace

bool holdsLatinLetter(std::string_view ansiText) {
    return std::any_of(ansiText.begin(), ansiText.end(),
                       [](char c) { return isLatin(static_cast<uint8_t>(c)); });
}

std::vector<std::string> cyrillicReadings(std::string_view ansiText) {
    std::vector<std::string> readings;
    if (!holdsLatinLetter(ansiText)) return readings;
    for (const Scheme& scheme : kSchemes) {
        std::string reading = readWith(ansiText, scheme);
        if (std::find(readings.begin(), readings.end(), reading) == readings.end()) {
            readings.push_back(std::move(reading));
        }
    }
    return readings;
}

}  // namespace abonex
