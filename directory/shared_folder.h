// A folder that the users of one group share: the installed program folder, whose tables every
// member of the group reads and changes.
//
// A folder is shared when its group may write into it and it has the set-group-ID bit, so every
// file made in it belongs to the folder's group. The program and the tool, started from such a
// folder, let the group write what they create (a table, an index file rebuilt under a new
// name), so a file one member makes stays writable by the others. Widget-free: the windows and
// the tool share it.
#pragma once

#include <string>

namespace abonex {

// True when `folder` is a folder with group write permission and the set-group-ID bit.
bool isSharedFolder(const std::string& folder);

// When `folder` is shared, clears the group bits of the process's umask (022 becomes 002, 077
// becomes 007) and returns true; otherwise leaves the umask alone and returns false. Called at
// start with the program's own folder, before any file is opened.
bool shareNewFilesWithGroup(const std::string& folder);

}  // namespace abonex
