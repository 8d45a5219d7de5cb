// The bulk build on two threads against the build on the calling thread alone: the same index
// file byte for byte (tables empty, of one record, of chunk-edge sizes and of several sort runs;
// equal keys, deleted records, unique, descending, filtered, numeric and date tags), the same
// error first in table order, and an abort in the middle that leaves no thread behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/file/engine_error.h"
#include "engine/index/mdx_file.h"
#include "engine/index/sort_mdx.h"
#include "tests/engine/index/index_test_util.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

// Sets the threads of the bulk builds for one test and gives the choice back to the machine.
class BuildThreads {
  public:
    explicit BuildThreads(unsigned threads) { setBulkBuildThreads(threads); }
    ~BuildThreads() { setBulkBuildThreads(0); }
    BuildThreads(const BuildThreads&) = delete;
    BuildThreads& operator=(const BuildThreads&) = delete;
};

struct Abort : std::runtime_error {
    Abort() : std::runtime_error("aborted") {}
};

// The tags every table of these tests gets: each path of the key and filter evaluation.
void createTags(GSobjMDXFile& file) {
    file.TagCreate("NAME", "NAME", "", false, true);
    file.TagCreate("NAMEDOWN", "NAME", "", false, false);
    file.TagCreate("UNIQUE", "NAME", "", true, true);
    file.TagCreate("UNIQDOWN", "NAME", "", true, false);
    file.TagCreate("LIVE", "NAME", ".NOT. DELETED()", false, true);
    file.TagCreate("SHORT", "UPPER(SUBSTR(NAME, 1, 3)) + PHONE", "CODE > 500", false, true);
    file.TagCreate("CODE", "CODE", "", false, false);
    file.TagCreate("BORN", "BORN", "", false, true);
}

class TwoThreadBuildTest : public ::testing::TestWithParam<int> {
  protected:
    std::string table() const { return m_dir.file("T.DBF"); }
    std::string index() const { return m_dir.file("T.MDX"); }

    // `records` rows: most names random (sort runs of several pools), a third of them drawn
    // from a few short names (equal keys in both threads' parts), some blank; every 13th row
    // deleted.
    void makeTable(int records) {
        std::mt19937 random(static_cast<unsigned>(records) + 5);
        std::uniform_int_distribution<int> letter('A', 'Z');
        std::uniform_int_distribution<int> code(0, 999);
        std::vector<std::vector<std::string>> rows;
        std::vector<int> deleted;
        for (int n = 1; n <= records; ++n) {
            std::string name;
            if (n % 3 == 0) {
                name = "SAME" + std::to_string(n % 7);
            } else if (n % 17 != 0) {
                name.resize(25);
                for (char& c : name) c = static_cast<char>(letter(random));
            }
            char born[16];
            std::snprintf(born, sizeof born, "%04d%02d%02d", 1950 + n % 60, 1 + n % 12, 1 + n % 28);
            rows.push_back({name, std::to_string(n % 1000), std::to_string(code(random)),
                            n % 11 == 0 ? "" : born});
            if (n % 13 == 0) deleted.push_back(n);
        }
        test::makeTable(
            table(),
            {{"NAME", 'C', 30, 0}, {"PHONE", 'C', 10, 0}, {"CODE", 'N', 5, 0}, {"BORN", 'D', 8, 0}},
            rows, deleted);
    }

    // Creates the index file with every tag, each built on `threads` threads; its bytes.
    std::vector<uint8_t> createdOn(unsigned threads) {
        const BuildThreads scope(threads);
        std::filesystem::remove(index());
        {
            GSO_dBaseFld t(table(), true, true);
            createTags(*GSobjMDXFile::create(t, "T"));
        }
        return test::readFileBytes(index());
    }

    // Rebuilds the index file on `threads` threads; its bytes.
    std::vector<uint8_t> rebuiltOn(unsigned threads) {
        const BuildThreads scope(threads);
        {
            GSO_dBaseFld t(table(), true, true);
            GSobjMDXFile file(t, "T");
            file.Reindex();
        }
        return test::readFileBytes(index());
    }

    test::TempDir m_dir;
};

