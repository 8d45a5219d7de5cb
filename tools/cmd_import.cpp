// abonex-db import TABLE FILE.csv [--truncate]: appends UTF-8 CSV rows (name, phone 1, phone 2,
// comment) through a data set, so every index file is kept current. Every row is checked
// before the first write: a wrong number of columns, a character that code page 866 cannot
// hold, or a value longer than its field stops the import with the line number and writes
// nothing (--truncate cuts long values instead).
#include <fstream>
#include <iterator>

#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr size_t kColumns = 4;

bool isHeaderRow(const CsvRecord& record, TEngineDataSet& set) {
    static constexpr std::string_view kGenericHeader[kColumns] = {"name", "phone1", "phone2",
                                                                  "comment"};
    bool generic = true;
    bool fieldNames = true;
    for (size_t i = 0; i < record.fields.size() && i < kColumns; ++i) {
        std::string value = upperAscii(record.fields[i]);
        generic = generic && value == upperAscii(kGenericHeader[i]);
        fieldNames = fieldNames && static_cast<int>(i) < set.FieldCount() &&
                     value == upperAscii(set.Fields(static_cast<int>(i)).FieldName());
    }
    return generic || fieldNames;
}

int runImport(const Args& args) {
    std::string tablePath, csvPath;
    bool truncate = false;
    for (const std::string& arg : args) {
        if (arg == "--truncate") {
            truncate = true;
        } else if (tablePath.empty()) {
            tablePath = arg;
        } else if (csvPath.empty()) {
            csvPath = arg;
        } else {
            return usageError("usage: abonex-db import TABLE FILE.csv [--truncate]");
        }
    }
    if (csvPath.empty()) return usageError("usage: abonex-db import TABLE FILE.csv [--truncate]");

    std::ifstream in(csvPath, std::ios::binary);
    if (!in) {
        printError("cannot read " + csvPath);
        return 1;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    CsvParseResult parsed = parseCsv(text);
    if (parsed.error) {
        printError(csvPath + ": " + *parsed.error + "; nothing imported");
        return 1;
    }

    TEngineDataSet set;
    TableLocation location = locateTable(tablePath);
    openTable(set, location, "", /*translate=*/false, /*readOnly=*/false);
    if (set.FieldCount() < static_cast<int>(kColumns)) {
        printError(set.tablePath() + ": the table has fewer than 4 fields");
        return 1;
    }

    // Validate everything first; rows hold the code-page-866 bytes to store.
    std::vector<std::vector<std::string>> rows;
    for (size_t r = 0; r < parsed.records.size(); ++r) {
        const CsvRecord& record = parsed.records[r];
        if (r == 0 && isHeaderRow(record, set)) continue;
        std::string where = csvPath + ":" + std::to_string(record.line) + ": ";
        if (record.fields.size() != kColumns) {
            printError(where + "expected 4 columns, found " + std::to_string(record.fields.size()) +
                       "; nothing imported");
            return 1;
        }
        std::vector<std::string> row;
        for (size_t c = 0; c < kColumns; ++c) {
            std::optional<std::string> oem = utf8ToOem(record.fields[c]);
            if (!oem) {
                printError(where + "column " + std::to_string(c + 1) +
                           " holds a character that code page 866 cannot hold; nothing imported");
                return 1;
            }
            TField& field = set.Fields(static_cast<int>(c));
            if (static_cast<int>(oem->size()) > field.Size()) {
                if (!truncate) {
                    printError(where + "column " + std::to_string(c + 1) + " is " +
                               std::to_string(oem->size()) + " characters long, the field " +
                               field.FieldName() + " holds " + std::to_string(field.Size()) +
                               "; nothing imported (--truncate cuts long values)");
                    return 1;
                }
                oem->resize(static_cast<size_t>(field.Size()));
            }
            row.push_back(std::move(*oem));
        }
        rows.push_back(std::move(row));
    }

    for (const auto& row : rows) {
        set.Append();
        for (size_t c = 0; c < kColumns; ++c) set.Fields(static_cast<int>(c)).SetAsString(row[c]);
        set.Post();
    }
    printLine("imported " + std::to_string(rows.size()) + " rows into " + set.tablePath());
    return 0;
}

const CommandRegistrar kImport({"import", "import TABLE FILE.csv [--truncate]", runImport});

}  // namespace

}  // namespace abonex::tool
