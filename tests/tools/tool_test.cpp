// The abonex-db tool, run as a user runs it.
#include <gtest/gtest.h>

#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

TEST_F(ToolTest, CreateMakesTheThreeDirectoryTables) {
    auto info = tool("info " + shellQuote(m_dir.file("org.DBF")));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("records:        0"), std::string::npos);
    EXPECT_NE(info.out.find("ORG_NAME    C    100"), std::string::npos);
    EXPECT_NE(info.out.find("record length:  381"), std::string::npos);
    for (const char* name : {"Phone.MDX", "Org.MDX", "Favor.MDX"}) {
        EXPECT_TRUE(fileSize(m_dir.file(name)) >= 2048u) << name;
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
    auto before = readFileBytes(m_phone);
    struct Case {
        std::string text;
        std::string message;
    };
    std::vector<Case> cases = {
        {"a,1,2,3\nb,1,2\n", ":2: expected 4 columns, found 3; nothing imported\n"},
        // A dash has a nearest form in 866, a heart none.
        {"a,1,2,3\nКрасный — синий ♥,1,2,3\n",
         ":2: column 1 holds \"♥\" (U+2665), which code page 866 cannot hold; nothing "
         "imported\n"},
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
        EXPECT_EQ(readFileBytes(m_phone), before) << c.text;
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
    // Either phone: Сидоров's first, иванов's second.
    auto second = tool("search " + shellQuote(m_phone) + " --phone 33-33-33 --anywhere");
    EXPECT_EQ(
        second.out,
        "NAME,PHONE1,PHONE2,COMMENT\nСидоров С.С.,33-33-33,,\nиванов и.и.,22-11-00,33-33-33,\n");
    auto secondAtStart = tool("search " + shellQuote(m_phone) + " --phone 33-3");
    EXPECT_EQ(secondAtStart.out, second.out);
}

TEST_F(ToolTest, SearchTriesWhatTheTextWasMeantAsAndSaysWhichOnStderr) {
    importRows(m_phone,
               "Ёлкин А.А.,53-87-52,,\n"
               "Петров П.П.,22-11-00,,\n"
               "Зуев З.З.,22-11-01,,\n"
               "Ivanov I.,11-11-11,,\n");
    const std::string search = "search " + shellQuote(m_phone);
    struct Case {
        std::string options, row, note;
    };
    const std::vector<Case> cases = {
        {"--name елкин", "Ёлкин А.А.,53-87-52,,", "Найдено без учёта Ё"},
        {"--name Gtnhjd", "Петров П.П.,22-11-00,,", "Найдено по раскладке: Петров"},
        {"--name шмфтщм", "Ivanov I.,11-11-11,,", "Найдено по раскладке: ivanov"},
        {"--name petrov", "Петров П.П.,22-11-00,,", "Найдено по транслитерации: петров"},
        {"--name Zuyev", "Зуев З.З.,22-11-01,,", "Найдено по транслитерации: Зуев"},
        {"--phone 538752", "Ёлкин А.А.,53-87-52,,", "Найдено по цифрам номера: 538752"},
        {"--phone '22 11 01'", "Зуев З.З.,22-11-01,,", "Найдено по цифрам номера: 221101"},
        {"--name 'петров п' --limit 1", "Петров П.П.,22-11-00,,", ""},
        {"--name ПЕТРОВ", "Петров П.П.,22-11-00,,", ""},
        {"--name зу --phone 221101", "Зуев З.З.,22-11-01,,", "Найдено по цифрам номера: 221101"},
    };
    for (const Case& c : cases) {
        auto found = tool(search + " " + c.options);
        EXPECT_EQ(found.status, 0) << c.options << found.err;
        EXPECT_EQ(found.out, "NAME,PHONE1,PHONE2,COMMENT\n" + c.row + "\n") << c.options;
        EXPECT_EQ(found.err, c.note.empty() ? "" : c.note + "\n") << c.options;
    }
    // Nothing meant either: exit 1 and no note.
    auto none = tool(search + " --name щщщ --phone 99");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "NAME,PHONE1,PHONE2,COMMENT\n");
    EXPECT_EQ(none.err, "");
}

TEST_F(ToolTest, AHeaderLineMapsColumnsByNameInAnyOrderAndIsNeverImported) {
    importRows(m_phone, "PHONE1,NAME,PHONE2,COMMENT\n11-11-11,Петров П.,,\n");
    importRows(m_phone, " comment , Phone2,name,phone1\nкв. 5,22-00-00,Абрамов А.,21-00-01\n");
    // A header may name fewer fields; the others stay blank.
    importRows(m_phone, "NAME,PHONE1\nСидоров С.,33-33-33\n");
    auto exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.out,
              "NAME,PHONE1,PHONE2,COMMENT\n"
              "Абрамов А.,21-00-01,22-00-00,кв. 5\n"
              "Петров П.,11-11-11,,\n"
              "Сидоров С.,33-33-33,,\n");
    EXPECT_EQ(tool("check " + shellQuote(m_phone)).status, 0);
}

