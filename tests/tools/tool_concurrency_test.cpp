// Tool processes on one table at once: a long import beside tag creations and deletions on the
// same index file, and beside checks, rebuilds, other imports and exports. Writers go through
// the index lock, so none damages what another writes; readers and checks report only what is
// there.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "engine/file/path_util.h"
#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

struct TableCase {
    const char* table;
    const char* tagKey;  // the key of the tag made and dropped beside the import
};

class ImportBesideTagChanges : public ToolTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(ImportBesideTagChanges, BothFinishTheIndexChecksCleanAndEveryRowIsThere) {
    constexpr int kRows = 30000;
    const std::string table = m_dir.file(GetParam().table);
    const std::string index = replaceExtension(table, ".MDX");
    std::string csv;
    std::set<std::string> names;
    for (int i = 0; i < kRows; ++i) {
        const std::string name = "Иванов" + std::to_string(100000 + i) + " И.";
        names.insert(name);
        csv += name + "," + std::to_string(i % 97) + "-" + std::to_string(i % 89) + ",,\n";
    }
    const std::string csvPath = writeCsv("rows.csv", csv);

    const int importer = forkChild([&] {
        auto result = tool("import " + shellQuote(table) + " " + shellQuote(csvPath));
        return result.status == 0 && result.out.find("imported 30000 rows") == 0 ? 0 : 1;
    });
    const std::string tag = " " + shellQuote(table) + " " + shellQuote(index) + " BESIDE";
    int changesDuringImport = 0;
    int importStatus = -1;
    for (;;) {
        auto created = tool("index create" + tag + " " + shellQuote(GetParam().tagKey));
        ASSERT_EQ(created.status, 0) << created.err;
        int status = 0;
        if (::waitpid(importer, &status, WNOHANG) == importer) {
            importStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;  // the tag stays: its keys must be complete too
        }
        ++changesDuringImport;
        auto deleted = tool("index delete" + tag);
        ASSERT_EQ(deleted.status, 0) << deleted.err;
    }
    EXPECT_EQ(importStatus, 0);
    EXPECT_GE(changesDuringImport, 1);

    auto check = tool("check " + shellQuote(table));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "2 tags, 60000 keys checked, no problems\n");
    auto exported = tool("export " + shellQuote(table));
    ASSERT_EQ(exported.status, 0) << exported.err;
    std::istringstream lines(exported.out);
    std::string line;
    std::getline(lines, line);  // the header
    std::set<std::string> found;
    while (std::getline(lines, line)) found.insert(line.substr(0, line.find(',')));
    EXPECT_EQ(found, names);
}

// Beside a long import, every command finishes as it would on a quiet table: check finds no
// problem, reindex and a short import succeed, export gives every row that was there before it
// began, once.
TEST_F(ToolTest, CommandsBesideALongImportSeeOnlyWhatIsThere) {
    std::string before;
    std::vector<std::string> staying;
    for (int i = 0; i < 3000; ++i) {
        staying.push_back("Жилец" + std::to_string(500000 + i * 7 % 3000));
        before += staying.back() + ",1,,\n";
    }
    importRows(m_phone, before);
    std::string rows;
    for (int i = 0; i < 40000; ++i)
        rows += "Гость" + std::to_string(700000 + i * 13 % 40000) + ",2,,\n";
    const std::string rowsPath = writeCsv("long.csv", rows);
    const std::string shortPath = writeCsv("short.csv", "Сосед,3,,\n");
    const int importer = forkChild([&] {
        auto result = tool("import " + shellQuote(m_phone) + " " + shellQuote(rowsPath));
        return result.status == 0 ? 0 : 1;
    });
    int rounds = 0;
    int added = 0;
    int importStatus = -1;
    for (;;) {
        auto check = tool("check " + shellQuote(m_phone));
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        auto reindex = tool("reindex " + shellQuote(m_phone));
        EXPECT_EQ(reindex.status, 0) << reindex.out << reindex.err;
        auto small = tool("import " + shellQuote(m_phone) + " " + shellQuote(shortPath));
        EXPECT_EQ(small.status, 0) << small.err;
        ++added;
        auto exported = tool("export " + shellQuote(m_phone));
        ASSERT_EQ(exported.status, 0) << exported.err;
        std::map<std::string, int> seen;
        std::istringstream lines(exported.out);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) ++seen[line.substr(0, line.find(','))];
        for (const std::string& name : staying) ASSERT_EQ(seen[name], 1) << name;
        EXPECT_EQ(seen["Сосед"], added);
        ++rounds;
        int status = 0;
        if (::waitpid(importer, &status, WNOHANG) == importer) {
            importStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
    }
    EXPECT_EQ(importStatus, 0);
    EXPECT_GE(rounds, 2);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.out,
              "1 tag, " + std::to_string(43000 + added) + " keys checked, no problems\n");
}

