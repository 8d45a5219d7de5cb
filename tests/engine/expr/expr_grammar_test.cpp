// The key-expression language: scanning, operator binding, literals, fields, operator
// evaluation, text comparison, error messages and the handler's outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/expr/ansi_locale.h"
#include "engine/expr/exp_handler.h"
#include "engine/expr/expr_error.h"
#include "tests/engine/expr/fake_link.h"

namespace abonex::test {
namespace {

// A table like the directory's persons table plus one field of every other type.
class GrammarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link.addField("NAME", 'C', 30)
            .addField("PHONE1", 'C', 15)
            .addField("PHONE2", 'C', 15)
            .addField("SUM", 'N', 8, 2)
            .addField("QTY", 'N', 5)
            .addField("BORN", 'D', 8)
            .addField("P", 'L', 1)
            .addField("Q", 'L', 1);
        link.set("NAME", "Ivanov");
        link.set("PHONE1", "22-33-44");
    }
    FakeLink link;
};

// ---- binding and grouping ----

TEST_F(GrammarTest, AndBindsBeforeComparisonSoUnparenthesisedConditionsRegroup) {
    // P = .T. .AND. Q = .F. reads P = (.T. .AND. Q) = .F.; with P false and Q true the two
    // readings differ.
    link.set("P", "F");
    link.set("Q", "T");
    EXPECT_TRUE(booleanOf("P = .T. .AND. Q = .F.", &link));
    EXPECT_FALSE(booleanOf("(P = .T.) .AND. (Q = .F.)", &link));

    TgsExpHandler handler(&link);
    handler.ExpressionCompile("P = .T. .AND. Q = .F.");
    auto* top = dynamic_cast<const TgsExpOperator*>(handler.root());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->code(), OpCode::Equal);
    auto* inner = dynamic_cast<const TgsExpOperator*>(top->left());
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->code(), OpCode::Equal);
    auto* conjunction = dynamic_cast<const TgsExpOperator*>(inner->right());
    ASSERT_NE(conjunction, nullptr);
    EXPECT_EQ(conjunction->code(), OpCode::And);
}

TEST_F(GrammarTest, NumericConditionsJoinedByAndWithoutParenthesesFail) {
    // 1 .AND. QTY combines two numbers.
    EXPECT_EQ(errorOf("SUM = 1 .AND. QTY = 2", &link), "A assigned value is required but invalid");
    link.set("SUM", "    1.00");
    link.set("QTY", "    2");
    EXPECT_TRUE(booleanOf("(SUM = 1) .AND. (QTY = 2)", &link));
}

TEST_F(GrammarTest, NegationIsCombinedLastAndCoversEverythingToItsRight) {
    link.set("P", "T");
    link.set("Q", "F");
    EXPECT_TRUE(booleanOf(".NOT. P .AND. Q", &link));  // .NOT. (P .AND. Q)
    EXPECT_FALSE(booleanOf("(.NOT. P) .AND. Q", &link));
    EXPECT_FALSE(booleanOf("!1 = 1", nullptr));  // ! (1 = 1)
}

TEST_F(GrammarTest, NegationAfterABinaryOperatorNeedsParentheses) {
    link.set("P", "T");
    EXPECT_EQ(errorOf("P .AND. .NOT. Q", &link), "Expression cannot be evaluated");
    EXPECT_EQ(errorOf("!!.T.", &link), "Expression cannot be evaluated");
    EXPECT_TRUE(booleanOf("P .AND. (.NOT. Q)", &link));
    EXPECT_TRUE(booleanOf("!(!.T.)", &link));
}

TEST(Grammar, OperatorsOfOneLevelGroupFromTheLeft) {
    EXPECT_EQ(numberOf("10 - 4 - 3"), 3);
    EXPECT_EQ(numberOf("8 / 4 / 2"), 1);
    EXPECT_EQ(numberOf("2 ^ 3 ^ 2"), 64);  // (2^3)^2, not 2^9
    EXPECT_EQ(numberOf("2 + 3 * 4"), 14);
    EXPECT_EQ(numberOf("2 * 3 ** 2"), 18);
    EXPECT_EQ(numberOf("(2 + 3) * 4"), 20);
    EXPECT_TRUE(booleanOf("1 + 2 = 3"));
    EXPECT_EQ(errorOf("1 = 1 .OR. .F."), "The two sides of an operation do not match");
}

