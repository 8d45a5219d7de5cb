// The production index file of a table: the multiple-index file beside it with the same base
// name and the extension ".MDX" (found without regard to case).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/index/mdx_file.h"

namespace abonex {

// The path of `table`'s production index file: the existing file when one is spelled in any
// case, otherwise the table's path with ".MDX" in place of its extension.
std::string productionIndexPath(const GSO_dBaseFld& table);

// Opens the index file `fileName` of `table`, creating an empty one first when it is missing.
std::unique_ptr<GSobjMDXFile> openOrCreateIndexFile(GSO_dBaseFld& table, std::string_view fileName);

// Creates (or replaces) the ascending tag `tagName` on `keyExpression` in the production index
// file of `table`, creating the file when it is missing, and builds it from the table.
void createProductionIndex(GSO_dBaseFld& table, std::string_view tagName,
                           std::string_view keyExpression);

}  // namespace abonex
