// Opening a table named on the command line as a data set, the way the program opens it:
// with its production index file (same folder and base name, ".MDX") when there is one, and,
// for the three directory tables, with their lock protocol and name tag.
//
// The tool takes the text of every table as code page 866, the page of the directory's tables:
// it shows it as UTF-8, turns what the user types into 866 before it is compared with or
// stored into a table, and has the key expressions case it by 866's letters.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/dbf_fields.h"

namespace abonex::tool {

// The table file `path` itself (shared, read-only unless `readWrite`), its text taken as code
// page 866 and, for a directory table, with the directory's lock protocol for its index
// files. Raises the engine's errors.
std::unique_ptr<GSO_dBaseFld> openTableFile(std::string_view path, bool readWrite);

// An expression typed on the command line (UTF-8) in the tables' code page 866, so that its
// text literals compare with and measure like the stored text; nothing when it holds a
// character 866 lacks.
std::optional<std::string> expressionForTable(std::string_view utf8);
// The message for an expression that expressionForTable refused.
inline constexpr std::string_view kExpressionNotInTablePage =
    "the expression holds a character that code page 866 cannot hold";

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

// The window shows one blank row for an index entry whose record the table does not hold
// (another copy may just have cut it away); the tool, whose output is a file, stops instead.
// Raises an error naming the table, what is wrong and the fix when the current row of `set`
// is such an entry.
void requireRowInTable(TEngineDataSet& set);

// Before the tool writes through `set`: raises the same error when an open index file does
// not match the table, that is when one of its tags names a record beyond the table's end or,
// unless filtered or unique, holds another number of keys than the table has records (an index
// file of another table, or of this one before it was cut short). Looked at under each file's
// index lock, so that no writer is half-way through a record meanwhile.
void requireIndexMatchesTable(TEngineDataSet& set);

}  // namespace abonex::tool
