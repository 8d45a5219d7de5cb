// abonex-db export TABLE [options]: the live records in the order of the tag (default: a
// directory table's name tag; --tag "" for record-number order), as CSV with a header row or,
// with --format vcard, as vCard 3.0 cards (directory/vcard.h). An index that names a record the
// table does not hold stops the export with an error, and so does one that lacks keys of the
// table's records (rows another program appended).
//
// CSV is UTF-8 unless --encoding names a code page; --separator, --bom and --crlf shape it for
// spreadsheets. Memo fields export their text from the table's memo file; a missing or damaged
// memo file stops the export (--no-memo leaves the memo fields out).
//
// Every card carries its UID (directory/vcard_uid.h). --vdir DIR writes the cards as an address
// book folder that khard and vdirsyncer keep ("vdir": one file per card, named by its UID, each
// written whole to a file of its own and then renamed into place); an export again writes the
// same files over.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "directory/vcard.h"
#include "directory/vcard_uid.h"
#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/memo_file.h"
#include "engine/file/engine_error.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "export TABLE [--tag NAME] [--format csv|vcard] [--encoding utf-8|cp1251|cp866] "
    "[--separator CHAR] [--bom] [--crlf] [--no-memo] [--table-encoding PAGE] [--vdir DIR]";

// Writes one card as DIR/<its UUID>.vcf: whole into a file of its own, then renamed into place.
void writeCardFile(const std::filesystem::path& folder, const std::string& uid,
                   const std::string& card) {
    const std::string name = uid.substr(uid.rfind(':') + 1) + ".vcf";
    const std::filesystem::path path = folder / name;
    const std::filesystem::path part = folder / ("." + name + ".part");
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << card;
    out.close();
    std::error_code renamed;
    if (out) std::filesystem::rename(part, path, renamed);
    if (!out || renamed) {
        const int error = errno;
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
        throw std::runtime_error("cannot write " + path.string() + ": " +
                                 (renamed ? renamed.message() : std::strerror(error)));
    }
}

// The UTF-8 texts of the current row's fields in `columns` (memo fields from `memo`).
// `utf8`: the table's text is UTF-8 (table_access.h) and is taken as it is.
std::vector<std::string> rowTexts(TEngineDataSet& set, const std::vector<int>& columns,
                                  MemoFile* memo, bool utf8) {
    DBFObject& table = *set.handler();
    const CodePage page = set.tableCodePage();
    const auto text = [&](std::string_view stored) {
        return utf8 ? std::string(stored) : pageToUtf8(page, stored);
    };
    std::vector<std::string> values;
    for (int i : columns) {
        const DbfField& field = table.fields()[static_cast<size_t>(i)];
        if (field.type == 'M' && memo != nullptr) {
            values.push_back(text(memo->text(memo->blockOf(field, table.fieldBytes(field)))));
        } else {
            values.push_back(text(set.Fields(i).AsString()));
        }
    }
    return values;
}

// `text` in the output's page; raises naming the record and field when it cannot be.
std::string inOutputPage(const std::string& text, const CsvDialect& dialect,
                         const std::vector<std::string>& values,
                         const std::vector<std::string>& names, int record) {
    if (!dialect.page) return text;
    if (std::optional<std::string> converted = utf8ToPage(*dialect.page, text)) return *converted;
    for (size_t i = 0; i < values.size(); ++i) {
        Utf8Fault fault;
        if (!utf8ToPage(*dialect.page, values[i], &fault)) {
            throw std::runtime_error("record " + std::to_string(record) + ": the field " +
                                     names[i] + " " +
                                     describeFault(values[i], fault, *dialect.page) +
                                     "; the export stops here (--encoding utf-8 holds every "
                                     "character)");
        }
    }
    return text;  // not reached: some value did not convert
}

