// What the tool does with files that are there already, cut short, or of another table: it
// never replaces a table, never writes into an index that does not match its table, and never
// passes a damaged table off as a sound one.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/dbf/dbf_fields.h"
#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

TEST(ToolNewDirectory, CreateAndDemoRefuseAFolderThatHoldsADirectoryFile) {
    for (const char* existing :
         {"phone.dbf", "ORG.DBF", "favor.DBF", "phone.mdx", "Org.mdx", "FAVOR.mdx"}) {
        for (const char* command : {"create ", "demo "}) {
            TempDir folder;
            const std::string path = folder.file(existing);
            writeFileBytes(path, {'k', 'e', 'e', 'p'});
            auto result =
                runCommand(shellQuote(toolPath()) + " " + command + shellQuote(folder.path()));
            EXPECT_EQ(result.status, 1) << command << existing;
            EXPECT_EQ(result.err, "abonex-db: " + path +
                                      " already exists; a new directory needs a folder without "
                                      "its tables and index files (nothing was changed)\n");
            EXPECT_EQ(readFileBytes(path), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
            int files = 0;
            for ([[maybe_unused]] const auto& entry :
                 std::filesystem::directory_iterator(folder.path()))
                ++files;
            EXPECT_EQ(files, 1) << command << existing;
        }
    }
}

TEST_F(ToolTest, CreateOverAnOpenDirectoryChangesNothing) {
    importRows(m_phone, "Иванов И.И.,22-11-00,,\n");
    GSO_dBaseFld open(m_phone, true, false);  // the program has the table open meanwhile
    const auto table = readFileBytes(m_phone);
    const auto index = readFileBytes(m_dir.file("Phone.MDX"));
    EXPECT_EQ(tool("create " + shellQuote(m_dir.path())).status, 1);
    EXPECT_EQ(tool("demo " + shellQuote(m_dir.path()) + " --persons 10").status, 1);
    EXPECT_EQ(readFileBytes(m_phone), table);
    EXPECT_EQ(readFileBytes(m_dir.file("Phone.MDX")), index);
    open.RefreshHeader();
    ASSERT_EQ(open.recordCount(), 1);
    open.GotoRecord(1);
    EXPECT_EQ(open.FieldGet("PHONE1"), "22-11-00");
}

// A spreadsheet's dBase filter saves the table with no code page named (byte 29) and no index
// flag (byte 28). The next write of ours, or a rebuild, names 866 again, so that a reader that
// takes the page from the header (dbfread) reads every name right.
TEST_F(ToolTest, AWriteOrARebuildNamesTheCodePageASpreadsheetLeftBlank) {
    importRows(m_phone, "Жилин Ж.Ж.,11-11-11,,ул. Заводская\nЁлкин Ё.,22-22-22,,\n");
    auto exported = tool("export " + shellQuote(m_phone));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string csv = writeCsv("rows.csv", exported.out);
    const auto blankHeader = [&] {
        auto bytes = readFileBytes(m_phone);
        bytes[28] = 0;
        bytes[29] = 0;
        writeFileBytes(m_phone, bytes);
    };
    blankHeader();
    auto reindexed = tool("reindex " + shellQuote(m_phone));
    ASSERT_EQ(reindexed.status, 0) << reindexed.err;
    auto bytes = readFileBytes(m_phone);
    EXPECT_EQ(bytes[28], 0x01);
    EXPECT_EQ(bytes[29], 0x26);
    const std::string compared =
        oracleCompare("csv " + shellQuote(m_phone) + " " + shellQuote(csv));
    if (compared != "SKIP") {
        EXPECT_EQ(compared, "2 rows equal\n");
    }

    blankHeader();
    importRows(m_phone, "Юрин Ю.,33-33-33,,\n");
    EXPECT_EQ(readFileBytes(m_phone)[29], 0x26);
}

TEST_F(ToolTest, OutputThatCannotBeWrittenIsAnError) {
    importRows(m_phone, "Иванов И.И.,22-11-00,,\nПетров П.П.,33-22-11,,\n");
    const std::string table = shellQuote(m_phone);
    // A device that takes no byte: every write fails as on a full disk. Each command ends with
    // its own status for an error.
    const std::pair<std::string, int> commands[] = {
        {"search " + table, 3},
        {"search " + table + " --limit 1", 3},
        {"search " + table + " --name Я", 3},  // nothing found, but not even the header written
        {"export " + table, 1},
        {"export " + table + " --format vcard", 1},
        {"info " + table, 1},
        {"check " + table, 2},
    };
    for (const auto& [command, status] : commands) {
        auto full = runCommand("sh -c " +
                               shellQuote(shellQuote(toolPath()) + " " + command + " >/dev/full"));
        EXPECT_EQ(full.status, status) << command;
        EXPECT_TRUE(full.err.starts_with("abonex-db: cannot write to standard output"))
            << command << ": " << full.err;
    }
    auto written = tool("search " + table);
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out,
              "NAME,PHONE1,PHONE2,COMMENT\nИванов И.И.,22-11-00,,\nПетров П.П.,33-22-11,,\n");
}

