// Opening a table named on the command line as a data set, the way the program opens it:
// with its production index file (same folder and base name, ".MDX") when there is one, and,
// for the three directory tables, with their lock protocol and name tag.
//
// The tool takes the text of a table in the code page its language driver byte names, 866 (the
// directory's page) when it names none, or the page --table-encoding names: it shows it as
// UTF-8, turns what the user types into that page before it is compared with or stored into
// the table, and has the key expressions case it by that page's letters.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/dbf_fields.h"
#include "tools/csv.h"
#include "tools/tool_options.h"

namespace abonex::tool {

// The option of the commands that read or write a table's text: the page to take it as,
// whatever the table's language byte says.
inline constexpr OptionSpec kTableEncodingOption{"--table-encoding", true};

// Reads an option that names a code page into `page` (left empty when the option is not
// given). A name of no page here is reported as a usage error: the status 2 is returned.
std::optional<int> readPageOption(const ToolOptions& options, std::string_view option,
                                  std::optional<CodePage>& page);

// A table's text may be UTF-8: LibreOffice saves a dBASE table so with its default options,
// with the language byte 0x00. The commands that only read a table (info, export) take such
// text as it is; the others, which would store text in a single-byte page, refuse
// "--table-encoding utf-8".
//
// Reads --table-encoding for those commands: a code page into `page`, or "utf-8" (`utf8` set).
std::optional<int> readReadingEncodingOption(const ToolOptions& options,
                                             std::optional<CodePage>& page, bool& utf8);
// True when `table` names no code page (language byte 0x00) and the text of its character
// fields is UTF-8 in every record, with at least one Cyrillic letter (text in a single-byte
// page is hardly ever UTF-8 by chance, and ASCII alone reads alike either way). Reads every
// record.
bool holdsUtf8Text(GSO_dBaseDBF& table);

// Reads --separator and --encoding into `dialect` (left as it is when they are not given); a word
// of neither is reported as a usage error: the status 2 is returned.
std::optional<int> readCsvOptions(const ToolOptions& options, CsvDialect& dialect);
// Reads --format (csv or vcard; `fallback` when not given) into `format`; another word is a
// usage error.
std::optional<int> readFormatOption(const ToolOptions& options, std::string_view fallback,
                                    std::string& format);

// The table file `path` itself (shared, read-only unless `readWrite`), its text taken in its
// own page (see above) and, for a directory table, with the directory's lock protocol for its
// index files. Raises the engine's errors.
std::unique_ptr<GSO_dBaseFld> openTableFile(std::string_view path, bool readWrite,
                                            std::optional<CodePage> forcedPage = std::nullopt);
// The page the text of a table opened by openTableFile is taken as.
CodePage textPageOf(const GSO_dBaseDBF& table, std::optional<CodePage> forcedPage = std::nullopt);

// An expression typed on the command line (UTF-8) in the table's code page, so that its text
// literals compare with and measure like the stored text; nothing when it holds a character
// the page lacks.
std::optional<std::string> expressionForTable(std::string_view utf8, CodePage page);
// The message for an expression that expressionForTable refused.
std::string expressionNotInTablePage(CodePage page);

struct TableLocation {
    std::string folder;           // with a trailing "/"
    std::string file;             // file name as given
    std::string productionIndex;  // file name of the production index file, empty when none
    const DirectoryTable* directory = nullptr;  // the directory table of that name, if any
};

TableLocation locateTable(std::string_view path);

// The message of `error`; one about a missing index file (".MDX") says which command makes it
// (reindex for a directory table's, index create for another table's).
std::string errorMessage(const std::exception& error);

// The name tag of a directory table, or "" (record-number order) for any other table.
std::string defaultOrderTag(const TableLocation& location);

// Opens `set` on the table with its production index file and `tag` selected ("" for
// record-number order). Text is translated to ANSI when `translate`; untranslated, it is the
// bytes of set.tableCodePage().
void openTable(TEngineDataSet& set, const TableLocation& location, std::string_view tag,
               bool translate, bool readOnly, std::optional<CodePage> forcedPage = std::nullopt);

// The window shows one blank row for an index entry whose record the table does not hold
// (another copy may just have cut it away); the tool, whose output is a file, stops instead.
// Raises an error naming the table, what is wrong and the fix when the current row of `set`
// is such an entry, or a row that another program changed in place without its index (its
// record no longer gives the key the walk found it under).
void requireRowInTable(TEngineDataSet& set);

// Raises the same error when an open index file does not match the table as far as `look`
// tells (see IndexLook): a search takes the quick look of Samples at the open, whatever the
// table's size, and leaves the rest to requireRowInTable on each row it hands out; a command
// that walked the whole order, or writes through `set`, counts every key (EveryKey). Looked at
// under the index locks, so that no writer is half-way through a record meanwhile.
void requireIndexMatchesTable(TEngineDataSet& set, IndexLook look);

}  // namespace abonex::tool
