#include "tools/csv.h"

namespace abonex::tool {

CsvParseResult parseCsv(std::string_view text) {
    CsvParseResult result;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte-order mark
    size_t pos = 0;
    int line = 1;
    while (pos < text.size()) {
        CsvRecord record;
        record.line = line;
        std::string field;
        bool endOfRecord = false;
        while (!endOfRecord) {
            if (pos < text.size() && text[pos] == '"') {
                ++pos;
                bool closed = false;
                while (pos < text.size()) {
                    char c = text[pos++];
                    if (c == '"') {
                        if (pos < text.size() && text[pos] == '"') {
                            field += '"';
                            ++pos;
                        } else {
                            closed = true;
                            break;
                        }
                    } else {
                        if (c == '\n') ++line;
                        field += c;
                    }
                }
                if (!closed) {
                    result.error = "line " + std::to_string(record.line) + ": unclosed quote";
                    return result;
                }
                if (pos < text.size() && text[pos] != ',' && text[pos] != '\n' &&
                    text[pos] != '\r') {
                    result.error = "line " + std::to_string(line) + ": text after a closing quote";
                    return result;
                }
            } else {
                while (pos < text.size() && text[pos] != ',' && text[pos] != '\n' &&
                       text[pos] != '\r') {
                    field += text[pos++];
                }
            }
            record.fields.push_back(std::move(field));
            field.clear();
            if (pos >= text.size()) {
                endOfRecord = true;
            } else if (text[pos] == ',') {
                ++pos;
            } else {
                if (text[pos] == '\r') ++pos;
                if (pos < text.size() && text[pos] == '\n') ++pos;
                ++line;
                endOfRecord = true;
            }
        }
        result.records.push_back(std::move(record));
    }
    return result;
}

std::string csvField(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += csvField(fields[i]);
    }
    return line + "\n";
}

}  // namespace abonex::tool
