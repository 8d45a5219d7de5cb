#include "engine/dbf/codepage.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace abonex
