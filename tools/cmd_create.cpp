// abonex-db create DIR: an empty directory — the persons, organisations and favourites tables.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "app/directory_tables.h"
#include "engine/dbf/dbf_create.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
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
    }
    return 0;
}

const CommandRegistrar kCreate({"create", "create DIR", runCreate});

}  // namespace

}  // namespace abonex::tool