TEST(Grammar, PowerRepeatsMultiplicationWithTheExponentTruncated) {
    EXPECT_EQ(numberOf("2^0"), 2);
    EXPECT_EQ(numberOf("2^1"), 2);
    EXPECT_EQ(numberOf("2^-3"), 2);
    EXPECT_EQ(numberOf("2^3"), 8);
    EXPECT_EQ(numberOf("2^3.9"), 8);
    EXPECT_EQ(numberOf("1.5^2"), 2.25);
    EXPECT_EQ(numberOf("(0-1)^1001"), -1);
    EXPECT_EQ(numberOf("(0-1)^1000"), 1);
    EXPECT_TRUE(std::isinf(numberOf("2^5000")));
    EXPECT_EQ(numberOf("2^99999999999999999999"), HUGE_VAL);
}

TEST(Grammar, WordAndSymbolSpellingsOfOperators) {
    EXPECT_TRUE(booleanOf("1 EQ 1"));
    EXPECT_TRUE(booleanOf("1 ne 2"));
    EXPECT_TRUE(booleanOf("1 <> 2"));
    EXPECT_TRUE(booleanOf("1 != 2"));
    EXPECT_TRUE(booleanOf("1 # 2"));
    EXPECT_TRUE(booleanOf("2 .GT. 1"));
    EXPECT_TRUE(booleanOf("1 lt 2"));
    EXPECT_TRUE(booleanOf("2 => 2"));
    EXPECT_TRUE(booleanOf("2 GE 2"));
    EXPECT_TRUE(booleanOf("2 =< 2"));
    EXPECT_TRUE(booleanOf("2 le 3"));
    EXPECT_FALSE(booleanOf(".T. and .F."));
    EXPECT_TRUE(booleanOf(".F. OR .T."));
    EXPECT_TRUE(booleanOf(".F..OR..T."));
    EXPECT_TRUE(booleanOf("not .F."));
    EXPECT_TRUE(booleanOf(".not. .f."));
    EXPECT_TRUE(booleanOf("!.F."));
    EXPECT_EQ(errorOf("1 <=> 2"), "Syntax Error in expression \"1 <=> 2\"");
    EXPECT_EQ(errorOf("1 ANDX 2"), "Syntax Error in expression \"1 ANDX 2\"");
}

// ---- literals ----

TEST(Grammar, Literals) {
    EXPECT_TRUE(booleanOf(".t."));
    EXPECT_FALSE(booleanOf(".F."));
    // No escapes: the literal ends at the next quote.
    EXPECT_EQ(errorOf("'it''s'"), "Syntax Error in expression \"'it''s'\"");
    EXPECT_EQ(textOf("[say \"hi\"]"), "say \"hi\"");
    EXPECT_EQ(textOf("\"\""), "");
    EXPECT_EQ(dateOf("{19800101}"), kJulian19800101);
    EXPECT_EQ(dateOf("{01.01.1980}"), kJulian19800101);
    EXPECT_EQ(dateOf("{}"), 0);  // read as CTOD without its empty-text rule
    EXPECT_EQ(numberOf("+5"), 5);
    EXPECT_EQ(numberOf("-2.50"), -2.5);
    EXPECT_EQ(numberOf(".5"), 0.5);
    EXPECT_EQ(numberOf("1.2.3"), 0);  // does not convert
    EXPECT_EQ(numberOf(std::string(400, '9')), 0);
    EXPECT_EQ(numberOf("-"), 0);
}

TEST(Grammar, LiteralWidthsAndDecimalsAreTracked) {
    TgsExpHandler handler;
    handler.ExpressionCompile("12.500 + 1234567");
    EXPECT_EQ(handler.maxWidth(), 7);
    EXPECT_EQ(handler.maxDecimals(), 3);
}

