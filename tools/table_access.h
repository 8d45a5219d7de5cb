// Opening a table named on the command line as a data set, the way the program opens it:
// with its production index file (same folder and base name, ".MDX") when there is one, and,
// for the three directory tables, with their lock protocol and name tag.
#pragma once

#include <string>
#include <string_view>

#include "app/directory_tables.h"
#include "engine/dataset/engine_dataset.h"

namespace abonex::tool {

struct TableLocation {
    std::string folder;           // with a trailing "/"
    std::string file;             // file name as given
    std::string productionIndex;  // file name of the production index file, empty when none
    const DirectoryTable* directory = nullptr;  // the directory table of that name, if any
};

TableLocation locateTable(std::string_view path);

// The name tag of a directory table, or "" (record-number order) for any other table.
std::string defaultOrderTag(const TableLocation& location);

// Opens `set` on the table with its production index file and `tag` selected ("" for
// record-number order). Text is translated to ANSI when `translate`.
void openTable(TEngineDataSet& set, const TableLocation& location, std::string_view tag,
               bool translate, bool readOnly);

}  // namespace abonex::tool
