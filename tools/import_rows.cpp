#include "tools/import_rows.h"

#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"

namespace abonex::tool {

namespace {

bool isHeaderRow(const CsvRecord& record, const std::vector<ImportColumn>& columns) {
    static constexpr std::string_view kGenericHeader[kImportColumns] = {"name", "phone1", "phone2",
                                                                        "comment"};
    bool generic = true;
    bool fieldNames = true;
    for (size_t i = 0; i < record.fields.size() && i < kImportColumns; ++i) {
        std::string value = upperAscii(record.fields[i]);
        generic = generic && value == upperAscii(kGenericHeader[i]);
        fieldNames = fieldNames && i < columns.size() && value == upperAscii(columns[i].name);
    }
    return generic || fieldNames;
}

}  // namespace

ImportRows validateImportRows(const std::vector<CsvRecord>& records,
                              const std::vector<ImportColumn>& columns, std::string_view csvPath,
                              bool truncate) {
    ImportRows result;
    for (size_t r = 0; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        if (r == 0 && isHeaderRow(record, columns)) continue;
        std::string where = std::string(csvPath) + ":" + std::to_string(record.line) + ": ";
        if (record.fields.size() != kImportColumns) {
            result.error = where + "expected 4 columns, found " +
                           std::to_string(record.fields.size()) + "; nothing imported";
            result.rows.clear();
            return result;
        }
        std::vector<std::string> row;
        for (size_t c = 0; c < kImportColumns; ++c) {
            std::optional<std::string> oem = utf8ToOem(record.fields[c]);
            if (!oem) {
                result.error =
                    where + "column " + std::to_string(c + 1) +
                    " holds a character that code page 866 cannot hold; nothing imported";
                result.rows.clear();
                return result;
            }
            const ImportColumn& column = columns.at(c);
            if (static_cast<int>(oem->size()) > column.size) {
                if (!truncate) {
                    result.error = where + "column " + std::to_string(c + 1) + " is " +
                                   std::to_string(oem->size()) + " characters long, the field " +
                                   column.name + " holds " + std::to_string(column.size) +
                                   "; nothing imported (--truncate cuts long values)";
                    result.rows.clear();
                    return result;
                }
                oem->resize(static_cast<size_t>(column.size));
            }
            row.push_back(std::move(*oem));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace abonex::tool