int runExport(const Args& args) {
    ToolOptions options(kUsage, {{"--tag", true},
                                 {"--format", true},
                                 {"--encoding", true},
                                 {"--separator", true},
                                 {"--bom", false},
                                 {"--crlf", false},
                                 {"--no-memo", false},
                                 {"--vdir", true},
                                 kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    std::string format;
    const std::optional<std::string> vdir = options.value("--vdir");
    if (auto exit = readFormatOption(options, vdir ? "vcard" : "csv", format)) return *exit;
    if (vdir && format != "vcard") return options.usageError("--vdir writes vCard files");
    CsvDialect dialect;
    if (auto exit = readCsvOptions(options, dialect)) return *exit;
    dialect.byteOrderMark = options.has("--bom");
    dialect.crlf = options.has("--crlf");
    if (dialect.byteOrderMark && dialect.page) {
        return options.usageError("--bom marks UTF-8 text; a code page has no byte-order mark");
    }
    if (format == "vcard" && (options.has("--separator") || options.has("--encoding") ||
                              options.has("--bom") || options.has("--crlf"))) {
        return options.usageError(
            "--separator, --encoding, --bom and --crlf are for CSV; vCard is UTF-8 with CR LF");
    }
    std::optional<CodePage> tablePage;
    bool utf8 = false;
    if (auto exit = readReadingEncodingOption(options, tablePage, utf8)) return *exit;

    TableLocation location = locateTable(options.words()[0]);
    if (!utf8 && !tablePage) utf8 = holdsUtf8Text(*openTableFile(options.words()[0], false));
    const std::string tag = options.value("--tag").value_or(defaultOrderTag(location));
    TEngineDataSet set;
    openTable(set, location, tag, /*translate=*/false, /*readOnly=*/true, tablePage);
    DBFObject& table = *set.handler();

    std::unique_ptr<MemoFile> memo;
    const bool withMemo = !options.has("--no-memo");
    if (withMemo && MemoFile::hasMemoFields(table)) {
        try {
            memo = MemoFile::openFor(table);
        } catch (const EEngineError& error) {
            printError(
                std::string(error.what()) +
                "\nthe table's memo file cannot be read; --no-memo exports the other fields");
            return kExitFailed;
        }
    }
    std::vector<int> columns;
    std::vector<std::string> names;
    for (int i = 0; i < set.FieldCount(); ++i) {
        if (!withMemo && set.Fields(i).DataType() == 'M') continue;
        columns.push_back(i);
        names.push_back(set.Fields(i).FieldName());
    }

    if (format == "vcard") {
        if (columns.size() < 4) {
            printError(set.tablePath() +
                       ": a vCard needs a name, two phones and a comment; the "
                       "table has fewer than 4 fields");
            return kExitFailed;
        }
        const VcardStyle style =
            location.directory == nullptr                              ? VcardStyle::Plain
            : location.directory->mode == DirectoryMode::Persons       ? VcardStyle::Person
            : location.directory->mode == DirectoryMode::Organisations ? VcardStyle::Organisation
                                                                       : VcardStyle::Plain;
        if (vdir) std::filesystem::create_directories(*vdir);
        VcardUids uids;
        int cards = 0;
        for (set.First(); !set.Eof(); set.Next()) {
            requireRowInTable(set);
            const std::vector<std::string> values = rowTexts(set, columns, memo.get(), utf8);
            Contact contact{values[0], values[1], values[2], values[3]};
            // The UID from the texts the window has of the row, in 1251.
            const CodePage page = set.tableCodePage();
            contact.uid = uids.next(pageToAnsi(page, set.Fields(columns[0]).AsString()),
                                    pageToAnsi(page, set.Fields(columns[1]).AsString()), style);
            if (vdir) {
                writeCardFile(*vdir, contact.uid, writeVcard(contact, style));
            } else {
                std::cout << writeVcard(contact, style);
            }
            ++cards;
        }
        requireIndexMatchesTable(set, IndexLook::EveryKey);
        if (vdir) printLine("exported " + std::to_string(cards) + " cards into " + *vdir);
        return kExitOk;
    }

    if (dialect.byteOrderMark) std::cout << "\xEF\xBB\xBF";
    std::cout << inOutputPage(csvLine(names, dialect), dialect, names, names, 0);
    for (set.First(); !set.Eof(); set.Next()) {
        requireRowInTable(set);
        const std::vector<std::string> values = rowTexts(set, columns, memo.get(), utf8);
        std::cout << inOutputPage(csvLine(values, dialect), dialect, values, names, set.RecNo());
    }
    // Rows another program appended without their keys were not in the walk: say so instead
    // of ending as if the export were whole.
    requireIndexMatchesTable(set, IndexLook::EveryKey);
    return kExitOk;
}

const CommandRegistrar kExport({"export", std::string(kUsage), runExport});

}  // namespace

}  // namespace abonex::tool