TEST_F(GrammarTest, FieldWidthsAndDecimalsAreTracked) {
    TgsExpHandler handler(&link);
    handler.ExpressionCompile("STR(SUM) + PHONE1");
    EXPECT_EQ(handler.maxWidth(), 15);
    EXPECT_EQ(handler.maxDecimals(), 2);
}

// ---- every error message ----

TEST_F(GrammarTest, CompileErrorsCarryTheExactMessages) {
    EXPECT_EQ(errorOf("1 2"), "Syntax Error in expression \"1 2\"");
    EXPECT_EQ(errorOf("* 2"), "Syntax Error in expression \"* 2\"");
    EXPECT_EQ(errorOf("  1 + ()"), "Syntax Error in expression \"  1 + ()\"");
    EXPECT_EQ(errorOf("NAME \x7F", &link), "Syntax Error in expression \"NAME \x7F\"");
    EXPECT_EQ(errorOf("1 +\xFF"), "Syntax Error in expression \"1 +\xFF\"");
    EXPECT_EQ(errorOf("(1 + 2"), "Missing closing parentheses");
    EXPECT_EQ(errorOf("UPPER(\"a\""), "Missing closing parentheses");
    EXPECT_EQ(errorOf("UPPER(\")\""), "Missing closing parentheses");
    EXPECT_EQ(errorOf(".T"), "Missing closing period");
    EXPECT_EQ(errorOf("1 = .F + 2"), "Missing closing period");
    EXPECT_EQ(errorOf(".X."), "Expecting \".T.\" or \".F.\"");
    EXPECT_EQ(errorOf(".AND."), "Expecting \".T.\" or \".F.\"");
    EXPECT_EQ(errorOf("\"abc"), "Missing closing \"\"\" on literal");
    EXPECT_EQ(errorOf("'abc"), "Missing closing \"'\" on literal");
    EXPECT_EQ(errorOf("[abc"), "Missing closing \"[\" on literal");
    EXPECT_EQ(errorOf("{19800101"), "Missing closing \"{\" on literal");
    EXPECT_EQ(errorOf("nosuch(1)", &link), "There is no function for NOSUCH");
    EXPECT_EQ(errorOf("Surname", &link), "There is no function for SURNAME");
    EXPECT_EQ(errorOf("x.nosuch", &link), "There is no function for X.NOSUCH");
    EXPECT_EQ(errorOf("NAME", nullptr), "There is no function for NAME");
    EXPECT_EQ(errorOf("1 ! 2"), "Expression cannot be evaluated");
}

TEST(Grammar, EvaluationErrorsCarryTheExactMessages) {
    EXPECT_EQ(errorOf("1 +"), "Target value missing for + operation");
    EXPECT_EQ(errorOf(".T. and"), "Target value missing for and operation");
    EXPECT_EQ(errorOf("!"), "Target value missing for ! operation");
    EXPECT_EQ(errorOf(".T. = .NOT."), "Target value missing for .NOT. operation");
    EXPECT_EQ(errorOf("1 = \"1\""), "The two sides of an operation do not match");
    EXPECT_EQ(errorOf(".T. + 1"), "The two sides of an operation do not match");
    EXPECT_EQ(errorOf("{19800101} = \"x\""), "The two sides of an operation do not match");
    EXPECT_EQ(errorOf(".NOT. 1"), "A boolean value is required but invalid");
    EXPECT_EQ(errorOf("!\"T\""), "A boolean value is required but invalid");
    EXPECT_EQ(errorOf(".T. + .F."), "A number value is required but invalid");
    EXPECT_EQ(errorOf(".T. ^ .F."), "A number value is required but invalid");
    EXPECT_EQ(errorOf(".T. > .F."), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf(".T. $ .F."), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("1 $ 2"), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("1 == 1"), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("\"a\" == \"a\""), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("\"a\" * \"b\""), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("\"a\" .AND. \"b\""), "A assigned value is required but invalid");
    EXPECT_EQ(errorOf("CHR(256)"), "A Byte value is required but invalid");
    EXPECT_EQ(errorOf("PADL(\"a\", 3, \"xy\")"), "A Char value is required but invalid");
    EXPECT_EQ(errorOf("UPPER(1)"), "Text needed for Argument 1 of UPPER");
    EXPECT_EQ(errorOf("IIF(1, 2, 3)"), "Boolean needed for Argument 1 of IIF");
    EXPECT_EQ(errorOf("PADR()"), "Value needed for Argument 1 of Pad");
}

