// abonex-db sync, run as a user runs it: the differences as CSV with their exit codes, the
// apply to either table with its counts, and the usage errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"
#include "engine/index/mdx_tag.h"
#include "tests/support/test_support.h"
#include "tests/sync/sync_fixture.h"

namespace abonex {
namespace {

constexpr const char* kHeader =
    "kind,target_name,target_phone1,target_phone2,source_name,source_phone1,source_phone2\n";

class SyncToolTest : public ::testing::Test, protected test::TwoFolders {
  protected:
    test::CommandResult sync(const std::string& arguments) {
        return test::runCommand(test::shellQuote(test::toolPath()) + " sync " + arguments);
    }
    std::string tables(const std::string& externalName = "Phone.DBF") {
        return test::shellQuote(own()) + " " + test::shellQuote(external() + "/" + externalName);
    }
    test::TempDir m_counts;  // what child processes report
};

TEST_F(SyncToolTest, DifferencesAreListedAsCsvInListOrder) {
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Иванов И.И.", "11-11-11", "", ""},
                          {"Козлов", "1", "2", ""},
                          {"Только свой", "5", "", ""}});
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Новиков, \"старший\"", "30-30-30", "", ""},
                          {"Козлов", "1", "3", ""},
                          {"Иванов И.И.", " 22-22-22", "", ""},
                          {"", "99", "", ""}});
    auto imported = sync(tables() + " --import");
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, std::string(kHeader) +
                                "0,Иванов И.И.,11-11-11,,Иванов И.И., 22-22-22,\n"
                                "1,Козлов,1,2,Козлов,1,3\n"
                                "2,,,,\"Новиков, \"\"старший\"\"\",30-30-30,\n");
    // The other direction states the differences from the own records' side.
    auto exported = sync(tables() + " --export");
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, std::string(kHeader) +
                                "0,Иванов И.И., 22-22-22,,Иванов И.И.,11-11-11,\n"
                                "1,Козлов,1,3,Козлов,1,2\n"
                                "2,,,,Только свой,5,\n");
}

// The tool's own run, with its arguments as one string.
test::CommandResult runTool(const std::string& arguments) {
    return test::runCommand(test::shellQuote(test::toolPath()) + " " + arguments);
}

