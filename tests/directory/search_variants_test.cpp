// The texts a search may have been meant as: the other keyboard layout, Latin spellings of
// Russian names, Е and Ё as one letter, phone digits; and the order they are tried in.
#include "directory/search_variants.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "directory/keyboard_layout.h"
#include "directory/transliteration.h"
#include "engine/dbf/codepage.h"

namespace abonex {
namespace {

std::string ansi(const std::string& utf8) {
    return *utf8ToAnsi(utf8);
}

std::string utf8(const std::string& ansiText) {
    return ansiToUtf8(ansiText);
}

std::string toRussian(const std::string& typed) {
    return utf8(qwertyToRussian(ansi(typed)));
}

std::string toQwerty(const std::string& typed) {
    return utf8(russianToQwerty(ansi(typed)));
}

std::vector<std::string> readings(const std::string& latin) {
    std::vector<std::string> result;
    for (const std::string& reading : cyrillicReadings(ansi(latin)))
        result.push_back(utf8(reading));
    return result;
}

bool hasReading(const std::string& latin, const std::string& russian) {
    const std::vector<std::string> all = readings(latin);
    return std::find(all.begin(), all.end(), russian) != all.end();
}

TEST(KeyboardLayout, TextTypedOnQwertyKeysIsReadAsTheRussianKeys) {
    EXPECT_EQ(toRussian("Gtnhjd"), "Петров");
    EXPECT_EQ(toRussian("gtnhjd"), "петров");
    EXPECT_EQ(toRussian("GTNHJD"), "ПЕТРОВ");
    EXPECT_EQ(toRussian("~krby"), "Ёлкин");
    EXPECT_EQ(toRussian("`krby"), "ёлкин");
    // Punctuation on letter keys: ". , ; ' [ ]" and their shifted forms are letters.
    EXPECT_EQ(toRussian("Rk.td"), "Клюев");
    EXPECT_EQ(toRussian(">lby"), "Юдин");
    EXPECT_EQ(toRussian(",jhbcjd"), "борисов");
    EXPECT_EQ(toRussian("{jkjlrjd"), "Холодков");
    EXPECT_EQ(toRussian("j,]tv"), "объем");
    EXPECT_EQ(toRussian(":erjd"), "Жуков");
    EXPECT_EQ(toRussian("\"ltkm"), "Эдель");
    // The Russian full stop is on the "/" key; a stop after a lone initial stays a stop.
    EXPECT_EQ(toRussian("Gtnhjd G/B/"), "Петров П.И.");
    EXPECT_EQ(toRussian("Gtnhjd G.B."), "Петров П.И.");
    // Shifted digits: the double quote and "№" of the Russian layout.
    EXPECT_EQ(toRussian("JJJ @Hfccdtn@"), "ООО \"Рассвет\"");
    EXPECT_EQ(toRussian("Irjkf #12"), "Школа №12");
    // Digits, blanks and hyphens are the same in both; Russian letters already there stay.
    EXPECT_EQ(toRussian("Gtnhjd-Djlrby 2"), "Петров-Водкин 2");
    EXPECT_EQ(toRussian("Пtnhjd"), "Петров");
    EXPECT_EQ(toRussian("Петров"), "Петров");
}

TEST(KeyboardLayout, TextTypedOnRussianKeysIsReadAsTheQwertyKeys) {
    EXPECT_EQ(toQwerty("зуекщм"), "petrov");
    EXPECT_EQ(toQwerty("Зуекщм"), "Petrov");
    EXPECT_EQ(toQwerty("ЗУЕКЩМ"), "PETROV");
    EXPECT_EQ(toQwerty("хъжэбюё"), "[];',.`");
    EXPECT_EQ(toQwerty("ХЪЖЭБЮЁ"), "{}:\"<>~");
    // Latin letters and the signs of a Russian text stay as they are.
    EXPECT_EQ(toQwerty("pуекщм"), "petrov");
    EXPECT_EQ(toQwerty("Ыуфкср. 2-1"), "Search. 2-1");
}

TEST(KeyboardLayout, EveryLetterKeyGoesBackAndForth) {
    const std::string latin = "qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM";
    for (char key : latin) {
        const std::string one(1, key);
        const std::string russian = qwertyToRussian(one);
        EXPECT_NE(russian, one) << key;
        EXPECT_EQ(russianToQwerty(russian), one) << key;
    }
    // All 33 Russian letters in both cases are on some key.
    const std::string alphabet =
        ansi("абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    for (char letter : alphabet) {
        const std::string one(1, letter);
        const std::string key = russianToQwerty(one);
        EXPECT_NE(key, one) << utf8(one);
        // Back through the other direction, unless the key is "." (a stop may stay).
        EXPECT_EQ(qwertyToRussian(key + key), one + one) << utf8(one);
    }
}

TEST(Transliteration, CommonFormsOfRussianNames) {
    const std::vector<std::pair<std::string, std::string>> likeliest = {
        {"petrov", "петров"},
        {"Petrov", "Петров"},
        {"PETROV", "ПЕТРОВ"},
        {"pEtRoV", "пЕтРоВ"},
        {"zhukov", "жуков"},
        {"Khokhlov", "Хохлов"},
        {"Tsvetkov", "Цветков"},
        {"Chernov", "Чернов"},
        {"Shishkin", "Шишкин"},
        {"Shchukin", "Щукин"},
        {"Schukin", "Щукин"},
        {"Yudin", "Юдин"},
        {"Yakovlev", "Яковлев"},
        {"Yolkin", "Ёлкин"},
        {"Yelena", "Елена"},
        {"Solovyev", "Соловьев"},
        {"Ilyin", "Ильин"},
        {"Sergey", "Сергей"},
        {"Andrei", "Андрей"},
        {"Dmitriy", "Дмитрий"},
        {"Krasnyy", "Красный"},
        {"Bykov", "Быков"},
        {"Alexeev", "Алексеев"},
        {"Mihail", "Михаил"},
        {"Kuznecov", "Кузнецов"},
        {"Jakovlev", "Яковлев"},
        {"Jolkin", "Ёлкин"},
        {"ZH", "Ж"},
        {"Zh", "Ж"},
        {"Kon'kov", "Коньков"},
        {"Petrov-Vodkin 2", "Петров-Водкин 2"},
    };
    for (const auto& [latin, russian] : likeliest) {
        const std::vector<std::string> all = readings(latin);
        ASSERT_FALSE(all.empty()) << latin;
        EXPECT_EQ(all.front(), russian) << latin;
    }
}

TEST(Transliteration, OtherSchemesAreLaterReadings) {
    // Without the soft sign, GOST 7.79 system B, the English "c", the initial э.
    EXPECT_EQ(readings("Belyaev"), (std::vector<std::string>{"Бельяев", "Беляев"}));
    EXPECT_TRUE(hasReading("Xrushhyov", "Хрущёв"));
    EXPECT_TRUE(hasReading("Czvetkov", "Цветков"));
    EXPECT_TRUE(hasReading("Sy`tin", "Сытин"));
    EXPECT_TRUE(hasReading("E`del`", "Эдель"));
    EXPECT_TRUE(hasReading("ob``yom", "объём"));
    EXPECT_TRUE(hasReading("Nicolay", "Николай"));
    EXPECT_TRUE(hasReading("Eduard", "Эдуард"));
    EXPECT_EQ(readings("Eduard").front(), "Едуард");
}

TEST(Transliteration, MixedAndNonLatinTexts) {
    // Cyrillic letters typed among the Latin ones stay.
    EXPECT_EQ(readings("Пetrov").front(), "Петров");
    EXPECT_EQ(readings("ПЕТРОВ"), std::vector<std::string>{});
    EXPECT_EQ(readings("12-34"), std::vector<std::string>{});
    EXPECT_EQ(readings(""), std::vector<std::string>{});
    // Readings never repeat.
    for (const char* latin : {"petrov", "Belyaev", "xyz", "cex", "Eyo"}) {
        std::vector<std::string> all = readings(latin);
        std::sort(all.begin(), all.end());
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << latin;
    }
}

SearchCriteria criteria(const std::string& name, const std::string& phone, bool atStart = true) {
    return {ansi(name), ansi(phone), atStart};
}

bool accepts(const SearchCriteria& search, const std::string& name, const std::string& phone = "") {
    return searchAccepts(search, ansi(name), ansi(phone));
}

TEST(SearchFilterVariants, YeAndYoAsOneLetterInEveryCase) {
    const std::vector<std::string> typed = {"елкин", "ЕЛКИН", "ёлкин", "ЁЛКИН", "ЕлКиН", "ёЛкИн"};
    const std::vector<std::string> stored = {"Ёлкин А.Б.", "ЁЛКИН", "ёлкин", "Елкин", "елкина"};
    for (const std::string& text : typed) {
        for (const std::string& name : stored) {
            SearchCriteria plain = criteria(text, "");
            SearchCriteria folded = plain;
            folded.yoAsYe = true;
            EXPECT_TRUE(accepts(folded, name)) << text << " / " << name;
            // As typed, only the same letter matches.
            const bool sameLetter =
                (text.find("ё") != std::string::npos || text.find("Ё") != std::string::npos) ==
                (name.find("ё") != std::string::npos || name.find("Ё") != std::string::npos);
            EXPECT_EQ(accepts(plain, name), sameLetter) << text << " / " << name;
        }
    }
    SearchCriteria anywhere = criteria("ЕДОР", "", false);
    anywhere.yoAsYe = true;
    EXPECT_TRUE(accepts(anywhere, "Фёдоров"));
    EXPECT_FALSE(accepts(anywhere, "Федотов"));
    // Other letters keep their own: И is not Й, Ь is not Ъ.
    SearchCriteria other = criteria("ил", "");
    other.yoAsYe = true;
    EXPECT_FALSE(accepts(other, "Йлкин"));
}

TEST(SearchFilterVariants, PhoneDigitsIgnoreSeparatorsOnBothSides) {
    SearchCriteria prefix = criteria("", "538752");
    EXPECT_FALSE(accepts(prefix, "Кто", "53-87-52"));
    prefix.phoneDigits = true;
    EXPECT_TRUE(accepts(prefix, "Кто", "53-87-52"));
    EXPECT_TRUE(accepts(prefix, "Кто", "538752"));
    EXPECT_TRUE(accepts(prefix, "Кто", "5 38-75 2w"));
    EXPECT_FALSE(accepts(prefix, "Кто", "53-87-53"));
    EXPECT_FALSE(accepts(prefix, "Кто", "25-38-75"));
    SearchCriteria typedWithBlanks = criteria("", "53 87");
    typedWithBlanks.phoneDigits = true;
    EXPECT_TRUE(accepts(typedWithBlanks, "Кто", "53-87-52"));
    SearchCriteria anywhere = criteria("", "8752", false);
    anywhere.phoneDigits = true;
    EXPECT_TRUE(accepts(anywhere, "Кто", "53-87-52"));
    EXPECT_FALSE(accepts(anywhere, "Кто", "53-78-52"));
    // With a name, prefix mode still wants both.
    SearchCriteria both = criteria("пет", "5387");
    both.phoneDigits = true;
    EXPECT_TRUE(accepts(both, "Петров", "53-87-52"));
    EXPECT_FALSE(accepts(both, "Сидоров", "53-87-52"));
}

std::vector<SearchVariant> variantsOf(const std::vector<SearchAttempt>& attempts) {
    std::vector<SearchVariant> variants;
    for (const SearchAttempt& attempt : attempts) variants.push_back(attempt.variant);
    return variants;
}

TEST(SearchAttempts, VariantsComeInTheirOrderAndOnlyWhenTheyChangeTheSearch) {
    using V = SearchVariant;
    // A Russian name with е: Е/Ё, then the layout to Latin; no Latin letters to read.
    std::vector<SearchAttempt> attempts = searchAttempts(criteria("елкин", ""));
    EXPECT_EQ(variantsOf(attempts), (std::vector<V>{V::AsTyped, V::YoAsYe, V::Layout}));
    EXPECT_EQ(attempts[0].criteria, criteria("елкин", ""));
    EXPECT_TRUE(attempts[1].criteria.yoAsYe);
    EXPECT_EQ(attempts[1].criteria.name, ansi("елкин"));
    EXPECT_EQ(attempts[2].criteria.name, "tkrby");

    // A Latin name: the layout to Russian, then the readings, all with Е/Ё as one letter.
    attempts = searchAttempts(criteria("gtnhjd", "", false));
    ASSERT_GE(attempts.size(), 3u);
    EXPECT_EQ(attempts[1].variant, V::Layout);
    EXPECT_EQ(utf8(attempts[1].criteria.name), "петров");
    EXPECT_TRUE(attempts[1].criteria.yoAsYe);
    EXPECT_FALSE(attempts[1].criteria.atStart);
    for (size_t i = 2; i < attempts.size(); ++i) {
        EXPECT_EQ(attempts[i].variant, V::Transliteration);
        EXPECT_TRUE(attempts[i].criteria.yoAsYe);
    }

    // Name and phone: the name's variants keep the phone as typed, the phone's the name.
    attempts = searchAttempts(criteria("петр", "53-87"));
    EXPECT_EQ(variantsOf(attempts),
              (std::vector<V>{V::AsTyped, V::YoAsYe, V::Layout, V::PhoneDigits}));
    EXPECT_EQ(attempts[2].criteria.phone, "53-87");
    EXPECT_FALSE(attempts[2].criteria.phoneDigits);
    EXPECT_EQ(attempts[3].criteria, (SearchCriteria{ansi("петр"), "5387", true, false, true}));

    // Nothing to vary: no letters, no digits.
    EXPECT_EQ(variantsOf(searchAttempts(criteria("", ""))), std::vector<V>{V::AsTyped});
    EXPECT_EQ(variantsOf(searchAttempts(criteria("--", "-"))), std::vector<V>{V::AsTyped});
    // A phone of digits alone is still tried by digits: the stored one may have separators.
    EXPECT_EQ(variantsOf(searchAttempts(criteria("", "538752"))),
              (std::vector<V>{V::AsTyped, V::PhoneDigits}));
}

TEST(SearchAttempts, NoTwoAttemptsAreTheSameSearch) {
    for (const char* name : {"ё", "е", "tt", "t", "Пetrov", "yo", "~", "e`", "Belyaev", "12"}) {
        const std::vector<SearchAttempt> attempts = searchAttempts(criteria(name, "1-2"));
        for (size_t i = 0; i < attempts.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                EXPECT_FALSE(attempts[i].criteria == attempts[j].criteria) << name << " " << i;
            }
        }
    }
}

TEST(SearchAttempts, NotesNameTheVariantAndTheTextSearched) {
    EXPECT_EQ(searchNote({SearchVariant::AsTyped, criteria("петров", "")}), "");
    EXPECT_EQ(searchNote({SearchVariant::YoAsYe, criteria("елкин", "")}), "Найдено без учёта Ё");
    EXPECT_EQ(searchNote({SearchVariant::Layout, criteria("Петров", "")}),
              "Найдено по раскладке: Петров");
    EXPECT_EQ(searchNote({SearchVariant::Transliteration, criteria("петров", "")}),
              "Найдено по транслитерации: петров");
    EXPECT_EQ(searchNote({SearchVariant::PhoneDigits, criteria("", "538752")}),
              "Найдено по цифрам номера: 538752");
}

}  // namespace
}  // namespace abonex
