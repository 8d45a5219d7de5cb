// vCard export and import through the tool: a town's directory read by python3-vobject, cards
// as address books and phones write them, and the round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

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

// The UID lines of a vCard file, in order.
std::vector<std::string> uidsOf(const std::string& cards) {
    std::vector<std::string> uids;
    for (size_t at = cards.find("\r\nUID:"); at != std::string::npos;
         at = cards.find("\r\nUID:", at + 1)) {
        uids.push_back(cards.substr(at + 6, cards.find("\r\n", at + 6) - at - 6));
    }
    return uids;
}

TEST_F(VcardToolTest, EveryCardKeepsItsUidFromExportToExport) {
    TempDir town;
    ASSERT_EQ(tool("demo " + shellQuote(town.path()) + " --persons 2000 --orgs 10").status, 0);
    const std::string table = town.file("Phone.DBF");
    const std::string byName = exportCards(table);
    const std::vector<std::string> uids = uidsOf(byName);
    ASSERT_EQ(uids.size(), 2000u);
    EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), 2000u);
    EXPECT_TRUE(uids[0].starts_with("urn:uuid:")) << uids[0];
    EXPECT_EQ(uids[0].size(), 45u);
    EXPECT_EQ(uids[0][23], '8');  // version 8
    // Exported again, and in record order: every card has the same UID.
    EXPECT_EQ(exportCards(table), byName);
    std::vector<std::string> inRecordOrder = uidsOf(exportCards(table, "--tag ''"));
    std::vector<std::string> sorted = uids;
    std::sort(sorted.begin(), sorted.end());
    std::sort(inRecordOrder.begin(), inRecordOrder.end());
    EXPECT_EQ(inRecordOrder, sorted);
    // A copy of the rows made by import gives its cards the same UIDs, and two rows alike get
    // two UIDs.
    auto copied = tool("import " + shellQuote(m_phone) + " " +
                       shellQuote(writeCsv("two.csv", "Иванов И.,1,,\nИванов И.,1,,дача\n")));
    ASSERT_EQ(copied.status, 0) << copied.err;
    const std::vector<std::string> twins = uidsOf(exportCards(m_phone));
    ASSERT_EQ(twins.size(), 2u);
    EXPECT_NE(twins[0], twins[1]);
}

TEST_F(VcardToolTest, KhardListsEveryCardOfAnAddressBookFolder) {
    if (runCommand("command -v khard").status != 0) GTEST_SKIP() << "khard is not installed";
    TempDir town;
    ASSERT_EQ(tool("demo " + shellQuote(town.path()) + " --persons 500 --orgs 10").status, 0);
    const std::string table = town.file("Phone.DBF");
    const std::string book = m_dir.file("book");
    auto exported = tool("export " + shellQuote(table) + " --vdir " + shellQuote(book));
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "exported 500 cards into " + book + "\n");
    const std::string config = writeCsv("khard.conf", "[addressbooks]\n[[town]]\npath = " + book +
                                                          "\n[general]\neditor = /bin/true\n"
                                                          "merge_editor = /bin/true\n");
    auto listed = runCommand("HOME=" + shellQuote(m_dir.path()) + " khard -c " +
                             shellQuote(config) + " list -p -d formatted_name");
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err.find("UID"), std::string::npos) << listed.err;
    // uid TAB name TAB address book, one line a card: the names the table holds, each once.
    std::multiset<std::string> names, uids;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        uids.insert(line.substr(0, tab));
        names.insert(line.substr(tab + 1, line.rfind('\t') - tab - 1));
    }
    std::multiset<std::string> expected;
    std::istringstream csv(tool("export " + shellQuote(table)).out);
    std::string row;
    std::getline(csv, row);  // the header
    while (std::getline(csv, row)) expected.insert(row.substr(0, row.find(',')));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), 500u);
    // A second export writes the same files over.
    ASSERT_EQ(tool("export " + shellQuote(table) + " --vdir " + shellQuote(book)).status, 0);
    EXPECT_EQ(runCommand("ls " + shellQuote(book) + " | wc -l").out, "500\n");
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

TEST_F(VcardToolTest, TypographicNamesAndInternationalPhonesImportAsTheFieldsHoldThem) {
    const std::string file = writeCsv(
        "phone.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:ООО «Ромашка»\r\nTEL;TYPE=CELL:+7 912 345-67-89\r\n"
        "NOTE:Звонить с 9 до 18 — кроме сб…\r\nEND:VCARD\r\n");
    auto result = tool("import " + shellQuote(m_phone) + " " + shellQuote(file));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, file +
                              ": card 1 (line 1): the first phone \"+7 912 345-67-89\" is 16 "
                              "characters long, the field PHONE1 holds 15: stored as "
                              "+79123456789\n" +
                              file +
                              ": 4 characters written in the nearest form code page 866 holds: 1 × "
                              "\"«\" (U+00AB) as \"\"\", 1 × \"»\" (U+00BB) as \"\"\", 1 × \"—\" "
                              "(U+2014) as \"-\", 1 × \"…\" (U+2026) as \"...\"\n");
    EXPECT_EQ(tool("export " + shellQuote(m_phone)).out,
              "NAME,PHONE1,PHONE2,COMMENT\n\"ООО \"\"Ромашка\"\"\",+79123456789,,"
              "Звонить с 9 до 18 - кроме сб...\n");
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
