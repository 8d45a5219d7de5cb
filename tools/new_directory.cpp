#include "tools/new_directory.h"

#include <sys/stat.h>

#include <cerrno>

#include "directory/directory_tables.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "tools/tool_command.h"

namespace abonex::tool {

std::optional<std::string> newDirectoryFolder(std::string_view dir) {
    std::string folder(dir);
    if (folder.empty()) folder = ".";
    if (folder.back() != '/') folder += '/';
    for (const DirectoryTable& table : kDirectoryTables) {
        for (std::string_view name : {table.tableFile, table.indexFile}) {
            const std::string path = resolveCaseInsensitive(folder + std::string(name));
            if (fileExistsAnyCase(path)) {
                printError("abonex-db: " + path +
                           " already exists; a new directory needs a folder without its tables "
                           "and index files (nothing was changed)");
                return std::nullopt;
            }
        }
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        raiseEngineError(errnoToEngineCode(errno, true), sub::kCreate, std::string(dir));
    }
    return folder;
}

}  // namespace abonex::tool
