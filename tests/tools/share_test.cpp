// Copies of the program on two machines of an office, played by two FUSE mounts of one
// GlusterFS volume (tests/support/gluster_volume.sh runs this program and names the mounts):
// whatever a writer did under the lock through one mount is what the next holder of the lock
// sees through the other, and what a reader sees holds every row committed before it looked.
// Without the volume every test is skipped.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/dataset/engine_dataset.h"
#include "engine/file/byte_order.h"
#include "tests/support/test_support.h"

namespace abonex::test {
namespace {

class ShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* a = std::getenv("ABONEX_SHARE_A");
        const char* b = std::getenv("ABONEX_SHARE_B");
        const char* brick = std::getenv("ABONEX_SHARE_BRICK");
        if (a == nullptr || b == nullptr || brick == nullptr) {
            GTEST_SKIP() << "no shared volume: tests/support/gluster_volume.sh runs these tests";
        }
        // A folder of its own for every test of every run.
        static int serial = 0;
        m_name = "share" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
        m_a = std::string(a) + "/" + m_name;
        m_b = std::string(b) + "/" + m_name;
        m_brick = std::string(brick) + "/" + m_name;
        auto created = tool("create " + shellQuote(m_a));
        ASSERT_EQ(created.status, 0) << created.err;
    }
    static CommandResult tool(const std::string& arguments) {
        return runCommand(shellQuote(toolPath()) + " " + arguments);
    }
    std::string tableA() const { return m_a + "/Phone.DBF"; }
    std::string tableB() const { return m_b + "/Phone.DBF"; }
    // A CSV file of `count` rows named prefix000000, prefix000001, ... (on the local disk).
    std::string rows(const std::string& prefix, int count, int first = 0) {
        std::string text;
        for (int i = first; i < first + count; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%06d", i);
            text += prefix + number + "," + std::to_string(i) + ",,\n";
        }
        const std::string path = m_local.file(prefix + std::to_string(first) + ".csv");
        writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    }
    // Every name that "export" gives through `table`, with how often it gives it.
    static std::map<std::string, int> exportedNames(const std::string& table) {
        auto exported = tool("export " + shellQuote(table));
        EXPECT_EQ(exported.status, 0) << exported.err;
        std::map<std::string, int> names;
        std::istringstream lines(exported.out);
        std::string line;
        std::getline(lines, line);  // the header line
        while (std::getline(lines, line)) ++names[line.substr(0, line.find(','))];
        return names;
    }
    static int rowsSetting() { return envInt("ABONEX_SHARE_ROWS", 5000); }

    std::string m_name, m_a, m_b, m_brick;
    TempDir m_local;
};

TEST_F(ShareTest, TwoImportsThroughBothMountsAtOnceLoseNoRow) {
    const int count = rowsSetting();
    const std::string first = rows("Alpha", count);
    const std::string second = rows("Beta", count);
    const int a = forkChild([&] { return tool("import " + tableA() + " " + first).status; });
    const int b = forkChild([&] { return tool("import " + tableB() + " " + second).status; });
    EXPECT_EQ(waitChild(a), 0);
    EXPECT_EQ(waitChild(b), 0);

    const std::string total = std::to_string(2 * count);
    for (const std::string& table : {tableA(), tableB()}) {
        auto check = tool("check " + shellQuote(table));
        EXPECT_EQ(check.out, "1 tag, " + total + " keys checked, no problems\n") << check.err;
        const auto names = exportedNames(table);
        EXPECT_EQ(names.size(), static_cast<size_t>(2 * count));
        for (const auto& [name, times] : names) EXPECT_EQ(times, 1) << name;
    }
}