// A table's live rows as lines "name|phone1|phone2", sorted, for comparing what two tables hold.
std::string rowLines(const std::string& table) {
    std::vector<std::string> lines;
    for (const DirectoryRow& row : readDirectoryTable(table)) {
        if (!row.deleted) lines.push_back(row.name + "|" + row.phone1 + "|" + row.phone2 + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

// Sets the language byte (header byte 29) of a table file.
void setLanguageByte(const std::string& path, uint8_t value) {
    auto bytes = test::readFileBytes(path);
    bytes.at(29) = value;
    test::writeFileBytesKeepingTime(path, bytes);  // as if the table had been made so
}

TEST_F(SyncToolTest, AnApplyBetweenTablesOfOnePageCopiesTheStoredBytes) {
    // 866's box drawing and block letters, which 1251 lacks.
    const std::string name = "Бюро ╔═╗ №5 ▀▄ ░";
    test::writeSyncTable(own(), "Org.dbf", DirectoryMode::Organisations,
                         {{"Аптека", "1", "", ""}, {"Угол ╫", "2", "", ""}});
    test::writeSyncTable(
        external(), "Org.dbf", DirectoryMode::Organisations,
        {{"Аптека", "1", "", ""}, {"Угол ╫", "3 ║ 4", "", ""}, {name, "5", "", ""}});
    auto applied = sync(tables("Org.dbf") + " --import --apply mine");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "changed 1, added 1, deleted 0, skipped 0\n");
    const std::string rows = rowLines(own() + "/Org.dbf");
    EXPECT_EQ(rows, "Аптека|1|\n" + name + "|5|\nУгол ╫|3 ║ 4|\n");
    // Both tables alike now.
    EXPECT_EQ(sync(tables("Org.dbf") + " --import").status, 1);
    // The other way round, into the external table.
    test::writeSyncTable(external(), "Org.dbf", DirectoryMode::Organisations, {});
    applied = sync(tables("Org.dbf") + " --export --apply theirs");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(rowLines(external() + "/Org.dbf"), rows);
}

TEST_F(SyncToolTest, AnApplyBetweenPagesGoesThroughUnicodeAndTheExternalPageCanBeNamed) {
    // The external copy as a Windows program keeps it: 1251, its language byte saying so.
    const std::string table = external() + "/Org.dbf";
    ASSERT_EQ(runTool("create " + test::shellQuote(external())).status, 0);
    setLanguageByte(table, 0xC9);
    const std::string csv = m_counts.file("org.csv");
    const std::string rows = "ООО «Лютик» — №1,+7 912 345-67-89,,\nБюро Ё,22-33-44,,\n";
    test::writeFileBytes(csv, std::vector<uint8_t>(rows.begin(), rows.end()));
    ASSERT_EQ(runTool("import " + test::shellQuote(table) + " " + test::shellQuote(csv)).status, 0);
    test::writeSyncTable(own(), "Org.dbf", DirectoryMode::Organisations, {});
    auto applied = sync(tables("Org.dbf") + " --import --apply mine");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "changed 0, added 2, deleted 0, skipped 0\n");
    const std::string expected = "Бюро Ё|22-33-44|\nООО \"Лютик\" - №1|+79123456789|\n";
    EXPECT_EQ(rowLines(own() + "/Org.dbf"), expected);

    // A table a spreadsheet saved: 1251 text behind the language byte 0x00, which reads as
    // 866 unless the tool is told.
    setLanguageByte(table, 0x00);
    test::writeSyncTable(own(), "Org.dbf", DirectoryMode::Organisations, {});
    applied = sync(tables("Org.dbf") + " --import --apply mine --table-encoding cp1251");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(rowLines(own() + "/Org.dbf"), expected);
    // And back into it in its page.
    test::writeSyncTable(own(), "Org.dbf", DirectoryMode::Organisations,
                         {{"Новая ╔═╗", "1", "", ""}});
    applied = sync(tables("Org.dbf") + " --export --apply theirs --table-encoding cp1251");
    ASSERT_EQ(applied.status, 0) << applied.err;
    auto exported = runTool("export " + test::shellQuote(table) + " --table-encoding cp1251");
    EXPECT_EQ(exported.out,
              "ORG_NAME,PHON_1,PHON_2,COMMENT\nБюро Ё,22-33-44,,\nНовая +=+,1,,\n"
              "ООО «Лютик» — №1,+79123456789,,\n");
    EXPECT_EQ(sync(tables("Org.dbf") + " --import --table-encoding koi8").status, 2);
}

TEST_F(SyncToolTest, NoDifferenceExitsWithOneAndTheOwnTableIsFoundInAnyCase) {
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Иванов", "1", "", ""}, {"Петров", "2", "", ""}});
    test::writeSyncTable(external(), "phone.dbf", DirectoryMode::Persons,
                         {{"Петров", "2", "", "другой комментарий"}});
    auto result = sync(tables("phone.dbf") + " --import");
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, kHeader);
    EXPECT_EQ(result.err, "");
}

TEST_F(SyncToolTest, ApplyChangesTheChosenTableAndCountsWhatItDid) {
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Иванов", "11", "", ""}, {"Лишний", "7", "", "свой"}});
    test::writeSyncTable(
        external(), "Phone.DBF", DirectoryMode::Persons,
        {{"Иванов", "22", "", ""}, {"Иванов", "33", "", ""}, {"Новый", "8", "", ""}});
    // Both "Иванов" rows point at the one own record: the second is skipped.
    auto applied = sync(tables() + " --import --apply mine");
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "changed 1, added 1, deleted 0, skipped 1\n");
    EXPECT_EQ(readDirectoryTable(own() + "/Phone.DBF"),
              (std::vector<DirectoryRow>{
                  {"Иванов", "22", "", ""}, {"Лишний", "7", "", "свой"}, {"Новый", "8", "", ""}}));

    // Export into the external table: the own-only record is added with its comment.
    auto exported = sync(tables() + " --apply theirs --export");
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "changed 0, added 1, deleted 0, skipped 0\n");
    EXPECT_EQ(readDirectoryTable(external() + "/Phone.DBF").back(),
              (DirectoryRow{"Лишний", "7", "", "свой"}));
    // What is left: the second external "Иванов", whose own record now has another phone.
    auto left = sync(tables() + " --import");
    EXPECT_EQ(left.out, std::string(kHeader) + "0,Иванов,22,,Иванов,33,\n");
    // The index files were kept current: the tool's check finds nothing wrong.
    for (const std::string& table : {own() + "/Phone.DBF", external() + "/Phone.DBF"}) {
        auto check = test::runCommand(test::shellQuote(test::toolPath()) + " check " +
                                      test::shellQuote(table));
        EXPECT_EQ(check.status, 0) << check.out << check.err;
    }
}

