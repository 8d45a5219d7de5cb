#include "tools/import_rows.h"

#include <algorithm>

#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kGenericNames[kImportColumns] = {"NAME", "PHONE1", "PHONE2", "COMMENT"};

std::string headerName(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return upperAscii(text);
}

// The field a header column names: a field name of the table, else a generic name; nothing
// when it names neither.
std::optional<size_t> namedField(std::string_view column, const std::vector<ImportColumn>& fields) {
    const std::string wanted = headerName(column);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (upperAscii(fields[i].name) == wanted) return i;
    }
    for (size_t i = 0; i < kImportColumns && i < fields.size(); ++i) {
        if (kGenericNames[i] == wanted) return i;
    }
    return std::nullopt;
}

ImportRows failed(std::string message, std::string_view hint = {}) {
    ImportRows result;
    result.error = std::move(message) + "; nothing imported" + std::string(hint);
    return result;
}

}  // namespace

ImportRows validateImportRows(const std::vector<CsvRecord>& records,
                              const std::vector<ImportColumn>& fields, std::string_view csvPath,
                              bool truncate, CsvHeader header) {
    ImportRows result;
    for (size_t c = 0; c < kImportColumns && c < fields.size(); ++c) result.fields.push_back(c);
    size_t first = 0;
    if (header != CsvHeader::None && !records.empty()) {
        const CsvRecord& line = records.front();
        const std::string where = std::string(csvPath) + ":" + std::to_string(line.line) + ": ";
        std::vector<size_t> named;
        for (const std::string& column : line.fields) {
            const std::optional<size_t> field = namedField(column, fields);
            if (!field) {
                if (header == CsvHeader::Required) {
                    return failed(where + "the header names \"" + column +
                                  "\", which is no field of the table");
                }
                named.clear();
                break;
            }
            if (std::find(named.begin(), named.end(), *field) != named.end()) {
                return failed(where + "the header names the field " + fields[*field].name +
                              " twice");
            }
            named.push_back(*field);
        }
        if (!named.empty()) {
            result.fields = std::move(named);
            first = 1;
        }
    }

    const size_t columns = result.fields.size();
    for (size_t r = first; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        const std::string where = std::string(csvPath) + ":" + std::to_string(record.line) + ": ";
        if (record.fields.size() != columns) {
            return failed(where + "expected " + std::to_string(columns) + " columns, found " +
                          std::to_string(record.fields.size()));
        }
        std::vector<std::string> row;
        for (size_t c = 0; c < columns; ++c) {
            const std::string column = "column " + std::to_string(c + 1);
            // A field ends at a NUL byte when it is read: what follows would be lost.
            if (record.fields[c].find('\0') != std::string::npos) {
                return failed(where + column + " holds a NUL byte");
            }
            std::optional<std::string> oem = utf8ToOem(record.fields[c]);
            if (!oem) {
                return failed(where + column + " holds a character that code page 866 cannot hold");
            }
            const ImportColumn& field = fields.at(result.fields[c]);
            if (static_cast<int>(oem->size()) > field.size) {
                if (!truncate) {
                    return failed(where + column + " is " + std::to_string(oem->size()) +
                                      " characters long, the field " + field.name + " holds " +
                                      std::to_string(field.size),
                                  " (--truncate cuts long values)");
                }
                oem->resize(static_cast<size_t>(field.size));
            }
            row.push_back(std::move(*oem));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace abonex::tool
