// How synchronisation opens the tables it compares and changes.
//
// A table is known by its file name alone, in any letter case. Phone.DBF, Org.dbf and Favor.dbf
// are the directory tables: they are opened with their index file, and with the lock protocol
// the main window uses for them (Default for persons, DB4Lock for the other two), so that every
// window of every copy of the program locks the same regions of the same file. A table of any
// other name has no index file: it is read in file order and locked with the Default protocol.
//
// Every data set is set up alike: text translated to ANSI, shared, no automatic flush, deleted
// records hidden, user number 0.
#pragma once

#include <optional>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dbf/codepage.h"

namespace abonex {

class TEngineDataSet;

// The directory table of file name `tableFileName` (compared without regard to case), or
// nullptr for any other name.
const DirectoryTable* syncDirectoryTable(std::string_view tableFileName);

// Opens `dataSet` on `folder`/`tableFileName` for comparing: a directory table in the order of
// its name tag (on its index file), any other table in file order. Closes the data set first.
// Raises the data set's and the engine's errors; a table of fewer than three fields is refused
// with EDatabaseError "Table <path> has fewer than three fields". `forcedPage` takes the
// table's text in that page whatever its language byte says (a table saved by a spreadsheet).
void openSyncTable(TEngineDataSet& dataSet, std::string_view folder, std::string_view tableFileName,
                   std::optional<CodePage> forcedPage = std::nullopt);

// Rebuilds the index files of one data set opened by openSyncTable; a directory table whose
// name tag could not be selected at the open (a rebuild cut short left it without a root)
// gets it now.
void reindexSyncTable(TEngineDataSet& dataSet);

// Rebuilds the index files of the comparison's two data sets: both at once, on this thread and
// another, or one after the other when both are open on one table file. The first error raised
// (the source's before the target's) propagates once both have ended.
void reindexSyncTables(TEngineDataSet& source, TEngineDataSet& target);

// Opens `dataSet` for changing: as openSyncTable, but with no tag, so the records come in file
// order while every write still keeps the table's index file current.
void openChangeTable(TEngineDataSet& dataSet, std::string_view folder,
                     std::string_view tableFileName,
                     std::optional<CodePage> forcedPage = std::nullopt);

}  // namespace abonex
