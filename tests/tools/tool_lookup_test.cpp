// abonex-db lookup: the rows a caller's number finds in a folder's three tables, the town's
// code given on the command line, and the exit statuses.
#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

class ToolLookupTest : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        importRows(m_phone,
                   "Иванов И.И.,22-33-44,,\n"
                   "Петров А.Ж.,35-96-27,53-87-52,\n"
                   "Сидоров С.С.,8(8352)53-87-52,,\n");
        importRows(m_dir.file("Favor.dbf"), "Аптека у дома,22-33-44,,круглосуточно\n");
    }
    CommandResult lookup(const std::string& words) {
        return tool("lookup " + shellQuote(m_dir.path()) + " " + words);
    }
};

TEST_F(ToolLookupTest, FindsTheSecondPhoneByTheFullNumberInEitherForm) {
    const std::string petrov =
        "TABLE,NAME,PHONE1,PHONE2,COMMENT\nPhone.DBF,Петров А.Ж.,35-96-27,53-87-52,\n";
    for (const std::string number : {"'+7 (8172) 53-87-52'", "88172538752"}) {
        const CommandResult found = lookup(number + " --town-code 8172");
        EXPECT_EQ(found.status, 0) << number << found.err;
        EXPECT_EQ(found.out, petrov) << number;
        EXPECT_EQ(found.err, "") << number;
    }
    // Another town's number with the same local number finds the row stored with that code.
    const CommandResult other = lookup("88352538752 --town-code 8172");
    EXPECT_EQ(other.out,
              "TABLE,NAME,PHONE1,PHONE2,COMMENT\nPhone.DBF,Сидоров С.С.,8(8352)53-87-52,,\n");
    // Without the town's code the full number cannot be told from a local one.
    const CommandResult noCode = lookup("88172538752");
    EXPECT_EQ(noCode.status, 1);
    EXPECT_EQ(noCode.out, "");
}

TEST_F(ToolLookupTest, SeveralRowsAreEachPrintedTheFavouritesFirst) {
    const CommandResult found = lookup("22-33-44");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out,
              "TABLE,NAME,PHONE1,PHONE2,COMMENT\n"
              "Favor.dbf,Аптека у дома,22-33-44,,круглосуточно\n"
              "Phone.DBF,Иванов И.И.,22-33-44,,\n");
}

TEST_F(ToolLookupTest, ExitsLikeGrepAndRefusesWhatIsNoNumberOrNoDirectory) {
    const CommandResult none = lookup("12 --town-code 8172");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "");
    for (const std::string words : {"P", "12 --town-code 81-72", "12 --town-code", "", "1 2"}) {
        const CommandResult wrong = lookup(words);
        EXPECT_EQ(wrong.status, 2) << words;
        EXPECT_NE(wrong.err.find("usage: abonex-db lookup FOLDER NUMBER"), std::string::npos)
            << words << wrong.err;
    }
    TempDir empty;
    const CommandResult nothing = tool("lookup " + shellQuote(empty.path()) + " 12");
    EXPECT_EQ(nothing.status, 3);
    EXPECT_EQ(nothing.err, empty.path() + "/ holds no table of the directory\n");
}

}  // namespace
}  // namespace abonex::test