// Two copies apply the same differences at the same moment: each missing record is added once;
// the apply that finds it added by the other counts it skipped. The second copy may compare after
// the first has added a batch (its rebuild gets the index lock between the other's batches): it
// then sees fewer records missing, but never fewer than the other had not yet added.
TEST_F(SyncToolTest, TwoAppliesAtOnceAddEachMissingRecordOnce) {
    std::vector<DirectoryRow> ownRows, externalRows;
    for (int i = 0; i < 5000; ++i) {
        DirectoryRow row{"Житель" + std::to_string(10000 + i * 37 % 5000), std::to_string(i), "",
                         ""};
        if (i < 2000) ownRows.push_back(row);
        externalRows.push_back(row);
    }
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, ownRows);
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, externalRows);
    test::ProcessSignal go;
    std::vector<int> appliers;
    for (int i = 0; i < 2; ++i) {
        const std::string out = m_counts.file("apply" + std::to_string(i));
        appliers.push_back(test::forkChild([&, out] {
            go.wait();
            auto applied = sync(tables() + " --import --apply mine");
            test::writeFileBytes(out, std::vector<uint8_t>(applied.out.begin(), applied.out.end()));
            test::writeFileBytes(out + ".err",
                                 std::vector<uint8_t>(applied.err.begin(), applied.err.end()));
            return applied.status;
        }));
    }
    go.notify();
    go.notify();
    int added = 0;
    int addedBy[2] = {0, 0}, seenBy[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const int status = test::waitChild(appliers[static_cast<size_t>(i)]);
        const auto err = test::readFileBytes(m_counts.file("apply" + std::to_string(i)) + ".err");
        EXPECT_EQ(status, 0) << std::string(err.begin(), err.end());
        const auto bytes = test::readFileBytes(m_counts.file("apply" + std::to_string(i)));
        int changed = -1, deletedRows = -1, a = -1, k = -1;
        ASSERT_EQ(std::sscanf(std::string(bytes.begin(), bytes.end()).c_str(),
                              "changed %d, added %d, deleted %d, skipped %d", &changed, &a,
                              &deletedRows, &k),
                  4);
        EXPECT_EQ(changed, 0);
        EXPECT_EQ(deletedRows, 0);
        added += a;
        addedBy[i] = a;
        seenBy[i] = a + k;
    }
    EXPECT_EQ(added, 3000);
    for (int i = 0; i < 2; ++i) {
        EXPECT_LE(seenBy[i], 3000) << "apply " << i;
        EXPECT_GE(seenBy[i] + addedBy[1 - i], 3000) << "apply " << i << " missed differences";
    }
    std::multiset<std::string> names;
    for (const DirectoryRow& row : readDirectoryTable(own() + "/Phone.DBF")) names.insert(row.name);
    EXPECT_EQ(names.size(), 5000u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 5000u);
    auto check = test::runCommand(test::shellQuote(test::toolPath()) + " check " +
                                  test::shellQuote(own() + "/Phone.DBF"));
    EXPECT_EQ(check.status, 0) << check.out;
}

// Own and external copies are alike while another process imports new names into the own
// table: the comparison must not take a record it passed over for missing, so neither apply
// deletes nor adds anything.
TEST_F(SyncToolTest, ApplyingBesideAWriterChangesNothingThatWasAlike) {
    std::vector<DirectoryRow> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back(
            {"Житель" + std::to_string(100000 + i * 7919 % 3000), std::to_string(i), "", ""});
    }
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, rows);
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons, rows);
    std::string csv;
    for (int i = 0; i < 30000; ++i)
        csv += "Гость" + std::to_string(500000 + i * 13 % 30000) + ",1,,\n";
    const std::string csvPath = m_counts.file("rows.csv");
    test::writeFileBytes(csvPath, std::vector<uint8_t>(csv.begin(), csv.end()));
    const int importer = test::forkChild([&] {
        return test::runCommand(test::shellQuote(test::toolPath()) + " import " +
                                test::shellQuote(own() + "/Phone.DBF") + " " +
                                test::shellQuote(csvPath))
            .status;
    });
    int rounds = 0;
    for (;; ++rounds) {
        auto theirs = sync(tables() + " --import --apply theirs");
        EXPECT_EQ(theirs.status, 0) << theirs.err;
        EXPECT_EQ(theirs.out, "changed 0, added 0, deleted 0, skipped 0\n");
        auto mine = sync(tables() + " --import --apply mine");
        EXPECT_EQ(mine.status, 0) << mine.err;
        EXPECT_EQ(mine.out, "changed 0, added 0, deleted 0, skipped 0\n");
        int status = 0;
        if (::waitpid(importer, &status, WNOHANG) == importer) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            break;
        }
    }
    EXPECT_GE(rounds, 1);
    EXPECT_EQ(readDirectoryTable(external() + "/Phone.DBF").size(), rows.size());
    EXPECT_EQ(readDirectoryTable(own() + "/Phone.DBF").size(), rows.size() + 30000);
}

