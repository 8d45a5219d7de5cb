#include "directory/vcard.h"

#include <gtest/gtest.h>

#include "directory/contact_rows.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

std::string sample(const std::string& name) {
    const auto bytes = test::readFileBytes(test::sourceDir() + "/tests/directory/vcards/" + name);
    return std::string(bytes.begin(), bytes.end());
}

// A contact as "name|phone1|phone2|comment" for comparisons.
std::string row(const Contact& c) {
    return c.name + "|" + c.phone1 + "|" + c.phone2 + "|" + c.comment;
}

std::vector<std::string> rows(const VcardImport& read) {
    EXPECT_FALSE(read.error) << *read.error;
    std::vector<std::string> out;
    for (const Contact& c : read.contacts) out.push_back(row(c));
    return out;
}

TEST(VcardWrite, ACardEscapesItsTextAndSplitsAPersonsName) {
    const Contact contact{"Иванов И.И.", "22-33-44", "", "ул. Мира, 1; кв. 2\nкод \\5"};
    EXPECT_EQ(writeVcard(contact, VcardStyle::Person),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Иванов;И.И.;;;\r\nFN:Иванов И.И.\r\n"
              "TEL;TYPE=VOICE:22-33-44\r\nNOTE:ул. Мира\\, 1\\; кв. 2\\nкод \\\\5\r\n"
              "END:VCARD\r\n");
    EXPECT_EQ(writeVcard({"ООО \"Ромашка\"", "1", "2", ""}, VcardStyle::Organisation),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:ООО \"Ромашка\"\r\n"
              "ORG:ООО \"Ромашка\"\r\nTEL;TYPE=VOICE:1\r\nTEL;TYPE=VOICE:2\r\nEND:VCARD\r\n");
    EXPECT_EQ(writeVcard({"Такси; круглосуточно", "", "3", ""}, VcardStyle::Plain),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Такси\\; круглосуточно;;;;\r\n"
              "FN:Такси\\; круглосуточно\r\nTEL;TYPE=VOICE:3\r\nEND:VCARD\r\n");
}

TEST(VcardWrite, LongLinesAreFoldedAt75BytesBetweenCharacters) {
    // Two-byte letters after an odd number of ASCII bytes: a cut at byte 75 would split one.
    std::string letters = "x";
    for (int i = 0; i < 100; ++i) letters += "ж";
    const std::string card = writeVcard({"a", "", "", letters}, VcardStyle::Plain);
    size_t start = 0;
    std::string unfolded;
    while (start < card.size()) {
        const size_t end = card.find("\r\n", start);
        const std::string line = card.substr(start, end - start);
        EXPECT_LE(line.size(), 75u) << line;
        // Every line is whole UTF-8: no line starts with a continuation byte.
        if (!line.empty()) {
            EXPECT_NE(static_cast<uint8_t>(line[0]) & 0xC0, 0x80) << line;
        }
        unfolded += line.starts_with(" ") ? line.substr(1) : "\n" + line;
        start = end + 2;
    }
    EXPECT_NE(unfolded.find("\nNOTE:" + letters + "\n"), std::string::npos);
    // And it reads back whole.
    const VcardImport read = readVcards(card);
    ASSERT_EQ(read.contacts.size(), 1u);
    EXPECT_EQ(read.contacts[0].comment, letters);
}

TEST(VcardRead, WrittenCardsReadBackAsTheSameRows) {
    const std::vector<Contact> contacts = {
        {"Иванов И.И.", "22-33-44", "11-00-00", "a,b;c\\d\nвторая строка"},
        {"ООО \"Ромашка\"", "", "", ""},
        {"Одно-слово", "1", "", "примечание"},
    };
    for (VcardStyle style : {VcardStyle::Person, VcardStyle::Organisation, VcardStyle::Plain}) {
        std::string file;
        for (const Contact& c : contacts) file += writeVcard(c, style);
        const VcardImport read = readVcards(file);
        std::vector<std::string> expected;
        for (const Contact& c : contacts) expected.push_back(row(c));
        EXPECT_EQ(rows(read), expected);
        EXPECT_EQ(read.contacts[2].card, 3);
    }
}

TEST(VcardRead, CardsAsAndroidWritesThem) {
    // 2.1: quoted-printable UTF-8 with soft line breaks, bare types, a photo, a card named by
    // ORG alone.
    EXPECT_EQ(rows(readVcards(sample("android.vcf"))),
              (std::vector<std::string>{
                  "Иван Иванов|+79123456789|22-33-44|Дача в Берёзовке, звонить по выходным; "
                  "ключ у соседей",
                  "Такси \"Вояж\"|09-09-09||"}));
}