TEST(Grammar, EvaluationErrorsAreRaisedAsEngineExpressionErrors) {
    TgsExpHandler handler;
    handler.ExpressionCompile("1 + \"a\"");
    EXPECT_THROW(handler.ExpressionEvaluate(), EEngineExpression);
    EXPECT_THROW(handler.ExpressionCompile("(("), EEngineError);
    EXPECT_FALSE(handler.isCompiled());
}

// ---- operators on values ----

TEST(Grammar, RightOperandDecidesTheTypeOfArithmetic) {
    EXPECT_EQ(evaluate("{19800101} + 1").type, ExpType::Number);
    EXPECT_EQ(dateOf("1 + {19800101}"), kJulian19800101 + 1);
    EXPECT_EQ(dateOf("CTOD(\"19800111\") - {19800101}"), 10);
    EXPECT_TRUE(booleanOf("{19800101} = 2444240"));
    EXPECT_TRUE(booleanOf("CTOD(\"\") > {99991231}"));  // the empty date comes last
    EXPECT_TRUE(std::isinf(numberOf("1/0")));
}

TEST(Grammar, TextOperators) {
    EXPECT_EQ(textOf("\"ab  \" + \"cd\""), "ab  cd");
    EXPECT_EQ(textOf("\"ab  \" - \"cd\""), "abcd  ");
    EXPECT_EQ(textOf("\"  \" - \"cd \""), "cd   ");
    EXPECT_TRUE(booleanOf("\"van\" $ \"Ivanov\""));
    EXPECT_FALSE(booleanOf("\"Van\" $ \"Ivanov\""));
    EXPECT_FALSE(booleanOf("\"\" $ \"Ivanov\""));
}

TEST_F(GrammarTest, FieldConcatenationKeepsFullWidths) {
    EXPECT_EQ(textOf("NAME+PHONE1", &link), "Ivanov" + std::string(24, ' ') + "22-33-44       ");
    EXPECT_EQ(textOf("NAME-PHONE1", &link), "Ivanov22-33-44" + std::string(31, ' '));
    EXPECT_EQ(textOf("UPPER(NAME)", &link), "IVANOV" + std::string(24, ' '));
}

// ---- text comparison ----

TEST(TextComparison, EmptyTextsAndTrailingBlanks) {
    const TextCompareSettings s;
    EXPECT_EQ(compareExpressionTexts("", "", s), 0);
    EXPECT_LT(compareExpressionTexts("", " ", s), 0);  // empty only before trimming
    EXPECT_GT(compareExpressionTexts(" ", "", s), 0);
    EXPECT_EQ(compareExpressionTexts("abc   ", "abc", s), 0);
    EXPECT_NE(compareExpressionTexts("  abc", "abc", s), 0);
    EXPECT_TRUE(booleanOf("\"abc  \" = \"abc\""));
    EXPECT_TRUE(booleanOf("\"\" < \"a\""));
}

TEST(TextComparison, WildcardsAtEitherEndOfTheRightText) {
    EXPECT_TRUE(booleanOf("\"Ivanov\" = \"Iv*\""));
    EXPECT_TRUE(booleanOf("\"Ivanov\" = \"*nov\""));
    EXPECT_TRUE(booleanOf("\"Ivanov\" = \"*ano*\""));
    EXPECT_TRUE(booleanOf("\"Ivanov\" = \"*\""));
    EXPECT_TRUE(booleanOf("\"Ivanov  \" = \"*nov  \""));
    EXPECT_FALSE(booleanOf("\"Ivanov\" = \"an*\""));
    EXPECT_FALSE(booleanOf("\"Ivanov\" = \"*ano\""));
    EXPECT_FALSE(booleanOf("\"Iv*\" = \"Ivanov\""));  // only the right text is a pattern
    // "*abc": the first occurrence must end the text.
    EXPECT_FALSE(booleanOf("\"abcXabc\" = \"*abc\""));
    // Not equal: ordered against the pattern without its wildcards.
    EXPECT_TRUE(booleanOf("\"Ivanov\" < \"Z*\""));
    EXPECT_TRUE(booleanOf("\"Zeta\" > \"*A\""));
    EXPECT_TRUE(booleanOf("\"Ivanov\" # \"P*\""));
}

