#include "tools/table_access.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_file.h"

namespace abonex::tool {

std::optional<int> readPageOption(const ToolOptions& options, std::string_view option,
                                  std::optional<CodePage>& page) {
    page.reset();
    const std::optional<std::string> name = options.value(option);
    if (!name) return std::nullopt;
    page = codePageNamed(*name);
    if (!page && (*name == "utf-8" || *name == "UTF-8" || *name == "utf8")) {
        return options.usageError(std::string(option) +
                                  " utf-8 is for info and export: the tool reads a table whose "
                                  "text is UTF-8, but stores text in a single-byte code page only");
    }
    if (!page) {
        return options.usageError("unknown code page \"" + *name + "\" for " + std::string(option) +
                                  " (cp866, cp1251, cp1252, cp437, cp850)");
    }
    return std::nullopt;
}

std::optional<int> readReadingEncodingOption(const ToolOptions& options,
                                             std::optional<CodePage>& page, bool& utf8) {
    const std::optional<std::string> name = options.value(kTableEncodingOption.name);
    utf8 = name && (*name == "utf-8" || *name == "UTF-8" || *name == "utf8");
    if (utf8) {
        page.reset();
        return std::nullopt;
    }
    return readPageOption(options, kTableEncodingOption.name, page);
}

bool holdsUtf8Text(GSO_dBaseDBF& table) {
    if (table.headerImage()[dbf::kHdrLanguageDriver] != 0x00) return false;
    bool cyrillic = false;
    for (int n = 1; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        const uint8_t* image = table.recordImage();
        for (const DbfField& field : table.fields()) {
            if (field.type != 'C') continue;
            const std::string_view text(reinterpret_cast<const char*>(image) + field.offset,
                                        static_cast<size_t>(field.length));
            for (size_t pos = 0; pos < text.size();) {
                char32_t c = 0;
                if (!nextUtf8Character(text, pos, c)) return false;
                cyrillic = cyrillic || (c >= 0x0400 && c <= 0x04FF);
            }
        }
    }
    return cyrillic;
}

std::optional<int> readCsvOptions(const ToolOptions& options, CsvDialect& dialect) {
    if (const auto word = options.value("--separator")) {
        const std::optional<char> separator = csvSeparatorNamed(*word);
        if (!separator) return options.usageError("--separator wants one character or \"tab\"");
        dialect.separator = *separator;
    }
    if (const auto word = options.value("--encoding")) {
        if (!csvEncodingNamed(*word, dialect.page)) {
            return options.usageError("--encoding is utf-8, cp1251 or cp866, not \"" + *word +
                                      "\"");
        }
    }
    return std::nullopt;
}

std::optional<int> readFormatOption(const ToolOptions& options, std::string_view fallback,
                                    std::string& format) {
    format = options.value("--format").value_or(std::string(fallback));
    if (format != "csv" && format != "vcard") {
        return options.usageError("--format is csv or vcard, not \"" + format + "\"");
    }
    return std::nullopt;
}

CodePage textPageOf(const GSO_dBaseDBF& table, std::optional<CodePage> forcedPage) {
    return tableTextPage(table.headerImage()[dbf::kHdrLanguageDriver], forcedPage);
}

std::unique_ptr<GSO_dBaseFld> openTableFile(std::string_view path, bool readWrite,
                                            std::optional<CodePage> forcedPage) {
    auto table = std::make_unique<GSO_dBaseFld>(path, true, readWrite);
    table->setTextCodePage(casingOf(textPageOf(*table, forcedPage)));
    // A table a spreadsheet saved in UTF-8 (naming no page) stays naming none.
    if (readWrite && !forcedPage && holdsUtf8Text(*table)) table->keepLanguageDriver();
    // The index files opened on it lock by the protocol every copy of the program uses there.
    const TableLocation location = locateTable(table->path());
    if (location.directory != nullptr) table->setLockProtocol(location.directory->protocol);
    return table;
}

std::optional<std::string> expressionForTable(std::string_view utf8, CodePage page) {
    return utf8ToPage(page, utf8);
}

std::string expressionNotInTablePage(CodePage page) {
    return "the expression holds a character that code page " +
           std::string(codePageName(page)).substr(2) + " cannot hold";
}

TableLocation locateTable(std::string_view path) {
    TableLocation location;
    std::string full = expandPath(path);
    location.folder = std::string(directoryPart(full));
    location.file = std::string(fileNamePart(full));
    std::string index = replaceExtension(full, ".MDX");
    if (fileExistsAnyCase(index)) {
        location.productionIndex = std::string(fileNamePart(resolveCaseInsensitive(index)));
    }
    for (const DirectoryTable& table : kDirectoryTables) {
        if (samePathText(table.tableFile, location.file) ||
            samePathText(replaceExtension(table.tableFile, ""), location.file)) {
            location.directory = &table;
        }
    }
    return location;
}

std::string errorMessage(const std::exception& error) {
    std::string message = error.what();
    // The engine names the file last: "File not found - PATH", "Cannot find file PATH".
    std::string_view missing;
    const auto* engine = dynamic_cast<const EEngineError*>(&error);
    if (engine != nullptr && engine->code() == err::kFileNotFound) {
        missing = engine->text();
    } else if (dynamic_cast<const EDatabaseError*>(&error) != nullptr &&
               message.starts_with("Cannot find file ")) {
        missing = std::string_view(message).substr(std::string_view("Cannot find file ").size());
    }
    if (missing.empty() || !samePathText(extensionPart(missing), ".MDX")) return message;
    const std::string table = resolveCaseInsensitive(replaceExtension(missing, ".DBF"));
    // The tool makes the production index of a directory table anew; another table's tags
    // are its user's to say.
    if (locateTable(table).directory == nullptr) {
        return message + " (abonex-db index create makes its tags)";
    }
    return message + " (abonex-db reindex " + table + " makes it)";
}

std::string defaultOrderTag(const TableLocation& location) {
    if (location.directory == nullptr || location.productionIndex.empty()) return {};
    return std::string(location.directory->tagName);
}

void openTable(TEngineDataSet& set, const TableLocation& location, std::string_view tag,
               bool translate, bool readOnly, std::optional<CodePage> forcedPage) {
    set.setForcedCodePage(forcedPage);
    set.setDatabaseName(location.folder);
    set.setTableName(location.file);
    set.setTranslateASCII(translate);
    set.setReadOnly(readOnly);
    set.setAutoFlush(kCommitPoints);
    if (location.directory != nullptr) set.setLockProtocol(location.directory->protocol);
    set.setIndexName(tag);
    if (!location.productionIndex.empty()) set.setIndexFiles({location.productionIndex});
    set.Open();
    // The import reads untranslated bytes, yet the text it stores is in the table's page.
    set.handler()->setTextCodePage(casingOf(set.tableCodePage()));
}

namespace {

[[noreturn]] void raiseIndexMismatch(GSO_dBHandler& table, const IndexDisagreement& found) {
    std::string message = "index does not match the table: " + found.indexPath + " " + found.what +
                          ", the table " + table.path() + " holds " +
                          std::to_string(table.recordCount()) + " records";
    if (const uint64_t partial = table.partialRecordBytes(); partial > 0) {
        message += " and ends inside record " + std::to_string(table.recordCount() + 1) + " (" +
                   std::to_string(partial) + " of " + std::to_string(table.recordLength()) +
                   " bytes)";
    }
    throw std::runtime_error(message + "; run abonex-db reindex " + table.path());
}

}  // namespace

void requireRowInTable(TEngineDataSet& set) {
    if (const auto found = set.RowDisagreesWithIndex()) raiseIndexMismatch(*set.handler(), *found);
}

void requireIndexMatchesTable(TEngineDataSet& set, IndexLook look) {
    if (const auto found = set.IndexDisagreesWithTable(look)) {
        raiseIndexMismatch(*set.handler(), *found);
    }
}

}  // namespace abonex::tool
