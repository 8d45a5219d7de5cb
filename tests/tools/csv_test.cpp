#include "tools/csv.h"

#include <gtest/gtest.h>

namespace abonex::tool {
namespace {

TEST(Csv, QuotedFieldsKeepCommasQuotesAndLineBreaks) {
    auto parsed = parseCsv("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",x,,\n");
    ASSERT_FALSE(parsed.error);
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(parsed.records[0].fields, (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(parsed.records[1].line, 2);
    EXPECT_EQ(parsed.records[1].fields, (std::vector<std::string>{"two\nlines", "x", "", ""}));
}

TEST(Csv, LineNumbersCountLineBreaksInsideQuotes) {
    auto parsed = parseCsv("h\n\"1\n2\n3\"\nlast");
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_EQ(parsed.records[2].line, 5);
}

TEST(Csv, MalformedQuotingIsAnError) {
    EXPECT_EQ(*parseCsv("a\n\"open").error, "line 2: unclosed quote");
    EXPECT_EQ(*parseCsv("\"a\"b,c").error, "line 1: text after a closing quote");
}

TEST(Csv, WrittenLinesReadBack) {
    std::vector<std::string> fields = {"Иванов, И.И.", "\"q\"", "", "a\nb"};
    auto parsed = parseCsv(csvLine(fields) + csvLine({"x"}));
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(parsed.records[0].fields, fields);
}

TEST(Csv, FieldsAreQuotedOnlyWhenASpreadsheetCouldTakeThemApart) {
    EXPECT_EQ(csvLine({"plain", "a;b", "t\tab", "x,y", "\"", "\"\"q\"", "Ёж", ""}),
              "plain,\"a;b\",\"t\tab\",\"x,y\",\"\"\"\",\"\"\"\"\"q\"\"\",Ёж,\n");
    CsvDialect bars;
    bars.separator = '|';
    bars.crlf = true;
    EXPECT_EQ(csvLine({"a|b", "a,b", "c"}, bars), "\"a|b\"|\"a,b\"|c\r\n");
    // Appended lines keep what was there.
    std::string text = "NAME\n";
    appendCsvLine(text, {"Иванов, И.И.", "1"});
    appendCsvLine(text, {"Петров"});
    EXPECT_EQ(text, "NAME\n\"Иванов, И.И.\",1\nПетров\n");
}

}  // namespace
}  // namespace abonex::tool
