#include "directory/contact_rows.h"

namespace abonex {

std::optional<std::string> phoneAsDigits(std::string_view phone, size_t width) {
    const size_t first = phone.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    std::string digits = phone[first] == '+' ? "+" : "";
    for (char c : phone) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (std::string_view(" +-()./").find(c) == std::string_view::npos) {
            return std::nullopt;  // an extension ("доб. 12") or a word: not a number alone
        }
    }
    if (digits.empty() || digits == "+" || digits.size() > width) return std::nullopt;
    return digits;
}

ContactRows contactRowsForTable(const std::vector<Contact>& contacts, CodePage page,
                                const std::vector<TableColumn>& columns, bool truncate,
                                MessageLanguage language) {
    static constexpr std::string_view kWhat[4] = {"the name", "the first phone", "the second phone",
                                                  "the comment"};
    static constexpr std::string_view kWhatRussian[4] = {"имя", "первый телефон", "второй телефон",
                                                         "комментарий"};
    ContactRows result;
    for (const Contact& contact : contacts) {
        const std::string at = cardPlace(contact.card, contact.line, language) + ": ";
        const std::string* values[4] = {&contact.name, &contact.phone1, &contact.phone2,
                                        &contact.comment};
        std::vector<std::string> row;
        for (size_t c = 0; c < 4 && c < columns.size(); ++c) {
            const std::string& value = *values[c];
            const std::string what =
                at + inLanguage(language, std::string(kWhat[c]), std::string(kWhatRussian[c]));
            if (value.find('\0') != std::string::npos) {
                result.error =
                    what + inLanguage(language, " holds a NUL byte", " содержит нулевой байт");
                return result;
            }
            Utf8Fault fault;
            std::optional<std::string> stored =
                utf8ToPageNear(page, value, &fault, &result.replaced);
            if (!stored) {
                result.error = what + " " + describeFaultIn(language, value, fault, page);
                return result;
            }
            const size_t last = value.find_last_not_of(' ');
            if (last != std::string::npos && static_cast<uint8_t>(value[last]) < 0x20) {
                const std::string character = describeCharacter(static_cast<uint8_t>(value[last]));
                result.error =
                    what +
                    inLanguage(
                        language, " ends with " + character + ", which a field loses at its end",
                        " кончается символом " + character + ", который поле теряет в конце");
                return result;
            }
            const TableColumn& column = columns[c];
            const auto width = static_cast<size_t>(column.size);
            if (stored->size() > width) {
                const bool phone = c == 1 || c == 2;
                const std::string length = std::to_string(stored->size());
                const std::string holds = std::to_string(column.size);
                if (const auto digits = phone ? phoneAsDigits(*stored, width) : std::nullopt) {
                    result.notes.push_back(
                        what +
                        inLanguage(
                            language,
                            " \"" + value + "\" is " + length + " characters long, the field " +
                                column.name + " holds " + holds + ": stored as " + *digits,
                            " \"" + value + "\" длиннее поля " + column.name + " (" + length +
                                " символов, поле вмещает " + holds + "): записан как " + *digits));
                    *stored = *digits;
                } else if (!truncate) {
                    result.error =
                        what + inLanguage(language,
                                          " is " + length + " characters long, the field " +
                                              column.name + " holds " + holds,
                                          " длиннее поля " + column.name + ": " + length +
                                              " символов, поле вмещает " + holds);
                    result.tooLong = true;
                    return result;
                } else {
                    stored->resize(width);
                }
            }
            row.push_back(std::move(*stored));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace abonex
