#include "tools/import_rows.h"

#include <algorithm>

#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kGenericNames[kImportColumns] = {"NAME", "PHONE1", "PHONE2", "COMMENT"};

std::string headerName(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return upperAscii(text);
}

// The field a header column names: a field name of the table, else a generic name; nothing
// when it names neither.
std::optional<size_t> namedField(std::string_view column, const std::vector<ImportColumn>& fields) {
    const std::string wanted = headerName(column);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (upperAscii(fields[i].name) == wanted) return i;
    }
    for (size_t i = 0; i < kImportColumns && i < fields.size(); ++i) {
        if (kGenericNames[i] == wanted) return i;
    }
    return std::nullopt;
}

ImportRows failed(std::string message, std::string_view hint = {}) {
    ImportRows result;
    result.error = std::move(message) + "; nothing imported" + std::string(hint);
    return result;
}

// For a line read as one column: the first other separator it holds, as a hint.
std::string separatorHint(const CsvRecord& record, char separator) {
    if (record.fields.size() != 1) return {};
    for (char other : {';', '\t', ',', '|'}) {
        if (other != separator && record.fields[0].find(other) != std::string::npos) {
            const std::string name = separatorName(other);
            const std::string option = other == '\t' ? "tab" : "'" + name + "'";
            return " (the line holds " +
                   (other == '\t' ? std::string("tabs") : "\"" + name + "\"") + ": --separator " +
                   option + " reads such a file)";
        }
    }
    return {};
}

// All the text of the file's fields, for guessing the page of bytes that are not UTF-8.
std::string allText(const std::vector<CsvRecord>& records) {
    std::string text;
    for (const CsvRecord& record : records) {
        for (const std::string& field : record.fields) text += field;
    }
    return text;
}

}  // namespace

bool lostItsLetters(std::string_view name) {
    if (name.find('?') == std::string_view::npos) return false;
    for (char c : name) {
        const auto byte = static_cast<uint8_t>(c);
        const bool letter = byte >= 0x80 || (byte >= 'A' && byte <= 'Z') ||
                            (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
        if (letter) return false;
    }
    return true;
}

CodePage likelyPageOf(std::string_view bytes) {
    size_t dos = 0, windows = 0;
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b >= 0x80 && b <= 0xAF) ++dos;  // 866's letters А-п; few 1251 characters
        if ((b >= 0xC0 && b <= 0xDF) || b >= 0xF0) ++windows;  // 1251's А-Я, р-я; 866's lines
    }
    return windows > dos ? CodePage::Cp1251 : CodePage::Cp866;
}

ImportRows validateImportRows(const std::vector<CsvRecord>& records,
                              const std::vector<ImportColumn>& fields, std::string_view csvPath,
                              const ImportSettings& settings) {
    const CsvHeader header = settings.header;
    ImportRows result;
    for (size_t c = 0; c < kImportColumns && c < fields.size(); ++c) result.fields.push_back(c);
    size_t first = 0;
    if (header != CsvHeader::None && !records.empty()) {
        const CsvRecord& line = records.front();
        const std::string where = std::string(csvPath) + ":" + std::to_string(line.line) + ": ";
        std::vector<size_t> named;
        for (const std::string& column : line.fields) {
            const std::optional<size_t> field = namedField(column, fields);
            if (!field) {
                if (header == CsvHeader::Required) {
                    return failed(where + "the header names \"" + column +
                                  "\", which is no field of the table");
                }
                named.clear();
                break;
            }
            if (std::find(named.begin(), named.end(), *field) != named.end()) {
                return failed(where + "the header names the field " + fields[*field].name +
                              " twice");
            }
            named.push_back(*field);
        }
        if (!named.empty()) {
            result.fields = std::move(named);
            first = 1;
        }
    }

    const size_t columns = result.fields.size();
    for (size_t r = first; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        const std::string where = std::string(csvPath) + ":" + std::to_string(record.line) + ": ";
        if (record.blank) return failed(where + "the line is blank");
        if (record.fields.size() != columns) {
            return failed(where + "expected " + std::to_string(columns) + " columns, found " +
                          std::to_string(record.fields.size()) +
                          separatorHint(record, settings.separator));
        }
        std::vector<std::string> row;
        for (size_t c = 0; c < columns; ++c) {
            const std::string column = "column " + std::to_string(c + 1);
            const std::string& value = record.fields[c];
            // A field ends at a NUL byte when it is read: what follows would be lost.
            if (value.find('\0') != std::string::npos) {
                return failed(where + column + " holds a NUL byte");
            }
            Utf8Fault fault;
            std::optional<std::string> stored =
                utf8ToPageNear(settings.tablePage, value, &fault, &result.replaced);
            if (!stored) {
                std::string hint;
                if (fault.notUtf8) {
                    const CodePage likely = likelyPageOf(allText(records));
                    hint = " (is the file in code page " +
                           std::string(codePageName(likely)).substr(2) + "? --encoding " +
                           std::string(codePageName(likely)) + " reads it)";
                }
                return failed(where + column + " " +
                              describeFault(value, fault, settings.tablePage) + hint);
            }
            // A reader of the field drops blanks and control characters at its end: a control
            // character there would vanish.
            const size_t last = value.find_last_not_of(' ');
            if (last != std::string::npos && static_cast<uint8_t>(value[last]) < 0x20) {
                return failed(where + column + " ends with " +
                              describeCharacter(static_cast<uint8_t>(value[last])) +
                              ", which a field loses at its end");
            }
            const size_t fieldIndex = result.fields[c];
            if (fieldIndex == 0 && lostItsLetters(value)) {
                return failed(where + column + " holds \"" + value +
                              "\": a name of nothing but \"?\" and punctuation (the file has "
                              "most likely lost its letters, saved in a code page without "
                              "Cyrillic; save it as UTF-8 or in code page 1251)");
            }
            const ImportColumn& field = fields.at(fieldIndex);
            const auto width = static_cast<size_t>(field.size);
            const std::optional<std::string> digits =
                (fieldIndex == 1 || fieldIndex == 2) && stored->size() > width
                    ? phoneAsDigits(*stored, width)
                    : std::nullopt;
            if (digits) {
                result.notes.push_back(where + column + " \"" + value + "\" is " +
                                       std::to_string(stored->size()) +
                                       " characters long, the field " + field.name + " holds " +
                                       std::to_string(field.size) + ": stored as " + *digits);
                *stored = *digits;
            } else if (stored->size() > width) {
                if (!settings.truncate) {
                    return failed(where + column + " is " + std::to_string(stored->size()) +
                                      " characters long, the field " + field.name + " holds " +
                                      std::to_string(field.size),
                                  " (--truncate cuts long values)");
                }
                stored->resize(static_cast<size_t>(field.size));
            }
            row.push_back(std::move(*stored));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace abonex::tool
