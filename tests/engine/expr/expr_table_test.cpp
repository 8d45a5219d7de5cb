// Expressions over a real table file, and the abonex-db eval command.
#include <gtest/gtest.h>

#include <string>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"
#include "engine/expr/expr_error.h"
#include "engine/expr/text_casing.h"
#include "tests/support/test_support.h"

namespace abonex::test {
namespace {

// Иванов and Петров in code page 866.
const std::string kIvanovOem = "\x88\xA2\xA0\xAD\xAE\xA2";
const std::string kPetrovOem = "\x8F\xA5\xE2\xE0\xAE\xA2";
// ИВАНОВ and ПЕТРОВ in code page 866.
const std::string kIvanovUpperOem = "\x88\x82\x80\x8D\x8E\x82";
const std::string kPetrovUpperOem = "\x8F\x85\x92\x90\x8E\x82";

class TableExpressionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.file("PHONE.DBF");
        createDbfTable(m_path, {{"NAME", 'C', 30, 0},
                                {"PHONE1", 'C', 15, 0},
                                {"BORN", 'D', 8, 0},
                                {"SUM", 'N', 8, 2},
                                {"OK", 'L', 1, 0}});
        GSO_dBaseFld table(m_path, true, true);
        append(table, kIvanovOem, "22-33-44", "19800101", "   12.50", "T");
        append(table, kPetrovOem, "55-66", "", "", "F");
        table.GotoRecord(2);
        table.DeleteRecord();
    }
    static void append(GSO_dBaseFld& table, const std::string& name, const std::string& phone,
                       const std::string& born, const std::string& sum, const std::string& ok) {
        table.BlankRecord();
        table.FieldPut("NAME", name);
        table.FieldPut("PHONE1", phone);
        table.FieldPut("BORN", born);
        table.FieldPut("OK", ok);
        if (!sum.empty()) {
            const DbfField& field = table.FindField("SUM");
            std::string padded(static_cast<size_t>(field.length) - sum.size(), ' ');
            padded += sum;
            std::copy(padded.begin(), padded.end(),
                      reinterpret_cast<char*>(table.recordImage()) + field.offset);
        }
        table.AppendRecord();
    }
    CommandResult tool(const std::string& expression, const std::string& extra = "") {
        return runCommand(shellQuote(toolPath()) + " eval " + shellQuote(m_path) + " " +
                          shellQuote(expression) + extra);
    }

    TempDir m_dir;
    std::string m_path;
};

TEST_F(TableExpressionTest, FieldsAndTableFunctionsFollowTheCurrentRecord) {
    GSO_dBaseFld table(m_path, true, false);
    TgsDBFExpUserLink link(table);
    TgsExpHandler handler(&link);
    handler.ExpressionCompile("UPPER(NAME) + '|' + STR(RECNO(), 2) + DTOS(BORN)");
    table.GotoRecord(1);
    // UPPER works on the stored bytes by the letters of the table's code page, 866 as its
    // language byte says: the key is the stored name in capitals, in 866.
    const std::string upperName = kIvanovUpperOem + std::string(24, ' ');
    EXPECT_EQ(handler.ExpressionEvaluate().text, upperName + "| 119800101");
    EXPECT_EQ(handler.ExpressionEvaluate().text.size(), 30u + 1 + 2 + 8);
    table.GotoRecord(2);
    EXPECT_EQ(handler.ExpressionEvaluate().text,
              kPetrovUpperOem + std::string(24, ' ') + "| 2        ");

    // 12 .AND. OK groups first, as .AND. binds like "*".
    handler.ExpressionCompile("DELETED() .OR. SUM > 12 .AND. OK");
    table.GotoRecord(1);
    EXPECT_THROW(handler.ExpressionEvaluate(), EEngineExpression);
    handler.ExpressionCompile("DELETED() .OR. ((SUM > 12) .AND. OK)");
    EXPECT_TRUE(handler.ExpressionEvaluate().boolean);
    handler.ExpressionCompile("DELETED()");
    EXPECT_FALSE(handler.ExpressionEvaluate().boolean);
    table.GotoRecord(2);
    EXPECT_TRUE(handler.ExpressionEvaluate().boolean);
    handler.ExpressionCompile("SUM * 2");
    table.GotoRecord(1);
    EXPECT_EQ(handler.ExpressionEvaluate().number, 25.0);
    handler.ExpressionCompile("EMPTY(BORN) .AND. (.NOT. OK)");
    table.GotoRecord(2);
    EXPECT_TRUE(handler.ExpressionEvaluate().boolean);
    handler.ExpressionCompile("EOF()");
    table.GotoRecord(PosNext);
    EXPECT_TRUE(handler.ExpressionEvaluate().boolean);
    EXPECT_EQ(handler.FieldNames(), "");
    EXPECT_THROW(handler.ExpressionCompile("SURNAME"), EEngineExpression);
}

