// Code pages: the tables hold text in the DOS page 866 (OEM); the engine's ANSI side is the
// Windows page 1251; windows and tools speak UTF-8.
//
// OEM <-> ANSI translation is byte for byte with fixed tables (the text keeps its length).
// Characters with no equal in the other page get a best-fit look-alike (box drawing becomes
// '+', '-', '|'; typographic quotes and dashes their ASCII forms), as a Russian system's
// conversion does. 1251 <-> Unicode follows the page's standard mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace abonex {

// The code page a table's text is held in: the DOS page 866 of this program's tables, or the
// ANSI page 1251. It decides which bytes are letters, and their case, for the key expressions.
enum class TextCodePage { Ansi1251, Oem866 };

// The language driver byte (table header byte 29) the engine writes for code page 866.
inline constexpr uint8_t kLanguageDriverOem866 = 0x26;
// True for the language driver bytes that name code page 866.
bool languageDriverIsOem866(uint8_t driver);

// 866 -> 1251, byte for byte (the text is treated as NUL-terminated: a NUL and what follows are
// kept unchanged).
std::string oemToAnsi(std::string_view oem);
// 1251 -> 866, byte for byte.
std::string ansiToOem(std::string_view ansi);
uint8_t oemToAnsiByte(uint8_t c);
uint8_t ansiToOemByte(uint8_t c);

// 1251 -> UTF-8 (every byte has a character; 0x98 maps to U+0098).
std::string ansiToUtf8(std::string_view ansi);
// UTF-8 -> 1251; std::nullopt when the text is not valid UTF-8 or holds a character the page
// cannot hold.
std::optional<std::string> utf8ToAnsi(std::string_view utf8);
// 866 <-> UTF-8 through the page's own characters (no best fit): exact round trips.
std::string oemToUtf8(std::string_view oem);
std::optional<std::string> utf8ToOem(std::string_view utf8);

// Unicode code point of a 1251 or 866 byte.
char32_t ansiToUnicode(uint8_t c);
char32_t oemToUnicode(uint8_t c);

}  // namespace abonex
