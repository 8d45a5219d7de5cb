// CSV as spreadsheets on other systems write it, tables in other code pages and tables with memo
// files: what the tool imports and exports, checked against Python's dbfread and csv module.
#include <gtest/gtest.h>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "tests/support/memo_tables.h"
#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

std::string cp1251(std::string_view utf8) {
    return *utf8ToPage(CodePage::Cp1251, utf8);
}

// Sets a header byte of a table file, as if the table had been made so.
void setHeaderByte(const std::string& path, size_t offset, uint8_t value) {
    auto bytes = readFileBytes(path);
    bytes.at(offset) = value;
    writeFileBytesKeepingTime(path, bytes);
}

class ExchangeTest : public ToolTest {
  protected:
    CommandResult import(const std::string& table, const std::string& text,
                         const std::string& options = "") {
        return tool("import " + shellQuote(table) + " " + shellQuote(writeCsv("rows.csv", text)) +
                    " " + options);
    }
    std::string exported(const std::string& table, const std::string& options = "") {
        auto result = tool("export " + shellQuote(table) + " " + options);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }
};

TEST_F(ExchangeTest, EveryCsvFaultNamesItsLineColumnAndCharacter) {
    const auto before = readFileBytes(m_phone);
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        // A file saved in Windows-1251 read as UTF-8.
        {cp1251("Иванов И.,1,,дача\n"),
         ":1: column 1 holds the byte 0xC8, which is not UTF-8 (is the file in code page 1251? "
         "--encoding cp1251 reads it); nothing imported\n"},
        // The same in 866.
        {*utf8ToOem("Иванов И.,1,,дача\n"),
         ":1: column 1 holds the byte 0x88, which is not UTF-8 (is the file in code page 866? "
         "--encoding cp866 reads it); nothing imported\n"},
        // A character the table's page lacks and that has no nearest form there.
        {"Иванов И.,1,,«дача» ☺\n",
         ":1: column 4 holds \"☺\" (U+263A), which code page 866 cannot hold; nothing imported\n"},
        // A file whose letters a spreadsheet wrote as "?" in a page without them.
        {"Иванов И.,1,,\n??????? ?.?.,2,,\n",
         ":2: column 1 holds \"??????? ?.?.\": a name of nothing but \"?\" and punctuation (the "
         "file has most likely lost its letters, saved in a code page without Cyrillic; save it "
         "as UTF-8 or in code page 1251); nothing imported\n"},
        // A phone that does not fit even as its digits, or that holds words.
        {"Иванов И.,+7 912 345-67-89 / 345-67-90,,\n",
         ":1: column 2 is 28 characters long, the field PHONE1 holds 15; nothing imported "
         "(--truncate cuts long values)\n"},
        {"Иванов И.,22-33-44 доб. 12345,,\n",
         ":1: column 2 is 19 characters long, the field PHONE1 holds 15; nothing imported "
         "(--truncate cuts long values)\n"},
        // A file separated by semicolons, or by tabs.
        {"Иванов И.;1;;дача\n",
         ":1: expected 4 columns, found 1 (the line holds \";\": --separator ';' reads such a "
         "file); nothing imported\n"},
        {"Иванов И.\t1\t\tдача\n",
         ":1: expected 4 columns, found 1 (the line holds tabs: --separator tab reads such a "
         "file); nothing imported\n"},
        // Control characters at the end of a value, which a reader of the field drops.
        {"Иванов И.,1,,\"дача\t\"\n",
         ":1: column 4 ends with U+0009 (tab), which a field loses at its end; nothing "
         "imported\n"},
        {"Иванов И.,1\x01,,\n",
         ":1: column 2 ends with U+0001 (a control character), which a field loses at its end; "
         "nothing imported\n"},
        {"Иванов И.,1,,\"дача\n\"\n",
         ":1: column 4 ends with U+000A (line feed), which a field loses at its end; nothing "
         "imported\n"},
        // A blank line between rows.
        {"a,1,,\n\nb,2,,\n", ":2: the line is blank; nothing imported\n"},
        // UTF-16.
        {"\xFF\xFE"
         "a\0,\0",
         ": the file is in UTF-16; save it as UTF-8 (or in code page 1251 and read it with "
         "--encoding cp1251); nothing imported\n"},
    };
    for (const Case& c : cases) {
        const auto result = import(m_phone, c.text);
        EXPECT_EQ(result.status, 1) << c.text;
        EXPECT_EQ(result.err, m_dir.file("rows.csv") + c.message);
        EXPECT_EQ(readFileBytes(m_phone), before) << c.text;
    }
    // Words the options do not know are usage errors.
    EXPECT_EQ(import(m_phone, "a,1,,\n", "--encoding koi8-r").status, 2);
    EXPECT_EQ(import(m_phone, "a,1,,\n", "--separator ab").status, 2);
    EXPECT_EQ(tool("export " + shellQuote(m_phone) + " --bom --encoding cp1251").status, 2);
}