TEST_F(TableExpressionTest, EvalToolPrintsTypeAndValue) {
    auto result = tool("TRIM(NAME)");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Text\n\"Иванов\"\n");
    result = tool("TRIM(NAME) + PHONE1", " --record 2");
    EXPECT_EQ(result.out, "Text\n\"Петров55-66" + std::string(10, ' ') + "\"\n");
    result = tool("SUM / 4");
    EXPECT_EQ(result.out, "Number\n3.125\n");
    result = tool("0.1 + 0.2");
    EXPECT_EQ(result.out, "Number\n0.30000000000000004\n");
    result = tool("BORN + 1");
    EXPECT_EQ(result.out, "Number\n2444241\n");
    result = tool("1 + BORN");
    EXPECT_EQ(result.out, "Date\n19800102\n");
    result = tool("BORN", " --record 2");
    EXPECT_EQ(result.out, "Date\n        \n");
    result = tool("OK .AND. (RECNO() = 1)");
    EXPECT_EQ(result.out, "Boolean\n.T.\n");
}

TEST_F(TableExpressionTest, EvalToolReportsEngineErrors) {
    auto result = tool("NAME = 1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "The two sides of an operation do not match\n");
    result = tool("SURNAME");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "There is no function for SURNAME\n");
    result = tool("NAME", " --record 9");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("dBase record request beyond EOF - ", 0), 0u) << result.err;
    result = tool("NAME", " --record 3");  // one past the last record
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("dBase record request beyond EOF - ", 0), 0u) << result.err;
    result = tool("NAME", " --record x");
    EXPECT_EQ(result.status, 2);
    result = tool("   ");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
}

TEST_F(TableExpressionTest, EvalTakesTextLiteralsInTheTablesCodePage) {
    // Typed in UTF-8, the literals are compiled as the table's 866 text: one byte per letter.
    auto result = tool("LEN(\"Я\")");
    EXPECT_EQ(result.out, "Number\n1\n") << result.err;
    result = tool("TRIM(NAME) = \"Иванов\"");
    EXPECT_EQ(result.out, "Boolean\n.T.\n") << result.err;
    result = tool("UPPER(NAME) + \"|\"", " --record 2");
    EXPECT_EQ(result.out, "Text\n\"ПЕТРОВ" + std::string(24, ' ') + "|\"\n") << result.err;
    result = tool("AT(\"в\", NAME)");
    EXPECT_EQ(result.out, "Number\n2\n") << result.err;
    result = tool("NAME = \"€\"");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("abonex-db: the expression holds a character that code page 866 "
                               "cannot hold\n",
                               0),
              0u)
        << result.err;
}

TEST(TableExpression, TheLanguageByteDecidesTheLettersOfATableFile) {
    TempDir dir;
    const std::string oem866 = dir.file("OEM.DBF"), ansi = dir.file("ANSI.DBF");
    createDbfTable(oem866, {{"NAME", 'C', 6, 0}});
    createDbfTable(ansi, {{"NAME", 'C', 6, 0}}, 0xC9);  // Russian Windows 1251
    for (const std::string& path : {oem866, ansi}) {
        GSO_dBaseFld table(path, true, true);
        table.BlankRecord();
        table.FieldPut("NAME", kIvanovOem);
        table.AppendRecord();
    }
    GSO_dBaseFld oemTable(oem866, true, false);
    GSO_dBaseFld ansiTable(ansi, true, false);
    EXPECT_EQ(oemTable.textCodePage(), TextCodePage::Oem866);
    EXPECT_EQ(ansiTable.textCodePage(), TextCodePage::Ansi1251);
    auto upperName = [](GSO_dBaseFld& table) {
        table.GotoRecord(1);
        TgsDBFExpUserLink link(table);
        TgsExpHandler handler(&link);
        handler.ExpressionCompile("UPPER(NAME)");
        return handler.ExpressionEvaluate().text;
    };
    EXPECT_EQ(upperName(oemTable), kIvanovUpperOem);
    // A table that says it holds 1251 text is cased by 1251's letters, as before.
    std::string ansiCased = kIvanovOem;
    for (char& c : ansiCased)
        c = static_cast<char>(upperInPage(static_cast<uint8_t>(c), TextCodePage::Ansi1251));
    EXPECT_EQ(upperName(ansiTable), ansiCased);
    EXPECT_NE(ansiCased, kIvanovUpperOem);
    // A caller that knows the text is 866 says so.
    ansiTable.setTextCodePage(TextCodePage::Oem866);
    EXPECT_EQ(upperName(ansiTable), kIvanovUpperOem);
}

TEST(TableExpression, EvalToolOnAnEmptyTableUsesABlankRecord) {
    TempDir dir;
    const std::string path = dir.file("EMPTY.DBF");
    createDbfTable(path, {{"NAME", 'C', 5, 0}, {"BORN", 'D', 8, 0}});
    auto result = runCommand(shellQuote(toolPath()) + " eval " + shellQuote(path) +
                             " 'NAME + DTOS(BORN) + STR(RECNO(), 2)'");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Text\n\"              0\"\n");
}

}  // namespace
}  // namespace abonex::test
