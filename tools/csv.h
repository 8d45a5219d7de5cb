// CSV text as the tool reads and writes it: fields separated by a separator (a comma unless the
// user names another), a field that holds the separator, a double quote or a line break
// enclosed in double quotes with inner quotes doubled, records ended by LF or CR LF.
//
// The file's bytes may be UTF-8 (a byte-order mark at the start is skipped) or a single-byte
// code page, which the tool turns into UTF-8 before it parses; a file written for a spreadsheet
// may start with a byte-order mark and end its lines with CR LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/codepage.h"

namespace abonex::tool {

struct CsvRecord {
    int line = 0;  // line number where the record starts (1-based)
    std::vector<std::string> fields;
    bool blank = false;  // the line was empty (it reads as one empty field)
};

struct CsvParseResult {
    std::vector<CsvRecord> records;
    // Set when the text is malformed (a quote left open, text after a closing quote).
    std::optional<std::string> error;
};

// The shape of a CSV file.
struct CsvDialect {
    char separator = ',';
    std::optional<CodePage> page;  // the file's code page; nothing: UTF-8
    bool byteOrderMark = false;    // written files: start with the UTF-8 byte-order mark
    bool crlf = false;             // written files: end lines with CR LF instead of LF
};

// The separator a command-line word names: one ASCII character other than a double quote or
// a line break, or "tab" (or "\t"); nothing for anything else.
std::optional<char> csvSeparatorNamed(std::string_view word);
// The encoding a command-line word names: true with `page` empty for "utf-8" (or "utf8"),
// true with the page for a code page name (see codePageNamed), false for no encoding known.
bool csvEncodingNamed(std::string_view word, std::optional<CodePage>& page);
// How a separator is written in messages and options: "," ";" or "tab".
std::string separatorName(char separator);

// Splits `text` (UTF-8, a byte-order mark at the start skipped) into records. Empty lines at the
// end of the text make no record.
CsvParseResult parseCsv(std::string_view text, char separator = ',');

// One field, quoted when a spreadsheet could split it or take it apart: when it holds the
// separator, a comma, a semicolon, a tab, a double quote or a line break.
std::string csvField(std::string_view value, char separator = ',');
void appendCsvField(std::string& out, std::string_view value, char separator = ',');
// A record line: fields joined by the dialect's separator, ended with "\n" or "\r\n". The
// fields are UTF-8; the line is too (the caller converts it to the dialect's page).
std::string csvLine(const std::vector<std::string>& fields, const CsvDialect& dialect = {});
void appendCsvLine(std::string& out, const std::vector<std::string>& fields,
                   const CsvDialect& dialect = {});

}  // namespace abonex::tool
