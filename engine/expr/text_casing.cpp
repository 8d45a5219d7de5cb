#include "engine/expr/text_casing.h"

#include <array>

#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

// The case pairs of 866, taken from those of 1251 through the two pages' translation: a byte
// has a case partner in 866 exactly when it and its 1251 partner both translate without loss.
struct OemCase {
    std::array<uint8_t, 256> upper{};
    std::array<uint8_t, 256> lower{};

    OemCase() {
        for (int c = 0; c < 256; ++c) {
            const auto oem = static_cast<uint8_t>(c);
            upper[c] = partner(oem, ansiUpper);
            lower[c] = partner(oem, ansiLower);
        }
    }

    static uint8_t partner(uint8_t oem, uint8_t (*change)(uint8_t)) {
        const uint8_t ansi = oemToAnsiByte(oem);
        if (ansiToOemByte(ansi) != oem) return oem;  // no letter of 1251 stands for it
        const uint8_t changed = change(ansi);
        const uint8_t back = ansiToOemByte(changed);
        return oemToAnsiByte(back) == changed ? back : oem;
    }
};

const OemCase& oemCase() {
    static const OemCase table;
    return table;
}

std::string inAnsi(std::string_view oem) {
    std::string out(oem);
    for (char& ch : out) ch = static_cast<char>(oemToAnsiByte(static_cast<uint8_t>(ch)));
    return out;
}

}  // namespace

uint8_t upperInPage(uint8_t c, TextCodePage page) {
    return page == TextCodePage::Oem866 ? oemCase().upper[c] : ansiUpper(c);
}

uint8_t lowerInPage(uint8_t c, TextCodePage page) {
    return page == TextCodePage::Oem866 ? oemCase().lower[c] : ansiLower(c);
}

std::string upperInPage(std::string_view text, TextCodePage page) {
    if (page != TextCodePage::Oem866) return ansiUpper(text);
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(oemCase().upper[static_cast<uint8_t>(ch)]);
    return out;
}

std::string lowerInPage(std::string_view text, TextCodePage page) {
    if (page != TextCodePage::Oem866) return ansiLower(text);
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(oemCase().lower[static_cast<uint8_t>(ch)]);
    return out;
}

int compareInPage(std::string_view a, std::string_view b, bool caseInsensitive, TextCodePage page) {
    if (page != TextCodePage::Oem866) return ansiCompare(a, b, caseInsensitive);
    // The letters are ordered by their 1251 forms. Bytes that translate to one look-alike (the
    // box-drawing characters) would then compare equal: their own bytes decide between them.
    const int order = ansiCompare(inAnsi(a), inAnsi(b), caseInsensitive);
    if (order != 0) return order;
    const std::string left = caseInsensitive ? upperInPage(a, page) : std::string(a);
    const std::string right = caseInsensitive ? upperInPage(b, page) : std::string(b);
    return left.compare(right) < 0 ? -1 : (left == right ? 0 : 1);
}

}  // namespace abonex
