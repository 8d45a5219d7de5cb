#include "app/search_filter.h"

#include <gtest/gtest.h>

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

TEST(SearchFilter, EmptyTextsAcceptEverythingInBothModes) {
    EXPECT_TRUE(accepts(criteria("", "", true), "Кто угодно"));
    EXPECT_TRUE(accepts(criteria("", "", false), "Кто угодно"));
    // In substring mode an empty text never occurs: only the other one decides.
    EXPECT_FALSE(accepts(criteria("", "99", false), "Кто угодно", "22-33-44"));
    EXPECT_TRUE(accepts(criteria("", "33", false), "Кто угодно", "22-33-44"));
}

}  // namespace
}  // namespace abonex