// Imports opened while another process rebuilds the index file (its tag headers then name no
// root yet, and its blocks are being cut away) and rebuilds started while an import writes:
// each waits for the other, none fails or reports damage.
TEST_F(ToolTest, ImportsAndRebuildsBesideEachOtherWaitAndSucceed) {
    std::string before;
    for (int i = 0; i < 5000; ++i)
        before += "Жилец" + std::to_string(500000 + i * 7 % 5000) + ",1,,\n";
    importRows(m_phone, before);
    const std::string rowsPath = writeCsv("short.csv", "Сосед,3,,\nДруг,4,,\n");
    test::ProcessSignal stop;
    const int rebuilder = forkChild([&] {
        int failures = 0;
        for (int i = 0; !stop.wait(0); ++i) {
            if (tool("reindex " + shellQuote(m_phone)).status != 0) ++failures;
        }
        return failures;
    });
    constexpr int kImports = 25;
    int failed = 0;
    for (int i = 0; i < kImports; ++i) {
        auto imported = tool("import " + shellQuote(m_phone) + " " + shellQuote(rowsPath));
        if (imported.status != 0) {
            ++failed;
            ADD_FAILURE() << imported.err;
        }
    }
    stop.notify();
    EXPECT_EQ(waitChild(rebuilder), 0);
    EXPECT_EQ(failed, 0);
    auto check = tool("check " + shellQuote(m_phone));
    EXPECT_EQ(check.out,
              "1 tag, " + std::to_string(5000 + 2 * kImports) + " keys checked, no problems\n");
}

// A tag created or deleted by one process while another rebuilds the same index file: the
// rebuild works on the tag table as it is once it holds the file, so one of the two orders
// results and the file checks clean after every pair. Readers looping beside them either give
// every row or stop with an error; none is ended by a signal.
TEST_F(ToolTest, TagChangesStartedTogetherWithRebuildsLeaveACleanFile) {
    constexpr int kRows = 20000;
    constexpr int kRounds = 12;
    std::string rows;
    for (int i = 0; i < kRows; ++i)
        rows += "Жилец" + std::to_string(500000 + i * 7 % kRows) + "," + std::to_string(i % 89) +
                "-" + std::to_string(i % 97) + ",,\n";
    importRows(m_phone, rows);
    const std::string index = replaceExtension(m_phone, ".MDX");
    const std::string tag = " " + shellQuote(m_phone) + " " + shellQuote(index) + " BESIDE";

    test::ProcessSignal stop;
    const int reader = forkChild([&] {
        int wrong = 0;
        while (!stop.wait(0)) {
            auto exported = tool("export " + shellQuote(m_phone));
            auto found = tool("search " + shellQuote(m_phone) + " --name " + shellQuote("ЖИЛЕЦ5"));
            const auto failed = [&](const char* command, const CommandResult& result) {
                ++wrong;
                std::fprintf(stderr, "%s: status %d, %zu bytes out: %s\n", command, result.status,
                             result.out.size(), result.err.c_str());
            };
            for (const CommandResult* result : {&exported, &found}) {
                const char* command = result == &exported ? "export" : "search";
                if (result->status < 0 || result->status >= 128) {
                    failed(command, *result);  // ended by a signal
                } else if (result->status != 0 && result->err.empty()) {
                    failed(command, *result);  // a failure that says nothing
                }
            }
            if (exported.status == 0 &&
                std::count(exported.out.begin(), exported.out.end(), '\n') != kRows + 1) {
                failed("export (rows missing)", exported);
            }
        }
        return wrong;
    });
    // The rounds stop at the first file that does not check clean; the reader stops then too.
    const auto rounds = [&] {
        for (int round = 0; round < kRounds; ++round) {
            for (const char* change : {"index create", "index delete"}) {
                const int rebuilder =
                    forkChild([&] { return tool("reindex " + shellQuote(m_phone)).status; });
                const std::string key = std::string(change) == "index create" ? " PHONE1" : "";
                auto changed = tool(std::string(change) + tag + key);
                EXPECT_EQ(changed.status, 0) << change << ": " << changed.err;
                EXPECT_EQ(waitChild(rebuilder), 0) << "round " << round;
                auto check = tool("check " + shellQuote(m_phone));
                const int tags = std::string(change) == "index create" ? 2 : 1;
                EXPECT_EQ(check.out, std::to_string(tags) + (tags == 1 ? " tag, " : " tags, ") +
                                         std::to_string(tags * kRows) +
                                         " keys checked, no problems\n")
                    << change << ", round " << round << ": " << check.err;
                if (check.status != 0) return;
            }
        }
    };
    rounds();
    stop.notify();
    EXPECT_EQ(waitChild(reader), 0);
}

INSTANTIATE_TEST_SUITE_P(DirectoryTables, ImportBesideTagChanges,
                         ::testing::Values(TableCase{"Phone.DBF", "PHONE1 + UPPER(NAME)"},
                                           TableCase{"Org.dbf", "PHON_1 + UPPER(ORG_NAME)"}),
                         [](const auto& parameter) {
                             return std::string(parameter.param.table).substr(0, 3);
                         });

}  // namespace
}  // namespace abonex::test
