// vCard files, the form in which phones and address books exchange contacts, as directory rows.
//
// Written: vCard 3.0 (RFC 2426) in UTF-8, one card per row: FN holds the name, N the name split
// into surname and the rest (persons) or the whole name as surname (favourites; empty for an
// organisation, which has ORG instead), a TEL for each phone that is not empty, NOTE for the
// comment, UID when the contact has one. Lines end with CR LF and are folded to at most 75 bytes
// (never inside a UTF-8 character); text values escape "\", ",", ";" and line breaks.
//
// Read: vCard 2.1, 3.0 and 4.0 (RFC 6350) as address books and phones write them: folded
// lines, groups ("item1.TEL"), 2.1's bare parameters ("TEL;CELL"), quoted-printable values with
// soft line breaks and CHARSET parameters (UTF-8, Windows-1251, 866, the Western pages), 4.0's
// "tel:" URIs and quoted parameter values. A contact's name is FN, else N (surname, given and
// additional names), else ORG; its phones the first two TELs; its comment its NOTEs, one per
// line. Photos and other properties are passed over. directory/contact_rows.h makes table rows
// of the contacts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/message_language.h"
#include "engine/dbf/codepage.h"

namespace abonex {

// A directory row as a card holds it, in UTF-8.
struct Contact {
    std::string name;
    std::string phone1;
    std::string phone2;
    std::string comment;
    int card = 0;       // read cards: the card's number in the file (1-based)
    int line = 0;       // read cards: the line its BEGIN:VCARD is on
    std::string uid{};  // written cards: the UID (directory/vcard_uid.h); none when empty
};

// How a row's name is written into N and ORG.
enum class VcardStyle {
    Person,        // N: the first word as surname, the rest as given names
    Organisation,  // N empty, ORG: the name
    Plain,         // N: the whole name as surname (a favourite may be either)
};

// One card, its lines ended by CR LF.
std::string writeVcard(const Contact& contact, VcardStyle style);
// A vCard value or name part without blanks and tabs at either end.
std::string trimmedVcardText(std::string_view text);

struct VcardImport {
    std::vector<Contact> contacts;
    // What was passed over, to be told (cards with more than two phones).
    std::vector<std::string> notes;
    // The first fault, naming the card and its line; no contact is to be used when it is set.
    std::optional<std::string> error;
};

// Reads every card of a vCard file; the messages are in `language`.
VcardImport readVcards(std::string_view text, MessageLanguage language = MessageLanguage::English);

// Where a card is, for a message: "card 2 (line 9)", "карточка 2 (строка 9)".
std::string cardPlace(int card, int line, MessageLanguage language = MessageLanguage::English);

}  // namespace abonex
