// abonex-db deleted, recall and pack, against independent readers and beside other processes.
#include <unistd.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "tests/tools/tool_fixture.h"

namespace abonex::test {

namespace {

bool fileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The persons table of `dir` opened as the window opens it.
void openPersons(TEngineDataSet& set, const std::string& dir) {
    const DirectoryTable& table = directoryTable(DirectoryMode::Persons);
    set.setDatabaseName(dir);
    set.setTableName(std::string(table.tableFile));
    set.setIndexFiles({std::string(table.indexFile)});
    set.setIndexName(std::string(table.tagName));
    set.setLockProtocol(table.protocol);
    set.Open();
}

// Marks records `numbers` of the persons table of `dir` deleted, as the window's delete does.
void deleteRecords(const std::string& dir, const std::vector<int>& numbers) {
    TEngineDataSet set;
    openPersons(set, dir);
    for (int n : numbers) {
        set.GotoRecNo(n);
        ASSERT_TRUE(set.Delete());
    }
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class ToolPackTest : public ToolTest {
  protected:
    // A demo folder of `persons` rows in place of the empty one.
    void makeDemo(int persons) {
        ::unlink(m_phone.c_str());
        const std::string dir = m_dir.path();
        for (const char* file : {"Phone.MDX", "Org.dbf", "Org.MDX", "Favor.dbf", "Favor.MDX"}) {
            ::unlink((dir + "/" + file).c_str());
        }
        auto demo = tool("demo " + shellQuote(dir) + " --persons " + std::to_string(persons) +
                         " --orgs 1 --favourites 1 --seed 36");
        ASSERT_EQ(demo.status, 0) << demo.err;
    }
};

TEST_F(ToolPackTest, DeletedRowIsListedRecalledAndFoundAgain) {
    importRows(m_phone,
               "NAME,PHONE1,PHONE2,COMMENT\nИванов И.И.,22-33-44,,сосед\nПетров П.П.,11-22-33,"
               "44-55-66,\nСидоров С.С.,33-44-55,,\n");
    deleteRecords(m_dir.path(), {2});
    EXPECT_EQ(tool("search " + shellQuote(m_phone) + " --name Петров").out,
              "NAME,PHONE1,PHONE2,COMMENT\n");

    auto deleted = tool("deleted " + shellQuote(m_phone));
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(deleted.out, "RECORD,NAME,PHONE1,PHONE2,COMMENT\n2,Петров П.П.,11-22-33,44-55-66,\n");

    auto recalled = tool("recall " + shellQuote(m_phone) + " 2");
    ASSERT_EQ(recalled.status, 0) << recalled.err;
    EXPECT_EQ(recalled.out, "recalled record 2\n");
    EXPECT_EQ(tool("search " + shellQuote(m_phone) + " --name Петров").out,
              "NAME,PHONE1,PHONE2,COMMENT\nПетров П.П.,11-22-33,44-55-66,\n");
    EXPECT_EQ(tool("deleted " + shellQuote(m_phone)).out, "RECORD,NAME,PHONE1,PHONE2,COMMENT\n");
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 0) << check.out << check.err;

    // A live record is left alone; a number past the end is an error that names it.
    EXPECT_EQ(tool("recall " + shellQuote(m_phone) + " 1").out, "record 1 is not deleted\n");
    auto beyond = tool("recall " + shellQuote(m_phone) + " 4");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("record 4"), std::string::npos) << beyond.err;
    EXPECT_EQ(tool("recall " + shellQuote(m_phone) + " x").status, 2);
}

TEST_F(ToolPackTest, PackKeepsTheLiveRowsInNameOrder) {
    makeDemo(20000);
    std::vector<int> gone;
    for (int n = 7; gone.size() < 1000; n += 19) gone.push_back(n);
    deleteRecords(m_dir.path(), gone);
    auto before = tool("export " + shellQuote(m_phone));
    ASSERT_EQ(before.status, 0) << before.err;
    ASSERT_EQ(lines(before.out).size(), 19001u);
    const std::string expected = writeCsv("before.csv", before.out);

    auto packed = tool("pack " + shellQuote(m_phone));
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(packed.out.find("19000 records kept, 1000 deleted records removed"),
              std::string::npos)
        << packed.out;
    // The live rows, in name order, are the records of the file front to back.
    const std::string compared =
        oracleCompare("csv " + shellQuote(m_phone) + " " + shellQuote(expected));
    // The independent reader is part of the setup (python3-dbfread): this check is not skipped.
    EXPECT_EQ(compared, "19000 rows equal\n");
    const std::vector<uint8_t> bytes = readFileBytes(m_phone);
    EXPECT_EQ(le32(bytes, 4), 19000u);
    EXPECT_EQ(bytes.size(), le16(bytes, 8) + 19000u * le16(bytes, 10) + 1);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(tool("export " + shellQuote(m_phone)).out, before.out);
    EXPECT_EQ(tool("deleted " + shellQuote(m_phone)).out, "RECORD,NAME,PHONE1,PHONE2,COMMENT\n");
    // Nothing is left beside the table.
    EXPECT_FALSE(fileExists(m_phone + ".pack-new"));
    EXPECT_FALSE(fileExists(m_phone + ".pack-old"));
}

TEST_F(ToolPackTest, PackIsRefusedWhileAnotherCopyHasTheTableOpen) {
    importRows(m_phone, "NAME,PHONE1\nИванов,1\nПетров,2\n");
    deleteRecords(m_dir.path(), {1});
    const std::vector<uint8_t> table = readFileBytes(m_phone);
    const std::vector<uint8_t> index = readFileBytes(m_dir.file("Phone.MDX"));
    {
        TEngineDataSet window;  // this process stands for the window
        window.setReadOnly(true);
        openPersons(window, m_dir.path());
        auto refused = tool("pack " + shellQuote(m_phone));
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("is open in another copy of the program"), std::string::npos)
            << refused.err;
        EXPECT_EQ(readFileBytes(m_phone), table);
        EXPECT_EQ(readFileBytes(m_dir.file("Phone.MDX")), index);
        EXPECT_FALSE(fileExists(m_phone + ".pack-new"));
    }
    auto packed = tool("pack " + shellQuote(m_phone));
    EXPECT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(tool("export " + shellQuote(m_phone)).out,
              "NAME,PHONE1,PHONE2,COMMENT\nПетров,2,,\n");
}

