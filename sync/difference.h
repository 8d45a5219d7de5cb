// A difference between two copies of a directory table, as the comparison finds it and the
// apply changes it.
//
// A comparison has a direction: import reads the external table (the source) and looks each of
// its records up in the program's own table (the target); export does the opposite. A
// difference is always stated for one source record:
//
//   kind  meaning                                            target texts
//   0     the target has the name, none with the first phone  the first target record of the name
//   1     the target has the name and first phone, none with  the first target record of the name
//         the second phone as well                            and first phone
//   2     the target has no record of the name                empty
//
// Records that exist only in the target are not differences of that direction.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/dbf/codepage.h"
#include "sync/sync_match.h"

namespace abonex {

enum class SyncDirection { Import, Export };
// Which table an apply changes: the program's own (chMy) or the external one (chHim).
enum class ChangeSide { Own, External };

enum class DifferenceKind { Phone1 = 0, Phone2 = 1, Missing = 2 };

// The kind as decimal text: "0", "1" or "2".
std::string_view kindText(DifferenceKind kind);

// A record's texts as its table stores them: the bytes of its code page, trailing blanks
// removed. An apply writes these (converted when the other table's page differs), so that no
// character a page holds is lost on its way through 1251.
struct StoredTexts {
    RecordTexts bytes;
    CodePage page = CodePage::Cp866;
    // For a Missing entry's source: the record's comment, which a record added from it carries.
    std::string comment{};
};

struct DifferenceEntry {
    DifferenceKind kind = DifferenceKind::Missing;
    RecordTexts target;  // the target record found (empty for Missing)
    RecordTexts source;  // the source record, trailing blanks removed
    // The same records' stored bytes, where the comparison read them (its scan of the files).
    std::optional<StoredTexts> targetStored{};
    std::optional<StoredTexts> sourceStored{};
    // Equal entries state the same difference: the stored bytes follow from the records.
    bool operator==(const DifferenceEntry& other) const {
        return kind == other.kind && target == other.target && source == other.source;
    }
};

// What an apply writes of `entry` into a table whose page is `page`: the texts of the other
// table's record (the source's when `fromSource`) as `page` stores them. The stored bytes
// themselves when both tables hold the same page; between pages through Unicode, a character
// `page` lacks in its nearest form (engine/dbf/near_form.h) or, without one, as "?"; from the
// 1251 texts where the comparison read no stored bytes.
RecordTexts textsToStore(const DifferenceEntry& entry, bool fromSource, CodePage page);
// The source record's comment as `page` stores it, converted as textsToStore converts (empty
// where the comparison read none).
std::string commentToStore(const DifferenceEntry& entry, CodePage page);

// The level at which an entry's record is found: all three fields for a first phone that
// differs, name and first phone for a second phone, the name for a missing record.
MatchLevel entryLevel(DifferenceKind kind);

// True when an apply with `side` changes the table that was the comparison's target.
inline bool changesTarget(SyncDirection direction, ChangeSide side) {
    return (direction == SyncDirection::Import) == (side == ChangeSide::Own);
}

}  // namespace abonex
