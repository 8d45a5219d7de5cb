#include "engine/dbf/near_form.h"

#include <algorithm>
#include <iterator>

namespace abonex {

namespace {

struct NearForm {
    char32_t character;
    std::string_view form;
};

// The nearest forms, in code point order. Quotes of every kind become the ASCII quote of their
// weight, dashes and minus signs the hyphen, the ellipsis three dots; the Latin letters with
// diacritics their base letters; the Ukrainian letters 866 lacks their look-alikes; box drawing
// its ASCII outline, as the DOS pages' own conversions draw it.
constexpr NearForm kNearForms[] = {
    {0x00A6, "|"},    {0x00A9, "(C)"}, {0x00AB, "\""}, {0x00AD, ""},    {0x00AE, "(R)"},
    {0x00B1, "+-"},   {0x00B4, "'"},   {0x00B7, "."},  {0x00BB, "\""},  {0x00C0, "A"},
    {0x00C1, "A"},    {0x00C2, "A"},   {0x00C3, "A"},  {0x00C4, "A"},   {0x00C5, "A"},
    {0x00C6, "AE"},   {0x00C7, "C"},   {0x00C8, "E"},  {0x00C9, "E"},   {0x00CA, "E"},
    {0x00CB, "E"},    {0x00CC, "I"},   {0x00CD, "I"},  {0x00CE, "I"},   {0x00CF, "I"},
    {0x00D0, "D"},    {0x00D1, "N"},   {0x00D2, "O"},  {0x00D3, "O"},   {0x00D4, "O"},
    {0x00D5, "O"},    {0x00D6, "O"},   {0x00D7, "x"},  {0x00D8, "O"},   {0x00D9, "U"},
    {0x00DA, "U"},    {0x00DB, "U"},   {0x00DC, "U"},  {0x00DD, "Y"},   {0x00DE, "Th"},
    {0x00DF, "ss"},   {0x00E0, "a"},   {0x00E1, "a"},  {0x00E2, "a"},   {0x00E3, "a"},
    {0x00E4, "a"},    {0x00E5, "a"},   {0x00E6, "ae"}, {0x00E7, "c"},   {0x00E8, "e"},
    {0x00E9, "e"},    {0x00EA, "e"},   {0x00EB, "e"},  {0x00EC, "i"},   {0x00ED, "i"},
    {0x00EE, "i"},    {0x00EF, "i"},   {0x00F0, "d"},  {0x00F1, "n"},   {0x00F2, "o"},
    {0x00F3, "o"},    {0x00F4, "o"},   {0x00F5, "o"},  {0x00F6, "o"},   {0x00F8, "o"},
    {0x00F9, "u"},    {0x00FA, "u"},   {0x00FB, "u"},  {0x00FC, "u"},   {0x00FD, "y"},
    {0x00FE, "th"},   {0x00FF, "y"},   {0x02B9, "'"},  {0x02BC, "'"},   {0x0406, "I"},
    {0x0408, "J"},    {0x0456, "i"},   {0x0458, "j"},  {0x0490, "Г"},   {0x0491, "г"},
    {0x200B, ""},     {0x200C, ""},    {0x200D, ""},   {0x2010, "-"},   {0x2011, "-"},
    {0x2012, "-"},    {0x2013, "-"},   {0x2014, "-"},  {0x2015, "-"},   {0x2018, "'"},
    {0x2019, "'"},    {0x201A, "'"},   {0x201B, "'"},  {0x201C, "\""},  {0x201D, "\""},
    {0x201E, "\""},   {0x201F, "\""},  {0x2022, "*"},  {0x2024, "."},   {0x2025, ".."},
    {0x2026, "..."},  {0x2032, "'"},   {0x2033, "\""}, {0x2039, "'"},   {0x203A, "'"},
    {0x2043, "-"},    {0x2044, "/"},   {0x2060, ""},   {0x20AC, "EUR"}, {0x2116, "N"},
    {0x2122, "(TM)"}, {0x2212, "-"},   {0x2500, "-"},  {0x2502, "|"},   {0x2550, "="},
    {0x2551, "|"},    {0xFEFF, ""},
};

// Corners and junctions of box drawing (U+250C to U+256C, the lines themselves listed above)
// are drawn as '+'.
constexpr char32_t kBoxFirst = 0x250C;
constexpr char32_t kBoxLast = 0x256C;

// True when the UTF-8 `text` may hold one of the other spaces: their sequences begin with the
// bytes C2 A0, E2 80, E2 81 and E3 80, which Cyrillic text (D0, D1) does not hold at all.
bool mayHoldOtherSpace(std::string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const auto next = static_cast<uint8_t>(text[i + 1]);
        if ((lead == 0xC2 && next == 0xA0) || (lead == 0xE2 && (next == 0x80 || next == 0x81)) ||
            (lead == 0xE3 && next == 0x80)) {
            return true;
        }
    }
    return false;
}

// The form in `page`, when the page holds every character of it.
std::optional<std::string> formInPage(CodePage page, std::string_view form) {
    std::string out;
    for (size_t pos = 0; pos < form.size();) {
        char32_t c = 0;
        if (!nextUtf8Character(form, pos, c)) return std::nullopt;
        const std::optional<uint8_t> byte = pageByteOf(page, c);
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

}  // namespace

std::optional<std::string_view> nearFormOf(char32_t c) {
    static_assert(std::is_sorted(
        std::begin(kNearForms), std::end(kNearForms),
        [](const NearForm& a, const NearForm& b) { return a.character < b.character; }));
    const auto found = std::lower_bound(
        std::begin(kNearForms), std::end(kNearForms), c,
        [](const NearForm& entry, char32_t wanted) { return entry.character < wanted; });
    if (found != std::end(kNearForms) && found->character == c) return found->form;
    if (c >= kBoxFirst && c <= kBoxLast) return "+";
    if (isOtherSpace(c)) return " ";
    return std::nullopt;
}

bool isOtherSpace(char32_t c) {
    return c == 0x00A0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

void NearFormTally::add(const NearFormTally& other) {
    for (const auto& [character, count] : other.m_counts) m_counts[character] += count;
}

size_t NearFormTally::total() const {
    size_t sum = 0;
    for (const auto& entry : m_counts) sum += entry.second;
    return sum;
}

size_t NearFormTally::count(char32_t c) const {
    const auto found = m_counts.find(c);
    return found == m_counts.end() ? 0 : found->second;
}

std::string NearFormTally::describe(CodePage page) const {
    const size_t all = total();
    std::string text = std::to_string(all) + (all == 1 ? " character" : " characters") +
                       " written in the nearest form code page " +
                       std::string(codePageName(page)).substr(2) + " holds:";
    bool first = true;
    for (const auto& [character, count] : m_counts) {
        text += first ? " " : ", ";
        first = false;
        const std::string_view form = nearFormOf(character).value_or("");
        text += std::to_string(count) + " × " + describeCharacter(character) + " as \"" +
                std::string(form) + "\"";
    }
    return text;
}

std::optional<std::string> utf8ToPageNear(CodePage page, std::string_view utf8, Utf8Fault* fault,
                                          NearFormTally* tally) {
    // Most text the page holds whole: the exact conversion, when no other space needs a blank.
    if (!mayHoldOtherSpace(utf8)) {
        if (std::optional<std::string> exact = utf8ToPage(page, utf8)) return exact;
    }
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const size_t start = pos;
        char32_t c = 0;
        if (!nextUtf8Character(utf8, pos, c, fault)) return std::nullopt;
        if (!isOtherSpace(c)) {
            if (const std::optional<uint8_t> byte = pageByteOf(page, c)) {
                out += static_cast<char>(*byte);
                continue;
            }
        }
        const std::optional<std::string_view> form = nearFormOf(c);
        std::optional<std::string> stored;
        if (form) stored = formInPage(page, *form);
        if (!stored) {
            if (fault != nullptr) *fault = {start, pos - start, false, c};
            return std::nullopt;
        }
        out += *stored;
        if (tally != nullptr) tally->note(c);
    }
    return out;
}

}  // namespace abonex