TEST(TextComparison, HandlerSettingsReachTheOperators) {
    TgsExpHandler handler;
    auto check = [&](std::string_view text) {
        handler.ExpressionCompile(text);
        return handler.ExpressionEvaluate().boolean;
    };
    handler.setWildcards(false);
    EXPECT_FALSE(check("\"Ivanov\" = \"Iv*\""));
    handler.setWildcards(true);
    handler.setWildcardChar('%');
    EXPECT_TRUE(check("\"Ivanov\" = \"Iv%\""));
    EXPECT_FALSE(check("\"Ivanov\" = \"Iv*\""));
    handler.setWildcardChar('*');
    EXPECT_FALSE(check("\"ivanov\" = \"IVANOV\""));
    handler.setCaseInsensitive(true);
    EXPECT_TRUE(check("\"ivanov\" = \"IVANOV\""));
    EXPECT_TRUE(check("\"ivanov\" = \"IV*\""));
    EXPECT_TRUE(check("\"\xE8\xE2\xE0\xED\" = \"\xC8\xC2\xC0\xCD\""));  // иван = ИВАН
}

TEST(TextComparison, LocaleOrderRatherThanByteOrder) {
    EXPECT_TRUE(booleanOf("\"a\" < \"B\""));                // bytes say 'a' > 'B'
    EXPECT_TRUE(booleanOf("\"\xC5\xE6\" < \"\xA8\xEB\""));  // Еж < Ёл: ё sorts with е
    EXPECT_TRUE(booleanOf("\"Z\" < \"\xC0\""));             // Latin before Cyrillic
    EXPECT_TRUE(booleanOf("\"9\" < \"A\""));
    EXPECT_TRUE(booleanOf("\"-\" < \"0\""));
}

// ---- fields ----

TEST_F(GrammarTest, FieldsReadRawBytesByType) {
    link.set("NAME", std::string("Pe\0tr", 5));
    EXPECT_EQ(textOf("NAME", &link), "Pe");        // ends at a NUL
    link.set("NAME", "\x88\xA2\xA0\xAD\xAE\xA2");  // Иванов in code page 866, untranslated
    EXPECT_EQ(textOf("TRIM(NAME)", &link), "\x88\xA2\xA0\xAD\xAE\xA2");
    EXPECT_EQ(dateOf("BORN", &link), 0);  // blank field
    link.set("BORN", "00000000");
    EXPECT_EQ(dateOf("BORN", &link), 0);
    link.set("BORN", "19800101");
    EXPECT_EQ(dateOf("BORN", &link), kJulian19800101);
    link.set("SUM", "  -12.50");
    EXPECT_EQ(numberOf("SUM", &link), -12.5);
    link.set("SUM", "  garble");
    EXPECT_EQ(numberOf("SUM", &link), 0);
    EXPECT_EQ(numberOf("QTY", &link), 0);  // blank
    for (const char* yes : {"T", "t", "Y", "y", "J", "j"}) {
        link.set("P", yes);
        EXPECT_TRUE(booleanOf("P", &link)) << yes;
    }
    for (const char* no : {"F", "N", " ", "?"}) {
        link.set("P", no);
        EXPECT_FALSE(booleanOf("P", &link)) << no;
    }
}

TEST_F(GrammarTest, FieldNamesMatchUpperCaseAndThroughAQualifier) {
    EXPECT_EQ(textOf("trim(name)", &link), "Ivanov");
    EXPECT_EQ(textOf("TRIM(phone.NAME)", &link), "Ivanov");
    // Only the part after the first period is tried.
    EXPECT_EQ(errorOf("TRIM(a.b.name)", &link), "There is no function for A.B.NAME");
}

