// The persons table of a folder as the benchmarks open it: its name tag current, the window's
// search attached.
#pragma once

#include <string>

#include "directory/directory_tables.h"
#include "directory/search_filter.h"
#include "engine/dataset/engine_dataset.h"

namespace abonex::bench {

// Sets `set` up for the persons table in `dir`; Open() is left to the caller.
inline void setUpPersons(TEngineDataSet& set, const std::string& dir, SearchCriteria& search,
                         bool readOnly) {
    const DirectoryTable& table = directoryTable(DirectoryMode::Persons);
    set.setDatabaseName(dir);
    set.setTableName(std::string(table.tableFile));
    set.setIndexFiles({std::string(table.indexFile)});
    set.setIndexName(std::string(table.tagName));
    set.setReadOnly(readOnly);
    attachSearch(set, search);
}

}  // namespace abonex::bench
