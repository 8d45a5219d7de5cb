#include "directory/search_filter.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/dbf/codepage.h"

namespace abonex {
namespace {

std::string ansi(const char* utf8) {
    return *utf8ToAnsi(utf8);
}

SearchCriteria criteria(const char* name, const char* phone, bool atStart) {
    return {ansi(name), ansi(phone), atStart};
}

bool accepts(const SearchCriteria& search, const char* name, const char* phone = "") {
    return searchAccepts(search, ansi(name), ansi(phone));
}

TEST(SearchFilter, PrefixModeFoldsCaseButWantsTheStart) {
    auto search = criteria("иван", "", true);
    EXPECT_TRUE(accepts(search, "ИВАНОВ И.И."));
    EXPECT_TRUE(accepts(search, "Иванова"));
    EXPECT_TRUE(accepts(search, "иванченко"));
    EXPECT_FALSE(accepts(search, "Петров-Иванов"));
    EXPECT_FALSE(accepts(criteria("Ивановский", "", true), "Иванов"));
    EXPECT_TRUE(accepts(criteria("ёж", "", true), "ЁЖИКОВ"));
}

TEST(SearchFilter, SubstringModeFindsTheTextAnywhere) {
    auto search = criteria("иван", "", false);
    EXPECT_TRUE(accepts(search, "Петров-Иванов"));
    EXPECT_TRUE(accepts(search, "ИВАНОВ"));
    EXPECT_FALSE(accepts(search, "Петров"));
}

TEST(SearchFilter, NameAndPhoneTogether) {
    auto prefix = criteria("А", "22", true);
    EXPECT_TRUE(accepts(prefix, "Абрамов", "22-33-44"));
    EXPECT_FALSE(accepts(prefix, "Абрамов", "33-22-44"));
    EXPECT_FALSE(accepts(prefix, "Борисов", "22-33-44"));
    auto anywhere = criteria("А", "22", false);
    EXPECT_TRUE(accepts(anywhere, "Борисова", "11-11-11"));  // name contains А
    EXPECT_TRUE(accepts(anywhere, "Петров", "33-22-44"));    // phone contains 22
    EXPECT_FALSE(accepts(anywhere, "Петров", "33-11-44"));
}

TEST(SearchFilter, APhoneIsFoundInTheSecondPhoneAsInTheFirst) {
    // "67-87-70", a person's second phone, found nobody.
    const auto second = [](const SearchCriteria& search, const char* phone1, const char* phone2) {
        return searchAccepts(search, ansi("Петров"), ansi(phone1), ansi(phone2));
    };
    EXPECT_TRUE(second(criteria("", "67-87", true), "53-11-00", "67-87-70"));
    EXPECT_TRUE(second(criteria("", "87-70", false), "53-11-00", "67-87-70"));
    EXPECT_TRUE(second(criteria("пет", "67", true), "", "67-87-70"));
    EXPECT_FALSE(second(criteria("сид", "67", true), "", "67-87-70"));  // both must match
    EXPECT_FALSE(second(criteria("", "87-70", true), "53-11-00", "67-87-70"));
    EXPECT_FALSE(second(criteria("", "99", false), "53-11-00", "67-87-70"));
    SearchCriteria digits = criteria("", "678770", true);
    digits.phoneDigits = true;
    EXPECT_TRUE(second(digits, "53-11-00", "67-87-70"));
    // The scan for candidate records looks at both phones' bytes.
    const std::optional<FieldBytesTest> bytes = searchBytesTest(criteria("", "67-87", true));
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->field, 1);
    EXPECT_EQ(bytes->otherField, 2);
}

TEST(SearchFilter, EmptyTextsAcceptEverythingInBothModes) {
    EXPECT_TRUE(accepts(criteria("", "", true), "Кто угодно"));
    EXPECT_TRUE(accepts(criteria("", "", false), "Кто угодно"));
    // In substring mode an empty text never occurs: only the other one decides.
    EXPECT_FALSE(accepts(criteria("", "99", false), "Кто угодно", "22-33-44"));
    EXPECT_TRUE(accepts(criteria("", "33", false), "Кто угодно", "22-33-44"));
}

TEST(SearchKeyFilter, OnlyTheNameTestThatDecidesAloneIsGiven) {
    EXPECT_EQ(searchKeyFilter(criteria("", "22", true), true), std::nullopt);
    EXPECT_EQ(searchKeyFilter(criteria("", "", false), true), std::nullopt);
    // In substring mode the phone alone may accept a row whatever its name.
    EXPECT_EQ(searchKeyFilter(criteria("иван", "22", false), true), std::nullopt);
    ASSERT_NE(searchKeyFilter(criteria("иван", "22", true), true), std::nullopt);
    EXPECT_EQ(searchKeyFilter(criteria("иван", "", false), true)->kind(),
              KeyFilter::Kind::Contains);
}

TEST(SearchKeyFilter, DecidesOnStoredBytesExactlyAsTheFilterDecidesOnTheText) {
    // Names of random code-page-866 bytes as a key holds them (no trailing blanks), searches of
    // random ANSI bytes with the letters of both alphabets in both cases, Ё and ё among them.
    const std::string letters = ansi("АаБбЕеЁёИиЯяЪъ") + "AaZz -.0";
    std::mt19937 random(866);
    for (bool translated : {true, false}) {
        for (int round = 0; round < 3000; ++round) {
            std::string stored;
            const size_t length = random() % 7;
            for (size_t i = 0; i < length; ++i) {
                const int byte =
                    random() % 4 == 0
                        ? static_cast<int>(' ' + random() % 224)
                        : static_cast<uint8_t>(ansiToOem(letters.substr(random() % 14, 1))[0]);
                stored += static_cast<char>(byte);
            }
            while (!stored.empty() && static_cast<uint8_t>(stored.back()) <= ' ') stored.pop_back();
            std::string name;
            for (size_t i = 0, n = 1 + random() % 3; i < n; ++i)
                name += letters[random() % letters.size()];
            // Often the name itself, in the case it has, so that searches do match.
            if (random() % 3 == 0 && !stored.empty())
                name = translated ? oemToAnsi(stored) : stored;
            const std::string text = translated ? oemToAnsi(stored) : stored;
            for (bool atStart : {true, false}) {
                // As typed, and with Е and Ё as one letter.
                for (bool yoAsYe : {false, true}) {
                    SearchCriteria search{name.substr(0, 1 + random() % name.size()), "", atStart};
                    search.yoAsYe = yoAsYe;
                    const std::optional<KeyFilter> keys = searchKeyFilter(search, translated);
                    ASSERT_TRUE(keys.has_value());
                    EXPECT_EQ(keys->accepts(stored), searchAccepts(search, text, ""))
                        << "search '" << ansiToUtf8(search.name) << "' on '" << oemToUtf8(stored)
                        << "' " << (atStart ? "at the start" : "anywhere")
                        << (yoAsYe ? ", Е and Ё as one" : "");
                }
            }
        }
    }
}

}  // namespace
}  // namespace abonex
