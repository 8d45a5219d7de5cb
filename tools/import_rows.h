// The import's check of CSV rows against the table's first four fields, done before anything
// is written: every row must have four columns, hold only characters code page 866 can hold,
// and fit its fields (or be cut to them when truncating).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/csv.h"

namespace abonex::tool {

inline constexpr size_t kImportColumns = 4;

// A field a column is stored in: its name and its length in bytes.
struct ImportColumn {
    std::string name;
    int size = 0;
};

struct ImportRows {
    // The rows to append, as the code-page-866 bytes of the four columns.
    std::vector<std::vector<std::string>> rows;
    // The message for the first row that fails, naming `csvPath` and its line; nothing is to
    // be written when it is set.
    std::optional<std::string> error;
};

// Checks `records` (parsed from `csvPath`) against `columns` (the table's fields in order, at
// least four). A first record that names the columns ("name,phone1,phone2,comment" or the
// field names, in any case) is skipped. With `truncate`, long values are cut to the field.
ImportRows validateImportRows(const std::vector<CsvRecord>& records,
                              const std::vector<ImportColumn>& columns, std::string_view csvPath,
                              bool truncate);

}  // namespace abonex::tool
