// Small directory tables for the desktop search's tests.
#pragma once

#include <string>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/table_writer.h"
#include "tests/support/test_support.h"

namespace abonex::test {

// The table of `mode` in `dir`, holding `rows` in this order, with its name tag.
inline void writeDirectoryTable(const TempDir& dir, DirectoryMode mode,
                                const std::vector<DirectoryRow>& rows) {
    const DirectoryTable& table = directoryTable(mode);
    abonex::writeDirectoryTable(dir.file(std::string(table.tableFile)), table, rows);
}

// The rows the desktop search tests look for.
inline void writeTownTables(const TempDir& dir) {
    writeDirectoryTable(dir, DirectoryMode::Persons,
                        {{"Петров П.П.", "22-11-00", ""},
                         {"Петрова А.А.", "", "33-44-55"},
                         {"Петровский", "", ""},
                         {"Ёлкин Е.Е.", "53-87-52", ""},
                         {"Сидоров С.С.", "21-00-01", ""}});
    writeDirectoryTable(dir, DirectoryMode::Organisations,
                        {{"Петровский рынок", "11-22-33", ""}, {"Школа №12", "44-55-66", ""}});
}

}  // namespace abonex::test
