// Files of another writer read by the engine, and files of the engine read by another reader:
// the peer fixtures (written by an independent dBASE library) and Perl's XBase::Index.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "tests/engine/index/index_test_util.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The key lines ("<key>\t<record>") of a dump.
std::vector<std::string> keyLines(const std::string& text) {
    std::vector<std::string> out;
    for (auto& line : lines(text)) {
        if (line.find('\t') != std::string::npos) out.push_back(line);
    }
    return out;
}

// The keys of one tag as XBase::Index reads them; skips the test when the module is missing.
std::vector<std::string> xbaseKeys(const std::string& file, const std::string& tag) {
    const auto result = test::runCommand(
        "perl " + test::shellQuote(test::sourceDir() + "/tests/engine/index/xbase_keys.pl") + " " +
        test::shellQuote(file) + " " + test::shellQuote(tag));
    if (result.status == 3) return {"SKIP"};
    EXPECT_EQ(result.status, 0) << result.err;
    return keyLines(result.out);
}

std::vector<std::string> dumpKeys(const std::string& file, const std::string& tag) {
    const auto result = test::runCommand(test::shellQuote(test::toolPath()) + " index dump " +
                                         test::shellQuote(file) + " " + test::shellQuote(tag));
    EXPECT_EQ(result.status, 0) << result.err;
    return keyLines(result.out);
}

class PeerFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"PEOPLE.DBF", "PEOPLE.MDX", "MIXED.DBF", "MIXED.MDX"}) {
            test::copyFile(test::peerFixtureDir() + "/" + name, m_dir.file(name));
        }
    }
    test::TempDir m_dir;
};

TEST_F(PeerFilesTest, TagsTakeTheirGeometryFromTheirHeaders) {
    GSO_dBaseFld table(m_dir.file("PEOPLE.DBF"), true, false);
    GSobjMDXFile file(table, "PEOPLE");
    ASSERT_EQ(file.tags().size(), 2u);
    const GSobjMDXTag& name = *file.findTag("NAME");
    EXPECT_EQ(name.keyLength(), 30);
    EXPECT_EQ(name.entryLength(), 36);
    EXPECT_EQ(name.keysPerNode(), 28);  // the other writer keeps no spare entry
    EXPECT_TRUE(name.ascending());
    EXPECT_FALSE(file.findTag("PHONE1")->ascending());
    EXPECT_EQ(file.nextFreeBlock(), 248);
}

TEST_F(PeerFilesTest, EveryTagWalksInOrder) {
    GSO_dBaseFld people(m_dir.file("PEOPLE.DBF"), true, false);
    GSobjMDXFile peopleIndex(people, "PEOPLE");
    const auto names = test::treeKeys(*peopleIndex.findTag("NAME"));
    EXPECT_EQ(names.size(), 1500u);  // deleted records keep their keys
    std::vector<std::string> phones;
    peopleIndex.findTag("PHONE1")->walkKeys(
        [&](const TgsVariant& key) { phones.push_back(key.bytes()); });
    EXPECT_EQ(phones.size(), 1500u);
    EXPECT_TRUE(std::is_sorted(phones.rbegin(), phones.rend()));

    GSO_dBaseFld mixed(m_dir.file("MIXED.DBF"), true, false);
    GSobjMDXFile mixedIndex(mixed, "MIXED");
    // The other writer counts the digits of a numeric key differently and orders by its own
    // form, so the numeric tag is checked to hold every record once; its order is compared
    // with the independent reader below.
    std::vector<uint32_t> amountRecords;
    std::vector<double> born;
    mixedIndex.findTag("AMOUNT")->walkKeys(
        [&](const TgsVariant& key) { amountRecords.push_back(key.pointer()); });
    mixedIndex.findTag("BORN")->walkKeys(
        [&](const TgsVariant& key) { born.push_back(key.asDouble()); });
    std::sort(amountRecords.begin(), amountRecords.end());
    ASSERT_EQ(amountRecords.size(), 900u);
    for (uint32_t i = 0; i < 900; ++i) EXPECT_EQ(amountRecords[i], i + 1);
    EXPECT_EQ(born.size(), 900u);
    EXPECT_TRUE(std::is_sorted(born.begin(), born.end()));
    auto amountOf = [&](uint32_t record) {
        mixed.GotoRecord(static_cast<int>(record));
        return std::stod(std::string(mixed.fieldBytes(mixed.FindField("AMOUNT"))));
    };

    std::vector<std::string> unique;
    mixedIndex.findTag("UNAME")->walkKeys(
        [&](const TgsVariant& key) { unique.push_back(key.bytes()); });
    EXPECT_TRUE(std::adjacent_find(unique.begin(), unique.end()) == unique.end());
    EXPECT_TRUE(std::is_sorted(unique.begin(), unique.end()));

    // The filtered tag holds exactly the records whose amount is above 500.
    std::vector<uint32_t> big;
    mixedIndex.findTag("BIG")->walkKeys(
        [&](const TgsVariant& key) { big.push_back(key.pointer()); });
    std::sort(big.begin(), big.end());
    std::vector<uint32_t> expected;
    for (int n = 1; n <= mixed.recordCount(); ++n) {
        mixed.GotoRecord(n);
        if (amountOf(static_cast<uint32_t>(n)) > 500) expected.push_back(static_cast<uint32_t>(n));
    }
    EXPECT_EQ(big, expected);
}

