// Helpers shared by the file-reading fuzz targets and their seed maker: a private scratch
// folder, whole-file writes, and the fixed small table the index target reads its index with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace abonex::fuzz {

// A folder made once per process under $TMPDIR (or /tmp) and removed at exit.
const std::string& scratchFolder();

// Replaces the file at `path` with `size` bytes from `data`; aborts when it cannot.
void writeWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Writes the index target's table at `path`: NAME C(12), PHONE C(8), BORN D and six rows, the
// fourth deleted.
void writeSmallTable(const std::string& path);

}  // namespace abonex::fuzz
