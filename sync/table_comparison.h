// TableComparison: the differences of a source table against a target table.
//
// Every source record, in the source's order, is looked up in the target. The lookup finds the
// first target record, in the target's order, that matches the source record by the rule of
// sync/sync_match.h at each of three levels, and then tests that record exactly:
//
//   1. the first record matching all three fields: when its name and phones equal the source's
//      exactly, the source record has a copy and yields nothing;
//   2. the first record matching the name and first phone: when its name and first phone are
//      exact, the difference is of kind 1 (second phone);
//   3. the first record matching the name: none at all gives kind 2 (missing); one whose name is
//      exact gives kind 0 (first phone); any other yields nothing.
//
// A source name that differs from the target's only in letter case or leading blanks is thus
// found by every level and fails every exact test: it yields nothing. A source record with a
// blank name is skipped, but counts as visited. The source phones are compared trimmed at both
// ends, the names as read.
//
// The target is read once, in its order, into a table of the first record of each folded name,
// name and first phone, and name and phones; the source is then read once. The work is linear in
// the two tables and can be done in steps, so a window stays responsive while it runs. Once
// done, only the result and the counters are kept.
//
// Both data sets must stay open, and must not be moved by anyone else, until done(); the
// comparison switches their filters off and moves them itself.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sync/difference.h"

namespace abonex {

class TEngineDataSet;

class TableComparison {
  public:
    using Clock = std::chrono::steady_clock;

    TableComparison(TEngineDataSet& source, TEngineDataSet& target);
    ~TableComparison();
    TableComparison(const TableComparison&) = delete;
    TableComparison& operator=(const TableComparison&) = delete;

    // Works until `deadline` has passed (looked at every few records) or the comparison is done.
    // Returns true while work remains. Engine errors propagate; the comparison cannot go on then.
    bool step(Clock::time_point deadline);
    // Works to the end.
    void run();
    bool done() const { return m_phase == Phase::Done; }

    // The source's record count when the comparison was made (deleted records included): what
    // visited() reaches for a source without deleted records.
    int recordCount() const { return m_recordCount; }
    // Source records visited so far, blank names included.
    int visited() const { return m_visited; }
    // The name of the last source record looked up ("" before the first).
    const std::string& currentName() const { return m_currentName; }
    // One entry per differing source record, in source order.
    const std::vector<DifferenceEntry>& entries() const { return m_entries; }

  private:
    class TargetLookup;
    enum class Phase { ReadTarget, CompareSource, Done };

    void readTargetRecord();
    void compareSourceRecord();

    TEngineDataSet& m_source;
    TEngineDataSet& m_target;
    std::unique_ptr<TargetLookup> m_lookup;
    Phase m_phase = Phase::ReadTarget;
    bool m_started = false;  // the current phase's data set stands on its first record
    int m_recordCount = 0;
    int m_visited = 0;
    std::string m_currentName;
    std::vector<DifferenceEntry> m_entries;
};

}  // namespace abonex
