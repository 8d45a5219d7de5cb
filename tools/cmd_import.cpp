// abonex-db import TABLE FILE.csv [--truncate]: appends UTF-8 CSV rows (name, phone 1, phone 2,
// comment) through a data set, so every index file is kept current. Every row is checked
// before the first write: a wrong number of columns, a character that code page 866 cannot
// hold, or a value longer than its field stops the import with the line number and writes
// nothing (--truncate cuts long values instead).
#include <fstream>
#include <iterator>

#include "tools/csv.h"
#include "tools/import_rows.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

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
    if (set.FieldCount() < static_cast<int>(kImportColumns)) {
        printError(set.tablePath() + ": the table has fewer than 4 fields");
        return 1;
    }

    // Validate everything first; rows hold the code-page-866 bytes to store.
    std::vector<ImportColumn> columns;
    for (int c = 0; c < static_cast<int>(kImportColumns); ++c) {
        TField& field = set.Fields(c);
        columns.push_back({field.FieldName(), field.Size()});
    }
    ImportRows checked = validateImportRows(parsed.records, columns, csvPath, truncate);
    if (checked.error) {
        printError(*checked.error);
        return 1;
    }
    const std::vector<std::vector<std::string>>& rows = checked.rows;

    for (const auto& row : rows) {
        set.Append();
        for (size_t c = 0; c < kImportColumns; ++c)
            set.Fields(static_cast<int>(c)).SetAsString(row[c]);
        set.Post();
    }
    printLine("imported " + std::to_string(rows.size()) + " rows into " + set.tablePath());
    return 0;
}

const CommandRegistrar kImport({"import", "import TABLE FILE.csv [--truncate]", runImport});

}  // namespace

}  // namespace abonex::tool
