// vCard files, the form in which phones and address books exchange contacts, as directory rows.
//
// Written: vCard 3.0 (RFC 2426) in UTF-8, one card per row: FN holds the name, N the name split
// into surname and the rest (persons) or the whole name as surname (favourites; empty for an
// organisation, which has ORG instead), a TEL for each phone that is not empty, NOTE for the
// comment. Lines end with CR LF and are folded to at most 75 bytes (never inside a UTF-8
// character); text values escape "\", ",", ";" and line breaks.
//
// Read: vCard 2.1, 3.0 and 4.0 (RFC 6350) as address books and phones write them: folded
// lines, groups ("item1.TEL"), 2.1's bare parameters ("TEL;CELL"), quoted-printable values with
// soft line breaks and CHARSET parameters (UTF-8, Windows-1251, 866, the Western pages), 4.0's
// "tel:" URIs and quoted parameter values. A contact's name is FN, else N (surname, given and
// additional names), else ORG; its phones the first two TELs; its comment its NOTEs, one per
// line. Photos and other properties are passed over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/codepage.h"

namespace abonex {

// A directory row as a card holds it, in UTF-8.
struct Contact {
    std::string name;
    std::string phone1;
    std::string phone2;
    std::string comment;
    int card = 0;  // read cards: the card's number in the file (1-based)
    int line = 0;  // read cards: the line its BEGIN:VCARD is on
};

// How a row's name is written into N and ORG.
enum class VcardStyle {
    Person,        // N: the first word as surname, the rest as given names
    Organisation,  // N empty, ORG: the name
    Plain,         // N: the whole name as surname (a favourite may be either)
};

// One card, its lines ended by CR LF.
std::string writeVcard(const Contact& contact, VcardStyle style);

struct VcardImport {
    std::vector<Contact> contacts;
    // What was passed over, to be told (cards with more than two phones).
    std::vector<std::string> notes;
    // The first fault, naming the card and its line; no contact is to be used when it is set.
    std::optional<std::string> error;
};

// Reads every card of a vCard file.
VcardImport readVcards(std::string_view text);

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
};

// Checks `contacts` against the table's first four fields and converts them to `page`. A value
// longer than its field is refused unless `truncate`; a character the page cannot hold, or
// (`ansiToo`, for a window that hands text over in 1251) that 1251 cannot hold, is refused; so
// is a control character at the end of a value, which a reader of the field would not see.
ContactRows contactRowsForTable(const std::vector<Contact>& contacts, CodePage page,
                                const std::vector<TableColumn>& columns, bool truncate,
                                bool ansiToo = false);

}  // namespace abonex