TEST(VcardRead, CardsAsEvolutionAndGnomeContactsWriteThem) {
    const VcardImport read = readVcards(sample("evolution.vcf"));
    EXPECT_EQ(rows(read), (std::vector<std::string>{
                              "Петров Пётр Петрович|22-33-44|+7 912 000-0000|Звонить после "
                              "18:00\nпо будням, кроме пятницы; в отпуске с 1 по 15 июля"}));
    EXPECT_EQ(read.notes,
              (std::vector<std::string>{"card 1 (line 1) has 3 phones: the first two are taken"}));
}

TEST(VcardRead, CardsAsThunderbirdWritesThem) {
    // 4.0: typed text phones, a tel: URI in a group with a quoted parameter value.
    EXPECT_EQ(rows(readVcards(sample("thunderbird.vcf"))),
              (std::vector<std::string>{"Сидорова Анна|33-44-55|+7 900 1112233|Коллега",
                                        "Бюро ремонта|44-55-66||"}));
}

TEST(VcardRead, ACharsetParameterNamesTheValuesPage) {
    // An old phone's 2.1 card in Windows-1251, named by N alone.
    EXPECT_EQ(rows(readVcards(sample("windows1251.vcf"))),
              (std::vector<std::string>{"Колокольцев Ярослав|55-66-77||"}));
}

TEST(VcardRead, FaultsNameTheCardAndTheLine) {
    const std::string begin = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {begin + "FN:a\r\n", "card 1 (line 1): the file ends before its END:VCARD"},
        {begin + "FN:a\r\nBEGIN:VCARD\r\n",
         "card 1 (line 1): BEGIN:VCARD on line 4 before its END:VCARD"},
        {"FN:a\r\n", "line 1: FN outside BEGIN:VCARD ... END:VCARD"},
        {begin + "FN;CHARSET=KOI8-R:a\r\nEND:VCARD\r\n",
         "card 1 (line 3): the character set \"KOI8-R\" of FN is not one this program reads"},
        {begin + "FN;ENCODING=QUOTED-PRINTABLE:=D0=9\r\nEND:VCARD\r\n",
         "card 1 (line 3): the quoted-printable value of FN is malformed"},
        {begin + "FN:\xC8\xE2\r\nEND:VCARD\r\n",
         "card 1 (line 3): FN holds the byte 0xC8, which is not UTF-8 and no CHARSET parameter "
         "names its character set"},
        {begin + "TEL:1\r\nEND:VCARD\r\n", "card 1 (line 1) has no name (FN, N or ORG)"},
        {"BEGIN:VCARD\r\nVERSION:5.0\r\nEND:VCARD\r\n",
         "card 1 (line 2): vCard version \"5.0\" is not 2.1, 3.0 or 4.0"},
        {begin + "just text\r\nEND:VCARD\r\n",
         "line 3: \"just text\" is no vCard property (NAME:value)"},
        {"", "the file holds no vCard (BEGIN:VCARD)"},
    };
    for (const Case& c : cases) {
        const VcardImport read = readVcards(c.text);
        ASSERT_TRUE(read.error) << c.text;
        EXPECT_EQ(*read.error, c.message);
    }
}

TEST(VcardRows, AValueLongerThanItsFieldIsRefusedWithItsCard) {
    const std::vector<TableColumn> columns = {
        {"NAME", 10}, {"PHONE1", 5}, {"PHONE2", 5}, {"COMMENT", 20}};
    std::vector<Contact> contacts = {{"Короткое", "1", "", "", 1, 1},
                                     {"Слишком длинное", "1", "", "", 2, 9}};
    ContactRows checked = contactRowsForTable(contacts, CodePage::Cp866, columns, false);
    ASSERT_TRUE(checked.error);
    EXPECT_EQ(*checked.error,
              "card 2 (line 9): the name is 15 characters long, the field NAME holds 10");
    EXPECT_TRUE(checked.tooLong);
    checked = contactRowsForTable(contacts, CodePage::Cp866, columns, true);
    ASSERT_FALSE(checked.error);
    EXPECT_EQ(checked.rows[1][0], *utf8ToOem("Слишком дл"));
    // Characters the table's page lacks: their nearest form, else refused.
    contacts = {{"«Вояж»", "", "", "", 3, 20}};
    checked = contactRowsForTable(contacts, CodePage::Cp866, columns, false);
    ASSERT_FALSE(checked.error) << *checked.error;
    EXPECT_EQ(checked.rows[0][0], *utf8ToOem("\"Вояж\""));
    EXPECT_EQ(checked.replaced.total(), 2u);
    contacts = {{"Такси ☺", "", "", "", 3, 20}};
    checked = contactRowsForTable(contacts, CodePage::Cp866, columns, true);
    EXPECT_EQ(*checked.error,
              "card 3 (line 20): the name holds \"☺\" (U+263A), which code page 866 cannot hold");
    // What the page holds is stored as it is, 1251 or not.
    contacts = {{"Угол ╫", "", "", "", 4, 30}};
    checked = contactRowsForTable(contacts, CodePage::Cp866, columns, false);
    ASSERT_FALSE(checked.error);
    EXPECT_EQ(checked.rows[0][0], *utf8ToOem("Угол ╫"));
    contacts = {{"a", "", "", "строка\n", 5, 40}};
    EXPECT_EQ(*contactRowsForTable(contacts, CodePage::Cp866, columns, false).error,
              "card 5 (line 40): the comment ends with U+000A (line feed), which a field loses at "
              "its end");
}