TEST_F(GrammarTest, FieldOutsideAShortBufferReadsOnlyWhatIsThere) {
    link.truncateBuffer(4);
    EXPECT_EQ(textOf("NAME", &link), "Iva");
    EXPECT_EQ(textOf("PHONE1", &link), "");
}

// ---- handler outputs ----

TEST_F(GrammarTest, ExpressionTextWritesTheTreeBack) {
    TgsExpHandler handler(&link);
    auto written = [&](std::string_view text) {
        handler.ExpressionCompile(text);
        return handler.ExpressionText();
    };
    EXPECT_EQ(written("upper(name)+phone1"), "UPPER(NAME) + PHONE1");
    EXPECT_EQ(written("SUBSTR(NAME,,3)"), "SUBSTR(NAME,3)");
    EXPECT_EQ(written("a.name # 'x' .and. (.not.(1.50 <> 2))"),
              "NAME # \"x\" .AND. (.NOT. (1.50 # 2))");
    EXPECT_EQ(written("\"a\" $ NAME"), "\"a\" in string NAME");
    EXPECT_EQ(written("1 == 2"), "1 exactly equal 2");
    EXPECT_EQ(written("{01.01.1980} EQ .t."), "{19800101} = .T.");
    EXPECT_EQ(written("2 ** 3"), "2 ^ 3");
    EXPECT_EQ(written("'say \"hi\"' + [it's] + 'x'"), "'say \"hi\"' + \"it's\" + \"x\"");
    EXPECT_EQ(written(""), "");
    // The written form reads back as the same tree.
    link.set("P", "F");
    link.set("Q", "T");
    handler.ExpressionCompile("P = .T. .AND. Q = .F.");
    const std::string text = handler.ExpressionText();
    EXPECT_EQ(text, "P = .T. .AND. Q = .F.");
    EXPECT_TRUE(booleanOf(text, &link));
}

TEST_F(GrammarTest, FieldNamesListsEachFieldOnceInOrder) {
    TgsExpHandler handler(&link);
    handler.ExpressionCompile("UPPER(PHONE2) + NAME + IIF(P, PHONE2, NAME)");
    EXPECT_EQ(handler.FieldNames(), "PHONE2;NAME;P;");
    handler.ExpressionCompile("1 + 2");
    EXPECT_EQ(handler.FieldNames(), "");
}

TEST_F(GrammarTest, ExpressionToKeyStoresEachResultType) {
    TgsExpHandler handler(&link);
    TgsVariant key;
    key.setPointer(42);
    handler.ExpressionCompile("TRIM(NAME)");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Character);
    EXPECT_EQ(key.bytes(), "Ivanov");
    EXPECT_EQ(key.pointer(), 42u);
    handler.ExpressionCompile("2.5 * 2");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Double);
    EXPECT_EQ(key.asDouble(), 5.0);
    handler.ExpressionCompile("CTOD(\"19800101\") + 0.75");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Double);  // the right operand is a Number
    handler.ExpressionCompile("0.75 + {19800101}");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Date);
    EXPECT_EQ(key.asDate(), kJulian19800101);  // truncated
    EXPECT_EQ(handler.ResultType(), ExpType::Date);
    handler.ExpressionCompile("CTOD(\"\")");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Date);
    EXPECT_TRUE(key.isEmptyDate());
    EXPECT_EQ(key.asDouble(), kEmptyDate);
    handler.ExpressionCompile("NAME = \"Iv*\"");
    handler.ExpressionToKey(key);
    EXPECT_EQ(key.type(), VariantType::Logical);
    EXPECT_TRUE(key.asLogical());
    handler.ExpressionCompile("");
    handler.ExpressionToKey(key);
    EXPECT_TRUE(key.isEmpty());
    EXPECT_EQ(key.pointer(), 42u);
    EXPECT_EQ(handler.ResultType(), ExpType::None);
}

