#include "directory/vcard.h"

#include <algorithm>

#include "engine/file/path_util.h"

namespace abonex {

namespace {

// --- Reading ---

struct Parameter {
    std::string name;  // upper case; empty for a bare 2.1 value such as "CELL"
    std::string value;
};

struct Property {
    std::string name;  // upper case, without its group
    std::vector<Parameter> parameters;
    std::string value;  // raw: still escaped, quoted-printable and in its character set
    int line = 0;
};

std::optional<std::string> parameterValue(const Property& property, std::string_view name) {
    for (const Parameter& p : property.parameters) {
        if (p.name == name) return p.value;
    }
    return std::nullopt;
}

bool isQuotedPrintable(const Property& property) {
    for (const Parameter& p : property.parameters) {
        if ((p.name == "ENCODING" || p.name.empty()) && upperAscii(p.value) == "QUOTED-PRINTABLE") {
            return true;
        }
    }
    return false;
}

// Splits "NAME;PARAM=VALUE;...:value" (the group already part of the name); false when there is
// no colon outside quotes.
bool splitProperty(std::string_view line, Property& property) {
    size_t colon = std::string_view::npos;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon == std::string_view::npos) return false;
    property.value = std::string(line.substr(colon + 1));
    std::string_view head = line.substr(0, colon);
    std::vector<std::string> parts;
    std::string part;
    quoted = false;
    for (char c : head) {
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    std::string name = upperAscii(trimmedVcardText(parts[0]));
    if (const size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
    property.name = name;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& text = parts[i];
        const size_t equals = text.find('=');
        Parameter parameter;
        if (equals == std::string::npos) {
            parameter.value = trimmedVcardText(text);
        } else {
            parameter.name = upperAscii(trimmedVcardText(text.substr(0, equals)));
            parameter.value = trimmedVcardText(text.substr(equals + 1));
        }
        if (parameter.value.size() >= 2 && parameter.value.front() == '"' &&
            parameter.value.back() == '"') {
            parameter.value = parameter.value.substr(1, parameter.value.size() - 2);
        }
        property.parameters.push_back(std::move(parameter));
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> decodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (i + 1 == text.size()) break;  // a soft line break that ends the value
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Splits a raw value at the semicolons that are not escaped.
std::vector<std::string> components(std::string_view raw) {
    std::vector<std::string> out;
    std::string part;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            part += raw[i];
            part += raw[++i];
        } else if (raw[i] == ';') {
            out.push_back(part);
            part.clear();
        } else {
            part += raw[i];
        }
    }
    out.push_back(part);
    return out;
}

std::string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'n' || next == 'N') {
                out += '\n';
                ++i;
                continue;
            }
            if (next == '\\' || next == ',' || next == ';' || next == ':') {
                out += next;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string joinNonEmpty(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out += separator;
        out += part;
    }
    return out;
}

// One card being read.
class CardReader {
  public:
    CardReader(int card, int line, MessageLanguage language)
        : m_card(card), m_line(line), m_language(language) {}

    // Takes one property; the message of a fault otherwise.
    std::optional<std::string> take(const Property& property) {
        if (property.name == "VERSION") {
            const std::string version = trimmedVcardText(property.value);
            if (version != "2.1" && version != "3.0" && version != "4.0") {
                return at(property.line) +
                       say(": vCard version \"" + version + "\" is not 2.1, 3.0 or 4.0",
                           ": версия vCard \"" + version + "\" не 2.1, не 3.0 и не 4.0");
            }
            return std::nullopt;
        }
        if (property.name != "FN" && property.name != "N" && property.name != "ORG" &&
            property.name != "TEL" && property.name != "NOTE") {
            return std::nullopt;
        }
        std::string raw = property.value;
        if (isQuotedPrintable(property)) {
            std::optional<std::string> decoded = decodeQuotedPrintable(raw);
            if (!decoded) {
                return at(property.line) +
                       say(": the quoted-printable value of " + property.name + " is malformed",
                           ": значение " + property.name + " в quoted-printable повреждено");
            }
            raw = *decoded;
        }
        std::optional<std::string> charset = parameterValue(property, "CHARSET");
        if (charset && upperAscii(*charset) != "UTF-8" && upperAscii(*charset) != "US-ASCII") {
            std::optional<CodePage> page = codePageNamed(*charset);
            if (!page && upperAscii(*charset) == "ISO-8859-1") page = CodePage::Cp1252;
            if (!page) {
                return at(property.line) + say(": the character set \"" + *charset + "\" of " +
                                                   property.name + " is not one this program reads",
                                               ": кодировку \"" + *charset + "\" свойства " +
                                                   property.name + " программа не читает");
            }
            raw = pageToUtf8(*page, raw);
        } else {
            Utf8Fault fault;
            if (!isUtf8(raw, &fault)) {
                return at(property.line) + ": " + property.name + " " +
                       describeFaultIn(m_language, raw, fault, CodePage::Cp1251) +
                       say(" and no CHARSET parameter names its character set",
                           ", а параметра CHARSET с её кодировкой нет");
            }
        }
        if (property.name == "FN") {
            if (m_fn.empty()) m_fn = trimmedVcardText(unescape(raw));
        } else if (property.name == "N") {
            if (m_n.empty()) {
                std::vector<std::string> parts;
                for (const std::string& part : components(raw))
                    parts.push_back(trimmedVcardText(unescape(part)));
                parts.resize(3);  // surname, given names, additional names
                m_n = joinNonEmpty(parts, " ");
            }
        } else if (property.name == "ORG") {
            if (m_org.empty()) {
                std::vector<std::string> parts;
                for (const std::string& part : components(raw))
                    parts.push_back(trimmedVcardText(unescape(part)));
                m_org = joinNonEmpty(parts, ", ");
            }
        } else if (property.name == "TEL") {
            std::string phone = trimmedVcardText(unescape(raw));
            if (upperAscii(phone.substr(0, 4)) == "TEL:") phone = phone.substr(4);
            if (!phone.empty()) m_phones.push_back(phone);
        } else if (property.name == "NOTE") {
            const std::string note = unescape(raw);
            if (!note.empty()) m_notes.push_back(note);
        }
        return std::nullopt;
    }

