// abonex-db create DIR: an empty directory — the persons, organisations and favourites tables,
// each with its index file and name tag — in a folder that holds none of them yet.
#include <string>

#include "directory/directory_tables.h"
#include "directory/table_writer.h"
#include "tools/new_directory.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "create DIR";

int runCreate(const Args& args) {
    ToolOptions options(kUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    const std::optional<std::string> dir = newDirectoryFolder(options.words()[0]);
    if (!dir) return kExitFailed;
    for (const DirectoryTable& table : kDirectoryTables) {
        const std::string path = *dir + std::string(table.tableFile);
        // Both files are said to be there once both are.
        writeDirectoryTable(path, table, {});
        printLine("created " + path);
        printLine("created " + *dir + std::string(table.indexFile) + " (tag " +
                  std::string(table.tagName) + ")");
    }
    return kExitOk;
}

const CommandRegistrar kCreate({"create", std::string(kUsage), runCreate});

}  // namespace

}  // namespace abonex::tool
