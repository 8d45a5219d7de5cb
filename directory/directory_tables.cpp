#include "directory/directory_tables.h"

namespace abonex {

std::vector<FieldSpec> directoryFieldSpecs(const DirectoryTable& table) {
    std::vector<FieldSpec> fields;
    for (size_t i = 0; i < table.fieldNames.size(); ++i) {
        fields.push_back({std::string(table.fieldNames[i]), 'C', table.fieldWidths[i], 0});
    }
    return fields;
}

}  // namespace abonex
