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

#include <string>
#include <string_view>

#include "sync/sync_match.h"

namespace abonex {

enum class SyncDirection { Import, Export };
// Which table an apply changes: the program's own (chMy) or the external one (chHim).
enum class ChangeSide { Own, External };

enum class DifferenceKind { Phone1 = 0, Phone2 = 1, Missing = 2 };

// The kind as decimal text: "0", "1" or "2".
std::string_view kindText(DifferenceKind kind);

struct DifferenceEntry {
    DifferenceKind kind = DifferenceKind::Missing;
    RecordTexts target;  // the target record found (empty for Missing)
    RecordTexts source;  // the source record, trailing blanks removed
    // For Missing: the source record's comment, which a record added from it carries.
    std::string comment;
    bool operator==(const DifferenceEntry&) const = default;
};

// True when an apply with `side` changes the table that was the comparison's target.
inline bool changesTarget(SyncDirection direction, ChangeSide side) {
    return (direction == SyncDirection::Import) == (side == ChangeSide::Own);
}

}  // namespace abonex
