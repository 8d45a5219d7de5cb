// What "index dump" and "info" print about a multiple-index file: its header and, tag by tag,
// the tag's header and (for the dump) its keys in tree order.
#pragma once

#include <string>
#include <string_view>

#include "engine/index/mdx_file.h"

namespace abonex::tool {

// The table an index file belongs to: the file beside it with the same base name and ".DBF"
// (found in any letter case).
std::string tableBeside(std::string_view indexPath);

// Prints the index file's header lines: path, tag count, next free block, block length.
void printIndexHeader(GSobjMDXFile& file);

// Prints one tag's header lines; with `withKeys`, then every key in tree order as
// "<key>\t<record number>" and the key count. Character keys are converted from code page 866 to
// UTF-8, numbers print with 15 significant digits, dates as YYYY-MM-DD ("(empty)" for the empty
// date).
void printTag(GSobjMDXTag& tag, bool withKeys);

}  // namespace abonex::tool