TEST(Grammar, EmptyOrFailedCompileLeavesNoTree) {
    TgsExpHandler handler;
    handler.ExpressionCompile("   ");
    EXPECT_FALSE(handler.isCompiled());
    EXPECT_EQ(handler.ExpressionEvaluate().type, ExpType::None);
    handler.ExpressionCompile("1 + 1");
    EXPECT_EQ(handler.ExpressionEvaluate().number, 2);
    EXPECT_EQ(handler.ResultType(), ExpType::Number);
    EXPECT_THROW(handler.ExpressionCompile("1 + ("), EEngineExpression);
    EXPECT_FALSE(handler.isCompiled());
    EXPECT_EQ(handler.ExpressionEvaluate().type, ExpType::None);
}

// ---- hostile input ----

TEST(Robustness, DeepNestingIsRefusedWithAClearError) {
    const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
    EXPECT_EQ(errorOf(deep), "Expression is nested too deeply");
    const std::string calls = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "ABS(";
        return s;
    }();
    EXPECT_EQ(errorOf(calls + "1" + std::string(5000, ')')), "There is no function for ABS");
    std::string upper;
    for (int i = 0; i < 5000; ++i) upper += "UPPER(";
    EXPECT_EQ(errorOf(upper + "'a'" + std::string(5000, ')')), "Expression is nested too deeply");
    std::string chain = "1";
    for (int i = 0; i < 100000; ++i) chain += "+1";
    EXPECT_EQ(errorOf(chain), "Expression is nested too deeply");
    std::string negations(100000, '!');
    EXPECT_EQ(errorOf(negations + ".T."), "Expression cannot be evaluated");
}

TEST(Robustness, ModerateNestingStillWorks) {
    EXPECT_EQ(numberOf(std::string(150, '(') + "7" + std::string(150, ')')), 7);
    std::string chain = "0";
    for (int i = 0; i < 150; ++i) chain += "+1";
    EXPECT_EQ(numberOf(chain), 150);
}

// Every failure is an EEngineExpression carrying one of the language's messages.
bool isLanguageMessage(const std::string& message) {
    static const char* const kPrefixes[] = {
        "Syntax Error in expression \"",
        "Missing closing parentheses",
        "Missing closing period",
        "Expecting \".T.\" or \".F.\"",
        "Missing closing \"",
        "There is no function for ",
        "Expression cannot be evaluated",
        "Target value missing for ",
        "The two sides of an operation do not match",
        "A ",
        "Expression is nested too deeply",
    };
    for (const char* prefix : kPrefixes) {
        if (message.rfind(prefix, 0) == 0) return true;
    }
    return message.find(" needed for Argument ") != std::string::npos;
}

TEST(Robustness, EveryByteAloneAndInsideAnExpression) {
    for (int b = 0; b < 256; ++b) {
        const char ch = static_cast<char>(b);
        const std::string one(1, ch);
        TgsExpHandler handler;
        if (b >= 1 && b <= 0x20) {
            handler.ExpressionCompile(one);
            EXPECT_FALSE(handler.isCompiled()) << b;  // a blank text
        } else if (ch >= '0' && ch <= '9') {
            EXPECT_EQ(numberOf(one), b - '0');
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == '_') {
            EXPECT_EQ(errorOf(one), "There is no function for " + ansiUpper(one));
        }
        for (const std::string& text : {one, "1" + one, one + "1", "\"a\"" + one + "\"b\"",
                                        "UPPER(" + one + ")", "(" + one, one + "(1)"}) {
            try {
                evaluate(text);
            } catch (const EEngineExpression& error) {
                EXPECT_TRUE(isLanguageMessage(error.what())) << b << ": " << error.what();
            }
        }
    }
}

TEST(Robustness, HugeRequestsAreRefusedNotAllocated) {
    EXPECT_EQ(errorOf("SPACE(1E9)"), "Syntax Error in expression \"SPACE(1E9)\"");
    EXPECT_EQ(errorOf("SPACE(999999999999)"), "Expression result is too long");
    EXPECT_EQ(errorOf("PADL('a', 99999999999)"), "Expression result is too long");
    EXPECT_EQ(errorOf("STR(1, 99999999999)"), "Expression result is too long");
    EXPECT_EQ(errorOf("STRTRAN(SPACE(1000000), ' ', SPACE(100))"), "Expression result is too long");
    EXPECT_EQ(textOf("STR(1, 5, 99999999999)"), "*****");
}

}  // namespace
}  // namespace abonex::test
