// The built-in and table functions of the key-expression language.
#include "engine/expr/expr_functions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "engine/expr/exp_handler.h"
#include "engine/expr/expr_error.h"
#include "tests/engine/expr/fake_link.h"

namespace abonex::test {
namespace {

constexpr double kJulian20020305 = 2452339;

TEST(Functions, RegistryHoldsTheBuiltInsInOrder) {
    const auto& functions = TgsFunctionReg::instance().functions();
    ASSERT_EQ(functions.size(), 37u);
    EXPECT_EQ(functions.front().name(), "ALLTRIM");
    EXPECT_EQ(functions.back().name(), "VAL");
    EXPECT_EQ(TgsFunctionReg::instance().find("upper"), nullptr);  // names are upper case
    EXPECT_NE(TgsFunctionReg::instance().find("UPPER"), nullptr);
    EXPECT_EQ(textOf("upper('a')"), "A");  // calls are upper-cased before the lookup
}

TEST(Functions, StrRoundsHalfAwayFromZeroAndOverflowsToAsterisks) {
    EXPECT_EQ(textOf("STR(3.14159, 6, 2)"), "  3.14");
    EXPECT_EQ(textOf("STR(123456, 3)"), "***");
    EXPECT_EQ(textOf("STR(5)"), "         5");
    EXPECT_EQ(textOf("STR(2.5)"), "         3");  // printf would give 2
    EXPECT_EQ(textOf("STR(-2.5)"), "        -3");
    EXPECT_EQ(textOf("STR(0.125, 5, 2)"), " 0.13");   // an exact tie in binary
    EXPECT_EQ(textOf("STR(1.005, 6, 2)"), "  1.00");  // 1.00499999... in binary
    EXPECT_EQ(textOf("STR(9.995, 5, 2)"), " 9.99");
    EXPECT_EQ(textOf("STR(99.5, 3)"), "100");
    EXPECT_EQ(textOf("STR(999.5, 3)"), "***");
    EXPECT_EQ(textOf("STR(0-0.001, 6, 2)"), "  0.00");  // no negative zero
    EXPECT_EQ(textOf("STR(1, 3, 5)"), "***");
    EXPECT_EQ(textOf("STR(1/0, 4)"), "****");
    EXPECT_EQ(textOf("STR(12, 0)"), "");
    EXPECT_EQ(textOf("STR(12, -4)"), "");
    EXPECT_EQ(textOf("STR(7, 4, -2)"), "   7");
}

TEST(Functions, StrzeroTurnsLeadingBlanksIntoZeros) {
    EXPECT_EQ(textOf("STRZERO(3.14159, 6, 2)"), "003.14");
    EXPECT_EQ(textOf("STRZERO(42, 5)"), "00042");
    EXPECT_EQ(textOf("STRZERO(0-5, 4)"), "00-5");
    EXPECT_EQ(textOf("STRZERO(123456, 3)"), "***");
}

TEST(Functions, SubstrAndDroppedEmptyArguments) {
    EXPECT_EQ(textOf("SUBSTR('abcdef', 2, 3)"), "bcd");
    EXPECT_EQ(textOf("SUBSTR('abcdef', 2)"), "bcdef");
    EXPECT_EQ(textOf("SUBSTR('abcdef', 5, 10)"), "ef");
    EXPECT_EQ(textOf("SUBSTR('abc', 0)"), "");
    EXPECT_EQ(textOf("SUBSTR('abc', 4)"), "");
    EXPECT_EQ(textOf("SUBSTR('abc', 2, 0)"), "");
    EXPECT_EQ(textOf("SUBSTR('abc', 2, -1)"), "");
    // The empty argument is dropped: SUBSTR(c,,3) is SUBSTR(c,3).
    EXPECT_EQ(textOf("SUBSTR('abcdef',,3)"), "cdef");
    EXPECT_EQ(textOf("SUBSTR('abcdef', , 3, )"), "cdef");
    // Dropping moves later arguments forward, even into a slot of another type.
    EXPECT_EQ(errorOf("STRTRAN('aXb', 'X', , 2)"), "Text needed for Argument 3 of STRTRAN");
}

TEST(Functions, DescendInvertsEachType) {
    EXPECT_EQ(textOf("DESCEND('AB')"), "\xBF\xBE");
    EXPECT_EQ(textOf("DESCEND(CHR(0) + CHR(1) + CHR(255))"), std::string("\0\xFF\x01", 3));
    EXPECT_EQ(numberOf("DESCEND(5)"), -5);
    EXPECT_EQ(numberOf("DESCEND(0)"), 0);
    EXPECT_FALSE(std::signbit(numberOf("DESCEND(0)")));
    EXPECT_FALSE(booleanOf("DESCEND(.T.)"));
    EXPECT_EQ(dateOf("DESCEND({19800101})"), 5231808 - kJulian19800101);
    EXPECT_EQ(dateOf("DESCEND(CTOD(''))"), kEmptyDate);
    EXPECT_FALSE(booleanOf("DESCEND()"));
    // Descending text keys sort in reverse byte order.
    EXPECT_LT(static_cast<uint8_t>(textOf("DESCEND('B')")[0]),
              static_cast<uint8_t>(textOf("DESCEND('A')")[0]));
}

TEST(Functions, CtodDtocDtosWithTheEmptyDateAndDayZero) {
    EXPECT_EQ(dateOf("CTOD('')"), kEmptyDate);
    EXPECT_EQ(dateOf("CTOD('   ')"), 0);
    EXPECT_EQ(dateOf("CTOD('00000000')"), 0);
    EXPECT_EQ(dateOf("CTOD('19800101')"), kJulian19800101);
    EXPECT_EQ(dateOf("CTOD('20020305  ')"), kJulian20020305);
    EXPECT_EQ(dateOf("CTOD('05.03.2002')"), kJulian20020305);
    EXPECT_EQ(dateOf("CTOD('5.3.02')"), kJulian20020305);
    EXPECT_EQ(dateOf("CTOD('1.1.80')"), kJulian19800101);
    EXPECT_EQ(dateOf("CTOD('31.02.2002')"), 0);  // no such day
    EXPECT_EQ(dateOf("CTOD('20021340')"), 0);
    EXPECT_EQ(dateOf("CTOD('03/05/2002')"), 0);  // not the short date format
    EXPECT_EQ(textOf("DTOS({05.03.2002})"), "20020305");
    EXPECT_EQ(textOf("DTOS(CTOD(''))"), "        ");
    EXPECT_EQ(textOf("DTOS(CTOD(' '))"), "        ");  // day 0
    EXPECT_EQ(textOf("DTOC({20020305})"), "05.03.2002");
    EXPECT_EQ(textOf("DTOC({20020305}, 1)"), "20020305");
    EXPECT_EQ(textOf("DTOC({00010101})"), "01.01.0001");
    EXPECT_EQ(textOf("DTOC(CTOD(''))"), "          ");
    EXPECT_EQ(textOf("DTOC({})"), "          ");
    EXPECT_EQ(textOf("DTOC(CTOD(''), 1)"), "        ");
    EXPECT_EQ(textOf("DTOS({99991231} + 1)"), "        ");  // past the last real day
}

TEST(Functions, DowAndDate) {
    EXPECT_EQ(numberOf("DOW({19800101})"), 3);  // a Tuesday
    EXPECT_EQ(numberOf("DOW({19800106})"), 1);  // Sunday
    EXPECT_EQ(numberOf("DOW({19800105})"), 7);  // Saturday
    EXPECT_EQ(numberOf("DOW(CTOD(''))"), 0);
    EXPECT_EQ(numberOf("DOW({})"), 0);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double utcDay =
        2440588.0 + std::floor(std::chrono::duration<double>(now).count() / 86400.0);
    EXPECT_NEAR(dateOf("DATE()"), utcDay, 1.0);
}

TEST(Functions, Soundex) {
    EXPECT_EQ(textOf("SOUNDEX('Robert')"), "R163");
    EXPECT_EQ(textOf("SOUNDEX('Rupert')"), "R163");
    EXPECT_EQ(textOf("SOUNDEX('Tymczak')"), "T522");
    EXPECT_EQ(textOf("SOUNDEX('Pfister')"), "P236");   // f has P's code: dropped
    EXPECT_EQ(textOf("SOUNDEX('Ashcraft')"), "A226");  // h separates the two codes 2
    EXPECT_EQ(textOf("SOUNDEX('Lee')"), "L000");
    EXPECT_EQ(textOf("SOUNDEX('  12ab')"), "A100");
    EXPECT_EQ(textOf("SOUNDEX('')"), "0000");
}

TEST(Functions, Proper) {
    EXPECT_EQ(textOf("PROPER('ivan ivanov')"), "Ivan Ivanov");
    EXPECT_EQ(textOf("PROPER('HELLO wORLD')"), "Hello World");
    EXPECT_EQ(textOf("PROPER('mc-donald(jr)x@y')"), "Mc-Donald(Jr)X@Y");
    EXPECT_EQ(textOf("PROPER(\"o'neil a1b\")"), "O'neil A1b");
    EXPECT_EQ(textOf("PROPER('\xE8\xE2\xE0\xED \xCF\xC5\xD2\xD0')"),
              "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0");  // иван ПЕТР -> Иван Петр
}

TEST(Functions, AtAndAtcOccurrences) {
    EXPECT_EQ(numberOf("AT('a', 'banana')"), 2);
    EXPECT_EQ(numberOf("AT('a', 'banana', 2)"), 4);
    EXPECT_EQ(numberOf("AT('a', 'banana', 3)"), 6);
    EXPECT_EQ(numberOf("AT('a', 'banana', 5)"), 6);    // fewer: the last one found
    EXPECT_EQ(numberOf("AT('ana', 'banana', 2)"), 4);  // the next search starts one byte on
    EXPECT_EQ(numberOf("AT('x', 'banana', 2)"), 0);
    EXPECT_EQ(numberOf("AT('', 'banana')"), 0);
    EXPECT_EQ(numberOf("AT('A', 'banana')"), 0);
    EXPECT_EQ(numberOf("ATC('A', 'banana')"), 2);
    EXPECT_EQ(numberOf("ATC('NA', 'banana', 2)"), 5);
    EXPECT_EQ(numberOf("ATC('\xE0', '\xC0')"), 0);  // only a-z are folded
    EXPECT_EQ(errorOf("AT('a', 5)"), "Text needed for Argument 2 of AT");
}

TEST(Functions, PadFunctions) {
    EXPECT_EQ(textOf("PADL('ab', 5)"), "   ab");
    EXPECT_EQ(textOf("PADR('ab', 5, '*')"), "ab***");
    EXPECT_EQ(textOf("PADC('ab', 7, '-')"), "--ab---");
    EXPECT_EQ(textOf("PADC('ab', 6, '-')"), "--ab--");
    EXPECT_EQ(textOf("PADC('abcdef', 3)"), "abcdef");
    EXPECT_EQ(textOf("PADL(5, 3)"), "  5");
    EXPECT_EQ(textOf("PADL(2.5, 5)"), "  2,5");
    EXPECT_EQ(textOf("PADR({19800101}, 11, '|')"), "01.01.1980|");
    EXPECT_EQ(textOf("PADL(.T., 2)"), " T");
    EXPECT_EQ(errorOf("PADL('a', 5, 'xy')"), "A Char value is required but invalid");
    EXPECT_EQ(errorOf("PADL('a', 5, '')"), "A Char value is required but invalid");
    EXPECT_EQ(errorOf("PADL('a', 5, 1)"), "A Char value is required but invalid");
    EXPECT_EQ(errorOf("PADC()"), "Value needed for Argument 1 of Pad");
    EXPECT_EQ(textOf("PADL(,5)"), "5");  // the empty piece is dropped: PADL(5)
}

TEST(Functions, IifEvaluatesOnlyTheChosenArgument) {
    EXPECT_EQ(textOf("IIF(.T., 'a', 1)"), "a");
    EXPECT_EQ(numberOf("IIF(.F., 'a', 1)"), 1);
    EXPECT_EQ(textOf("IIF(.T., 'a', CHR(300))"), "a");
    EXPECT_EQ(numberOf("IIF(1 > 2, CHR(300), 2)"), 2);
    EXPECT_TRUE(booleanOf("IIF('yes', .T., .F.)"));  // a text is converted
    EXPECT_EQ(evaluate("IIF(.F., 1)").type, ExpType::None);
}

TEST(Functions, TypeMismatchesOfArguments) {
    EXPECT_EQ(errorOf("LEN(5)"), "Text needed for Argument 1 of LEN");
    EXPECT_EQ(errorOf("TRIM({19800101})"), "Text needed for Argument 1 of TRIM");
    EXPECT_EQ(errorOf("IIF(DATE(), 1, 2)"), "Boolean needed for Argument 1 of IIF");
    EXPECT_EQ(textOf("UPPER(.T.)"), "T");               // Boolean converted to text
    EXPECT_EQ(numberOf("INT('12,7')"), 12);             // text converted to a number
    EXPECT_EQ(textOf("DTOS('19800101')"), "19800101");  // text converted to a date
    EXPECT_EQ(errorOf("BETWEEN(5, 'a', 10)"), "The two sides of an operation do not match");
}

TEST(Functions, NumericFunctions) {
    EXPECT_EQ(numberOf("CEILING(1.2)"), 2);
    EXPECT_EQ(numberOf("CEILING(0-1.2)"), -1);
    EXPECT_EQ(numberOf("FLOOR(0-1.2)"), -2);
    EXPECT_EQ(numberOf("INT(0-1.7)"), -1);
    EXPECT_EQ(numberOf("MOD(7, 3)"), 1);
    EXPECT_EQ(numberOf("MOD(0-7, 3)"), -1);
    EXPECT_EQ(numberOf("MOD(7, 0-3)"), 1);
    EXPECT_EQ(numberOf("MOD(7.9, 3.9)"), 1);
    EXPECT_EQ(numberOf("MOD(5, 0)"), 5);
    EXPECT_EQ(numberOf("ASC('A')"), 65);
    EXPECT_EQ(numberOf("ASC(CHR(255))"), 255);
    EXPECT_EQ(numberOf("ASC('')"), 0);
    EXPECT_EQ(numberOf("VAL('3,14')"), 3.14);
    EXPECT_EQ(numberOf("VAL('3.14')"), 0);  // the decimal separator is ','
    EXPECT_EQ(numberOf("VAL('  12 ')"), 12);
    EXPECT_EQ(numberOf("VAL('-1,5e2')"), -150);
    EXPECT_EQ(numberOf("VAL('')"), 0);
    EXPECT_EQ(numberOf("VAL('12abc')"), 0);
    EXPECT_TRUE(booleanOf("BETWEEN(5, 1, 10)"));
    EXPECT_FALSE(booleanOf("BETWEEN(11, 1, 10)"));
    EXPECT_TRUE(booleanOf("BETWEEN('b', 'a', 'c')"));
    EXPECT_TRUE(booleanOf("BETWEEN({19800102}, {19800101}, 2444242)"));
}

TEST(Functions, ChrBoundaries) {
    EXPECT_EQ(textOf("CHR(65)"), "A");
    EXPECT_EQ(textOf("CHR(0)"), std::string(1, '\0'));
    EXPECT_EQ(textOf("CHR(255.9)"), "\xFF");
    EXPECT_EQ(errorOf("CHR(256)"), "A Byte value is required but invalid");
    EXPECT_EQ(errorOf("CHR(0-1)"), "A Byte value is required but invalid");
    EXPECT_EQ(errorOf("CHR(0/0)"), "A Byte value is required but invalid");
}

TEST(Functions, TextFunctions) {
    EXPECT_EQ(textOf("LEFT('abc', 2)"), "ab");
    EXPECT_EQ(textOf("LEFT('abc', 0.01)"), "");
    EXPECT_EQ(textOf("LEFT('abc', 1.9)"), "a");
    EXPECT_EQ(textOf("LEFT('abc', 10)"), "abc");
    EXPECT_EQ(textOf("RIGHT('abc', 2)"), "bc");
    EXPECT_EQ(textOf("RIGHT('abc', 0)"), "abc");
    EXPECT_EQ(textOf("RIGHT('abc', 5)"), "abc");
    EXPECT_EQ(numberOf("LEN('abc  ')"), 5);
    EXPECT_EQ(textOf("LTRIM(CHR(9) + ' a ')"), "a ");
    EXPECT_EQ(textOf("TRIM(' a ' + CHR(1))"), " a");
    EXPECT_EQ(textOf("RTRIM(' a  ')"), " a");
    EXPECT_EQ(textOf("ALLTRIM(CHR(0) + ' a b ' + CHR(32))"), "a b");
    EXPECT_EQ(textOf("SPACE(3)"), "   ");
    EXPECT_EQ(textOf("SPACE(0-3)"), "");
    EXPECT_EQ(textOf("UPPER('ab\xE0\xFF\xB8\xB3')"), "AB\xC0\xDF\xA8\xB2");
    EXPECT_EQ(textOf("LOWER('AB\xC0\xDF\xA8\xB2')"), "ab\xE0\xFF\xB8\xB3");
    EXPECT_EQ(textOf("STRTRAN('aXbXc', 'X')"), "abc");
    EXPECT_EQ(textOf("STRTRAN('aXbXc', 'X', '-')"), "a-b-c");
    EXPECT_EQ(textOf("STRTRAN('aXbXcX', 'X', '-', 2)"), "aXb-c-");
    EXPECT_EQ(textOf("STRTRAN('aXbXcX', 'X', '-', 2, 1)"), "aXb-cX");
    EXPECT_EQ(textOf("STRTRAN('aaaa', 'aa', 'b')"), "bb");
    EXPECT_EQ(textOf("STRTRAN('', 'X', '-')"), "");
    EXPECT_EQ(textOf("STRTRAN('abc', '', '-')"), "abc");
}

TEST(Functions, Empty) {
    EXPECT_TRUE(booleanOf("EMPTY('   ')"));
    EXPECT_TRUE(booleanOf("EMPTY('')"));
    EXPECT_FALSE(booleanOf("EMPTY(' a')"));
    EXPECT_TRUE(booleanOf("EMPTY(0)"));
    EXPECT_FALSE(booleanOf("EMPTY(0.001)"));
    EXPECT_TRUE(booleanOf("EMPTY(CTOD(''))"));
    EXPECT_TRUE(booleanOf("EMPTY({})"));
    EXPECT_FALSE(booleanOf("EMPTY({19800101})"));
    EXPECT_TRUE(booleanOf("EMPTY(.F.)"));
    EXPECT_FALSE(booleanOf("EMPTY(.T.)"));
}

// ---- table functions ----

class TableFunctionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link.addField("NAME", 'C', 30).addField("PHONE1", 'C', 15).addField("BORN", 'D', 8);
    }
    FakeLink link;
};

