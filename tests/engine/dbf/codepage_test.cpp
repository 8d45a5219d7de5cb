#include "engine/dbf/codepage.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace abonex {
namespace {

TEST(CodePage, RussianLettersTranslateBothWaysForEveryLetter) {
    // Every letter of 1251 that 866 has comes back unchanged after a round trip.
    for (int c = 0xC0; c <= 0xFF; ++c) {
        uint8_t ansi = static_cast<uint8_t>(c);
        EXPECT_EQ(oemToAnsiByte(ansiToOemByte(ansi)), ansi) << c;
    }
    EXPECT_EQ(ansiToOemByte(0xA8), 0xF0);  // Ё
    EXPECT_EQ(ansiToOemByte(0xB8), 0xF1);  // ё
    EXPECT_EQ(ansiToOemByte(0xB9), 0xFC);  // №
    EXPECT_EQ(oemToAnsiByte(0x80), 0xC0);  // А
    EXPECT_EQ(oemToAnsiByte(0xEF), 0xFF);  // я
    EXPECT_EQ(oemToAnsi("abc 123"), "abc 123");
}

TEST(CodePage, CharactersWithoutEqualGetLookAlikes) {
    EXPECT_EQ(oemToAnsiByte(0xC4), '-');  // ─
    EXPECT_EQ(oemToAnsiByte(0xB3), '|');  // │
    EXPECT_EQ(oemToAnsiByte(0xDA), '+');  // ┌
    EXPECT_EQ(ansiToOemByte(0x96), '-');  // en dash
    EXPECT_EQ(ansiToOemByte(0xAB), '<');  // «
    EXPECT_EQ(ansiToOemByte(0xB2), 'I');  // І
}

TEST(CodePage, TranslationStopsAtNulAndKeepsLength) {
    std::string text("\x80\x00\x80", 3);
    std::string out = oemToAnsi(text);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(static_cast<uint8_t>(out[0]), 0xC0);
    EXPECT_EQ(static_cast<uint8_t>(out[2]), 0x80);  // after the NUL: untouched
}

TEST(CodePage, UnicodeConversions) {
    std::string ansi = *utf8ToAnsi("Жёлтый №5");
    EXPECT_EQ(ansiToUtf8(ansi), "Жёлтый №5");
    EXPECT_EQ(oemToUtf8(ansiToOem(ansi)), "Жёлтый №5");
    EXPECT_EQ(*utf8ToOem("Ёё"), "\xF0\xF1");
    EXPECT_FALSE(utf8ToAnsi("日本").has_value());
    EXPECT_FALSE(utf8ToAnsi("\xD0").has_value());      // cut sequence
    EXPECT_FALSE(utf8ToAnsi("\xC0\xAF").has_value());  // overlong
    EXPECT_FALSE(utf8ToOem("–").has_value());          // 866 has no dash
    EXPECT_EQ(ansiToUtf8("\x98"), "\xC2\x98");
}

TEST(CodePage, LanguageBytesNameTheirPagesAndDosBytesNameNone) {
    EXPECT_EQ(codePageOfLanguageDriver(0x26), CodePage::Cp866);
    EXPECT_EQ(codePageOfLanguageDriver(0x65), CodePage::Cp866);
    EXPECT_EQ(codePageOfLanguageDriver(0xC9), CodePage::Cp1251);
    EXPECT_EQ(codePageOfLanguageDriver(0x57), CodePage::Cp1251);
    EXPECT_EQ(codePageOfLanguageDriver(0x03), CodePage::Cp1252);
    // Russian text behind the bytes of DOS's US and Western pages is common: they name none.
    for (int dos : {0x00, 0x01, 0x02, 0x1B, 0x64}) {
        EXPECT_EQ(codePageOfLanguageDriver(static_cast<uint8_t>(dos)), std::nullopt) << dos;
        EXPECT_EQ(tableTextPage(static_cast<uint8_t>(dos)), CodePage::Cp866) << dos;
    }
    EXPECT_EQ(tableTextPage(0xC9, CodePage::Cp866), CodePage::Cp866);
    EXPECT_EQ(tableTextPage(0x00, std::nullopt, CodePage::Cp1251), CodePage::Cp1251);
    EXPECT_EQ(codePageNamed("Windows-1251"), CodePage::Cp1251);
    EXPECT_EQ(codePageNamed("IBM866"), CodePage::Cp866);
    EXPECT_EQ(codePageNamed("koi8-r"), std::nullopt);
    EXPECT_EQ(codePageNamed(""), std::nullopt);
}

TEST(CodePage, EveryPageRoundTripsEveryByteThroughUtf8) {
    for (CodePage page :
         {CodePage::Cp866, CodePage::Cp1251, CodePage::Cp437, CodePage::Cp850, CodePage::Cp1252}) {
        std::string all;
        for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
        EXPECT_EQ(utf8ToPage(page, pageToUtf8(page, all)), all) << codePageName(page);
    }
    EXPECT_EQ(pageToUtf8(CodePage::Cp850, "\x9D"), "Ø");
    EXPECT_EQ(pageToUtf8(CodePage::Cp1252, "\x80"), "€");
    // The page <-> 1251 tables: 866's own, 1251's identity, the others through Unicode.
    EXPECT_EQ(pageToAnsi(CodePage::Cp866, "\x80\xC4"), oemToAnsi("\x80\xC4"));
    EXPECT_EQ(ansiToPage(CodePage::Cp1251, "\xC0\x98"), "\xC0\x98");
    EXPECT_EQ(pageToAnsi(CodePage::Cp1252, "\x80\xE9"), "\x88?");  // € is in both, é is not
    EXPECT_EQ(ansiToPage(CodePage::Cp1252, "\x88\xC0"), "\x80?");
}

TEST(CodePage, FaultsTellTheFirstBadSequenceOrCharacter) {
    Utf8Fault fault;
    EXPECT_FALSE(utf8ToPage(CodePage::Cp866, "ab\xC8\xE2", &fault));  // 1251's "Ив"
    EXPECT_TRUE(fault.notUtf8);
    EXPECT_EQ(fault.offset, 2u);
    EXPECT_EQ(fault.length, 1u);
    EXPECT_EQ(describeFault("ab\xC8\xE2", fault, CodePage::Cp866),
              "holds the byte 0xC8, which is not UTF-8");
    // A lead byte with part of its sequence: the bytes it had.
    EXPECT_FALSE(isUtf8("x\xE2\x80", &fault));
    EXPECT_EQ(fault.length, 2u);
    EXPECT_EQ(describeFault("x\xE2\x80", fault, CodePage::Cp866),
              "holds the bytes 0xE2 0x80, which are not UTF-8");
    // A stray continuation byte stands alone, however many follow.
    EXPECT_FALSE(isUtf8("\x88\xA2\xA0", &fault));
    EXPECT_EQ(fault.length, 1u);
    EXPECT_FALSE(utf8ToPage(CodePage::Cp866, "да «нет»", &fault));
    EXPECT_FALSE(fault.notUtf8);
    EXPECT_EQ(fault.offset, 5u);
    EXPECT_EQ(describeFault("да «нет»", fault, CodePage::Cp866),
              "holds \"«\" (U+00AB), which code page 866 cannot hold");
    EXPECT_EQ(describeCharacter(0x0D), "U+000D (carriage return)");
    EXPECT_EQ(describeCharacter(0x85), "U+0085 (a control character)");
    EXPECT_TRUE(isUtf8("Ёлка €"));
}

TEST(CodePage, AWhole1251TextAppendsAsUtf8AfterWhatIsThere) {
    std::string out = "x";
    appendAnsiAsUtf8(out,
                     "A\xC6\xB8\xEB\xF2\xFB\xE9 \xB9"
                     "5\x98");
    EXPECT_EQ(out, "xAЖёлтый №5\xC2\x98");
    // Every byte at once gives what each gives alone, in order.
    std::string everyByte, oneByOne;
    for (int b = 0; b < 256; ++b) {
        everyByte += static_cast<char>(b);
        oneByOne += ansiToUtf8(std::string(1, static_cast<char>(b)));
    }
    EXPECT_EQ(ansiToUtf8(everyByte + everyByte), oneByOne + oneByOne);
}

TEST(CodePage, AUtf8TableOfAPageGivesTheUtf8OfTheTextTranslatedInto1251) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
    for (const CodePage page :
         {CodePage::Cp866, CodePage::Cp1251, CodePage::Cp437, CodePage::Cp850, CodePage::Cp1252}) {
        SCOPED_TRACE(std::string(codePageName(page)));
        std::string out = "x";
        Utf8Table(pageToAnsiTable(page)).append(out, everyByte + everyByte);
        const std::string once = ansiToUtf8(pageToAnsi(page, everyByte));
        EXPECT_EQ(out, "x" + once + once);
    }
    // 866 box drawing reads as its look-alike, not as itself.
    std::string box;
    Utf8Table(pageToAnsiTable(CodePage::Cp866)).append(box, *utf8ToOem("╔═╗ Ёж"));
    EXPECT_EQ(box, "+=+ Ёж");
}