TEST_F(ExchangeTest, TypographicRussianAndLongPhonesImportInTheirNearestForm) {
    // Windows-1251, as an office's spreadsheet saves it: guillemets, dashes, the ellipsis and
    // the no-break space, which 866 lacks or a search would not find; № stays.
    const std::string file =
        writeCsv("office.csv", cp1251("ООО «Ромашка»,+7 912 345-67-89,8 (912) 345-67-89,"
                                      "«кавычки» — №5…\nЗАО\u00A0„Лютик“,22-33-44,,\n"));
    auto result =
        tool("import " + shellQuote(m_phone) + " " + shellQuote(file) + " --encoding cp1251");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "imported 2 rows into " + m_phone + "\n");
    EXPECT_EQ(result.err,
              file +
                  ":1: column 2 \"+7 912 345-67-89\" is 16 characters long, the field PHONE1 "
                  "holds 15: stored as +79123456789\n" +
                  file +
                  ":1: column 3 \"8 (912) 345-67-89\" is 17 characters long, the field PHONE2 "
                  "holds 15: stored as 89123456789\n" +
                  file +
                  ": 9 characters written in the nearest form code page 866 holds: 1 × U+00A0 "
                  "(no-break space) as \" \", 2 × \"«\" (U+00AB) as \"\"\", 2 × \"»\" (U+00BB) "
                  "as \"\"\", 1 × \"—\" (U+2014) as \"-\", 1 × \"“\" (U+201C) as \"\"\", "
                  "1 × \"„\" (U+201E) as \"\"\", 1 × \"…\" (U+2026) as \"...\"\n");
    EXPECT_EQ(exported(m_phone, "--tag ''"),
              "NAME,PHONE1,PHONE2,COMMENT\n"
              "\"ООО \"\"Ромашка\"\"\",+79123456789,89123456789,\"\"\"кавычки\"\" - №5...\"\n"
              "\"ЗАО \"\"Лютик\"\"\",22-33-44,,\n");
    // The search finds the row by its name as typed with plain quotes, and by its start.
    auto found = tool("search " + shellQuote(m_phone) + " --name 'ооо \"ром'");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out,
              "NAME,PHONE1,PHONE2,COMMENT\n\"ООО \"\"Ромашка\"\"\",+79123456789,"
              "89123456789,\"\"\"кавычки\"\" - №5...\"\n");
    EXPECT_EQ(tool("search " + shellQuote(m_phone) + " --name 'зао \"л'").status, 0);
    EXPECT_EQ(tool("check " + shellQuote(m_phone)).status, 0);
    const std::string oracle = oracleCompare(
        "csv " + shellQuote(m_phone) + " " +
        shellQuote(writeCsv("out.csv", exported(m_phone, "--tag ''"))) + " --table-encoding cp866");
    if (oracle != "SKIP") {
        EXPECT_EQ(oracle, "2 rows equal\n");
    }
}

TEST_F(ExchangeTest, SpreadsheetFilesWithByteOrderMarkCrLfAndBlankLastLinesImport) {
    auto result = import(m_phone, "\xEF\xBB\xBFБелов Б.,1,,\r\nАникин А.,2,,\r\n\r\n\r\n");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(exported(m_phone), "NAME,PHONE1,PHONE2,COMMENT\nАникин А.,2,,\nБелов Б.,1,,\n");
}

TEST_F(ExchangeTest, ExportQuotesEveryFieldASpreadsheetWouldSplit) {
    ASSERT_EQ(import(m_phone, "\"a;b\",\"1\t2\",\"x,y\",\"say \"\"hi\"\"\"\n").status, 0);
    EXPECT_EQ(exported(m_phone),
              "NAME,PHONE1,PHONE2,COMMENT\n\"a;b\",\"1\t2\",\"x,y\",\"say "
              "\"\"hi\"\"\"\n");
    EXPECT_EQ(exported(m_phone, "--separator tab --crlf --bom"),
              "\xEF\xBB\xBFNAME\tPHONE1\tPHONE2\tCOMMENT\r\n\"a;b\"\t\"1\t2\"\t\"x,y\"\t\"say "
              "\"\"hi\"\"\"\r\n");
}

