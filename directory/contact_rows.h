// Contacts (vCard cards, directory/vcard.h) as rows of a directory table: each value checked
// against its field and converted to the table's code page before anything is written.
//
// A character the page lacks is stored in its nearest form (engine/dbf/near_form.h) and counted;
// only one without a nearest form is refused. A phone longer than its field is stored as its
// digits, after a "+" when it was written with one ("+7 912 345-67-89" -> "+79123456789"), and
// told of; only a phone that does not fit even so (or holds letters) is refused, unless cut.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/message_language.h"
#include "directory/vcard.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/near_form.h"

namespace abonex {

// A field of the table contacts are stored into.
struct TableColumn {
    std::string name;
    int size = 0;  // bytes
};

struct ContactRows {
    // Per contact: name, phone 1, phone 2, comment as the bytes to store in the table's page.
    std::vector<std::vector<std::string>> rows;
    // The first contact that cannot be stored as it is, with its card's number and line.
    std::optional<std::string> error;
    bool tooLong = false;  // the error is a value longer than its field
    // The characters stored in their nearest form.
    NearFormTally replaced;
    // The phones stored as their digits, one message each.
    std::vector<std::string> notes;
};

// Checks `contacts` against the table's first four fields and converts them to `page` (see
// above). A value longer than its field is refused unless `truncate`; so is a control character
// at the end of a value, which a reader of the field would not see. Messages in `language`.
ContactRows contactRowsForTable(const std::vector<Contact>& contacts, CodePage page,
                                const std::vector<TableColumn>& columns, bool truncate,
                                MessageLanguage language = MessageLanguage::English);

// A phone (in the table's page) that is longer than `width` as its digits, after a "+" when it
// begins with one: nothing when it holds other characters than digits, blanks and "+-()./",
// has no digit, or does not fit even so.
std::optional<std::string> phoneAsDigits(std::string_view phone, size_t width);

}  // namespace abonex
