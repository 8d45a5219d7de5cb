// Creating an empty dBASE III table (version 0x03).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/codepage.h"

namespace abonex {

struct FieldSpec {
    std::string name;  // at most 10 characters, stored upper case
    char type = 'C';   // C, D, L or N
    int length = 0;
    int decimals = 0;
};

// Writes a new, empty table at `path`: header with today's date and no records, the
// descriptors, the 0x0D terminator and the 0x1A end mark. An existing file is never replaced:
// it raises 183 "File already exists" and stays as it was. Raises EEngineError (1001) for an
// invalid field list and the disk errors for the file.
void createDbfTable(std::string_view path, const std::vector<FieldSpec>& fields,
                    unsigned char languageDriver = kLanguageDriverOem866);

}  // namespace abonex
