// The abonex-db tool, run as a user runs it.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::runCommand;
using test::shellQuote;
using test::TempDir;

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto created = tool("create " + shellQuote(m_dir.path()));
        ASSERT_EQ(created.status, 0) << created.err;
        m_phone = m_dir.file("Phone.DBF");
    }
    test::CommandResult tool(const std::string& arguments) {
        return runCommand(shellQuote(test::toolPath()) + " " + arguments);
    }
    std::string writeCsv(const std::string& name, const std::string& text) {
        std::string path = m_dir.file(name);
        test::writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    }
    TempDir m_dir;
    std::string m_phone;
};

TEST_F(ToolTest, CreateMakesTheThreeDirectoryTables) {
    auto info = tool("info " + shellQuote(m_dir.file("org.DBF")));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("records:        0"), std::string::npos);
    EXPECT_NE(info.out.find("ORG_NAME    C    100"), std::string::npos);
    EXPECT_NE(info.out.find("record length:  381"), std::string::npos);
    for (const char* name : {"Phone.MDX", "Org.MDX", "Favor.MDX"}) {
        EXPECT_TRUE(test::fileSize(m_dir.file(name)) >= 2048u) << name;
    }
}

TEST_F(ToolTest, InfoOnAMissingFileGivesTheEngineMessage) {
    auto info = tool("info " + shellQuote(m_dir.file("none.dbf")));
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.err, "File not found - " + m_dir.file("none.dbf") + "\n");
}

TEST_F(ToolTest, ImportThenExportGivesTheRowsBackInNameOrder) {
    std::string csv = writeCsv("in.csv",
                               "name,phone1,phone2,comment\n"
                               "Сидоров С.С.,22-11-00,,\"ул. Мира, 1\"\n"
                               "Абрамова А.А.,22-33-44,22-33-45,\n"
                               "Петров П.П.,21-00-01,,кв. 5\n");
    auto imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(csv));
    ASSERT_EQ(imported.status, 0) << imported.err;
    auto exported = tool("export " + shellQuote(m_phone));
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out,
              "NAME,PHONE1,PHONE2,COMMENT\n"
              "Абрамова А.А.,22-33-44,22-33-45,\n"
              "Петров П.П.,21-00-01,,кв. 5\n"
              "Сидоров С.С.,22-11-00,,\"ул. Мира, 1\"\n");
    // The export is itself importable: its header names the fields.
    std::string again = writeCsv("again.csv", exported.out);
    ASSERT_EQ(tool("import " + shellQuote(m_phone) + " " + shellQuote(again)).status, 0);
    auto recordOrder = tool("export " + shellQuote(m_phone) + " --tag ''");
    EXPECT_EQ(recordOrder.out.substr(0, recordOrder.out.find('\n', 27) + 1),
              "NAME,PHONE1,PHONE2,COMMENT\nСидоров С.С.,22-11-00,,\"ул. Мира, 1\"\n");
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_F(ToolTest, BadCsvIsRefusedBeforeAnythingIsWritten) {
    auto before = test::readFileBytes(m_phone);
    struct Case {
        std::string text;
        std::string message;
    };
    std::vector<Case> cases = {
        {"a,1,2,3\nb,1,2\n", ":2: expected 4 columns, found 3; nothing imported\n"},
        {"a,1,2,3\nКрасный — синий,1,2,3\n",
         ":2: column 1 holds a character that code page 866 cannot hold; nothing imported\n"},
        {"a,1,2,3\n" + std::string(31, 'x') + ",1,2,3\n",
         ":2: column 1 is 31 characters long, the field NAME holds 30; nothing imported "
         "(--truncate cuts long values)\n"},
        {"a,1,2,3\n\"b,1,2,3\n", ": line 2: unclosed quote; nothing imported\n"},
    };
    for (const Case& c : cases) {
        std::string csv = writeCsv("bad.csv", c.text);
        auto result = tool("import " + shellQuote(m_phone) + " " + shellQuote(csv));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, csv + c.message);
        EXPECT_EQ(test::readFileBytes(m_phone), before) << c.text;
    }
    std::string longName = writeCsv("long.csv", std::string(31, 'y') + ",1,2,3\n");
    auto cut = tool("import " + shellQuote(m_phone) + " " + shellQuote(longName) + " --truncate");
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(tool("export " + shellQuote(m_phone)).out.find(std::string(30, 'y') + ",1,2,3\n"),
              std::string::npos);
}

TEST_F(ToolTest, SearchShowsWhatTheWindowWouldShow) {
    std::string csv = writeCsv("in.csv",
                               "иванов и.и.,22-11-00,33-33-33,\n"
                               "ИВАНОВА А.А.,21-00-01,,\n"
                               "Петров-Иванов П.П.,22-00-01,,\n"
                               "Сидоров С.С.,33-33-33,,\n");
    ASSERT_EQ(tool("import " + shellQuote(m_phone) + " " + shellQuote(csv)).status, 0);
    auto prefix = tool("search " + shellQuote(m_phone) + " --name Иван");
    ASSERT_EQ(prefix.status, 0) << prefix.err;
    EXPECT_EQ(
        prefix.out,
        "NAME,PHONE1,PHONE2,COMMENT\nИВАНОВА А.А.,21-00-01,,\nиванов и.и.,22-11-00,33-33-33,\n");
    auto anywhere = tool("search " + shellQuote(m_phone) + " --name иван --anywhere");
    EXPECT_NE(anywhere.out.find("Петров-Иванов П.П."), std::string::npos);
    auto both = tool("search " + shellQuote(m_phone) + " --name И --phone 22");
    EXPECT_EQ(both.out, "NAME,PHONE1,PHONE2,COMMENT\nиванов и.и.,22-11-00,33-33-33,\n");
    auto second = tool("search " + shellQuote(m_phone) + " --phone 33-33-33 --anywhere");
    EXPECT_EQ(second.out, "NAME,PHONE1,PHONE2,COMMENT\nСидоров С.С.,33-33-33,,\n");
}

}  // namespace
}  // namespace abonex
