// The closing rebuild's own process killed with SIGKILL while it reads the table and while it
// writes the trees: the table is untouched, the index it leaves is one that the start-up's quick
// look refuses and the integrity check reports, and the rebuild the next start makes gives a
// clean index with every row, as this program and an independent reader (python3-dbfread) read
// the table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "directory/index_rebuild.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

constexpr int kRows = 60000;
// An index file of kRows keys is far larger; one cut behind its tag headers is smaller.
constexpr uint64_t kCutIndexSize = 16384;

enum class KillMoment { WhileReading, WhileWriting };

uint64_t sizeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

class KilledRebuildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<test::Person> people;
        people.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            people.push_back({"Житель " + std::to_string((i * 7919) % kRows), std::to_string(i)});
        }
        test::makePersonsTable(m_dir.path(), people);
        m_tableBytes = test::readFileBytes(table());
    }

    std::string table() const { return m_dir.file("Phone.DBF"); }
    std::string index() const { return m_dir.file("Phone.MDX"); }

    // The index file a rebuild that runs to its end leaves (made on a copy of the folder).
    std::vector<uint8_t> wholeIndexBytes() {
        test::TempDir whole;
        test::copyFile(table(), whole.file("Phone.DBF"));
        test::copyFile(index(), whole.file("Phone.MDX"));
        rebuildDirectoryIndex(whole.path() + "/", DirectoryMode::Persons);
        return test::readFileBytes(whole.file("Phone.MDX"));
    }

    // Starts the closing rebuild's process on the persons table and kills it at `moment`, told
    // by the index file's size: cut behind the headers while the table is read, grown past them
    // while the trees are written. Returns the index file's size at the kill; 0 when the process
    // was done before the moment came: it ended, or it had written the whole index when the
    // kill reached it (each try is then made again).
    uint64_t killRebuild(KillMoment moment) {
        const std::vector<uint8_t> whole = wholeIndexBytes();
        for (int attempt = 0; attempt < 10; ++attempt) {
            const pid_t process =
                startDetachedRebuild(ABONEX_PROGRAM, m_dir.path() + "/", {DirectoryMode::Persons});
            EXPECT_GT(process, 0);
            if (process <= 0) return 0;
            bool cut = false;
            uint64_t killedAt = 0;
            int status = 0;
            for (;;) {
                const uint64_t size = sizeOf(index());
                if (size < kCutIndexSize) cut = true;
                if (cut && (moment == KillMoment::WhileReading || size >= kCutIndexSize)) {
                    ::kill(process, SIGKILL);
                    killedAt = size;
                    break;
                }
                if (::waitpid(process, &status, WNOHANG) == process) break;  // too late
            }
            if (killedAt == 0) continue;
            EXPECT_EQ(::waitpid(process, &status, 0), process);
            if (test::readFileBytes(index()) == whole) continue;  // the kill came too late
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return killedAt;
        }
        return 0;
    }

    bool quickLookCovers() {
        TEngineDataSet set;
        test::openPersons(set, m_dir.path());
        return set.IndexesCoverTable();
    }

    int toolCheck() {
        return test::runCommand(test::shellQuote(test::toolPath()) + " check " +
                                test::shellQuote(table()))
            .status;
    }

    // What the next start does with an index its quick look refuses, and what it must find.
    void expectTheNextStartRepairsIt() {
        ASSERT_FALSE(quickLookCovers());
        TEngineDataSet set;
        test::openPersons(set, m_dir.path());
        set.ReindexAll();
        set.OpenIndexFiles("PHONE.MDX", "NAME");
        EXPECT_TRUE(set.IndexesCoverTable());
        EXPECT_EQ(test::visibleNames(set).size(), size_t{kRows});
        set.Close();
        test::expectIndexClean(m_dir.path());
        EXPECT_EQ(toolCheck(), 0);
        EXPECT_EQ(test::readFileBytes(table()), m_tableBytes);
    }

    void expectAnIndependentReaderFindsEveryRow() {
        const std::string script =
            "import sys\n"
            "from dbfread import DBF\n"
            "t = DBF(sys.argv[1], encoding='cp866', load=True)\n"
            "print(len(t.records), len(t.deleted))\n";
        const std::string scriptPath = m_dir.file("count.py");
        test::writeFileBytes(scriptPath, std::vector<uint8_t>(script.begin(), script.end()));
        const auto result = test::runCommand("/usr/bin/python3 " + test::shellQuote(scriptPath) +
                                             " " + test::shellQuote(table()));
        if (result.status != 0 && result.err.find("No module named") != std::string::npos) {
            GTEST_SKIP() << "python3-dbfread is not installed";
        }
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, std::to_string(kRows) + " 0\n");
    }

    test::TempDir m_dir;
    std::vector<uint8_t> m_tableBytes;
};

TEST_F(KilledRebuildTest, KilledWhileReadingTheTableLosesNothing) {
    ASSERT_GT(killRebuild(KillMoment::WhileReading), 0u) << "the rebuild always ended first";
    EXPECT_EQ(test::readFileBytes(table()), m_tableBytes);
    EXPECT_NE(toolCheck(), 0);
    expectTheNextStartRepairsIt();
    expectAnIndependentReaderFindsEveryRow();
}

TEST_F(KilledRebuildTest, KilledWhileWritingTheTreesLosesNothing) {
    ASSERT_GT(killRebuild(KillMoment::WhileWriting), 0u) << "the rebuild always ended first";
    EXPECT_EQ(test::readFileBytes(table()), m_tableBytes);
    EXPECT_NE(toolCheck(), 0);
    expectTheNextStartRepairsIt();
    expectAnIndependentReaderFindsEveryRow();
}

TEST(ClosingRebuildRequest, NamesItsTablesAndRefusesWhatItDoesNotKnow) {
    std::string errors;
    EXPECT_EQ(runRebuildRequest({}, errors), 2);
    EXPECT_EQ(runRebuildRequest({"/tmp"}, errors), 2);
    EXPECT_EQ(runRebuildRequest({"/tmp", "persons", "people"}, errors), 2);
    EXPECT_TRUE(errors.empty());
    for (const DirectoryTable& table : kDirectoryTables) {
        EXPECT_EQ(modeFromRebuildRequestName(rebuildRequestName(table.mode)), table.mode);
    }
    // A folder without the table: the error is named and the other tables are still tried.
    test::TempDir dir;
    test::makePersonsTable(dir.path(), {{"Иванов", "1"}});
    EXPECT_EQ(runRebuildRequest({dir.path(), "organisations", "persons"}, errors), 1);
    EXPECT_EQ(errors.rfind("Org.dbf: ", 0), 0u) << errors;
    EXPECT_EQ(errors.find("Phone.DBF"), std::string::npos) << errors;
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    EXPECT_TRUE(set.IndexesCoverTable());
}

}  // namespace
}  // namespace abonex