    // The contact, or the message when the card has no name.
    std::optional<std::string> finish(Contact& contact, std::vector<std::string>& notes) const {
        contact.card = m_card;
        contact.line = m_line;
        contact.name = !m_fn.empty() ? m_fn : !m_n.empty() ? m_n : m_org;
        if (contact.name.empty()) {
            return at(m_line) + say(" has no name (FN, N or ORG)", ": нет имени (FN, N или ORG)");
        }
        if (!m_phones.empty()) contact.phone1 = m_phones[0];
        if (m_phones.size() > 1) contact.phone2 = m_phones[1];
        if (m_phones.size() > 2) {
            const std::string count = std::to_string(m_phones.size());
            notes.push_back(at(m_line) + say(" has " + count + " phones: the first two are taken",
                                             ": телефонов " + count + ", взяты первые два"));
        }
        std::string comment;
        for (const std::string& note : m_notes) comment += (comment.empty() ? "" : "\n") + note;
        contact.comment = comment;
        return std::nullopt;
    }

    int card() const { return m_card; }
    int line() const { return m_line; }

  private:
    std::string at(int line) const { return cardPlace(m_card, line, m_language); }
    std::string say(std::string english, std::string russian) const {
        return inLanguage(m_language, std::move(english), std::move(russian));
    }

    int m_card;
    int m_line;
    MessageLanguage m_language;
    std::string m_fn, m_n, m_org;
    std::vector<std::string> m_phones;
    std::vector<std::string> m_notes;
};

struct PhysicalLine {
    std::string_view text;
    int number;
};

std::vector<PhysicalLine> physicalLines(std::string_view text) {
    std::vector<PhysicalLine> lines;
    int number = 1;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back({line, number++});
        pos = end + 1;
    }
    return lines;
}

}  // namespace

std::string trimmedVcardText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

std::string cardPlace(int card, int line, MessageLanguage language) {
    return inLanguage(
        language, "card " + std::to_string(card) + " (line " + std::to_string(line) + ")",
        "карточка " + std::to_string(card) + " (строка " + std::to_string(line) + ")");
}

VcardImport readVcards(std::string_view text, MessageLanguage language) {
    const auto say = [language](std::string english, std::string russian) {
        return inLanguage(language, std::move(english), std::move(russian));
    };
    VcardImport result;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::vector<PhysicalLine> lines = physicalLines(text);
    std::optional<CardReader> card;
    int cards = 0;
    for (size_t i = 0; i < lines.size();) {
        const int number = lines[i].number;
        std::string logical(lines[i].text);
        ++i;
        // Folded lines go on with a blank or a tab.
        auto unfold = [&] {
            while (i < lines.size() && !lines[i].text.empty() &&
                   (lines[i].text.front() == ' ' || lines[i].text.front() == '\t')) {
                logical.append(lines[i].text.substr(1));
                ++i;
            }
        };
        unfold();
        if (trimmedVcardText(logical).empty()) continue;
        Property property;
        property.line = number;
        if (!splitProperty(logical, property)) {
            const std::string shown = "\"" + trimmedVcardText(logical).substr(0, 40) + "\"";
            result.error = say("line " + std::to_string(number) + ": " + shown +
                                   " is no vCard property (NAME:value)",
                               "строка " + std::to_string(number) + ": " + shown +
                                   " не свойство vCard (ИМЯ:значение)");
            return result;
        }
        // A quoted-printable value ending in "=" goes on in the next line (a soft line break).
        if (isQuotedPrintable(property)) {
            while (!logical.empty() && logical.back() == '=' && i < lines.size()) {
                logical.pop_back();
                logical.append(lines[i].text);
                ++i;
                unfold();
            }
            splitProperty(logical, property);
        }
        if (property.name == "BEGIN" && upperAscii(trimmedVcardText(property.value)) == "VCARD") {
            if (card) {
                result.error =
                    cardPlace(card->card(), card->line(), language) +
                    say(": BEGIN:VCARD on line " + std::to_string(number) + " before its END:VCARD",
                        ": BEGIN:VCARD в строке " + std::to_string(number) +
                            " раньше её END:VCARD");
                return result;
            }
            card.emplace(++cards, number, language);
            continue;
        }
        if (!card) {
            result.error = say("line " + std::to_string(number) + ": " + property.name +
                                   " outside BEGIN:VCARD ... END:VCARD",
                               "строка " + std::to_string(number) + ": " + property.name +
                                   " вне BEGIN:VCARD ... END:VCARD");
            return result;
        }
        if (property.name == "END" && upperAscii(trimmedVcardText(property.value)) == "VCARD") {
            Contact contact;
            if (auto error = card->finish(contact, result.notes)) {
                result.error = *error;
                return result;
            }
            result.contacts.push_back(std::move(contact));
            card.reset();
            continue;
        }
        if (auto error = card->take(property)) {
            result.error = *error;
            return result;
        }
    }
    if (card) {
        result.error =
            cardPlace(card->card(), card->line(), language) +
            say(": the file ends before its END:VCARD", ": файл кончается раньше её END:VCARD");
        return result;
    }
    if (cards == 0) {
        result.error = say("the file holds no vCard (BEGIN:VCARD)",
                           "в файле нет ни одной карточки vCard (BEGIN:VCARD)");
    }
    return result;
}

}  // namespace abonex
