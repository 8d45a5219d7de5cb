#include "tools/table_access.h"

#include "engine/file/path_util.h"

namespace abonex::tool {

TableLocation locateTable(std::string_view path) {
    TableLocation location;
    std::string full = expandPath(path);
    location.folder = std::string(directoryPart(full));
    location.file = std::string(fileNamePart(full));
    std::string index = replaceExtension(full, ".MDX");
    if (fileExistsAnyCase(index)) {
        location.productionIndex = std::string(fileNamePart(resolveCaseInsensitive(index)));
    }
    for (const DirectoryTable& table : kDirectoryTables) {
        if (samePathText(table.tableFile, location.file) ||
            samePathText(replaceExtension(table.tableFile, ""), location.file)) {
            location.directory = &table;
        }
    }
    return location;
}

std::string defaultOrderTag(const TableLocation& location) {
    if (location.directory == nullptr || location.productionIndex.empty()) return {};
    return std::string(location.directory->tagName);
}

void openTable(TEngineDataSet& set, const TableLocation& location, std::string_view tag,
               bool translate, bool readOnly) {
    set.setDatabaseName(location.folder);
    set.setTableName(location.file);
    set.setTranslateASCII(translate);
    set.setReadOnly(readOnly);
    if (location.directory != nullptr) set.setLockProtocol(location.directory->protocol);
    set.setIndexName(tag);
    if (!location.productionIndex.empty()) set.setIndexFiles({location.productionIndex});
    set.Open();
}

}  // namespace abonex::tool
