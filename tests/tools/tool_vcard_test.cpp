// vCard export and import through the tool: a town's directory read by python3-vobject, cards
// as address books and phones write them, and the round trip.
#include <gtest/gtest.h>

#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

std::string sample(const std::string& name) {
    return sourceDir() + "/tests/directory/vcards/" + name;
}

class VcardToolTest : public ToolTest {
  protected:
    std::string exportCards(const std::string& table, const std::string& options = "") {
        auto result = tool("export " + shellQuote(table) + " --format vcard " + options);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }
};

TEST_F(VcardToolTest, ATownsPersonsAndOrganisationsGoToAnAddressBookAndComeBack) {
    TempDir town;
    ASSERT_EQ(tool("demo " + shellQuote(town.path()) + " --persons 2000 --orgs 300").status, 0);
    const std::vector<std::pair<std::string, std::string>> tables = {{"Phone.DBF", "2000"},
                                                                     {"Org.dbf", "300"}};
    for (const auto& [name, count] : tables) {
        SCOPED_TRACE(name);
        const std::string table = town.file(name);
        // In record order, for the oracle that reads the table in that order.
        const std::string cards = exportCards(table, "--tag ''");
        const std::string file = writeCsv(name + ".vcf", cards);
        const std::string oracle =
            oracleCompare("vcard " + shellQuote(table) + " " + shellQuote(file));
        if (oracle != "SKIP") {
            EXPECT_EQ(oracle, count + " rows equal\n");
        }
        // Back into an empty directory: the same cards, in the same order.
        const std::string copy = m_dir.file(name);
        auto imported = tool("import " + shellQuote(copy) + " " + shellQuote(file));
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(imported.out, "imported " + count + " rows into " + copy + "\n");
        EXPECT_EQ(exportCards(copy, "--tag ''"), cards);
        EXPECT_EQ(exportCards(copy), exportCards(table));
        EXPECT_EQ(tool("export " + shellQuote(copy)).out, tool("export " + shellQuote(table)).out);
        EXPECT_EQ(tool("check " + shellQuote(copy)).status, 0);
    }
    // Organisations carry ORG, persons their surname in N.
    const std::string orgs = exportCards(town.file("Org.dbf"));
    EXPECT_NE(orgs.find("\r\nN:;;;;\r\nFN:"), std::string::npos);
    EXPECT_NE(orgs.find("\r\nORG:"), std::string::npos);
}

TEST_F(VcardToolTest, CardsOfAddressBooksAndPhonesImportAsRows) {
    for (const char* name :
         {"android.vcf", "evolution.vcf", "thunderbird.vcf", "windows1251.vcf"}) {
        auto imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(sample(name)));
        ASSERT_EQ(imported.status, 0) << name << imported.err;
    }
    EXPECT_EQ(tool("export " + shellQuote(m_phone) + " --tag ''").out,
              "NAME,PHONE1,PHONE2,COMMENT\n"
              "Иван Иванов,+79123456789,22-33-44,\"Дача в Берёзовке, звонить по выходным; "
              "ключ у соседей\"\n"
              "\"Такси \"\"Вояж\"\"\",09-09-09,,\n"
              "Петров Пётр Петрович,22-33-44,+7 912 000-0000,\"Звонить после 18:00\n"
              "по будням, кроме пятницы; в отпуске с 1 по 15 июля\"\n"
              "Сидорова Анна,33-44-55,+7 900 1112233,Коллега\n"
              "Бюро ремонта,44-55-66,,\n"
              "Колокольцев Ярослав,55-66-77,,\n");
}

TEST_F(VcardToolTest, AValueLongerThanItsFieldIsRefusedWithTheCardsNumber) {
    const auto before = readFileBytes(m_phone);
    const std::string file = writeCsv(
        "long.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Коротко\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Константинопольский-Заднепровский К.К.\r\nEND:VCARD\r\n");
    auto result = tool("import " + shellQuote(m_phone) + " " + shellQuote(file));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, file +
                              ": card 2 (line 5): the name is 38 characters long, the field NAME "
                              "holds 30; nothing imported (--truncate cuts long values)\n");
    EXPECT_EQ(readFileBytes(m_phone), before);
    // A file that is no vCard at all.
    const std::string broken = writeCsv("broken.vcf", "BEGIN:VCARD\r\nFN:a\r\n");
    result = tool("import " + shellQuote(m_phone) + " " + shellQuote(broken));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              broken + ": card 1 (line 1): the file ends before its END:VCARD; nothing imported\n");
    EXPECT_EQ(readFileBytes(m_phone), before);
    // The phones past the second are told of, not dropped silently.
    result = tool("import " + shellQuote(m_phone) + " " + shellQuote(sample("evolution.vcf")));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, sample("evolution.vcf") +
                              ": card 1 (line 1) has 3 phones: the first two are taken\n");
}

}  // namespace
}  // namespace abonex::test
