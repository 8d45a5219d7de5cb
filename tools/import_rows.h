// The import's check of CSV rows against the table's fields, done before anything is written:
// every row must have the right number of columns, be UTF-8 that holds only characters the
// table's code page can hold, at least in their nearest form (and no NUL byte, and no control
// character at the end of a value, which a reader of the field would not see), and fit its
// fields (a phone as its digits, or any value cut to its field when truncating). A name of
// nothing but "?" and punctuation is refused too: it is what a file that was saved in a page
// without Cyrillic letters holds. Every refusal names the line, the column and what is wrong.
//
// A first line whose columns all name fields of the table (letter case and surrounding blanks
// ignored) is a header: the columns are then matched to the fields by name, in any order, and
// the line itself is never imported. The generic names "name", "phone1", "phone2" and
// "comment" stand for the first four fields of any directory table. Without a header the
// columns are the first four fields, in order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/contact_rows.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/near_form.h"
#include "tools/csv.h"

namespace abonex::tool {

inline constexpr size_t kImportColumns = 4;

// A field a column may be stored in: its name and its length in bytes.
using ImportColumn = TableColumn;

// How the first line is taken.
enum class CsvHeader {
    Detect,    // a header when every column names a field, data otherwise
    Required,  // must be a header: a column that names no field is an error
    None,      // data, like every other line
};

struct ImportRows {
    // For each CSV column, the index of the field it is stored in.
    std::vector<size_t> fields;
    // The rows to append, one value per column, as the bytes to store (the table's page).
    std::vector<std::vector<std::string>> rows;
    // The message for the first line that fails, naming `csvPath` and its line; nothing is to
    // be written when it is set.
    std::optional<std::string> error;
    // The characters stored in their nearest form (engine/dbf/near_form.h).
    NearFormTally replaced;
    // The phones longer than their field stored as their digits (directory/contact_rows.h),
    // one message each.
    std::vector<std::string> notes;
};

struct ImportSettings {
    bool truncate = false;  // long values are cut to the field instead of refused
    CsvHeader header = CsvHeader::Detect;
    CodePage tablePage = CodePage::Cp866;  // the page the table holds its text in
    char separator = ',';                  // the file's separator (named in hints)
};

// Checks `records` (parsed from `csvPath`) against `fields`, the table's fields in order (at
// least four).
ImportRows validateImportRows(const std::vector<CsvRecord>& records,
                              const std::vector<ImportColumn>& fields, std::string_view csvPath,
                              const ImportSettings& settings = {});

// True for a name (UTF-8) of nothing but "?", blanks and punctuation, with at least one "?": a
// name whose letters a code page without them turned into question marks.
bool lostItsLetters(std::string_view name);

// The single-byte page that bytes which are not UTF-8 are most likely in: 1251 when most of
// their high bytes are letters there and not in 866, 866 otherwise.
CodePage likelyPageOf(std::string_view bytes);

}  // namespace abonex::tool
