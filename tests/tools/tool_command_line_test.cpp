// The command line of abonex-db: help, usage errors, options and exit statuses, alike for
// every command.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/tools/tool_fixture.h"

namespace abonex::test {
namespace {

// Runs the tool in `folder` as the current directory.
CommandResult toolIn(const std::string& folder, const std::string& arguments) {
    return runCommand("cd " + shellQuote(folder) + " && " + shellQuote(toolPath()) + " " +
                      arguments);
}

bool isEmptyFolder(const std::string& folder) {
    return std::filesystem::is_empty(folder);
}

const char* const kCommands[] = {"create", "demo",         "check",        "info",      "reindex",
                                 "export", "search",       "eval",         "import",    "index",
                                 "sync",   "index create", "index delete", "index dump"};

TEST(ToolCommandLine, EveryCommandPrintsItsUsageForHelpAndTouchesNothing) {
    TempDir folder;
    for (const std::string command : kCommands) {
        for (const std::string help : {"-h", "--help", "DIR --help", "DIR x y -h"}) {
            auto result = toolIn(folder.path(), command + " " + help);
            EXPECT_EQ(result.status, 0) << command << " " << help << ": " << result.err;
            EXPECT_EQ(result.out.rfind("usage: abonex-db " + command, 0), 0u)
                << command << " " << help << ": " << result.out;
            EXPECT_NE(result.out.find("\nexit status: "), std::string::npos) << command;
            EXPECT_EQ(result.err, "") << command << " " << help;
            EXPECT_TRUE(isEmptyFolder(folder.path())) << command << " " << help;
        }
    }
}

TEST(ToolCommandLine, UnknownOptionsAndMissingValuesAreUsageErrors) {
    TempDir folder;
    struct Case {
        std::string arguments;
        std::string problem;
        std::string usage;
    };
    const Case cases[] = {
        {"create --bogus", "unknown option \"--bogus\"", "create DIR"},
        {"create -x DIR", "unknown option \"-x\"", "create DIR"},
        {"demo DIR --persons", "option \"--persons\" needs a value", "demo DIR"},
        {"demo DIR --persons many", "--persons needs a count, not \"many\"", "demo DIR"},
        // A count is never cut to fewer bits: 4294967297 is not 1.
        {"demo DIR --persons 4294967297",
         "--persons needs a count from 0 to 2147483647, not \"4294967297\"", "demo DIR"},
        {"demo DIR --orgs -1", "--orgs needs a count from 0 to 2147483647, not \"-1\"", "demo DIR"},
        {"search T.DBF --limit 2x", "--limit needs a number of rows, not \"2x\"", "search TABLE"},
        {"search T.DBF --limit 99999999999999999999",
         "--limit needs a number of rows from 0 to 9223372036854775807, not "
         "\"99999999999999999999\"",
         "search TABLE"},
        {"eval T.DBF NAME --record 2147483648",
         "--record needs a record number from 1 to 2147483647, not \"2147483648\"", "eval TABLE"},
        {"check T.DBF --all", "unknown option \"--all\"", "check TABLE"},
        {"export T.DBF --tag", "option \"--tag\" needs a value", "export TABLE"},
        {"import T.DBF a.csv --head", "unknown option \"--head\"", "import TABLE"},
        {"index create T.DBF T.MDX X NAME --unique=yes", "option \"--unique\" takes no value",
         "index create TABLE"},
        {"index drop T.DBF", "unknown index command \"drop\"", "index create TABLE"},
        {"eval T.DBF -1", "unknown option \"-1\"", "eval TABLE"},
    };
    for (const Case& c : cases) {
        auto result = toolIn(folder.path(), c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_EQ(result.out, "") << c.arguments;
        EXPECT_EQ(result.err.rfind("abonex-db: " + c.problem + "\nusage: abonex-db " + c.usage, 0),
                  0u)
            << c.arguments << ": " << result.err;
        EXPECT_TRUE(isEmptyFolder(folder.path())) << c.arguments;
    }
    // Too few or too many words: the usage alone.
    auto bare = toolIn(folder.path(), "create");
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err, "usage: abonex-db create DIR\n");
}

TEST(ToolCommandLine, WordsAfterTwoDashesAreTakenAsTheyAre) {
    TempDir folder;
    auto created = toolIn(folder.path(), "create -- -dir");
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(std::filesystem::exists(folder.file("-dir/Phone.DBF")));
    auto info = toolIn(folder.path(), "info -- -dir/Phone.DBF");
    EXPECT_EQ(info.status, 0) << info.err;
    auto eval = toolIn(folder.path(), "eval -- -dir/Phone.DBF '-1 + 3'");
    EXPECT_EQ(eval.out, "Number\n2\n") << eval.err;
    // An option's value may begin with "-".
    auto search = toolIn(folder.path(), "search -dir/Phone.DBF --phone -1");
    EXPECT_EQ(search.status, 2);  // "-dir/Phone.DBF" itself is an option here
    search = toolIn(folder.path(), "search --phone -1 -- -dir/Phone.DBF");
    EXPECT_EQ(search.status, 1) << search.err;  // a valid search that finds nothing
}

TEST(ToolCommandLine, HelpListsTheExitStatusOfEveryCommand) {
    auto help = runCommand(shellQuote(toolPath()) + " help");
    ASSERT_EQ(help.status, 0);
    std::istringstream lines(help.out);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    int commands = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].rfind("  abonex-db ", 0) != 0) continue;
        ++commands;
        ASSERT_LT(i + 1, all.size());
        EXPECT_EQ(all[i + 1].rfind("      exit status: 0 ", 0), 0u) << all[i];
    }
    EXPECT_GE(commands, 10);
    EXPECT_NE(help.out.find("  abonex-db search TABLE [--name TEXT] [--phone TEXT] [--anywhere] "
                            "[--limit N]\n"
                            "      exit status: 0 rows found, 1 none found, 2 usage error, 3 "
                            "error\n"),
              std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("  abonex-db check TABLE [MDXFILE...]\n      exit status: 0 no "
                            "problems, 1 problems found, 2 usage error, a file that cannot be "
                            "read or output that cannot be written\n"),
              std::string::npos);
    EXPECT_EQ(runCommand(shellQuote(toolPath()) + " --help").out, help.out);
    EXPECT_EQ(runCommand(shellQuote(toolPath()) + " -h").out, help.out);
    EXPECT_NE(help.out.find("abonex-db --version shows the version"), std::string::npos);
}

TEST(ToolCommandLine, VersionIsPrintedAndExitsZero) {
    const auto version = runCommand(shellQuote(toolPath()) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "abonex-db (Абонекс) 4.0\n");
    EXPECT_EQ(version.err, "");
}

}  // namespace
}  // namespace abonex::test