TEST_F(ExchangeTest, A1251CsvWithSemicolonsRoundTripsByteForByte) {
    const std::string file = cp1251(
        "NAME;PHONE1;PHONE2;COMMENT\r\n"
        "Ёлкин Ё.Ё.;22-33-44;;\"ул. Мира, 1; дом\"\r\n"
        "Щукина Щ.;11-00-00;12-00-00;подъезд №2\r\n");
    auto result = import(m_phone, file, "--encoding cp1251 --separator ';'");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(exported(m_phone, "--tag '' --encoding cp1251 --separator ';' --crlf"),
              "NAME;PHONE1;PHONE2;COMMENT\r\n" + file.substr(file.find('\n') + 1));
}

TEST_F(ExchangeTest, ExportToAPageThatLacksACharacterStopsNamingIt) {
    // 866 holds box-drawing characters that 1251 has not.
    ASSERT_EQ(import(m_phone, "Угол ╫,1,,\n").status, 0);
    auto result = tool("export " + shellQuote(m_phone) + " --encoding cp1251");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "record 1: the field NAME holds \"╫\" (U+256B), which code page 1251 cannot hold; "
              "the export stops here (--encoding utf-8 holds every character)\n");
}

TEST_F(ExchangeTest, A1251TableIsReadAndWrittenIn1251) {
    // Phone.DBF marked as Windows-1251, as another program would leave it.
    setHeaderByte(m_phone, dbf::kHdrLanguageDriver, 0xC9);
    auto result = import(m_phone, "Иванов И.И.,22-33-44,,«дача»\nЯковлев Я.,1,,\nёжик,2,,\n");
    ASSERT_EQ(result.status, 0) << result.err;
    // The bytes stored are 1251's.
    const auto bytes = readFileBytes(m_phone);
    const std::string stored(bytes.begin() + 161 + 1, bytes.begin() + 161 + 1 + 11);
    EXPECT_EQ(stored, cp1251("Иванов И.И."));
    EXPECT_EQ(exported(m_phone),
              "NAME,PHONE1,PHONE2,COMMENT\nёжик,2,,\nИванов И.И.,22-33-44,,«дача»\n"
              "Яковлев Я.,1,,\n");  // 1251's byte order: ё before А
    // The search reads the names as 1251 too, through the index keys.
    auto found = tool("search " + shellQuote(m_phone) + " --name ив");
    EXPECT_EQ(found.out, "NAME,PHONE1,PHONE2,COMMENT\nИванов И.И.,22-33-44,,«дача»\n") << found.err;
    EXPECT_NE(
        tool("info " + shellQuote(m_phone)).out.find("language:       0xC9 (code page 1251)\n"),
        std::string::npos);
    EXPECT_EQ(tool("check " + shellQuote(m_phone)).status, 0);
    // Expressions are typed in UTF-8 and evaluated on 1251 text, cased by 1251's letters.
    auto eval = tool("eval " + shellQuote(m_phone) + " 'UPPER(NAME) = \"ИВАНОВ И.И.\"'");
    EXPECT_EQ(eval.out, "Boolean\n.T.\n") << eval.err;
    eval = tool("eval " + shellQuote(m_phone) + " 'UPPER(LEFT(COMMENT, 3))' --record 1");
    EXPECT_EQ(eval.out, "Text\n\"«ДА\"\n") << eval.err;
    const std::string csv = writeCsv("out.csv", exported(m_phone, "--tag ''"));
    const std::string oracle = oracleCompare("csv " + shellQuote(m_phone) + " " + shellQuote(csv));
    if (oracle == "SKIP") GTEST_SKIP() << "python3-dbfread is not installed";
    EXPECT_EQ(oracle, "3 rows equal\n");
}