// Leaves the index file beside `table` as a rebuild killed before its first tree was written
// leaves it: every tag without a root.
void cutRebuildShort(const std::string& table, const std::string& index) {
    GSO_dBaseFld file(table, true, true);
    GSobjMDXFile mdx(file, index);
    for (const auto& tag : mdx.tags()) {
        tag->setRoot(0);
        tag->setNodeRange(0, 0);
        tag->markHeaderChanged();
        tag->HeaderWrite();
    }
}

TEST_F(SyncToolTest, ASyncAfterOneKilledEarlyRebuildsTheIndexFilesItFindsWithoutARoot) {
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Козлов", "1", "2", ""}, {"Только свой", "5", "", ""}});
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Козлов", "1", "3", ""}, {"Новиков", "30-30-30", "", ""}});
    cutRebuildShort(own() + "/Phone.DBF", own() + "/Phone.MDX");
    cutRebuildShort(external() + "/Phone.DBF", external() + "/Phone.MDX");
    auto listed = sync(tables() + " --import");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, std::string(kHeader) +
                              "1,Козлов,1,2,Козлов,1,3\n"
                              "2,,,,Новиков,30-30-30,\n");
    for (const std::string& folder : {own(), external()}) {
        auto check = runTool("check " + test::shellQuote(folder + "/Phone.DBF"));
        EXPECT_EQ(check.status, 0) << folder << ": " << check.out << check.err;
    }
    // The apply after the same cut: the table changed is the one whose index was mended.
    cutRebuildShort(own() + "/Phone.DBF", own() + "/Phone.MDX");
    auto applied = sync(tables() + " --import --apply mine");
    EXPECT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(rowLines(own() + "/Phone.DBF"), "Козлов|1|3\nНовиков|30-30-30|\nТолько свой|5|\n");
}

TEST_F(SyncToolTest, UsageErrorsAndMissingTables) {
    test::writeSyncTable(own(), "Phone.DBF", DirectoryMode::Persons, {{"Иванов", "1", "", ""}});
    test::writeSyncTable(external(), "Phone.DBF", DirectoryMode::Persons,
                         {{"Иванов", "1", "", ""}});
    const std::string usage =
        "usage: abonex-db sync OWN_DIR EXTERNAL_TABLE (--import | --export) "
        "[--apply mine|theirs] [--table-encoding PAGE]\n";
    const std::string oneDirection = "abonex-db: give one of --import and --export\n" + usage;
    struct Case {
        std::string arguments;
        std::string err;
    };
    for (const Case& wrong : std::vector<Case>{
             {tables(), oneDirection},
             {tables() + " --import --export", oneDirection},
             {tables() + " --import --apply both",
              "abonex-db: --apply takes mine or theirs\n" + usage},
             {tables() + " --import --apply",
              "abonex-db: option \"--apply\" needs a value\n" + usage},
             {tables() + " --import --quiet", "abonex-db: unknown option \"--quiet\"\n" + usage},
             {test::shellQuote(own()) + " --import", usage},
             {tables() + " extra --import", usage},
         }) {
        SCOPED_TRACE(wrong.arguments);
        auto result = sync(wrong.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, wrong.err);
        EXPECT_EQ(result.out, "");
    }
    auto help = sync("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, usage +
                            "exit status: 0 differences found (or applied), 1 none found, 2 "
                            "usage error, 3 error\n");
    // A table whose name begins with "-" comes after "--".
    test::writeSyncTable(own(), "-x.dbf", DirectoryMode::Persons, {{"Иванов", "1", "", ""}});
    test::writeSyncTable(external(), "-x.dbf", DirectoryMode::Persons, {{"Петров", "1", "", ""}});
    auto dashed = test::runCommand("cd " + test::shellQuote(external()) + " && " +
                                   test::shellQuote(test::toolPath()) + " sync --import -- " +
                                   test::shellQuote(own()) + " -x.dbf");
    EXPECT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_EQ(dashed.out, std::string(kHeader) + "2,,,,Петров,1,\n");

    auto noExternal = sync(tables("Org.dbf") + " --import");
    EXPECT_EQ(noExternal.status, 3);
    EXPECT_EQ(noExternal.err, "abonex-db: no such table: " + external() + "/Org.dbf\n");

    test::writeSyncTable(external(), "Org.dbf", DirectoryMode::Organisations, {});
    auto noOwn = sync(tables("Org.dbf") + " --export");
    EXPECT_EQ(noOwn.status, 3);
    EXPECT_EQ(noOwn.err, "Cannot find file " + own() + "/Org.dbf\n");
}

}  // namespace
}  // namespace abonex
