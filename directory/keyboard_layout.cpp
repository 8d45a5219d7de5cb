#include "directory/keyboard_layout.h"

#include <array>
#include <cstdint>

#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

// The keys that differ between the layouts, as (QWERTY, ЙЦУКЕН) character pairs in key order:
// the three letter rows and the key left of "1", unshifted and shifted, then the shifted digits.
constexpr std::string_view kQwertyKeys =
    "qwertyuiop[]asdfghjkl;'zxcvbnm,./`"
    "QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>?~"
    "@#$^&";
constexpr std::string_view kRussianKeys =
    "йцукенгшщзхъфывапролджэячсмитьбю.ё"
    "ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,Ё"
    "\"№;:?";

using ByteMap = std::array<char, 256>;

ByteMap identity() {
    ByteMap map{};
    for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<char>(i);
    return map;
}

uint8_t byte(char c) {
    return static_cast<uint8_t>(c);
}

struct LayoutMaps {
    ByteMap toRussian = identity();
    ByteMap toQwerty = identity();

    LayoutMaps() {
        const std::string russian = *utf8ToAnsi(kRussianKeys);
        for (size_t i = 0; i < kQwertyKeys.size(); ++i) {
            toRussian[byte(kQwertyKeys[i])] = russian[i];
            // Back only from letters: the signs a Russian text holds were typed as such.
            if (isAnsiLetter(byte(russian[i]))) toQwerty[byte(russian[i])] = kQwertyKeys[i];
        }
    }
};

const LayoutMaps& maps() {
    static const LayoutMaps layoutMaps;
    return layoutMaps;
}

bool letterAt(std::string_view text, size_t at) {
    return at < text.size() && isAnsiLetter(byte(text[at]));
}

}  // namespace

std::string qwertyToRussian(std::string_view ansi) {
    const ByteMap& map = maps().toRussian;
    std::string meant(ansi);
    for (size_t i = 0; i < ansi.size(); ++i) {
        const bool afterInitial =
            i > 0 && letterAt(ansi, i - 1) && (i < 2 || !letterAt(ansi, i - 2));
        if (ansi[i] == '.' && afterInitial) continue;
        meant[i] = map[byte(ansi[i])];
    }
    return meant;
}

std::string russianToQwerty(std::string_view ansi) {
    const ByteMap& map = maps().toQwerty;
    std::string meant(ansi);
    for (char& c : meant) c = map[byte(c)];
    return meant;
}

}  // namespace abonex