TEST_F(TableFunctionTest, RecordStateFunctions) {
    link.setPosition(7);
    EXPECT_EQ(numberOf("RECNO()", &link), 7);
    EXPECT_FALSE(booleanOf("DELETED()", &link));
    link.setDeleted(true);
    EXPECT_TRUE(booleanOf("deleted()", &link));
    EXPECT_FALSE(booleanOf("BOF() .OR. EOF()", &link));
    link.setPosition(0, true, false);
    EXPECT_TRUE(booleanOf("BOF()", &link));
    link.setPosition(3, false, true);
    EXPECT_TRUE(booleanOf("EOF()", &link));
}

TEST_F(TableFunctionTest, FieldDescribingFunctions) {
    EXPECT_EQ(textOf("TYPE('born')", &link), "D");
    EXPECT_EQ(textOf("TYPE('NAME ')", &link), "C");
    EXPECT_EQ(textOf("TYPE('nosuch')", &link), "U");
    EXPECT_EQ(numberOf("FIELDNO('phone1')", &link), 2);
    EXPECT_EQ(numberOf("FIELDNO('nosuch')", &link), 0);
    // The built-in LEN shadows the table's: the length of the text, not the field width.
    EXPECT_EQ(numberOf("LEN('NAME')", &link), 4);
    const TgsUserDefFunction* fieldLen = TgsExpUserLink::tableFunction("LEN");
    ASSERT_NE(fieldLen, nullptr);
    std::vector<ExpNodePtr> arguments;
    arguments.push_back(std::make_unique<TgsExpTextLit>("NAME"));
    EXPECT_EQ(fieldLen->evaluate(FunctionArgs("LEN", arguments, &link)).number, 30);
}

