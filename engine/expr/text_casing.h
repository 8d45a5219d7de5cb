// Case and alphabetical order of a table's text in the code page it is held in.
//
// The key expressions work on a record's bytes as stored. A table of this program holds its
// text in code page 866, where the Cyrillic letters lie at other bytes than in the ANSI page
// 1251 whose rules ansi_locale.h gives; applying the 1251 rules to 866 bytes turns letters into
// box-drawing characters and back. These functions apply the rules of the page the text is in:
// for 866 they are the 1251 rules carried over letter by letter (Ё and ё included), and bytes
// that are no letter of 866 (box drawing, symbols) never change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dbf/codepage.h"

namespace abonex {

uint8_t upperInPage(uint8_t c, TextCodePage page);
uint8_t lowerInPage(uint8_t c, TextCodePage page);
std::string upperInPage(std::string_view text, TextCodePage page);
std::string lowerInPage(std::string_view text, TextCodePage page);

// The alphabetical order of two texts of `page`, as ansiCompare gives it for 1251 texts:
// negative, zero or positive; zero only for identical bytes (case-sensitive) or for texts equal
// after upperInPage (case-insensitive).
int compareInPage(std::string_view a, std::string_view b, bool caseInsensitive, TextCodePage page);

}  // namespace abonex
