// abonex-db check TABLE [MDXFILE...]: verifies index files against their table.
//
// Prints one line per problem and a summary line; a table that ends inside a record is one
// problem. Exit status: 0 when every tag is clean, 1 when a problem was found, 2 when a file
// could not be read (the engine's message goes to stderr) or the command line is wrong.
#include <iostream>
#include <memory>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/index_check.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUnreadable = 2;

constexpr std::string_view kUsage = "check TABLE [MDXFILE...]";
constexpr std::string_view kExitStatus =
    "0 no problems, 1 problems found, 2 usage error, a file that cannot be read or output that "
    "cannot be written";

std::string counted(long count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

int unreadable(const EEngineError& error) {
    std::cout.flush();
    std::cerr << errorMessage(error) << '\n';
    return kExitUnreadable;
}

int runCheck(const Args& args) {
    ToolOptions options(kUsage, {}, kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.empty()) return options.usageError();

    std::unique_ptr<GSO_dBaseFld> table;
    try {
        table = openTableFile(words[0], false);
    } catch (const EEngineError& error) {
        return unreadable(error);
    }

    // By default the production index file: the table's folder and base name with ".MDX",
    // which the disk-file layer finds in any letter case.
    std::vector<std::string> indexFiles(words.begin() + 1, words.end());
    if (indexFiles.empty()) indexFiles.push_back(replaceExtension(table->path(), ".MDX"));

    int tags = 0;
    long keys = 0;
    long problems = 0;
    table->RefreshHeader();
    uint64_t partial = table->partialRecordBytes();
    if (partial > 0 && fileExistsAnyCase(indexFiles.front())) {
        // Another copy may be appending this very record: it holds the index lock meanwhile.
        try {
            whileNoWriterWrites(*table, indexFiles.front(),
                                [&] { partial = table->partialRecordBytes(); });
        } catch (const EEngineError& error) {
            return unreadable(error);
        }
    }
    if (partial > 0) {
        printLine(std::string(fileNamePart(table->path())) + ": the file ends inside record " +
                  std::to_string(table->recordCount() + 1) + " (" + std::to_string(partial) +
                  " of " + std::to_string(table->recordLength()) + " bytes)");
        ++problems;
    }
    for (const std::string& indexFile : indexFiles) {
        IndexCheckReport report;
        try {
            report = checkIndexFileBesideWriters(*table, indexFile);
        } catch (const EEngineError& error) {
            return unreadable(error);
        }
        const std::string prefix =
            indexFiles.size() > 1 ? std::string(fileNamePart(indexFile)) + ": " : "";
        for (const IndexProblem& problem : report.problems)
            printLine(prefix + formatIndexProblem(problem));
        tags += report.tagsChecked;
        keys += report.keysChecked;
        problems += static_cast<long>(report.problems.size());
    }
    printLine(
        counted(tags, "tag", "tags") + ", " + counted(keys, "key", "keys") + " checked, " +
        (problems == 0 ? std::string("no problems") : counted(problems, "problem", "problems")));
    return problems == 0 ? kExitClean : kExitProblems;
}

// Output that cannot be written is an error, not a problem of the table.
const CommandRegistrar kCheck({"check", std::string(kUsage), runCheck, std::string(kExitStatus),
                               kExitUsage});

}  // namespace

}  // namespace abonex::tool