TEST_F(PeerFilesTest, DumpListsWhatXBaseIndexReads) {
    const std::vector<std::pair<std::string, std::string>> tags = {
        {"PEOPLE.MDX", "NAME"}, {"PEOPLE.MDX", "PHONE1"}, {"MIXED.MDX", "AMOUNT"},
        {"MIXED.MDX", "BORN"},  {"MIXED.MDX", "UNAME"},   {"MIXED.MDX", "BIG"}};
    for (const auto& [file, tag] : tags) {
        const auto expected = xbaseKeys(m_dir.file(file), tag);
        if (expected == std::vector<std::string>{"SKIP"}) GTEST_SKIP() << "no XBase::Index";
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(dumpKeys(m_dir.file(file), tag), expected) << file << " " << tag;
    }
}

TEST_F(PeerFilesTest, RebuiltPeerFilesReadTheSameToBothReaders) {
    const auto result = test::runCommand(test::shellQuote(test::toolPath()) + " reindex " +
                                         test::shellQuote(m_dir.file("MIXED.DBF")));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "reindexed " + m_dir.file("MIXED.MDX") + ": 4 tags, 900 records\n");
    for (const char* tag : {"AMOUNT", "BORN", "UNAME", "BIG"}) {
        const auto expected = xbaseKeys(m_dir.file("MIXED.MDX"), tag);
        if (expected == std::vector<std::string>{"SKIP"}) GTEST_SKIP() << "no XBase::Index";
        EXPECT_EQ(dumpKeys(m_dir.file("MIXED.MDX"), tag), expected) << tag;
    }
    // Rebuilt keys carry every digit: record 743 holds 1482.50.
    const auto amounts = dumpKeys(m_dir.file("MIXED.MDX"), "AMOUNT");
    EXPECT_NE(std::find(amounts.begin(), amounts.end(), "1482.5\t743"), amounts.end());
}

TEST_F(PeerFilesTest, UpdatesToPeerTagsReadTheSameToBothReaders) {
    {
        GSO_dBaseFld table(m_dir.file("PEOPLE.DBF"), true, true);
        GSobjMDXFile file(table, "PEOPLE");
        // Move sixty names to the front and end of the order: the leaves there overflow and
        // split under the other writer's geometry.
        for (int n = 1; n <= 60; ++n) {
            table.GotoRecord(n);
            table.FieldPut(
                "NAME", n % 2 == 0 ? "AAAA " + std::to_string(n) : "\xEF\xEF " + std::to_string(n));
            table.FieldPut("PHONE1", "00-00-" + std::to_string(10 + n));
            file.RecordChanged(n, false);
            table.ReplaceRecord(n);
        }
        file.close();
        EXPECT_GT(test::fileSize(m_dir.file("PEOPLE.MDX")), 126976u);  // split blocks appended
        const IndexCheckReport report = checkIndexFile(table, m_dir.file("PEOPLE.MDX"));
        for (const auto& problem : report.problems) {
            if (problem.message.find("out of record order") != std::string::npos) continue;
            ADD_FAILURE() << formatIndexProblem(problem);
        }
    }
    for (const char* tag : {"NAME", "PHONE1"}) {
        const auto expected = xbaseKeys(m_dir.file("PEOPLE.MDX"), tag);
        if (expected == std::vector<std::string>{"SKIP"}) GTEST_SKIP() << "no XBase::Index";
        const auto ours = dumpKeys(m_dir.file("PEOPLE.MDX"), tag);
        EXPECT_EQ(ours.size(), 1500u);
        EXPECT_EQ(ours, expected) << tag;
    }
}

