// The plain passes: synchronisation done the slow, obvious way, as the reference the fast
// comparison and apply are checked against.
//
// The comparison runs, for every source record with a name, up to three filtered passes over
// the target (the data set's own filter, switched on and off again), each standing on the first
// record the filter accepts, and tests that record. The apply switches the change table's filter
// on for every entry and edits, inserts or deletes where it stands. Quadratic: for small tables.
#pragma once

#include <vector>

#include "sync/difference.h"
#include "sync/difference_apply.h"

namespace abonex {
class TEngineDataSet;
}

namespace abonex::test {

std::vector<DifferenceEntry> plainComparison(TEngineDataSet& source, TEngineDataSet& target);

// Entries whose record the filter no longer finds are skipped and counted.
ApplyCounts plainApply(TEngineDataSet& change, SyncDirection direction, ChangeSide side,
                       const std::vector<DifferenceEntry>& entries,
                       const std::vector<bool>& chosen);

}  // namespace abonex::test
