// libFuzzer target: the input is a CSV file for the import. It is parsed (with commas and with
// semicolons) and, when it parses, its rows are checked against the columns of the directory's
// table, with and without cutting long values, with the first line taken as it comes, as a header
// and as data, for a table in 866 and one in 1251. Any exception, a
// crash or a sanitizer report is a finding, as is a result that breaks the parser's or the check's
// promises.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/csv.h"
#include "tools/import_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace abonex::tool;
    static const std::vector<ImportColumn> columns = {
        {"NAME", 30}, {"PHONE1", 15}, {"PHONE2", 15}, {"COMMENT", 40}};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (char separator : {',', ';'}) {
        const CsvParseResult parsed = parseCsv(text, separator);
        int previousLine = 0;
        for (const CsvRecord& record : parsed.records) {
            if (record.line <= previousLine || record.fields.empty()) __builtin_trap();
            previousLine = record.line;
        }
        if (parsed.error) continue;

        for (CsvHeader header : {CsvHeader::Detect, CsvHeader::Required, CsvHeader::None}) {
            for (bool truncate : {false, true}) {
                ImportSettings settings;
                settings.truncate = truncate;
                settings.header = header;
                settings.separator = separator;
                settings.tablePage = truncate ? abonex::CodePage::Cp1251 : abonex::CodePage::Cp866;
                const ImportRows checked =
                    validateImportRows(parsed.records, columns, "in.csv", settings);
                if (checked.error) {
                    if (!checked.rows.empty()) __builtin_trap();
                    continue;
                }
                if (checked.fields.empty() || checked.fields.size() > columns.size()) {
                    __builtin_trap();
                }
                for (const auto& row : checked.rows) {
                    if (row.size() != checked.fields.size()) __builtin_trap();
                    for (size_t c = 0; c < row.size(); ++c) {
                        const size_t field = checked.fields[c];
                        if (field >= columns.size()) __builtin_trap();
                        if (static_cast<int>(row[c].size()) > columns[field].size) __builtin_trap();
                    }
                }
            }
        }
    }
    return 0;
}
