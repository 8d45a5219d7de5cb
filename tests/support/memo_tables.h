// Tables with a memo field and their memo files, written byte by byte as dBASE III, dBASE IV
// and FoxPro write them, for the tests of the memo reader and of the tool's export.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/dbf/memo_file.h"

namespace abonex::test {

struct MemoRow {
    std::string name;                 // NAME C20, bytes as stored
    std::optional<std::string> memo;  // NOTES M10: its text, or no memo
};

// Writes `dbfPath` (NAME C20, NOTES M10, language byte 0x26) and its memo file beside it
// (".DBT" or ".FPT" after the table's name) in the layout of `kind`; returns the memo file's
// path. `blockLength` is the memo file's block length (dBASE III always uses 512).
std::string writeMemoTable(const std::string& dbfPath, MemoFile::Kind kind,
                           const std::vector<MemoRow>& rows, uint32_t blockLength = 512);

}  // namespace abonex::test