TEST(CodePage, EveryByteOfBothPagesComesBackFromItsCharacter) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(utf8ToOem(oemToUtf8(byte)), byte) << "866 byte " << b;
        EXPECT_EQ(utf8ToAnsi(ansiToUtf8(byte)), byte) << "1251 byte " << b;
    }
    // Characters neither page holds, inside and beyond the Cyrillic block.
    for (const char* text : {"\xD3\xBF", "\xC3\xBF", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        EXPECT_FALSE(utf8ToOem(text).has_value()) << text;
    }
    EXPECT_FALSE(utf8ToAnsi("\xD3\xBF").has_value());
    // A whole text of ASCII, Cyrillic and box drawing.
    EXPECT_EQ(utf8ToOem("A-\xD0\xAF\xD1\x91\xE2\x95\x90"), "A-\x9F\xF1\xCD");
}

TEST(CodePage, ByteTranslationGivesEveryByteItsEntryInEveryPlace) {
    // The tables the data sets use, and tables made to have shifted rows, identity rows and
    // rows of no single shift side by side (a shift that wraps past 0xFF among them).
    std::vector<std::array<uint8_t, 256>> tables;
    for (const CodePage page :
         {CodePage::Cp866, CodePage::Cp1251, CodePage::Cp437, CodePage::Cp850, CodePage::Cp1252}) {
        tables.push_back(pageToAnsiTable(page));
    }
    std::array<uint8_t, 256> mixed{};
    for (int b = 0; b < 256; ++b) {
        const int row = b / 16;
        mixed[static_cast<size_t>(b)] = static_cast<uint8_t>(row % 3 == 0   ? b
                                                             : row % 3 == 1 ? b + 0x70
                                                                            : (b * 7) ^ 0x5A);
    }
    tables.push_back(mixed);
    std::mt19937 random(866);
    for (const auto& table : tables) {
        const ByteTranslation translation(table);
        // Every byte value at every place of a run of sixteen and in the bytes after the last
        // whole run, among bytes of the Russian rows or of any row.
        for (const bool anyRow : {false, true}) {
            for (size_t length = 0; length <= 70; ++length) {
                for (int value = 0; value < 256; ++value) {
                    std::vector<uint8_t> in(length);
                    for (uint8_t& b : in) {
                        b = static_cast<uint8_t>(anyRow ? random() % 256 : 0x80 + random() % 48);
                    }
                    if (length > 0)
                        in[static_cast<size_t>(value) % length] = static_cast<uint8_t>(value);
                    std::string out(length + 1, '#');
                    translation.apply(in.data(), length, out.data());
                    for (size_t i = 0; i < length; ++i) {
                        ASSERT_EQ(static_cast<uint8_t>(out[i]), table[in[i]])
                            << "byte " << int{in[i]} << " at " << i << " of " << length;
                    }
                    ASSERT_EQ(out[length], '#') << "written past the end";
                }
            }
        }
    }
}

}  // namespace
}  // namespace abonex