TEST_F(ExchangeTest, ATableThatNamesNoPageIs866UnlessTheToolIsTold) {
    setHeaderByte(m_phone, dbf::kHdrLanguageDriver, 0x00);
    EXPECT_NE(
        tool("info " + shellQuote(m_phone))
            .out.find("language:       0x00 (names no code page), read as cp866 (the directory's "
                      "page)\n"),
        std::string::npos);
    ASSERT_EQ(import(m_phone, "Жуков Ж.,1,,\n").status, 0);
    EXPECT_EQ(exported(m_phone), "NAME,PHONE1,PHONE2,COMMENT\nЖуков Ж.,1,,\n");
    // The import wrote 866 text, and the table names its page again.
    EXPECT_NE(
        tool("info " + shellQuote(m_phone)).out.find("language:       0x26 (code page 866)\n"),
        std::string::npos);
    // A 1251 table saved without its language byte, as spreadsheets save it.
    TempDir other;
    const std::string table = other.file("T.DBF");
    createDbfTable(table,
                   {{"NAME", 'C', 20, 0},
                    {"PHONE1", 'C', 15, 0},
                    {"PHONE2", 'C', 15, 0},
                    {"COMMENT", 'C', 50, 0}},
                   0x00);
    ASSERT_EQ(import(table, "Жуков Ж.,1,,«к»\n", "--table-encoding cp1251").status, 0);
    EXPECT_EQ(exported(table, "--table-encoding windows-1251"),
              "NAME,PHONE1,PHONE2,COMMENT\nЖуков Ж.,1,,«к»\n");
    EXPECT_EQ(tool("export " + shellQuote(table) + " --table-encoding koi8").status, 2);
    const std::string csv = writeCsv("out.csv", exported(table, "--table-encoding cp1251"));
    const std::string oracle = oracleCompare("csv " + shellQuote(table) + " " + shellQuote(csv) +
                                             " --table-encoding cp1251");
    if (oracle == "SKIP") GTEST_SKIP() << "python3-dbfread is not installed";
    EXPECT_EQ(oracle, "1 rows equal\n");
}

TEST_F(ExchangeTest, ATableASpreadsheetSavedInUtf8IsReadAsUtf8) {
    // As LibreOffice saves a sheet as dBASE with its default options: UTF-8 text behind the
    // language byte 0x00.
    TempDir other;
    const std::string table = other.file("T.DBF");
    createDbfTable(table,
                   {{"NAME", 'C', 20, 0},
                    {"PHONE1", 'C', 15, 0},
                    {"PHONE2", 'C', 15, 0},
                    {"COMMENT", 'C', 50, 0}},
                   0x00);
    ASSERT_EQ(import(table, "a,1,,\nb,2,,\n").status, 0);
    auto bytes = readFileBytes(table);
    const auto put = [&](size_t record, size_t offset, size_t width, std::string_view text) {
        const size_t at = 161 + record * 101 + offset;
        std::fill(bytes.begin() + at, bytes.begin() + at + width, ' ');
        std::copy(text.begin(), text.end(), bytes.begin() + at);
    };
    put(0, 1, 20, "Жуков Ж.");
    put(0, 51, 50, "«к» дача");
    put(1, 1, 20, "Café Ёлка");
    bytes[29] = 0x00;  // the import named 866, which the spreadsheet's table does not
    writeFileBytes(table, bytes);
    EXPECT_NE(tool("info " + shellQuote(table))
                  .out.find("language:       0x00 (names no code page), read as UTF-8 (its text "
                            "is UTF-8, as a spreadsheet saves it)\n"),
              std::string::npos);
    const std::string rows = "NAME,PHONE1,PHONE2,COMMENT\nЖуков Ж.,1,,«к» дача\nCafé Ёлка,2,,\n";
    EXPECT_EQ(exported(table), rows);
    EXPECT_EQ(exported(table, "--table-encoding utf-8"), rows);
    EXPECT_NE(tool("info " + shellQuote(table) + " --table-encoding utf-8")
                  .out.find("read as UTF-8 (--table-encoding)\n"),
              std::string::npos);
    // The page a user names wins.
    EXPECT_EQ(exported(table, "--table-encoding cp1251").find("Жуков"), std::string::npos);
    // The tool writes text in single-byte pages only.
    const auto refused = import(table, "c,3,,\n", "--table-encoding utf-8");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.rfind("abonex-db: --table-encoding utf-8 is for info and export", 0), 0u)
        << refused.err;
    // A tag made on it keeps the byte as the spreadsheet left it: 866 it is not.
    const auto indexed = tool("index create " + shellQuote(table) + " " +
                              shellQuote(other.file("T.MDX")) + " NAME NAME");
    ASSERT_EQ(indexed.status, 0) << indexed.err;
    EXPECT_EQ(readFileBytes(table)[28], 0x01);
    EXPECT_EQ(readFileBytes(table)[29], 0x00);
    const std::string csv = writeCsv("out.csv", exported(table));
    const std::string oracle = oracleCompare("csv " + shellQuote(table) + " " + shellQuote(csv) +
                                             " --table-encoding utf-8");
    if (oracle == "SKIP") GTEST_SKIP() << "python3-dbfread is not installed";
    EXPECT_EQ(oracle, "2 rows equal\n");
}