TEST_F(ToolTest, HeaderOptionsDecideWhatTheFirstLineIs) {
    const std::string unknown = writeCsv("unknown.csv", "NAME,TELEPHONE,PHONE2,COMMENT\nA,1,2,3\n");
    const auto before = readFileBytes(m_phone);
    auto refused = tool("import " + shellQuote(m_phone) + " " + shellQuote(unknown) + " --header");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              unknown +
                  ":1: the header names \"TELEPHONE\", which is no field of the table; "
                  "nothing imported\n");
    EXPECT_EQ(readFileBytes(m_phone), before);
    const std::string twice = writeCsv("twice.csv", "NAME,name\nA,B\n");
    refused = tool("import " + shellQuote(m_phone) + " " + shellQuote(twice));
    EXPECT_EQ(refused.err, twice + ":1: the header names the field NAME twice; nothing imported\n");
    auto both =
        tool("import " + shellQuote(m_phone) + " " + shellQuote(unknown) + " --header --no-header");
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(readFileBytes(m_phone), before);

    // Without the option a line that names no field is data, taken by position.
    ASSERT_EQ(tool("import " + shellQuote(m_phone) + " " + shellQuote(unknown)).status, 0);
    // --no-header takes even a line of field names as data.
    const std::string names = writeCsv("names.csv", "NAME,PHONE1,PHONE2,COMMENT\n");
    ASSERT_EQ(
        tool("import " + shellQuote(m_phone) + " " + shellQuote(names) + " --no-header").status, 0);
    EXPECT_EQ(tool("export " + shellQuote(m_phone)).out,
              "NAME,PHONE1,PHONE2,COMMENT\nA,1,2,3\nNAME,TELEPHONE,PHONE2,COMMENT\n"
              "NAME,PHONE1,PHONE2,COMMENT\n");
}

TEST_F(ToolTest, ANulByteIsRefusedWithItsLine) {
    const auto before = readFileBytes(m_phone);
    const std::string csv = writeCsv("nul.csv", std::string("a,1,2,3\nA\0B,1,2,3\n", 18));
    auto result = tool("import " + shellQuote(m_phone) + " " + shellQuote(csv));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, csv + ":2: column 1 holds a NUL byte; nothing imported\n");
    EXPECT_EQ(readFileBytes(m_phone), before);
}

TEST_F(ToolTest, SearchExitsLikeGrep) {
    importRows(m_phone, "Иванов И.И.,22-11-00,,\n");
    auto found = tool("search " + shellQuote(m_phone) + " --name Иван");
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "NAME,PHONE1,PHONE2,COMMENT\nИванов И.И.,22-11-00,,\n");
    auto none = tool("search " + shellQuote(m_phone) + " --name Петр");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "NAME,PHONE1,PHONE2,COMMENT\n");
    EXPECT_EQ(none.err, "");
    EXPECT_EQ(tool("search " + shellQuote(m_phone) + " --nam Петр").status, 2);
    auto missing = tool("search " + shellQuote(m_dir.file("none.dbf")));
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.err, "Cannot find file " + m_dir.file("none.dbf") + "\n");
}

TEST_F(ToolTest, IndexCreateSaysWhetherItMadeOrReplacedATag) {
    const std::string table = shellQuote(m_phone), index = shellQuote(m_dir.file("Phone.MDX"));
    auto made = tool("index create " + table + " " + index + " PH PHONE1");
    EXPECT_EQ(made.out, "created tag PH in " + m_dir.file("Phone.MDX") + "\n");
    auto replaced = tool("index create " + table + " " + index + " ph 'PHONE1 + NAME'");
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "replaced tag PH in " + m_dir.file("Phone.MDX") + "\n");
    auto dump = tool("index dump " + index + " PH");
    EXPECT_NE(dump.out.find("  key:            PHONE1 + NAME\n"), std::string::npos) << dump.out;
    // A logical key is refused before the file changes; check and reindex stay clean.
    importRows(m_phone, "Иванов И.И.,1,,\n");
    const auto before = readFileBytes(m_dir.file("Phone.MDX"));
    auto logical = tool("index create " + table + " " + index + " EMPTY2 'PHONE2=\"\"'");
    EXPECT_EQ(logical.status, 1);
    EXPECT_EQ(logical.err,
              "Key expression of tag EMPTY2 gives a logical value; an index key holds text, a "
              "number or a date\n");
    EXPECT_EQ(readFileBytes(m_dir.file("Phone.MDX")), before);
    EXPECT_EQ(tool("check " + table).status, 0);
}

TEST_F(ToolTest, SearchLimitPrintsTheFirstRowsOnly) {
    importRows(m_phone, "Иванов И.И.,1,,\nиванова А.А.,2,,\nИвашов В.В.,3,,\nПетров П.П.,4,,\n");
    const std::string search = "search " + shellQuote(m_phone) + " --name ИВА";
    EXPECT_EQ(tool(search + " --limit 2").out,
              "NAME,PHONE1,PHONE2,COMMENT\nИванов И.И.,1,,\nИвашов В.В.,3,,\n");
    EXPECT_EQ(tool(search + " --limit 9").out, tool(search).out);
    EXPECT_EQ(tool(search + " --limit 0").out, "NAME,PHONE1,PHONE2,COMMENT\n");
    for (const char* bad : {" --limit", " --limit -1", " --limit 2x"}) {
        auto refused = tool(search + bad);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.out, "") << bad;
    }
}

}  // namespace
}  // namespace abonex::test
