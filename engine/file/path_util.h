// File names on Linux: expansion to a full path and case-blind lookup inside a folder.
//
// The tables and index files are named in mixed case by the program ("Phone.DBF", "PHONE.MDX")
// while the files on disk may be spelled in any case. A name is therefore resolved inside its
// folder without regard to ASCII letter case, and the path of the file as found is what the
// engine keeps and shows in messages. Upper-cased forms are used only for comparisons.
#pragma once

#include <string>
#include <string_view>

namespace abonex {

// ASCII upper case of a text (other bytes unchanged).
std::string upperAscii(std::string_view text);

// True when `path` names an absolute location (starts with "/").
bool isAbsolutePath(std::string_view path);

// `name` made absolute against the current directory when it is relative.
std::string expandPath(std::string_view name);

// The path of an existing file that `path` names, matching its last component without regard
// to ASCII case when the exact name does not exist. Returns `path` unchanged when nothing
// matches (the caller then reports the missing file under the name it was given).
std::string resolveCaseInsensitive(std::string_view path);

// True when a file named `path` exists (last component matched without regard to case).
bool fileExistsAnyCase(std::string_view path);

// The folder of the running program file, links resolved, with a trailing "/" ("" when the
// system does not tell).
std::string programFolder();

// Folder part including the trailing "/" ("" when there is none).
std::string_view directoryPart(std::string_view path);
// Last component of a path.
std::string_view fileNamePart(std::string_view path);
// Last component without its extension.
std::string_view baseNamePart(std::string_view path);
// Extension including its dot (".DBF"), or "" when the last component has none.
std::string_view extensionPart(std::string_view path);
// `path` with its extension replaced by (or extended with) `extension` (which includes the dot).
std::string replaceExtension(std::string_view path, std::string_view extension);

// True when two paths name the same file by their upper-cased text.
bool samePathText(std::string_view a, std::string_view b);

}  // namespace abonex
