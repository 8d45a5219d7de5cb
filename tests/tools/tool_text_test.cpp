// Files the tool writes, read by other dBASE software (Python's dbfread, Perl's XBase::Index):
// the header year, the text, and the keys of a tag on UPPER(NAME); and what the tool reads
// from files that other software wrote.
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>

#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

int currentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// The "<key>\t<record>" lines of a dump or of the XBase::Index reader.
std::vector<std::string> keyLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find('\t') != std::string::npos) out.push_back(line);
    }
    return out;
}

// The keys of one tag as XBase::Index reads them; {"SKIP"} when the module is missing.
std::vector<std::string> xbaseKeys(const std::string& file, const std::string& tag) {
    const auto result =
        runCommand("perl " + shellQuote(sourceDir() + "/tests/engine/index/xbase_keys.pl") + " " +
                   shellQuote(file) + " " + shellQuote(tag));
    if (result.status == 3) return {"SKIP"};
    EXPECT_EQ(result.status, 0) << result.err;
    return keyLines(result.out);
}

// What Python's dbfread reads: the header date, then each record as NAME|PHONE1.
CommandResult dbfreadRows(const std::string& table) {
    const std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "t = DBF(sys.argv[1], encoding='cp866', load=True, ignore_missing_memofile=True)\n"
        "print(t.date.year, len(t.records))\n"
        "for r in t.records: print(r[t.field_names[0]] + '|' + r[t.field_names[1]])\n";
    TempDir scratch;
    const std::string path = scratch.file("read.py");
    writeFileBytes(path, std::vector<uint8_t>(script.begin(), script.end()));
    return runCommand("/usr/bin/python3 " + shellQuote(path) + " " + shellQuote(table));
}

TEST_F(ToolTest, HeadersCarryTheYearSinceNineteenHundredForOtherReaders) {
    const auto year = static_cast<uint8_t>(currentYear() - 1900);
    for (const char* name : {"Phone.DBF", "Org.dbf", "Favor.dbf", "Phone.MDX", "Org.MDX"}) {
        EXPECT_EQ(readFileBytes(m_dir.file(name)).at(1), year) << name;
    }
    importRows(m_phone, "Ёлкин Ё.,22-11-00,,\nЩукина Щ.,33-00-00,,\n");
    EXPECT_EQ(readFileBytes(m_phone).at(1), year);
    EXPECT_EQ(readFileBytes(m_dir.file("Phone.MDX")).at(44), year);  // date of creation
    auto info = tool("info " + shellQuote(m_phone));
    EXPECT_NE(info.out.find("." + std::to_string(currentYear()) + "\n"), std::string::npos)
        << info.out;
    auto read = dbfreadRows(m_phone);
    if (read.status != 0 && read.err.find("No module named") != std::string::npos) {
        GTEST_SKIP() << "python3-dbfread is not installed";
    }
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out,
              std::to_string(currentYear()) + " 2\nЁлкин Ё.|22-11-00\nЩукина Щ.|33-00-00\n");
}