class DamagedTableTool : public ToolTest {
  protected:
    // Three persons, then the table cut in the middle of the third record.
    void cutInsideTheLastRecord() {
        importRows(m_phone, "Абрамов А.,1,,\nБорисов Б.,2,,\nВасильев В.,3,,\n");
        auto bytes = readFileBytes(m_phone);
        bytes.resize(bytes.size() - 1 - 200);  // the end mark and 200 of 311 bytes
        writeFileBytes(m_phone, bytes);
    }
    std::string mismatch(const std::string& what, const std::string& tail) const {
        return "index does not match the table: " + m_dir.file("Phone.MDX") + " " + what +
               ", the table " + m_phone + " holds " + tail + "; run abonex-db reindex " + m_phone +
               "\n";
    }
};

TEST_F(DamagedTableTool, ATableCutInsideARecordStopsExportAndSearchAndIsReported) {
    cutInsideTheLastRecord();
    const std::string expected = mismatch("names record 3 in tag NAME",
                                          "2 records and ends inside record 3 (111 of 311 "
                                          "bytes)");
    auto exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.status, 1);
    EXPECT_EQ(exported.err, expected);
    EXPECT_EQ(exported.out, "NAME,PHONE1,PHONE2,COMMENT\nАбрамов А.,1,,\nБорисов Б.,2,,\n");
    auto searched = tool("search " + shellQuote(m_phone) + " --name В");
    EXPECT_EQ(searched.status, 3);
    EXPECT_EQ(searched.err, expected);
    EXPECT_EQ(searched.out.find(",,,"), std::string::npos);

    auto info = tool("info " + shellQuote(m_phone));
    EXPECT_NE(
        info.out.find("records:        2\n"
                      "incomplete:     the file ends inside record 3: 111 of its 311 bytes\n"),
        std::string::npos)
        << info.out;
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out.rfind("Phone.DBF: the file ends inside record 3 (111 of 311 bytes)\n", 0),
              0u)
        << check.out;

    // The rebuild says which record it leaves out; the whole records export again.
    auto reindexed = tool("reindex " + shellQuote(m_phone));
    EXPECT_EQ(reindexed.status, 1);
    EXPECT_EQ(reindexed.out, "reindexed " + m_dir.file("Phone.MDX") + ": 1 tags, 2 records\n");
    EXPECT_EQ(reindexed.err, "abonex-db: " + m_phone +
                                 " ends inside record 3 (111 of 311 bytes); that record is not "
                                 "indexed\n");
    exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "NAME,PHONE1,PHONE2,COMMENT\nАбрамов А.,1,,\nБорисов Б.,2,,\n");
}

TEST_F(DamagedTableTool, AnIndexOfAnotherTableIsNeitherShownNorWrittenInto) {
    importRows(m_phone, "Абрамов А.,1,,\nБорисов Б.,2,,\n");
    TempDir other;
    ASSERT_EQ(tool("demo " + shellQuote(other.path()) + " --persons 40").status, 0);
    copyFile(other.file("Phone.MDX"), m_dir.file("Phone.MDX"));
    const auto table = readFileBytes(m_phone);
    const auto index = readFileBytes(m_dir.file("Phone.MDX"));

    const std::string rows = writeCsv("more.csv", "Васильев В.,3,,\n");
    auto imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(rows));
    EXPECT_EQ(imported.status, 1);
    EXPECT_EQ(
        imported.err.rfind(
            "index does not match the table: " + m_dir.file("Phone.MDX") + " names record ", 0),
        0u)
        << imported.err;
    EXPECT_EQ(readFileBytes(m_phone), table);
    EXPECT_EQ(readFileBytes(m_dir.file("Phone.MDX")), index);
    auto exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.status, 1);
    EXPECT_EQ(exported.out.find(",,,"), std::string::npos) << exported.out;

    // An index of the table as it was before it had any rows holds too few keys.
    TempDir empty;
    ASSERT_EQ(tool("create " + shellQuote(empty.path())).status, 0);
    copyFile(empty.file("Phone.MDX"), m_dir.file("Phone.MDX"));
    imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(rows));
    EXPECT_EQ(imported.status, 1);
    EXPECT_EQ(imported.err, mismatch("holds 0 keys in tag NAME", "2 records"));
    EXPECT_EQ(readFileBytes(m_phone), table);
}