TEST_P(TwoThreadBuildTest, WritesTheIndexFileOfTheOneThreadBuild) {
    makeTable(GetParam());
    const std::vector<uint8_t> one = createdOn(1);
    const std::vector<uint8_t> two = createdOn(2);
    ASSERT_EQ(two.size(), one.size());
    EXPECT_TRUE(two == one) << "tags created on two threads";

    const std::vector<uint8_t> rebuiltOne = rebuiltOn(1);
    for (int round = 0; round < 3; ++round) {
        const std::vector<uint8_t> rebuiltTwo = rebuiltOn(2);
        ASSERT_EQ(rebuiltTwo.size(), rebuiltOne.size()) << "round " << round;
        EXPECT_TRUE(rebuiltTwo == rebuiltOne) << "round " << round;
    }
    // The machine's own choice writes the same file.
    EXPECT_TRUE(rebuiltOn(0) == rebuiltOne);

    GSO_dBaseFld t(table(), true, false);
    GSobjMDXFile file(t, "T");
    const int live = GetParam() - GetParam() / 13;
    EXPECT_EQ(test::treeKeys(*file.findTag("NAME")).size(), static_cast<size_t>(GetParam()));
    EXPECT_EQ(test::treeKeys(*file.findTag("LIVE")).size(), static_cast<size_t>(live));
}

// No records, one, a chunk of reads less one, exactly one, one more, and enough for several sort
// runs in each thread.
INSTANTIATE_TEST_SUITE_P(Records, TwoThreadBuildTest,
                         ::testing::Values(0, 1, 2047, 2048, 2049, 50000));

// Two builds at once in one process, as a synchronisation rebuilds its two tables: with the
// machine's own choice each build's second thread may leave part-way (both cores are taken),
// and each file is still the one-thread build's.
TEST(TwoBuildsAtOnce, EachWritesTheIndexFileOfTheOneThreadBuild) {
    test::TempDir dir;
    const std::vector<std::string> tables{dir.file("A.DBF"), dir.file("B.DBF")};
    for (size_t k = 0; k < tables.size(); ++k) {
        std::vector<std::vector<std::string>> rows;
        for (int n = 1; n <= 30000; ++n) {
            rows.push_back({std::to_string((n * 7919 + static_cast<int>(k)) % 30011)});
        }
        test::makeTable(tables[k], {{"NAME", 'C', 12, 0}}, rows, {5, 29999});
        GSO_dBaseFld t(tables[k], true, true);
        const BuildThreads scope(1);
        GSobjMDXFile::create(t, k == 0 ? "A" : "B")->TagCreate("NAME", "NAME", "", false, true);
    }
    auto indexOf = [](const std::string& table) {
        return table.substr(0, table.size() - 3) + "MDX";
    };
    const std::vector<std::vector<uint8_t>> one{test::readFileBytes(indexOf(tables[0])),
                                                test::readFileBytes(indexOf(tables[1]))};
    for (const unsigned threads : {0u, 2u}) {
        const BuildThreads scope(threads);
        for (int round = 0; round < 3; ++round) {
            auto rebuild = [&](size_t k) {
                GSO_dBaseFld t(tables[k], true, true);
                GSobjMDXFile(t, k == 0 ? "A" : "B").Reindex();
            };
            std::thread other([&] { rebuild(1); });
            rebuild(0);
            other.join();
            for (size_t k = 0; k < tables.size(); ++k) {
                EXPECT_TRUE(test::readFileBytes(indexOf(tables[k])) == one[k])
                    << tables[k] << " on " << threads << " threads, round " << round;
            }
        }
    }
}

class TwoThreadBuildErrorTest : public ::testing::Test {
  protected:
    std::string table() const { return m_dir.file("T.DBF"); }
    std::string index() const { return m_dir.file("T.MDX"); }

    // 12,000 rows whose key "NAME + CHR(A) + SPACE(B)" evaluates, but for the rows given: a
    // character code of 300 fails as a byte, a width of two million as too long a result.
    void makeTable(int badByte, int tooLong) {
        std::vector<std::vector<std::string>> rows;
        for (int n = 1; n <= 12000; ++n) {
            rows.push_back({"N" + std::to_string(n % 500), n == badByte ? "300" : "65",
                            n == tooLong ? "2000000" : "0"});
        }
        test::makeTable(table(), {{"NAME", 'C', 10, 0}, {"A", 'N', 5, 0}, {"B", 'N', 8, 0}}, rows);
    }

