// abonex-db reindex TABLE [MDXFILE...]: rebuilds every tag of the index files of a table (by
// default its production index file: same folder and base name, ".MDX"). A table that ends
// inside a record is rebuilt from its whole records, and the record left out is named.
//
// A directory table whose production index file is missing gets a new one with the tag the
// program uses (its name tag), said on standard output: a user who lost the index gets it back
// with this command. Any other table without one is told to make its tags with "index create".
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "directory/directory_tables.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "reindex TABLE [MDXFILE...]";
constexpr std::string_view kExitStatus =
    "0 done, 1 error or a table that ends inside a record (rebuilt without it), 2 usage error";

// The missing production index file `path` of `table`, made anew for a directory table.
int createProductionIndex(GSO_dBaseFld& table, const std::string& path) {
    const DirectoryTable* directory = locateTable(table.path()).directory;
    if (directory == nullptr) {
        printError("abonex-db: " + table.path() + " has no index file " + path +
                   "; abonex-db index create makes its tags");
        return kExitFailed;
    }
    std::unique_ptr<GSobjMDXFile> file = GSobjMDXFile::create(table, path);
    try {
        file->TagCreate(directory->tagName, nameTagExpression(*directory), {}, false, true);
        file->close();
    } catch (...) {
        // No half-made index is left behind for the program to take as the table's.
        file.reset();
        ::unlink(path.c_str());
        throw;
    }
    printLine("created " + path + " (it was missing): tag " + std::string(directory->tagName) +
              " on " + std::string(nameTagExpression(*directory)) + ", " +
              std::to_string(table.recordCount()) + " records");
    return kExitOk;
}

int runReindex(const Args& args) {
    ToolOptions options(kUsage, {}, kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.empty()) return options.usageError();
    auto table = openTableFile(words[0], true);
    std::vector<std::string> files(words.begin() + 1, words.end());
    if (files.empty()) {
        const std::string production = productionIndexPath(*table);
        if (!fileExistsAnyCase(production)) return createProductionIndex(*table, production);
        files.push_back(production);
    }
    GSobjMDXFile::RebuiltTable unfinished;
    for (const auto& name : files) {
        GSobjMDXFile file(*table, name);
        file.Reindex();
        // The figures the rebuild took under its locks: a writer that appends after it is done
        // is no concern of this command.
        const GSobjMDXFile::RebuiltTable rebuilt = file.lastRebuild();
        if (rebuilt.partialBytes > 0) unfinished = rebuilt;
        printLine("reindexed " + file.path() + ": " + std::to_string(file.tags().size()) +
                  " tags, " + std::to_string(rebuilt.records) + " records");
        file.close();
    }
    if (const GSobjMDXFile::RebuiltTable& rebuilt = unfinished; rebuilt.partialBytes > 0) {
        printError("abonex-db: " + table->path() + " ends inside record " +
                   std::to_string(rebuilt.records + 1) + " (" +
                   std::to_string(rebuilt.partialBytes) + " of " +
                   std::to_string(table->recordLength()) + " bytes); that record is not indexed");
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistrar kReindex({"reindex", std::string(kUsage), runReindex,
                                 std::string(kExitStatus)});

}  // namespace

}  // namespace abonex::tool
