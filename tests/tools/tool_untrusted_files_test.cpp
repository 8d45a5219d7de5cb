// Files the tool cannot trust: something that is not a regular file in the place of a table or
// an index, a missing index file, and table headers whose lengths disagree with their
// descriptors. Every command ends with a clear error and a status that is not 0.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

class ToolUntrustedFiles : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        ASSERT_EQ(tool("demo " + shellQuote(m_town.path()) + " --persons 300").status, 0);
        m_csv = writeCsv("rows.csv", "NAME,PHONE1\nИванов И.И.,22-33-44\n");
    }
    // The tool under a guard: a hang ends with status 124 from timeout(1) instead of
    // blocking the suite.
    static CommandResult guarded(const std::string& arguments) {
        return runCommand("timeout -k 2 10 " + shellQuote(toolPath()) + " " + arguments);
    }
    // Every command that opens the folder's person table, with its index beside it; `info` is
    // given `infoFile` (it shows a table without opening its index).
    std::vector<std::string> commands(const std::string& infoFile) const {
        const std::string table = shellQuote(m_phone);
        const std::string index = shellQuote(m_dir.file("Phone.MDX"));
        const std::string good = shellQuote(m_town.file("Phone.DBF"));
        return {"info " + shellQuote(infoFile),
                "check " + table,
                "export " + table,
                "search " + table + " --name Иванов",
                "import " + table + " " + shellQuote(m_csv),
                "reindex " + table,
                "index create " + table + " " + index + " FRESH NAME",
                "sync " + shellQuote(m_dir.path()) + " " + good + " --import --apply theirs",
                "sync " + shellQuote(m_town.path()) + " " + table + " --import --apply theirs"};
    }
    void expectEveryCommandRefuses(const std::string& file) const {
        const std::string expectedMessage = "Not a regular file - " + file;
        for (const std::string& command : commands(file)) {
            SCOPED_TRACE(command);
            const CommandResult result = guarded(command);
            EXPECT_NE(result.status, 124) << "the command hung";
            EXPECT_NE(result.status, 0);
            EXPECT_NE(result.err.find(expectedMessage), std::string::npos) << result.err;
        }
    }
    void replaceByFifo(const std::string& path) const {
        ASSERT_EQ(std::remove(path.c_str()), 0);
        ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    }
    TempDir m_town;
    std::string m_csv;
};

TEST_F(ToolUntrustedFiles, AFifoInPlaceOfTheTableIsRefusedByEveryCommand) {
    replaceByFifo(m_phone);
    expectEveryCommandRefuses(m_phone);
}

TEST_F(ToolUntrustedFiles, AFifoInPlaceOfTheIndexIsRefusedByEveryCommand) {
    const std::string index = m_dir.file("Phone.MDX");
    replaceByFifo(index);
    expectEveryCommandRefuses(index);
}

TEST_F(ToolUntrustedFiles, ADirectoryInPlaceOfTheTableIsRefusedByEveryCommand) {
    ASSERT_EQ(std::remove(m_phone.c_str()), 0);
    ASSERT_EQ(::mkdir(m_phone.c_str(), 0777), 0);
    expectEveryCommandRefuses(m_phone);
}

// A device reached through a link in the index's place, as a careless copy can leave one.
TEST_F(ToolUntrustedFiles, ADeviceInPlaceOfTheIndexIsRefusedByEveryCommand) {
    const std::string index = m_dir.file("Phone.MDX");
    ASSERT_EQ(std::remove(index.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", index.c_str()), 0);
    expectEveryCommandRefuses(index);
}

TEST_F(ToolUntrustedFiles, AMissingIndexFileIsReportedWithTheCommandThatMakesOne) {
    const std::string index = m_dir.file("Phone.MDX");
    ASSERT_EQ(std::remove(index.c_str()), 0);
    const std::string hint = index + " (abonex-db reindex " + m_phone + " makes it)";
    const CommandResult checked = guarded("check " + shellQuote(m_phone));
    EXPECT_EQ(checked.status, 2);
    EXPECT_EQ(checked.err, "File not found - " + hint + "\n");
    const CommandResult synced = guarded("sync " + shellQuote(m_dir.path()) + " " +
                                         shellQuote(m_town.file("Phone.DBF")) + " --import");
    EXPECT_EQ(synced.status, 3);
    EXPECT_EQ(synced.err, "Cannot find file " + hint + "\n");
    // The command named makes it, and the next check finds it whole.
    EXPECT_EQ(guarded("reindex " + shellQuote(m_phone)).status, 0);
    EXPECT_EQ(guarded("check " + shellQuote(m_phone)).status, 0);
}

// The headers of a table of 300 persons (311-byte records behind a 161-byte header), damaged
// as a copy from a careless program leaves them: export would write every row shifted into the
// wrong columns, and an apply would add such rows to the folder.
TEST_F(ToolUntrustedFiles, ExportAndApplyRefuseATableWhoseHeaderDisagreesWithItself) {
    const std::string source = m_town.file("Phone.DBF");
    const auto good = readFileBytes(source);
    ASSERT_EQ(good.size(), 161u + 300u * 311u + 1u);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
    auto fieldsShort = good;
    ASSERT_EQ(fieldsShort[32 + 3 * 32 + 16], 250);  // COMMENT C(250)
    fieldsShort[32 + 3 * 32 + 16] = 220;            // the fields add up to 281 of 311
    damaged.emplace_back("fields of 281 bytes", fieldsShort);
    for (int headerLength : {160, 162, 193, 32767, 65535}) {
        auto bytes = good;
        putLe16(bytes, 8, static_cast<uint16_t>(headerLength));
        damaged.emplace_back("header length " + std::to_string(headerLength), bytes);
    }
    for (int recordLength : {312, 32767, 65535}) {
        auto bytes = good;
        putLe16(bytes, 10, static_cast<uint16_t>(recordLength));
        damaged.emplace_back("record length " + std::to_string(recordLength), bytes);
    }
    const std::string external = m_dir.file("Copy.DBF");
    const auto ownBefore = readFileBytes(m_phone);
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        writeFileBytes(external, bytes);
        const std::string message = "dBase DBF file header invalid - " + external;
        const CommandResult exported = guarded("export " + shellQuote(external));
        EXPECT_EQ(exported.status, 1);
        EXPECT_EQ(exported.out, "");
        EXPECT_NE(exported.err.find(message), std::string::npos) << exported.err;
        const CommandResult applied = guarded("sync " + shellQuote(m_dir.path()) + " " +
                                              shellQuote(external) + " --import --apply theirs");
        EXPECT_EQ(applied.status, 3);
        EXPECT_NE(applied.err.find(message), std::string::npos) << applied.err;
        EXPECT_EQ(readFileBytes(m_phone), ownBefore) << "the folder's table was written";
        EXPECT_EQ(readFileBytes(external), bytes) << "the refused table was written";
    }
}

}  // namespace
}  // namespace abonex::test