// Other dBASE software appends rows without keys in the index file: the tool's searches and
// exports, which walk the index, say so instead of giving fewer rows; check reports it and
// reindex mends it.
TEST_F(DamagedTableTool, RowsAnotherProgramAppendedWithoutKeysAreNeverLeftOutSilently) {
    importRows(m_phone, "Абрамов А.,1,,\nБорисов Б.,2,,\nВасильев В.,3,,\n");
    const auto appended = runCommand(
        "python3 " + shellQuote(sourceDir() + "/tests/tools/append_behind_index.py") + " " +
        shellQuote(m_phone) + " " + shellQuote("Яковлев Я.") + " " + shellQuote("Аверин А."));
    ASSERT_EQ(appended.status, 0) << appended.err;
    const std::string expected = mismatch("holds 3 keys in tag NAME", "5 records");
    // A search looks at a few records whatever the table's size, the table's last among them.
    const std::string sampled = mismatch("holds no key for record 5 in tag NAME", "5 records");

    auto searched = tool("search " + shellQuote(m_phone) + " --name Я");
    EXPECT_EQ(searched.status, 3);
    EXPECT_EQ(searched.err, sampled);
    searched = tool("search " + shellQuote(m_phone) + " --name Б");
    EXPECT_EQ(searched.status, 3);
    EXPECT_EQ(searched.err, sampled);
    auto exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.status, 1);
    EXPECT_EQ(exported.err, expected);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out.substr(check.out.rfind('\n', check.out.size() - 2) + 1),
              "1 tag, 3 keys checked, 2 problems\n")
        << check.out;

    auto reindexed = tool("reindex " + shellQuote(m_phone));
    EXPECT_EQ(reindexed.status, 0) << reindexed.err;
    searched = tool("search " + shellQuote(m_phone) + " --name Я");
    EXPECT_EQ(searched.status, 0) << searched.err;
    EXPECT_EQ(searched.out, "NAME,PHONE1,PHONE2,COMMENT\nЯковлев Я.,,,\n");
    exported = tool("export " + shellQuote(m_phone));
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out,
              "NAME,PHONE1,PHONE2,COMMENT\nАбрамов А.,1,,\nАверин А.,,,\nБорисов Б.,2,,\n"
              "Васильев В.,3,,\nЯковлев Я.,,,\n");
}

TEST_F(ToolTest, InfoOnAnIndexFileSaysSoAndShowsItsTags) {
    const std::string index = m_dir.file("Phone.MDX");
    ASSERT_EQ(tool("index create " + shellQuote(m_phone) + " " + shellQuote(index) +
                   " PH PHONE1 --descending")
                  .status,
              0);
    auto info = tool("info " + shellQuote(index));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind(index + " is an index file (a multiple-index file), not a table; "
                                     "its tags:\n",
                             0),
              0u)
        << info.out;
    EXPECT_NE(info.out.find("tags:             2\n"), std::string::npos);
    EXPECT_NE(info.out.find("table:            " + m_phone + "\n"), std::string::npos);
    EXPECT_NE(info.out.find("tag:              NAME\n"), std::string::npos);
    EXPECT_NE(info.out.find("tag:              PH\n"), std::string::npos);
    EXPECT_NE(info.out.find("  flags:          descending\n"), std::string::npos);
    EXPECT_EQ(info.out.find("dBase DBF file header invalid"), std::string::npos);
    EXPECT_EQ(info.err, "");
}

