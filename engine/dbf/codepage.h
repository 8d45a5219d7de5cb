// Code pages: the directory's tables hold text in the DOS page 866 (OEM); the engine's ANSI side
// is the Windows page 1251; windows and tools speak UTF-8. A table made by other software may
// hold its text in another single-byte page, which its language driver byte (header byte 29)
// names: CodePage and the functions after it read and write such text.
//
// OEM <-> ANSI translation is byte for byte with fixed tables (the text keeps its length).
// Characters with no equal in the other page get a best-fit look-alike (box drawing becomes
// '+', '-', '|'; typographic quotes and dashes their ASCII forms), as a Russian system's
// conversion does. 1251 <-> Unicode follows the page's standard mapping.
#pragma once

#include <array>
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
// The same, appended to `out`.
void appendAnsiAsUtf8(std::string& out, std::string_view ansi);

// The UTF-8 of every byte of a single-byte text that reads as 1251 through a byte table (the
// data sets' translation of a table's page into ANSI, or none), made once: a long text goes
// into UTF-8 with one lookup a byte. append(out, t) appends ansiToUtf8 of t translated.
class Utf8Table {
  public:
    explicit Utf8Table(const std::array<uint8_t, 256>& toAnsi);
    void append(std::string& out, std::string_view text) const;

  private:
    // Each byte's sequence (at most three bytes, padded) and its length.
    std::array<std::array<char, 4>, 256> m_bytes{};
    std::array<uint8_t, 256> m_length{};
};
// UTF-8 -> 1251; std::nullopt when the text is not valid UTF-8 or holds a character the page
// cannot hold.
std::optional<std::string> utf8ToAnsi(std::string_view utf8);
// 866 <-> UTF-8 through the page's own characters (no best fit): exact round trips.
std::string oemToUtf8(std::string_view oem);
std::optional<std::string> utf8ToOem(std::string_view utf8);

// Unicode code point of a 1251 or 866 byte.
char32_t ansiToUnicode(uint8_t c);
char32_t oemToUnicode(uint8_t c);

// The single-byte code pages a table's text may be held in.
enum class CodePage : uint8_t { Cp866, Cp1251, Cp437, Cp850, Cp1252 };

// The page a language driver byte names for certain: 0x26 and 0x65 code page 866, 0xC9 and
// 0x57 (the system's ANSI page, on a Russian system) 1251, 0x03, 0x58 and 0x59 the Western
// Windows page 1252. Nothing for 0x00 and for the bytes of the DOS pages 437 and 850, which
// DOS programs wrote whatever page their text was in (tables of Russian text marked 437 are
// common): such a table is read in the page its reader is told, 866 for the directory.
std::optional<CodePage> codePageOfLanguageDriver(uint8_t driver);
// The page a table's text is taken as: `forced` when given, else the one its language driver
// byte names, else `fallback` (the directory's 866).
inline CodePage tableTextPage(uint8_t driver, std::optional<CodePage> forced = std::nullopt,
                              CodePage fallback = CodePage::Cp866) {
    return forced.value_or(codePageOfLanguageDriver(driver).value_or(fallback));
}
// The page's name as the tool's options spell it: "cp866", "cp1251", ...
std::string_view codePageName(CodePage page);
// The page a name on the command line means: "cp866", "866", "ibm866", "cp1251", "1251",
// "windows-1251", ... (letter case ignored); nothing for a name of no page here.
std::optional<CodePage> codePageNamed(std::string_view name);
// How the key expressions case the page's letters: 866 by its own table, every other page by
// the ANSI rules.
TextCodePage casingOf(CodePage page);

// What stopped a conversion from UTF-8: the byte offset and length of the first sequence that
// is not UTF-8, or of the first character the page cannot hold.
struct Utf8Fault {
    size_t offset = 0;
    size_t length = 0;
    bool notUtf8 = false;    // the bytes are no UTF-8 sequence
    char32_t character = 0;  // otherwise: the character
};

// True when `text` is UTF-8 throughout; `fault` tells where it is not.
bool isUtf8(std::string_view text, Utf8Fault* fault = nullptr);
// Decodes the UTF-8 character at `pos` into `c` and moves `pos` past it; false, `pos` left as
// it was and `fault` filled in when given, at a sequence that is not UTF-8.
bool nextUtf8Character(std::string_view text, size_t& pos, char32_t& c, Utf8Fault* fault = nullptr);
// The byte that stands for `c` in `page`; nothing when the page does not hold it.
std::optional<uint8_t> pageByteOf(CodePage page, char32_t c);

char32_t pageToUnicode(CodePage page, uint8_t c);
std::string pageToUtf8(CodePage page, std::string_view text);
// UTF-8 -> the page, every character exactly (no look-alikes); nothing, and `fault` filled in
// when given, for text that is not UTF-8 or holds a character the page cannot hold.
std::optional<std::string> utf8ToPage(CodePage page, std::string_view utf8,
                                      Utf8Fault* fault = nullptr);
// The page <-> 1251, byte for byte with look-alikes, as oemToAnsi and ansiToOem do for 866
// (identity for 1251). The data sets translate text with these.
std::string pageToAnsi(CodePage page, std::string_view text);
// The byte table pageToAnsi translates with (for text without NUL bytes: pageToAnsi(page, t)[i]
// is table[t[i]]), for readers that translate straight into a buffer of their own.
const std::array<uint8_t, 256>& pageToAnsiTable(CodePage page);
std::string ansiToPage(CodePage page, std::string_view ansi);

// A byte table made ready for long texts: the rows of the table (the sixteen bytes of one high
// nibble) that it shifts by one constant are translated sixteen bytes at a time; a run of
// sixteen that holds a byte of another row goes byte by byte. Between 866 and 1251 the
// Russian letters and the ASCII bytes are all in shifted rows.
class ByteTranslation {
  public:
    explicit ByteTranslation(const std::array<uint8_t, 256>& table);
    // Writes table[in[i]] to out[i] for each of the `count` bytes (NUL bytes too).
    void apply(const uint8_t* in, size_t count, char* out) const;
    const std::array<uint8_t, 256>& table() const { return *m_table; }

  private:
    // Sixteen copies of one byte: a whole register's worth.
    struct alignas(16) Lanes {
        std::array<uint8_t, 16> bytes{};
    };
    const std::array<uint8_t, 256>* m_table;
    // The high nibbles (as bytes 0xN0) of the rows shifted by a constant other than 0, with
    // their constants, and of the rows not shifted by one constant.
    std::array<Lanes, 16> m_shiftedRow{}, m_shift{}, m_otherRow{};
    int m_shiftedRows = 0;
    int m_otherRows = 0;
};

// A character for a message: the character itself and its code point, '"«" (U+00AB)', or for
// a control character, a space other than the blank or an invisible one its code point and
// name, 'U+0009 (tab)', 'U+00A0 (no-break space)'.
std::string describeCharacter(char32_t c);
// Bytes for a message: "0xCF 0xE5".
std::string describeBytes(std::string_view bytes);
// What stopped the conversion of `utf8` to `page`, for a message: 'holds "«" (U+00AB), which
// code page 866 cannot hold' or 'holds the byte 0xC8, which is not UTF-8'.
std::string describeFault(std::string_view utf8, const Utf8Fault& fault, CodePage page);

}  // namespace abonex
