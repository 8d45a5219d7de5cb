// abonex-db create DIR: an empty directory — the persons, organisations and favourites tables,
// each with its index file and name tag.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "app/directory_tables.h"
#include "engine/dbf/dbf_create.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/production_index.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

int runCreate(const Args& args) {
    if (args.size() != 1) return usageError("usage: abonex-db create DIR");
    std::string dir = args[0];
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        raiseEngineError(errnoToEngineCode(errno, true), sub::kCreate, dir);
    }
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (const DirectoryTable& table : kDirectoryTables) {
        std::string path = dir + std::string(table.tableFile);
        createDbfTable(path, directoryFieldSpecs(table));
        printLine("created " + path);
        GSO_dBaseFld created(path, false, true);
        createProductionIndex(created, table.tagName, nameTagExpression(table));
        printLine("created " + dir + std::string(table.indexFile) + " (tag " +
                  std::string(table.tagName) + ")");
    }
    return 0;
}

const CommandRegistrar kCreate({"create", "create DIR", runCreate});

}  // namespace

}  // namespace abonex::tool