TEST_F(ToolTest, AnUpperNameTagHoldsCapitalsInOrderForEveryReader) {
    importRows(m_phone,
               "петров п.п.,1,,\nЯковлев Я.Я.,2,,\nёжиков ё.,3,,\nАбрамов а.,4,,\n"
               "ЕЖОВ Е.,5,,\nюрьев Ю.,6,,\nSmith J.,7,,\n");
    const std::string index = m_dir.file("Phone.MDX");
    auto created = tool("index create " + shellQuote(m_phone) + " " + shellQuote(index) +
                        " UNAME 'UPPER(NAME)'");
    ASSERT_EQ(created.status, 0) << created.err;
    // Keys go by the bytes of 866: Latin, then А-П, then Р-Я, then Ё.
    const std::vector<std::string> built = {"SMITH J.\t7",    "АБРАМОВ А.\t4", "ЕЖОВ Е.\t5",
                                            "ПЕТРОВ П.П.\t1", "ЮРЬЕВ Ю.\t6",   "ЯКОВЛЕВ Я.Я.\t2",
                                            "ЁЖИКОВ Ё.\t3"};
    auto dump = tool("index dump " + shellQuote(index) + " UNAME");
    EXPECT_EQ(keyLines(dump.out), built);
    // Keys the import adds through the data set are cased the same way.
    importRows(m_phone, "ёлкина е.,8,,\nбуров б.,9,,\n");
    std::vector<std::string> updated = built;
    updated.insert(updated.begin() + 2, "БУРОВ Б.\t9");
    updated.push_back("ЁЛКИНА Е.\t8");
    dump = tool("index dump " + shellQuote(index) + " UNAME");
    EXPECT_EQ(keyLines(dump.out), updated);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(check.out, "2 tags, 18 keys checked, no problems\n");
    const auto oracle = xbaseKeys(index, "UNAME");
    if (oracle == std::vector<std::string>{"SKIP"}) GTEST_SKIP() << "no XBase::Index";
    EXPECT_EQ(oracle, updated);
}

TEST_F(ToolTest, ExpressionsTypedInUtf8AreTheTablesText) {
    importRows(m_phone, "Яковлев Я.Я.,1,,\nЯрцев Я.,2,,\nИванов И.,3,,\n");
    const std::string index = m_dir.file("Phone.MDX");
    auto created = tool("index create " + shellQuote(m_phone) + " " + shellQuote(index) +
                        " YA NAME --filter 'LEFT(NAME, 1) = \"Я\"'");
    ASSERT_EQ(created.status, 0) << created.err;
    auto dump = tool("index dump " + shellQuote(index) + " YA");
    EXPECT_NE(dump.out.find("  filter:         LEFT(NAME, 1) = \"Я\"\n"), std::string::npos)
        << dump.out;
    EXPECT_EQ(keyLines(dump.out), (std::vector<std::string>{"Яковлев Я.Я.\t1", "Ярцев Я.\t2"}));
    auto eval = tool("eval " + shellQuote(m_phone) + " 'NAME = \"Яковлев Я.Я.\"'");
    EXPECT_EQ(eval.out, "Boolean\n.T.\n") << eval.err;
    eval = tool("eval " + shellQuote(m_phone) + " 'LEN(\"Я\") + AT(\"Я\", NAME, 2)'");
    EXPECT_EQ(eval.out, "Number\n10\n") << eval.err;
    auto refused = tool("index create " + shellQuote(m_phone) + " " + shellQuote(index) +
                        " EU NAME --filter 'NAME = \"€\"'");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(tool("check " + shellQuote(m_phone)).status, 0);
}

TEST(ToolPeerFiles, DumpShowsNumericKeysWithAllTheirDigits) {
    TempDir dir;
    for (const char* name : {"MIXED.DBF", "MIXED.MDX"}) {
        copyFile(peerFixtureDir() + "/" + name, dir.file(name));
    }
    auto dump = runCommand(shellQuote(toolPath()) + " index dump " +
                           shellQuote(dir.file("MIXED.MDX")) + " AMOUNT");
    ASSERT_EQ(dump.status, 0) << dump.err;
    const auto keys = keyLines(dump.out);
    for (const char* key : {"1369.6\t753", "1369.3\t415", "1482.5\t743", "1481.9\t67"}) {
        EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end()) << key;
    }
    EXPECT_EQ(std::find(keys.begin(), keys.end(), "1482\t743"), keys.end());
    // The check reads them alike: its one finding names the same two keys.
    auto check = runCommand(shellQuote(toolPath()) + " check " + shellQuote(dir.file("MIXED.DBF")));
    EXPECT_NE(check.out.find("key 1369.6 sorts before the previous key 1369\n"), std::string::npos)
        << check.out;
    const size_t at = std::find(keys.begin(), keys.end(), "1369\t77") - keys.begin();
    ASSERT_LT(at + 1, keys.size());
    EXPECT_EQ(keys[at + 1], "1369.6\t753");
}

}  // namespace
}  // namespace abonex::test
