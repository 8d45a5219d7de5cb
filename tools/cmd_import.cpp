// abonex-db import TABLE FILE.csv [--truncate] [--header | --no-header]: appends UTF-8 CSV rows
// through a data set, so every index file is kept current. A first line that names fields of
// the table is a header and gives the columns' fields (see import_rows.h); otherwise the
// columns are name, phone 1, phone 2 and comment. Every row is checked before the first write:
// a wrong number of columns, a NUL byte or a character that code page 866 cannot hold, or a
// value longer than its field stops the import with the line number and writes nothing
// (--truncate cuts long values instead). So does an index file that does not match the table.
#include <fstream>
#include <iterator>

#include "tools/csv.h"
#include "tools/import_rows.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "import TABLE FILE.csv [--truncate] [--header | --no-header]";

int runImport(const Args& args) {
    ToolOptions options(kUsage,
                        {{"--truncate", false}, {"--header", false}, {"--no-header", false}});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() != 2) return options.usageError();
    if (options.has("--header") && options.has("--no-header")) {
        return options.usageError("--header and --no-header exclude each other");
    }
    const CsvHeader header = options.has("--header")      ? CsvHeader::Required
                             : options.has("--no-header") ? CsvHeader::None
                                                          : CsvHeader::Detect;
    const std::string& tablePath = words[0];
    const std::string& csvPath = words[1];

    std::ifstream in(csvPath, std::ios::binary);
    if (!in) {
        printError("cannot read " + csvPath);
        return kExitFailed;
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    CsvParseResult parsed = parseCsv(text);
    if (parsed.error) {
        printError(csvPath + ": " + *parsed.error + "; nothing imported");
        return kExitFailed;
    }

    TEngineDataSet set;
    TableLocation location = locateTable(tablePath);
    openTable(set, location, "", /*translate=*/false, /*readOnly=*/false);
    if (set.FieldCount() < static_cast<int>(kImportColumns)) {
        printError(set.tablePath() + ": the table has fewer than 4 fields");
        return kExitFailed;
    }

    // Validate everything first; rows hold the code-page-866 bytes to store.
    std::vector<ImportColumn> fields;
    for (int c = 0; c < set.FieldCount(); ++c) {
        TField& field = set.Fields(c);
        fields.push_back({field.FieldName(), field.Size()});
    }
    ImportRows checked =
        validateImportRows(parsed.records, fields, csvPath, options.has("--truncate"), header);
    if (checked.error) {
        printError(*checked.error);
        return kExitFailed;
    }
    requireIndexMatchesTable(set);

    for (const auto& row : checked.rows) {
        set.Append();
        for (size_t c = 0; c < row.size(); ++c)
            set.Fields(static_cast<int>(checked.fields[c])).SetAsString(row[c]);
        set.Post();
    }
    printLine("imported " + std::to_string(checked.rows.size()) + " rows into " + set.tablePath());
    return kExitOk;
}

const CommandRegistrar kImport({"import", std::string(kUsage), runImport});

}  // namespace

}  // namespace abonex::tool
