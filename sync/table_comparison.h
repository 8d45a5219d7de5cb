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
// The target is read once into a table of the first record of each folded name, name and first
// phone, and name and phones; the source is then read once. The work is linear in the two tables
// and can be done in steps, so a window stays responsive while it runs. Once done, only the
// result and the counters are kept. Tables read in file order or in the order of a name tag on
// the name field are read straight from their files in large chunks (sync/scan_comparison.h);
// others through their data sets, record by record, in their order.
//
// Both data sets must stay open, and must not be moved by anyone else, until done(); the
// comparison switches their filters off and moves them itself.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sync/difference.h"
#include "sync/table_scan.h"

namespace abonex {

class TEngineDataSet;
class ScanComparison;

class TableComparison {
  public:
    using Clock = std::chrono::steady_clock;

    // `chunkBytes`: how much of a table is read at a time when the tables are read from their
    // files; `threads`: how many threads compare the source's records then (1 or 2; the
    // differences are the same).
    TableComparison(TEngineDataSet& source, TEngineDataSet& target,
                    size_t chunkBytes = TableScan::kDefaultChunkBytes, int threads = 2);
    ~TableComparison();
    TableComparison(const TableComparison&) = delete;
    TableComparison& operator=(const TableComparison&) = delete;

    // Works until `deadline` has passed (looked at every few records) or the comparison is done.
    // Returns true while work remains. Engine errors propagate; the comparison cannot go on then.
    bool step(Clock::time_point deadline);
    // Works to the end.
    void run();
    bool done() const;

    // The source's record count when the comparison was made (deleted records included): what
    // visited() reaches for a source without deleted records.
    int recordCount() const { return m_recordCount; }
    // Source records visited so far, blank names included.
    int visited() const;
    // The name of the last source record looked up ("" before the first).
    const std::string& currentName() const;
    // Differences found so far.
    int found() const;
    // One entry per differing source record, in source order: those found so far, or, when the
    // tables are read from their files, all of them once done() and none before.
    const std::vector<DifferenceEntry>& entries() const;
    // For a comparison that goes no further (it is being stopped): entries() holds every
    // difference found so far, in source order. No step may follow.
    void keepFoundSoFar();

  private:
    class TargetLookup;
    enum class Phase { ReadTarget, CompareSource, Done };

    void readTargetRecord();
    void compareSourceRecord();

    TEngineDataSet& m_source;
    TEngineDataSet& m_target;
    std::unique_ptr<ScanComparison> m_scan;  // set when the tables are read from their files
    std::unique_ptr<TargetLookup> m_lookup;
    Phase m_phase = Phase::ReadTarget;
    bool m_started = false;  // the current phase's data set stands on its first record
    int m_recordCount = 0;
    int m_visited = 0;
    std::string m_currentName;
    std::vector<DifferenceEntry> m_entries;
};

}  // namespace abonex