TEST_F(ToolPackTest, PackThroughALinkPacksTheFileItNames) {
    importRows(m_phone, "NAME,PHONE1\nЯковлев,3\nИванов,1\nПетров,2\n");
    deleteRecords(m_dir.path(), {3});
    TempDir linked;
    ASSERT_EQ(::symlink(m_phone.c_str(), linked.file("Phone.DBF").c_str()), 0);
    ASSERT_EQ(::symlink(m_dir.file("Phone.MDX").c_str(), linked.file("Phone.MDX").c_str()), 0);
    auto packed = tool("pack " + shellQuote(linked.file("Phone.DBF")));
    ASSERT_EQ(packed.status, 0) << packed.err;
    char target[4096] = {};
    ASSERT_GT(::readlink(linked.file("Phone.DBF").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), m_phone);
    EXPECT_EQ(tool("export " + shellQuote(linked.file("Phone.DBF"))).out,
              "NAME,PHONE1,PHONE2,COMMENT\nИванов,1,,\nЯковлев,3,,\n");
    EXPECT_EQ(le32(readFileBytes(m_phone), 4), 2u);
    auto check = tool("check " + shellQuote(linked.file("Phone.DBF")));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

// Another process imports batch after batch while packs and recalls run: each pack is refused
// while the import has the table open, or done whole; no imported row is lost.
TEST_F(ToolPackTest, PackAndRecallBesideAnotherProcessWrites) {
    importRows(m_phone, "NAME,PHONE1\nАаа,1\nБбб,2\nВвв,3\nГгг,4\n");
    deleteRecords(m_dir.path(), {2, 4});
    const int batches = 12;
    std::string batch = "NAME,PHONE1\n";
    for (int i = 0; i < 50; ++i)
        batch += "Строка " + std::to_string(i) + "," + std::to_string(i) + "\n";
    const std::string batchFile = writeCsv("batch.csv", batch);
    std::atomic<int> importedBatches{0};
    std::thread writer([&] {
        // An import that finds the table in a pack's exclusive use is refused before it writes
        // a row, and tries again.
        for (int i = 0, tries = 0; i < batches && tries < 400; ++tries) {
            auto imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(batchFile));
            if (imported.status == 0) {
                ++importedBatches;
                ++i;
            } else if (imported.err.find("File access denied") == std::string::npos) {
                ADD_FAILURE() << imported.err;
            }
        }
    });
    int packs = 0, refusals = 0;
    bool recalled = false;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (!recalled) {
            // Record 2 is Ббб until a pack removes it.
            auto deleted = tool("deleted " + shellQuote(m_phone));
            if (deleted.out.find("\n2,Ббб") != std::string::npos) {
                recalled = tool("recall " + shellQuote(m_phone) + " 2").status == 0;
            }
        }
        auto packed = tool("pack " + shellQuote(m_phone));
        if (packed.status == 0) {
            ++packs;
        } else {
            EXPECT_NE(packed.err.find("is open in another copy of the program"), std::string::npos)
                << packed.err;
            ++refusals;
        }
    }
    writer.join();
    EXPECT_GT(packs, 0);
    auto exported = tool("export " + shellQuote(m_phone));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::vector<std::string> rows = lines(exported.out);
    EXPECT_EQ(rows.size(), 1u + 2u + (recalled ? 1u : 0u) + 50u * importedBatches.load())
        << "packs " << packs << ", refused " << refusals;
    EXPECT_EQ(importedBatches.load(), batches);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

}  // namespace

}  // namespace abonex::test
