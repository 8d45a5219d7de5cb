// abonex-db import TABLE FILE [options]: appends rows through a data set, so every index file is
// kept current. FILE is CSV, or a vCard file when its name ends in ".vcf" or --format vcard says
// so. Every row is checked before the first write; a row that cannot be stored as it is stops
// the import with the line (or card) and column and writes nothing (--truncate cuts long values
// instead). So does an index file that does not match the table. A character the table's page
// lacks is stored in its nearest form, a phone longer than its field as its digits; standard
// error tells of both.
//
// CSV: a first line that names fields of the table is a header and gives the columns' fields
// (see import_rows.h); otherwise the columns are name, phone 1, phone 2 and comment. The file is
// UTF-8 (a byte-order mark is skipped) unless --encoding names its code page; --separator names
// a separator other than the comma.
#include <fstream>
#include <iostream>
#include <iterator>

#include "directory/contact_rows.h"
#include "directory/vcard.h"
#include "engine/dataset/db_handler.h"
#include "engine/file/path_util.h"
#include "tools/csv.h"
#include "tools/import_rows.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "import TABLE FILE [--format csv|vcard] [--truncate] [--header | --no-header] "
    "[--encoding utf-8|cp1251|cp866] [--separator CHAR] [--table-encoding PAGE]";

bool isVcardName(std::string_view path) {
    return upperAscii(extensionPart(path)) == ".VCF" || upperAscii(extensionPart(path)) == ".VCARD";
}

// The rows of a CSV file, checked against the table's fields, or the message that refuses it.
ImportRows csvRows(const std::string& text, const std::string& csvPath, const CsvDialect& dialect,
                   const std::vector<ImportColumn>& fields, const ImportSettings& settings) {
    std::string utf8 = text;
    if (dialect.page) {
        utf8 = pageToUtf8(*dialect.page, text);
    } else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        ImportRows refused;
        refused.error = csvPath +
                        ": the file is in UTF-16; save it as UTF-8 (or in code page 1251 and "
                        "read it with --encoding cp1251); nothing imported";
        return refused;
    }
    CsvParseResult parsed = parseCsv(utf8, dialect.separator);
    if (parsed.error) {
        ImportRows refused;
        refused.error = csvPath + ": " + *parsed.error + "; nothing imported";
        return refused;
    }
    return validateImportRows(parsed.records, fields, csvPath, settings);
}

int runImport(const Args& args) {
    ToolOptions options(kUsage, {{"--truncate", false},
                                 {"--header", false},
                                 {"--no-header", false},
                                 {"--format", true},
                                 {"--encoding", true},
                                 {"--separator", true},
                                 kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() != 2) return options.usageError();
    if (options.has("--header") && options.has("--no-header")) {
        return options.usageError("--header and --no-header exclude each other");
    }
    const std::string& tablePath = words[0];
    const std::string& filePath = words[1];
    std::string format;
    if (auto exit = readFormatOption(options, isVcardName(filePath) ? "vcard" : "csv", format)) {
        return *exit;
    }
    CsvDialect dialect;
    if (auto exit = readCsvOptions(options, dialect)) return *exit;
    std::optional<CodePage> tablePage;
    if (auto exit = readPageOption(options, kTableEncodingOption.name, tablePage)) return *exit;
    if (format == "vcard" && (options.has("--separator") || options.has("--encoding") ||
                              options.has("--header") || options.has("--no-header"))) {
        return options.usageError(
            "--separator, --encoding, --header and --no-header are for CSV files; a vCard file "
            "names its own character set");
    }

    std::ifstream in(filePath, std::ios::binary);
    if (!in) {
        printError("cannot read " + filePath);
        return kExitFailed;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    TEngineDataSet set;
    TableLocation location = locateTable(tablePath);
    openTable(set, location, "", /*translate=*/false, /*readOnly=*/false, tablePage);
    if (set.FieldCount() < static_cast<int>(kImportColumns)) {
        printError(set.tablePath() + ": the table has fewer than 4 fields");
        return kExitFailed;
    }

    // Validate everything first; rows hold the bytes to store, in the table's page.
    std::vector<ImportColumn> fields;
    for (int c = 0; c < set.FieldCount(); ++c) {
        TField& field = set.Fields(c);
        fields.push_back({field.FieldName(), field.Size()});
    }
    ImportSettings settings;
    settings.truncate = options.has("--truncate");
    settings.header = options.has("--header")      ? CsvHeader::Required
                      : options.has("--no-header") ? CsvHeader::None
                                                   : CsvHeader::Detect;
    settings.tablePage = set.tableCodePage();
    settings.separator = dialect.separator;
    ImportRows checked;
    if (format == "vcard") {
        const VcardImport cards = readVcards(text);
        if (cards.error) {
            checked.error = filePath + ": " + *cards.error + "; nothing imported";
        } else {
            const ContactRows rows =
                contactRowsForTable(cards.contacts, settings.tablePage, fields, settings.truncate);
            if (rows.error) {
                checked.error = filePath + ": " + *rows.error + "; nothing imported" +
                                (rows.tooLong ? " (--truncate cuts long values)" : "");
            } else {
                checked.fields = {0, 1, 2, 3};
                checked.rows = rows.rows;
                checked.replaced = rows.replaced;
                checked.notes = cards.notes;
                checked.notes.insert(checked.notes.end(), rows.notes.begin(), rows.notes.end());
            }
        }
    } else {
        checked = csvRows(text, filePath, dialect, fields, settings);
    }
    if (checked.error) {
        printError(*checked.error);
        return kExitFailed;
    }
    // CSV notes name the file and line already; a card's name its card.
    for (const std::string& note : checked.notes) {
        printError(format == "vcard" ? filePath + ": " + note : note);
    }
    if (!checked.replaced.empty()) {
        printError(filePath + ": " + checked.replaced.describe(settings.tablePage));
    }
    requireIndexMatchesTable(set, IndexLook::EveryKey);

    // Rows go in in batches: one hold of the locks, one header and (on a network file system)
    // one push to the server per batch, with the other writers' turns between batches.
    GSO_dBHandler::AppendBatch batch(*set.handler());
    for (const auto& row : checked.rows) {
        set.Append();
        for (size_t c = 0; c < row.size(); ++c)
            set.Fields(static_cast<int>(checked.fields[c])).SetAsString(row[c]);
        set.Post();
    }
    batch.finish();
    printLine("imported " + std::to_string(checked.rows.size()) + " rows into " + set.tablePath());
    return kExitOk;
}

const CommandRegistrar kImport({"import", std::string(kUsage), runImport});

}  // namespace

}  // namespace abonex::tool
