// Two tool processes writing one table at once: a long import beside tag creations and
// deletions on the same index file. Both go through the index lock, so neither damages what
// the other writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

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

INSTANTIATE_TEST_SUITE_P(DirectoryTables, ImportBesideTagChanges,
                         ::testing::Values(TableCase{"Phone.DBF", "PHONE1 + UPPER(NAME)"},
                                           TableCase{"Org.dbf", "PHON_1 + UPPER(ORG_NAME)"}),
                         [](const auto& parameter) {
                             return std::string(parameter.param.table).substr(0, 3);
                         });

}  // namespace
}  // namespace abonex::test
