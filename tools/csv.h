// CSV text as the tool reads and writes it: fields separated by commas, a field that holds a
// comma, a double quote or a line break enclosed in double quotes with inner quotes doubled,
// records ended by LF or CR LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace abonex::tool {

struct CsvRecord {
    int line = 0;  // line number where the record starts (1-based)
    std::vector<std::string> fields;
};

struct CsvParseResult {
    std::vector<CsvRecord> records;
    // Set when the text is malformed (a quote left open, text after a closing quote).
    std::optional<std::string> error;
};

// Splits `text` into records. An empty last line does not make a record.
CsvParseResult parseCsv(std::string_view text);

// One field, quoted when it needs to be.
std::string csvField(std::string_view value);
// A record line: fields joined by commas, ended with "\n".
std::string csvLine(const std::vector<std::string>& fields);

}  // namespace abonex::tool