TEST(ToolLostIndex, ReindexOfADirectoryTableWhoseIndexCannotBeReadMakesItAnew) {
    TempDir town;
    const std::string tool = shellQuote(toolPath());
    ASSERT_EQ(runCommand(tool + " demo " + shellQuote(town.path()) + " --persons 300").status, 0);
    const std::string table = shellQuote(town.file("Phone.DBF"));
    const std::string dump = tool + " index dump " + shellQuote(town.file("Phone.MDX"));
    const auto before = runCommand(dump);
    const auto shown = runCommand(tool + " export " + table);
    ASSERT_EQ(before.status, 0) << before.err;
    const std::vector<uint8_t> whole = test::readFileBytes(town.file("Phone.MDX"));
    // The first slot of the tag table names a header block far past the file's end; then the
    // file cut inside its header.
    std::vector<uint8_t> badSlot = whole;
    test::putLe32(badSlot, 544, 0x00FFFFFF);
    for (const std::vector<uint8_t>& damaged :
         {badSlot, std::vector<uint8_t>(whole.begin(), whole.begin() + 100)}) {
        test::writeFileBytes(town.file("Phone.MDX"), damaged);
        ASSERT_NE(runCommand(tool + " search " + table + " --name А").status, 0);
        const auto rebuilt = runCommand(tool + " reindex " + table);
        EXPECT_EQ(rebuilt.status, 0) << rebuilt.err;
        EXPECT_EQ(rebuilt.out.rfind(
                      "made " + town.file("Phone.MDX") + " anew (its tags could not be read: ", 0),
                  0u)
            << rebuilt.out;
        EXPECT_NE(rebuilt.out.find("any other tag it held must be made again with abonex-db "
                                   "index create"),
                  std::string::npos);
        EXPECT_EQ(runCommand(dump).out, before.out);
        EXPECT_EQ(runCommand(tool + " export " + table).out, shown.out);
        EXPECT_EQ(runCommand(tool + " check " + table).status, 0);
        EXPECT_FALSE(std::filesystem::exists(town.file("Phone.MDX.new")));
    }
    // Named on the command line, or of a table that is not the directory's, a damaged file is
    // reported and left as it is.
    std::filesystem::copy_file(town.file("Phone.DBF"), town.file("Copy.dbf"));
    test::writeFileBytes(town.file("Copy.MDX"), badSlot);
    const auto other = runCommand(tool + " reindex " + shellQuote(town.file("Copy.dbf")));
    EXPECT_NE(other.status, 0);
    EXPECT_NE(other.err.find("Copy.MDX"), std::string::npos) << other.err;
    EXPECT_EQ(test::readFileBytes(town.file("Copy.MDX")), badSlot);
    test::writeFileBytes(town.file("Phone.MDX"), badSlot);
    const auto named =
        runCommand(tool + " reindex " + table + " " + shellQuote(town.file("Phone.MDX")));
    EXPECT_NE(named.status, 0);
    EXPECT_EQ(test::readFileBytes(town.file("Phone.MDX")), badSlot);
}

TEST(ToolLostIndex, ReindexOfADirectoryTableWithoutItsIndexFileMakesItAnew) {
    TempDir town;
    const std::string tool = shellQuote(toolPath());
    ASSERT_EQ(
        runCommand(tool + " demo " + shellQuote(town.path()) + " --persons 300 --orgs 20").status,
        0);
    struct Case {
        std::string table, index, tag;
    };
    for (const Case& c :
         {Case{"Phone.DBF", "Phone.MDX", "NAME"}, Case{"Org.dbf", "Org.MDX", "ORG_NAME"},
          Case{"Favor.dbf", "Favor.MDX", "F_NAME"}}) {
        SCOPED_TRACE(c.table);
        const std::string table = shellQuote(town.file(c.table));
        const std::string dump = "index dump " + shellQuote(town.file(c.index));
        const auto before = runCommand(tool + " " + dump);
        const auto shown = runCommand(tool + " export " + table);
        ASSERT_EQ(before.status, 0) << before.err;
        std::filesystem::remove(town.file(c.index));
        auto rebuilt = runCommand(tool + " reindex " + table);
        EXPECT_EQ(rebuilt.status, 0) << rebuilt.err;
        EXPECT_EQ(
            rebuilt.out.rfind(
                "created " + town.file(c.index) + " (it was missing): tag " + c.tag + " on ", 0),
            0u)
            << rebuilt.out;
        // The same tag over the same keys as the directory made it, the same rows in name order.
        EXPECT_EQ(runCommand(tool + " " + dump).out, before.out);
        EXPECT_EQ(runCommand(tool + " export " + table).out, shown.out);
        EXPECT_EQ(runCommand(tool + " check " + table).status, 0);
        // Once there, it is rebuilt as before.
        EXPECT_EQ(runCommand(tool + " reindex " + table).out.rfind("reindexed ", 0), 0u);
    }
    // Another table without an index file is told how to make one.
    std::filesystem::copy_file(town.file("Org.dbf"), town.file("Copy.dbf"));
    auto other = runCommand(tool + " reindex " + shellQuote(town.file("Copy.dbf")));
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.err, "abonex-db: " + town.file("Copy.dbf") + " has no index file " +
                             town.file("Copy.MDX") + "; abonex-db index create makes its tags\n");
    EXPECT_FALSE(std::filesystem::exists(town.file("Copy.MDX")));
}

}  // namespace
}  // namespace abonex::test
