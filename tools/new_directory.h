// The folder of a new directory, as "create" and "demo" make it: the folder is created when it
// is missing, and a folder that already holds any of the directory's tables or index files is
// refused before anything is written, so that no command ever replaces an existing table.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace abonex::tool {

// Creates `dir` when it does not exist and returns it with a trailing "/". When the folder
// already holds one of the six files of a directory (Phone.DBF, Org.dbf, Favor.dbf and their
// .MDX files, in any letter case), prints why on stderr and returns nothing; nothing is changed
// then. Raises the engine error when the folder cannot be made.
std::optional<std::string> newDirectoryFolder(std::string_view dir);

}  // namespace abonex::tool
