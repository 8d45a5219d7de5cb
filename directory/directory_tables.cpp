#include "directory/directory_tables.h"

#include <string>

#include "engine/file/path_util.h"

namespace abonex {

std::vector<FieldSpec> directoryFieldSpecs(const DirectoryTable& table) {
    std::vector<FieldSpec> fields;
    for (size_t i = 0; i < table.fieldNames.size(); ++i) {
        fields.push_back({std::string(table.fieldNames[i]), 'C', table.fieldWidths[i], 0});
    }
    return fields;
}

bool holdsProgramFiles(std::string_view folder) {
    const DirectoryTable& persons = directoryTable(DirectoryMode::Persons);
    for (std::string_view name :
         {std::string_view("EULA.txt"), persons.tableFile, persons.indexFile}) {
        if (!fileExistsAnyCase(std::string(folder) + std::string(name))) return false;
    }
    return true;
}

}  // namespace abonex
