#include "engine/index/production_index.h"

#include "engine/file/path_util.h"

namespace abonex {

std::string productionIndexPath(const GSO_dBaseFld& table) {
    return resolveCaseInsensitive(replaceExtension(table.path(), ".MDX"));
}

std::unique_ptr<GSobjMDXFile> openOrCreateIndexFile(GSO_dBaseFld& table,
                                                    std::string_view fileName) {
    const std::string path = GSobjMDXFile::indexFilePath(table, fileName);
    if (!fileExistsAnyCase(path)) return GSobjMDXFile::create(table, path);
    return std::make_unique<GSobjMDXFile>(table, path);
}

void createProductionIndex(GSO_dBaseFld& table, std::string_view tagName,
                           std::string_view keyExpression) {
    auto file = openOrCreateIndexFile(table, productionIndexPath(table));
    file->TagCreate(tagName, keyExpression, {}, false, true);
    file->close();
}

}  // namespace abonex
