// Small directory tables for the desktop search's tests.
#pragma once

#include <string>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/persons_generator.h"
#include "engine/dbf/codepage.h"
#include "engine/index/production_index.h"
#include "tests/support/test_support.h"

namespace abonex::test {

struct DirectoryRow {
    std::string name, phone1, phone2;  // UTF-8
};

// The table of `mode` in `dir`, holding `rows` in this order, with its name tag.
inline void writeDirectoryTable(const TempDir& dir, DirectoryMode mode,
                                const std::vector<DirectoryRow>& rows) {
    const DirectoryTable& table = directoryTable(mode);
    std::vector<demo::PersonRow> stored;
    for (const DirectoryRow& row : rows) {
        stored.push_back({*utf8ToOem(row.name), row.phone1, row.phone2, ""});
    }
    const std::string path = dir.file(std::string(table.tableFile));
    demo::writeRows(path, directoryFieldSpecs(table), stored);
    GSO_dBaseFld dbf(path, false, true);
    createProductionIndex(dbf, table.tagName, nameTagExpression(table));
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
