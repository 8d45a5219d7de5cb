#include "engine/dbf/near_form.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/dbf/codepage.h"

namespace abonex {
namespace {

std::string oem(std::string_view utf8) {
    return *utf8ToOem(utf8);
}

TEST(NearForm, TypographicRussianGoesInto866AsItsNearestForms) {
    NearFormTally tally;
    const auto stored = utf8ToPageNear(
        CodePage::Cp866, "ООО «Ромашка» — „Лютик“ ‘x’ ‚y‘ – 1‒2 −3…\u00A0№5\u2009Café\u200B",
        nullptr, &tally);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, oem("ООО \"Ромашка\" - \"Лютик\" 'x' 'y' - 1-2 -3... №5 Cafe"));
    EXPECT_EQ(tally.total(), 17u);
    EXPECT_EQ(tally.count(U'«'), 1u);
    EXPECT_EQ(tally.count(U'\u00A0'), 1u);
    EXPECT_EQ(tally.count(U'№'), 0u);  // 866 holds it
    EXPECT_EQ(tally.describe(CodePage::Cp866),
              "17 characters written in the nearest form code page 866 holds: "
              "1 × U+00A0 (no-break space) as \" \", 1 × \"«\" (U+00AB) as \"\"\", "
              "1 × \"»\" (U+00BB) as \"\"\", 1 × \"é\" (U+00E9) as \"e\", "
              "1 × U+2009 (a space) as \" \", 1 × U+200B (an invisible character) as \"\", "
              "1 × \"‒\" (U+2012) as \"-\", 1 × \"–\" (U+2013) as \"-\", "
              "1 × \"—\" (U+2014) as \"-\", 2 × \"‘\" (U+2018) as \"'\", "
              "1 × \"’\" (U+2019) as \"'\", 1 × \"‚\" (U+201A) as \"'\", "
              "1 × \"“\" (U+201C) as \"\"\", 1 × \"„\" (U+201E) as \"\"\", "
              "1 × \"…\" (U+2026) as \"...\", 1 × \"−\" (U+2212) as \"-\"");
    // Text the page holds whole is stored byte for byte, box drawing included.
    const std::string boxes = "Бюро ╔═╗ №5 ▀▄ ░";
    NearFormTally none;
    EXPECT_EQ(utf8ToPageNear(CodePage::Cp866, boxes, nullptr, &none), oem(boxes));
    EXPECT_TRUE(none.empty());
}

TEST(NearForm, APageThatHoldsACharacterKeepsItButSpacesBecomeBlanks) {
    // 1251 holds guillemets, dashes and the ellipsis: they stay; the no-break space, which it
    // holds too, is a blank all the same.
    NearFormTally tally;
    const auto stored = utf8ToPageNear(CodePage::Cp1251, "«а» — б…\u00A0в", nullptr, &tally);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, *utf8ToPage(CodePage::Cp1251, "«а» — б… в"));
    EXPECT_EQ(tally.total(), 1u);
    // 1251 lacks box drawing: its outline.
    EXPECT_EQ(utf8ToPageNear(CodePage::Cp1251, "╔═╗│─┼"), "+=+|-+");
    // 1252 lacks № and Cyrillic: № has a form, a Cyrillic letter has none there.
    EXPECT_EQ(utf8ToPageNear(CodePage::Cp1252, "№ 5"), "N 5");
    Utf8Fault fault;
    EXPECT_FALSE(utf8ToPageNear(CodePage::Cp1252, "№ Я", &fault));
    EXPECT_EQ(fault.offset, 4u);  // in the text as given, not as replaced
    EXPECT_EQ(fault.character, U'Я');
}

TEST(NearForm, ACharacterWithoutANearFormIsNamedWhereItStands) {
    Utf8Fault fault;
    const std::string text = "«кот» ☺";
    EXPECT_FALSE(utf8ToPageNear(CodePage::Cp866, text, &fault));
    EXPECT_FALSE(fault.notUtf8);
    EXPECT_EQ(fault.character, U'☺');
    EXPECT_EQ(text.substr(fault.offset, fault.length), "☺");
    EXPECT_EQ(describeFault(text, fault, CodePage::Cp866),
              "holds \"☺\" (U+263A), which code page 866 cannot hold");
    // Bytes that are not UTF-8 stay what they are.
    EXPECT_FALSE(utf8ToPageNear(CodePage::Cp866, "«a\xC8»", &fault));
    EXPECT_TRUE(fault.notUtf8);
    EXPECT_EQ(fault.offset, 3u);
    EXPECT_EQ(fault.length, 1u);
}

}  // namespace
}  // namespace abonex