    // The error of creating the tag on `threads` threads, with the index file it leaves.
    std::string createError(unsigned threads, std::vector<uint8_t>& bytes) {
        const BuildThreads scope(threads);
        std::filesystem::remove(index());
        std::string message = "no error";
        {
            GSO_dBaseFld t(table(), true, true);
            auto file = GSobjMDXFile::create(t, "T");
            file->TagCreate("NAME", "NAME", "", false, true);
            try {
                file->TagCreate("KEY", "NAME + CHR(A) + SPACE(B)", "", false, true);
            } catch (const EEngineError& error) {
                message = error.what();
            }
        }
        bytes = test::readFileBytes(index());
        return message;
    }

    test::TempDir m_dir;
};

TEST_F(TwoThreadBuildErrorTest, TheErrorRaisedIsTheFirstInTableOrder) {
    const std::string byteError = "A Byte value is required but invalid";
    const std::string longError = "Expression result is too long";
    // Both failing rows in chunks far apart, then next to each other in one chunk, then in
    // neighbouring chunks (taken by different threads).
    struct Case {
        int badByte, tooLong;
        std::string expected;
    };
    for (const Case& c :
         {Case{5000, 9000, byteError}, Case{9000, 5000, longError}, Case{7001, 7000, longError},
          Case{4096, 4097, byteError}, Case{4097, 4096, longError}, Case{12000, 1, longError}}) {
        std::filesystem::remove(table());
        makeTable(c.badByte, c.tooLong);
        std::vector<uint8_t> oneBytes;
        ASSERT_EQ(createError(1, oneBytes), c.expected) << c.badByte << " " << c.tooLong;
        for (int round = 0; round < 5; ++round) {
            std::vector<uint8_t> twoBytes;
            EXPECT_EQ(createError(2, twoBytes), c.expected)
                << c.badByte << " " << c.tooLong << " round " << round;
            // The failed tag is left out of the file the same way.
            EXPECT_TRUE(twoBytes == oneBytes) << c.badByte << " " << c.tooLong;
        }
    }
}

TEST_F(TwoThreadBuildErrorTest, AnAbortFromTheProgressEndsBothThreadsAndTheNextRebuildIsWhole) {
    makeTable(0, 0);
    {
        const BuildThreads scope(1);
        GSO_dBaseFld t(table(), true, true);
        GSobjMDXFile::create(t, "T")->TagCreate("KEY", "NAME + CHR(A) + SPACE(B)", "", false, true);
    }
    const std::vector<uint8_t> whole = test::readFileBytes(index());
    // Above 12,000: that many keys less written into the tree.
    for (const int abortAt : {1, 3000, 12000, 12001, 12000 + 7000}) {
        std::vector<uint8_t> abortedOnOne;
        for (const unsigned threads : {1u, 2u}) {
            const BuildThreads scope(threads);
            int lastStep = 0;
            {
                GSO_dBaseFld t(table(), true, true);
                GSobjMDXFile file(t, "T");
                file.setProgressCallback([&](const IndexProgress& p) {
                    if (p.event != ProgressEvent::Step) return;
                    if (p.phase == 2) {
                        // Keys written: the abort in the writing of the tree.
                        if (abortAt > 12000 && p.position == abortAt - 12000) throw Abort();
                        return;
                    }
                    // Phase 1 counts every record once, in table order.
                    EXPECT_EQ(p.position, lastStep + 1);
                    lastStep = p.position;
                    if (p.position == abortAt) throw Abort();
                });
                EXPECT_THROW(file.Reindex(), Abort);
            }
            EXPECT_EQ(lastStep, std::min(abortAt, 12000));
            {
                // The interrupted tag names no root, on either count of threads alike: not a
                // tree of the keys written so far, which readers would take for all of them.
                GSO_dBaseFld t(table(), true, false);
                GSobjMDXFile file(t, "T");
                EXPECT_EQ(file.findTag("KEY")->RootBlock(), 0u);
            }
            if (threads == 1) {
                abortedOnOne = test::readFileBytes(index());
            } else {
                EXPECT_TRUE(test::readFileBytes(index()) == abortedOnOne) << abortAt;
            }
            {
                GSO_dBaseFld t(table(), true, true);
                GSobjMDXFile(t, "T").Reindex();
            }
            EXPECT_TRUE(test::readFileBytes(index()) == whole)
                << threads << " threads, after an abort at " << abortAt;
        }
    }
}

}  // namespace
}  // namespace abonex
