#include "directory/directory_pack.h"

#include <string>

namespace abonex {

PackResult packDirectoryTable(std::string_view folder, DirectoryMode mode) {
    const DirectoryTable& table = directoryTable(mode);
    TEngineDataSet dataSet;
    dataSet.setDatabaseName(folder);
    dataSet.setLockProtocol(table.protocol);
    dataSet.setTableName(table.tableFile);
    dataSet.setIndexName(table.tagName);
    dataSet.setIndexFiles({std::string(table.indexFile)});
    return packTable(dataSet);
}

}  // namespace abonex
