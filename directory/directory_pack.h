// Packing a directory table as the window opens it (engine/dataset/table_pack.h): its lock
// protocol, its index file and its name tag, the text taken in the directory's page.
#pragma once

#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/table_pack.h"

namespace abonex {

// Packs the table of `mode` in `folder` (ending in "/"). Raises ETableInUse while another copy
// of the program has it open, the engine's errors otherwise.
PackResult packDirectoryTable(std::string_view folder, DirectoryMode mode);

}  // namespace abonex
