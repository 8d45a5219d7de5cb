// ScanComparison: TableComparison's work done by reading both tables in file order, for tables
// read in record-number order or in the order of a name tag whose key is the name field itself.
//
// It finds exactly what the lookups of sync/table_comparison.h find. "The first target record in
// the target's order" is, among the records that match, the one with the smallest (name key,
// record number) in a name tag, or the smallest record number in file order, so the target can
// be read in file order; the differences, found in the source's file order, are put into the
// source's order at the end. The lookup tables hold hashes and record numbers; the texts of a
// record whose hash matches are read back from its table to be compared. Only the folded names
// of the target (one per different name) are kept as texts.
//
// Both tables are read in batches on the calling thread, and each batch is worked on in two
// halves at once, one on the calling thread and one on a helper thread. A batch of the target is
// folded and hashed so, then added to the lookup tables on the calling thread in file order. A
// batch of the source is compared so, each half with its own reader of the target for the
// records it reads back, while the lookup tables are only read; the differences of the two
// halves are put one after the other, so that they come in the same order as from one thread.
// A step's first batch is a group of records, and each batch of the step doubles the one before,
// so that a step that ends at once still ends soon and the differences found so far are always
// those of the source's first records.
//
// Memory: about 16 bytes per target record for the two tables of names with phones, plus the
// distinct names, plus the differences; the tables' pages are never mapped in.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sync/difference.h"
#include "sync/helper_thread.h"
#include "sync/table_scan.h"

namespace abonex {

class TEngineDataSet;

class ScanComparison {
  public:
    using Clock = std::chrono::steady_clock;

    // True when `dataSet` is read in an order this comparison can reproduce from its file:
    // record-number order, or an ascending name tag, neither unique nor filtered, whose key is
    // field 0 whole; and its fields 0, 1, 2 are character fields.
    static bool suits(TEngineDataSet& dataSet);

    // `threads`: how many threads compare the source's records (1 or 2).
    ScanComparison(TEngineDataSet& source, TEngineDataSet& target,
                   size_t chunkBytes = TableScan::kDefaultChunkBytes, int threads = 2);
    ~ScanComparison();
    ScanComparison(const ScanComparison&) = delete;
    ScanComparison& operator=(const ScanComparison&) = delete;

    // As TableComparison::step.
    bool step(Clock::time_point deadline);
    bool done() const { return m_phase == Phase::Done; }

    int visited() const { return m_visited; }
    // Differences found so far; entries() holds them only once done().
    int found() const { return static_cast<int>(m_pending.size() + m_entries.size()); }
    const std::string& currentName() const { return m_currentName; }
    const std::vector<DifferenceEntry>& entries() const { return m_entries; }
    // For a comparison that goes no further: entries() holds the differences found so far, in
    // the source's order among themselves. No step may follow.
    void keepFoundSoFar();

  private:
    class Lookup;
    struct Keys;
    struct Reader;
    struct Part;
    enum class Phase { ReadTarget, CompareSource, Done };
    // A difference with what puts it in the source's order.
    struct Pending {
        std::string key;  // the source name's stored bytes
        DifferenceEntry entry;
        int sourceRecord = 0;  // for Missing: the record whose comment the entry takes
    };

    // Runs work(part, begin, end) for the batch's first `count` records: in two halves at once,
    // the second on the helper thread, when there are threads and records enough for both,
    // else at once. True when it was split. What either half raised is raised once both ended.
    bool inHalves(int count, const std::function<void(int, int, int)>& work);
    // Reads the next batch of at most `records` target records and adds it; false when the
    // batch came short (the target has none left).
    bool readTargetBatch(int records);
    // Reads the next batch of at most `records` source records and compares it; false when the
    // batch came short (the source has none left).
    bool compareSourceBatch(int records);
    // Compares records `begin` .. `end` - 1 of the batch, with `part`'s reader and list.
    void compareBatchPart(Part& part, int begin, int end);
    // Compares the source record `record`, whose `keys` are folded already.
    void compareSourceRecord(Part& part, const uint8_t* record, int recordNumber, Keys& keys);
    void finish();

    bool m_sourceByName = false;
    TableScan m_sourceScan;
    TableScan m_targetScan;
    // The texts of both tables are made from the stored bytes alike: exact tests compare those.
    bool m_storedAlike = false;
    std::unique_ptr<Lookup> m_lookup;
    Phase m_phase = Phase::ReadTarget;
    int m_visited = 0;
    std::string m_currentName;
    std::vector<Pending> m_pending;
    // Records are worked on in groups: their lookup slots are asked for at once.
    static constexpr int kGroupRecords = 32;
    // The batch of records being worked on: copies of their images, their numbers and, for
    // the target, their keys.
    TableScan::Batch m_batch;
    std::vector<Keys> m_batchKeys;
    // One part per thread comparing source records; the helper thread runs the second.
    std::vector<std::unique_ptr<Part>> m_parts;
    HalvesRunner m_halves;
    std::vector<DifferenceEntry> m_entries;
};

}  // namespace abonex