TEST(VcardRows, APhoneLongerThanItsFieldIsStoredAsItsDigits) {
    const std::vector<TableColumn> columns = {
        {"NAME", 30}, {"PHONE1", 15}, {"PHONE2", 15}, {"COMMENT", 40}};
    const std::vector<Contact> contacts = {
        {"Иван", "+7 912 345-67-89", "8 (912) 345-67-89", "", 1, 1},
        {"Пётр", "+7 (912) 345-67-89", "22-33-44", "", 2, 8}};
    ContactRows checked = contactRowsForTable(contacts, CodePage::Cp866, columns, false);
    ASSERT_FALSE(checked.error) << *checked.error;
    EXPECT_EQ(checked.rows[0][1], "+79123456789");
    EXPECT_EQ(checked.rows[0][2], "89123456789");  // no "+" that was not written
    EXPECT_EQ(checked.rows[1][1], "+79123456789");
    EXPECT_EQ(checked.rows[1][2], "22-33-44");
    EXPECT_EQ(checked.notes,
              (std::vector<std::string>{
                  "card 1 (line 1): the first phone \"+7 912 345-67-89\" is 16 characters long, "
                  "the field PHONE1 holds 15: stored as +79123456789",
                  "card 1 (line 1): the second phone \"8 (912) 345-67-89\" is 17 characters "
                  "long, the field PHONE2 holds 15: stored as 89123456789",
                  "card 2 (line 8): the first phone \"+7 (912) 345-67-89\" is 18 characters "
                  "long, the field PHONE1 holds 15: stored as +79123456789"}));
    // Digits that do not fit even so, and a phone with words in it, are refused; in Russian for
    // the window.
    for (const std::string phone : {"+7 912 345-67-89 / 345-67-90", "22-33-44 доб. 12345"}) {
        const std::vector<Contact> one = {{"Иван", phone, "", "", 3, 15}};
        checked =
            contactRowsForTable(one, CodePage::Cp866, columns, false, MessageLanguage::Russian);
        ASSERT_TRUE(checked.error) << phone;
        EXPECT_EQ(*checked.error, "карточка 3 (строка 15): первый телефон длиннее поля PHONE1: " +
                                      std::to_string(utf8ToOem(phone)->size()) +
                                      " символов, поле вмещает 15");
        EXPECT_TRUE(checked.tooLong);
    }
}

TEST(VcardRows, TheWindowsMessagesAreRussian) {
    const std::vector<TableColumn> columns = {
        {"NAME", 30}, {"PHONE1", 15}, {"PHONE2", 15}, {"COMMENT", 40}};
    const std::vector<Contact> contacts = {{"Иван", "+7 912 345-67-89", "", "☺", 2, 7}};
    const ContactRows checked =
        contactRowsForTable(contacts, CodePage::Cp866, columns, false, MessageLanguage::Russian);
    EXPECT_EQ(*checked.error,
              "карточка 2 (строка 7): комментарий содержит символ \"☺\" (U+263A), которого нет в "
              "кодовой странице 866");
    const std::string begin = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    EXPECT_EQ(*readVcards(begin + "FN:a\r\n", MessageLanguage::Russian).error,
              "карточка 1 (строка 1): файл кончается раньше её END:VCARD");
    EXPECT_EQ(*readVcards(begin + "FN:\xC8\xE2\r\nEND:VCARD\r\n", MessageLanguage::Russian).error,
              "карточка 1 (строка 3): FN содержит байты, которые не являются текстом UTF-8 (0xC8), "
              "а параметра CHARSET с её кодировкой нет");
    EXPECT_EQ(readVcards(begin + "FN:a\r\nTEL:1\r\nTEL:2\r\nTEL:3\r\nEND:VCARD\r\n",
                         MessageLanguage::Russian)
                  .notes,
              std::vector<std::string>{"карточка 1 (строка 1): телефонов 3, взяты первые два"});
    NearFormTally tally;
    ASSERT_TRUE(utf8ToPageNear(CodePage::Cp866, "«а» — б", nullptr, &tally));
    EXPECT_EQ(describeNearFormsIn(MessageLanguage::Russian, tally, CodePage::Cp866),
              "Заменено ближайшими символами кодовой страницы 866: 3 (\"«\" (U+00AB) на \"\"\": 1, "
              "\"»\" (U+00BB) на \"\"\": 1, \"—\" (U+2014) на \"-\": 1)");
}

}  // namespace
}  // namespace abonex