// Files the engine builds, read back by XBase::Index in the order we wrote them.
TEST(OracleReadsOurFiles, EveryTagAndKeyInOrder) {
    test::TempDir dir;
    const std::string table = dir.file("Phone.DBF");
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 700; ++i) {
        const char* surnames[] = {"\x88\xA2\xA0\xAD\xAE\xA2", "\x8F\xA5\xE2\xE0\xAE\xA2", "Smith",
                                  "\x91\xA8\xA4\xAE\xE0\xAE\xA2"};
        char amount[32], born[16];
        std::snprintf(amount, sizeof amount, "%.2f", (i * 7919 % 2000) / 3.0 - 300);
        std::snprintf(born, sizeof born, "%04d%02d%02d", 1950 + i % 50, 1 + i % 12, 1 + i % 28);
        rows.push_back({std::string(surnames[i % 4]) + " " + std::to_string(i % 37),
                        std::to_string(100000 + i * 31 % 977), amount, i % 10 == 0 ? "" : born});
    }
    test::makeTable(
        table,
        {{"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}, {"AMOUNT", 'N', 12, 2}, {"BORN", 'D', 8, 0}},
        rows, {3, 30, 300});
    const std::string tool = test::shellQuote(test::toolPath());
    const std::string mdx = dir.file("Phone.MDX");
    for (const char* args : {"NAME NAME", "PHONE1 PHONE1 --descending", "AMOUNT AMOUNT",
                             "BORN BORN --descending", "UNAME NAME --unique"}) {
        const auto result = test::runCommand(tool + " index create " + test::shellQuote(table) +
                                             " " + test::shellQuote(mdx) + " " + args);
        ASSERT_EQ(result.status, 0) << args << ": " << result.err;
    }
    GSO_dBaseFld t(table, true, false);
    GSobjMDXFile file(t, "Phone");
    ASSERT_EQ(file.tags().size(), 5u);
    for (const auto& tag : file.tags()) {
        const auto expected = xbaseKeys(mdx, tag->name());
        if (expected == std::vector<std::string>{"SKIP"}) GTEST_SKIP() << "no XBase::Index";
        const auto ours = dumpKeys(mdx, tag->name());
        EXPECT_EQ(ours.size(), tag->name() == "UNAME" ? 148u : 700u) << tag->name();
        EXPECT_EQ(ours, expected) << tag->name();
    }
}

TEST(IndexTool, ErrorsPrintTheEngineMessageAndExitOne) {
    test::TempDir dir;
    const std::string tool = test::shellQuote(test::toolPath());
    auto result = test::runCommand(tool + " index dump " + test::shellQuote(dir.file("NONE.MDX")));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "File not found - " + dir.file("NONE.DBF") + "\n");

    test::makeTable(dir.file("T.DBF"), {{"NAME", 'C', 10, 0}}, {{"A"}});
    result =
        test::runCommand(tool + " index delete " + test::shellQuote(dir.file("T.DBF")) + " T NAME");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "File not found - " + dir.file("T.MDX") +
                              " (abonex-db index create makes its tags)\n");

    result = test::runCommand(tool + " index create " + test::shellQuote(dir.file("T.DBF")) +
                              " T NAME NAME");
    EXPECT_EQ(result.status, 0) << result.err;
    result = test::runCommand(tool + " index dump " + test::shellQuote(dir.file("T.MDX")) + " X");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Cannot find index tag X\n");
    result =
        test::runCommand(tool + " index delete " + test::shellQuote(dir.file("T.DBF")) + " T name");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test::fileSize(dir.file("T.MDX")), 2048u);
}

}  // namespace
}  // namespace abonex
