// The UID of an exported card: address books (a vdir such as khard's, a phone's contacts) know a
// contact by it, and take a file without it as cards they cannot keep apart, or not at all.
//
// The UID is made from what identifies a directory row, as the synchronisation looks rows up:
// the kind of table (persons, organisations, favourites), the name and the first phone, taken
// as the data sets give them in 1251 (so the window and the tool, and copies of a table in 866
// and in 1251, agree). So the same row exported twice, by the tool or the window, in any order
// or selection, gets the same UID, and an edit of its second phone or comment keeps it (the address
// book updates the contact); a row that changes its name or first phone becomes another contact.
// Rows that share all three within one export are told apart by their occurrence (the second gets
// another UID).
//
// Form: "urn:uuid:" and a UUID of version 8 (RFC 9562's custom kind), its 122 free bits two
// 64-bit FNV-1a hashes of those fields.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "directory/vcard.h"

namespace abonex {

// Hands out the UIDs of one export's cards, in the order they are written.
class VcardUids {
  public:
    // `name` and `phone1`: the row's texts in 1251, trailing blanks removed.
    std::string next(std::string_view name, std::string_view phone1, VcardStyle style);

  private:
    std::map<std::string, int> m_seen;  // the identifying text, and how often it came
};

}  // namespace abonex