TEST_F(ExchangeTest, InfoShowsAPlausibleYearForTwoDigitYears) {
    for (auto [byte, year] : {std::pair{26, "2026"}, std::pair{99, "1999"}, std::pair{126, "2026"},
                              std::pair{0, "2000"}, std::pair{85, "1985"}}) {
        setHeaderByte(m_phone, 1, static_cast<uint8_t>(byte));
        const auto info = tool("info " + shellQuote(m_phone));
        EXPECT_NE(info.out.find("last update:    "), std::string::npos);
        EXPECT_EQ(info.out.substr(info.out.find("last update:    ") + 22, 4), year) << byte;
    }
}

const std::vector<MemoRow> kMemoRows = {
    {"first", *utf8ToOem("Первая строка\r\nвторая, с запятой")},
    {"none", std::nullopt},
    {"long", std::string(1200, 'z')},
    {"quoted", std::string("say \"hi\"")},
};

TEST_F(ExchangeTest, MemoTextIsExportedFromEveryKindOfMemoFile) {
    const std::string expected =
        "NAME,NOTES\nfirst,\"Первая строка\r\nвторая, с запятой\"\nnone,\nlong," +
        std::string(1200, 'z') + "\nquoted,\"say \"\"hi\"\"\"\n";
    for (auto kind : {MemoFile::Kind::DBase3, MemoFile::Kind::DBase4, MemoFile::Kind::FoxPro}) {
        SCOPED_TRACE(std::string(memoKindName(kind)));
        const std::string table = m_dir.file("NOTES.DBF");
        writeMemoTable(table, kind, kMemoRows, kind == MemoFile::Kind::FoxPro ? 64 : 512);
        EXPECT_EQ(exported(table), expected);
        // dbfread reads dBASE IV memos 8 bytes too long: it is the oracle for the other two.
        if (kind == MemoFile::Kind::DBase4) continue;
        const std::string csv = writeCsv("memo.csv", exported(table));
        const std::string oracle =
            oracleCompare("csv " + shellQuote(table) + " " + shellQuote(csv));
        if (oracle == "SKIP") GTEST_SKIP() << "python3-dbfread is not installed";
        EXPECT_EQ(oracle, "4 rows equal\n");
    }
}

TEST_F(ExchangeTest, AMissingOrDamagedMemoFileStopsTheExportUnlessMemosAreLeftOut) {
    const std::string table = m_dir.file("NOTES.DBF");
    const std::string memo = writeMemoTable(table, MemoFile::Kind::FoxPro, kMemoRows, 64);
    auto info = tool("info " + shellQuote(table));
    EXPECT_NE(info.out.find("memo file:      " + memo +
                            " (FoxPro, blocks of 64 bytes, 29 blocks)\n  memo NOTES: 3 records "
                            "hold text, the longest 1200 bytes\n"),
              std::string::npos)
        << info.out;
    std::remove(memo.c_str());
    auto result = tool("export " + shellQuote(table));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "File not found - " + memo +
                              "\nthe table's memo file cannot be read; --no-memo exports the other "
                              "fields\n");
    EXPECT_EQ(tool("info " + shellQuote(table)).status, 1);
    EXPECT_EQ(exported(table, "--no-memo"), "NAME\nfirst\nnone\nlong\nquoted\n");
    // A memo that points past the end of its file.
    writeMemoTable(table, MemoFile::Kind::DBase3, kMemoRows);
    auto bytes = readFileBytes(memo.substr(0, memo.size() - 4) + ".DBT");
    bytes.resize(1024);  // the long memo (blocks 2-4) is cut away
    writeFileBytes(memo.substr(0, memo.size() - 4) + ".DBT", bytes);
    result = tool("export " + shellQuote(table));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "dBase memo record has format error - " +
                              memo.substr(0, memo.size() - 4) + ".DBT (block 2)\n");
}

}  // namespace
}  // namespace abonex::test