TEST_F(TableFunctionTest, TableFunctionsNeedATable) {
    EXPECT_EQ(errorOf("RECNO()"), "There is no function for RECNO");
    EXPECT_EQ(errorOf("FIELDNO('NAME')"), "There is no function for FIELDNO");
}

// A table whose handler supplies one more function through the hook.
class HookedLink : public FakeLink {
  public:
    const TgsUserDefFunction* genericFunction(std::string_view upperName) const override {
        static const TableDrivenFunction twice(
            "TWICE", [](const FunctionArgs& a) { return ExpValue::ofNumber(2 * a.number(0)); });
        return upperName == "TWICE" ? &twice : nullptr;
    }
};

TEST(Functions, HandlerHookSuppliesFurtherFunctions) {
    HookedLink link;
    EXPECT_EQ(numberOf("Twice(21)", &link), 42);
    EXPECT_EQ(errorOf("THRICE(1)", &link), "There is no function for THRICE");
    EXPECT_EQ(errorOf("TWICE(1)"), "There is no function for TWICE");
}

TEST(Functions, FormatStrIsSharedWithTheTools) {
    EXPECT_EQ(formatStr(3.14159, 6, 2), "  3.14");
    EXPECT_EQ(formatStr(-0.5, 2, 0), "-1");
    EXPECT_EQ(formatStr(1e300, 10, 0), "**********");
    EXPECT_EQ(valueOfText("1,25"), 1.25);
}

}  // namespace
}  // namespace abonex::test
