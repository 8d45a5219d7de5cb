#include "tools/csv.h"

#include <array>

namespace abonex::tool {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::optional<char> csvSeparatorNamed(std::string_view word) {
    if (word == "tab" || word == "\\t" || word == "\t") return '\t';
    if (word.size() != 1) return std::nullopt;
    const char c = word[0];
    if (c == '"' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
        return std::nullopt;
    }
    return c;
}

bool csvEncodingNamed(std::string_view word, std::optional<CodePage>& page) {
    if (word == "utf-8" || word == "UTF-8" || word == "utf8" || word == "UTF8") {
        page.reset();
        return true;
    }
    page = codePageNamed(word);
    return page.has_value();
}

std::string separatorName(char separator) {
    return separator == '\t' ? "tab" : std::string(1, separator);
}

CsvParseResult parseCsv(std::string_view text, char separator) {
    CsvParseResult result;
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    auto endsField = [&](char c) { return c == separator || c == '\n' || c == '\r'; };
    size_t pos = 0;
    int line = 1;
    while (pos < text.size()) {
        CsvRecord record;
        record.line = line;
        record.blank = text[pos] == '\n' || text.substr(pos).starts_with("\r\n");
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
                if (pos < text.size() && !endsField(text[pos])) {
                    result.error = "line " + std::to_string(line) + ": text after a closing quote";
                    return result;
                }
            } else {
                while (pos < text.size() && !endsField(text[pos])) field += text[pos++];
            }
            record.fields.push_back(std::move(field));
            field.clear();
            if (pos >= text.size()) {
                endOfRecord = true;
            } else if (text[pos] == separator) {
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
    // Spreadsheets and editors often end a file with an empty line or two.
    while (!result.records.empty() && result.records.back().blank) result.records.pop_back();
    return result;
}

void appendCsvField(std::string& out, std::string_view value, char separator) {
    // The bytes that make a field quoted: the same in UTF-8 and in every single-byte page.
    struct Splitting {
        std::array<bool, 256> byte{};
        Splitting() {
            for (const char c : std::string_view(",;\t\"\r\n"))
                byte[static_cast<uint8_t>(c)] = true;
        }
    };
    static const Splitting splitting;
    bool split = false;
    for (const char c : value) {
        if (splitting.byte[static_cast<uint8_t>(c)] || c == separator) {
            split = true;
            break;
        }
    }
    if (!split) {
        out.append(value);
        return;
    }
    out += '"';
    // Inner quotes doubled: each run up to a quote goes in at once.
    for (size_t at = 0; at < value.size();) {
        const size_t quote = value.find('"', at);
        const size_t end = quote == std::string_view::npos ? value.size() : quote + 1;
        out.append(value.substr(at, end - at));
        if (quote != std::string_view::npos) out += '"';
        at = end;
    }
    out += '"';
}

std::string csvField(std::string_view value, char separator) {
    std::string field;
    appendCsvField(field, value, separator);
    return field;
}

void appendCsvLine(std::string& out, const std::vector<std::string>& fields,
                   const CsvDialect& dialect) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += dialect.separator;
        appendCsvField(out, fields[i], dialect.separator);
    }
    out += dialect.crlf ? "\r\n" : "\n";
}

std::string csvLine(const std::vector<std::string>& fields, const CsvDialect& dialect) {
    std::string line;
    appendCsvLine(line, fields, dialect);
    return line;
}

}  // namespace abonex::tool
