// The closing rebuild of the directory tables' index files, done by a process of its own.
//
// The window rebuilds the index files of its open tables when it closes. So that the user does
// not wait for it, the window starts the program again with a hidden request (the argument
// kRebuildIndexesArgument, the folder, and the tables by name) in a session of its own and ends
// at once; that process opens each table as the window does and rebuilds its index files under
// the locks every rebuild takes, waiting for them as writers do. Killed at any moment, it loses
// nothing: the table is only read, and an index file whose rebuild did not finish has tags
// without a root, which the next start's quick look (TEngineDataSet::IndexesCoverTable) finds
// and rebuilds before it shows rows. Widget-free: the program's entry runs the request before
// any window or display exists.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"

namespace abonex {

// The program's hidden first argument that asks for a closing rebuild.
inline constexpr std::string_view kRebuildIndexesArgument = "--rebuild-indexes";

// How a table is named in the request: "persons", "organisations", "favourites".
std::string_view rebuildRequestName(DirectoryMode mode);
std::optional<DirectoryMode> modeFromRebuildRequestName(std::string_view name);

// Opens the table of `mode` in `folder` (ending in "/") as the window opens it (shared, with its
// lock protocol, its index file and its tag) and rebuilds its index files. Raises the engine's
// errors. When `keepGoing` is given and answers false while the rebuild reads or writes, the
// rebuild stops there with EAbort, leaving an index the next quick look refuses.
void rebuildDirectoryIndex(std::string_view folder, DirectoryMode mode,
                           const std::function<bool()>& keepGoing = {});

// Runs a request: `arguments` are what follows kRebuildIndexesArgument, the folder and then one
// or more table names. Rebuilds every table named, in that order, and goes on after a table
// that fails. Returns 0 when all were rebuilt, 1 after an error (each written to `errors` as one
// line), 2 for arguments it does not understand.
int runRebuildRequest(const std::vector<std::string>& arguments, std::string& errors);

// Starts `program` with the request for `folder` and `modes` in a session of its own, with its
// standard streams on /dev/null and no other file of this process open, and does not wait for
// it. Returns its process id, or -1 with errno set when it could not be started.
pid_t startDetachedRebuild(const std::string& program, std::string_view folder,
                           const std::vector<DirectoryMode>& modes);

}  // namespace abonex