TEST_F(ShareTest, AWalkThroughOneMountSeesEveryCommittedRowWhileTheOtherImports) {
    ASSERT_EQ(tool("import " + tableA() + " " + rows("Resident", 500)).status, 0);
    const std::string incoming = rows("Guest", rowsSetting());
    const int importer =
        forkChild([&] { return tool("import " + tableB() + " " + incoming).status; });
    int walks = 0;
    size_t seenBefore = 0;
    int importStatus = -1;
    for (;;) {
        int status = 0;
        const bool done = ::waitpid(importer, &status, WNOHANG) == importer;
        const auto names = exportedNames(tableA());
        int residents = 0;
        for (const auto& [name, times] : names) {
            ASSERT_EQ(times, 1) << name << " in walk " << walks;
            if (name.rfind("Resident", 0) == 0) ++residents;
        }
        ASSERT_EQ(residents, 500) << "walk " << walks;
        // A row once seen is committed: every later walk holds it too.
        ASSERT_GE(names.size(), seenBefore) << "walk " << walks;
        seenBefore = names.size();
        ++walks;
        if (done) {
            importStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
    }
    EXPECT_EQ(importStatus, 0);
    EXPECT_GE(walks, 2);
    // The last walk began after the import had ended: it holds every row.
    EXPECT_EQ(seenBefore, static_cast<size_t>(500 + rowsSetting()));
}

// Two data sets in one process, one through each mount: two desks editing one row.
class ShareDataSetTest : public ShareTest {
  protected:
    static void open(TEngineDataSet& set, const std::string& dir) {
        set.setDatabaseName(dir);
        set.setTableName("Phone.DBF");
        set.setIndexFiles({"Phone.MDX"});
        set.setIndexName("NAME");
        set.Open();
    }
};

TEST_F(ShareDataSetTest, TheRecordLockHoldsAcrossMountsAndTheNextHolderSeesTheChange) {
    ASSERT_EQ(tool("import " + tableA() + " " + rows("Row", 3)).status, 0);
    TEngineDataSet a, b;
    open(a, m_a);
    open(b, m_b);
    a.First();
    b.First();
    ASSERT_EQ(a.RecNo(), b.RecNo());
    a.Edit();
    try {
        b.Edit();
        ADD_FAILURE() << "both mounts hold the record lock of record " << a.RecNo();
    } catch (const EDatabaseError& error) {
        EXPECT_STREQ(error.what(), "Record is locked by another user");
    }
    a.FieldByName("PHONE1").SetAsString("from A");
    a.Post();

    b.Edit();  // the lock is free now, and the row is read again under it
    EXPECT_EQ(b.FieldByName("PHONE1").AsString(), "from A");
    b.FieldByName("PHONE1").SetAsString("from B");
    b.Post();
    a.Edit();
    EXPECT_EQ(a.FieldByName("PHONE1").AsString(), "from B");
    a.Cancel();
}

TEST_F(ShareDataSetTest, APostAfterAnotherMachineAppendedWritesTheHeaderWithTheNewCount) {
    ASSERT_EQ(tool("import " + tableA() + " " + rows("Row", 3)).status, 0);
    TEngineDataSet a;
    open(a, m_a);
    a.First();
    a.Edit();
    // Another desk appends while this one edits (it holds the record lock only).
    ASSERT_EQ(tool("import " + tableB() + " " + rows("Later", 40)).status, 0);
    a.FieldByName("PHONE1").SetAsString("edited");
    a.Post();
    a.Close();

    // The server's own copy: its header counts every record it holds.
    const std::vector<uint8_t> bytes = readFileBytes(m_brick + "/Phone.DBF");
    ASSERT_GE(bytes.size(), 12u);
    const uint32_t counted = getLE32(bytes.data() + 4);
    const uint32_t headerLength = getLE16(bytes.data() + 8);
    const uint32_t recordLength = getLE16(bytes.data() + 10);
    EXPECT_EQ(counted, 43u);
    EXPECT_EQ((bytes.size() - headerLength) / recordLength, 43u);
}

TEST_F(ShareTest, RebuildsThroughOneMountWhileTheOtherAppendsWaitAndLoseNothing) {
    ASSERT_EQ(tool("import " + tableA() + " " + rows("Resident", 500)).status, 0);
    const int count = rowsSetting() / 2;
    const std::string incoming = rows("Guest", count);
    const int importer =
        forkChild([&] { return tool("import " + tableB() + " " + incoming).status; });
    int rebuilds = 0;
    int importStatus = -1;
    for (;;) {
        int status = 0;
        const bool done = ::waitpid(importer, &status, WNOHANG) == importer;
        auto rebuilt = tool("reindex " + shellQuote(tableA()));
        EXPECT_EQ(rebuilt.status, 0) << rebuilt.out << rebuilt.err;
        ++rebuilds;
        if (done) {
            importStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
    }
    EXPECT_EQ(importStatus, 0);
    EXPECT_GE(rebuilds, 2);
    auto check = tool("check " + shellQuote(tableB()));
    EXPECT_EQ(check.out, "1 tag, " + std::to_string(500 + count) + " keys checked, no problems\n")
        << check.err;
    EXPECT_EQ(exportedNames(tableB()).size(), static_cast<size_t>(500 + count));
}

}  // namespace
}  // namespace abonex::test
