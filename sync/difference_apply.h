// DifferenceApply: brings one table in line with the other for the chosen differences.
//
// The table changed is the program's own (ChangeSide::Own) or the external one. For each chosen
// entry, in list order, the entry's texts of the table being changed are the keys that find the
// record to change, and the other table's texts are the values written:
//
//   kind  changes the comparison's target            changes the comparison's source
//   0     first phone of the record := values'       the same
//   1     second phone of the record := values'      the same
//   2     a new record with the values' three texts  the first record of the name is deleted
//
// The record is the first one in file order that the rule of sync/sync_match.h accepts at the
// entry's level (kind 0: all three fields, 1: name and first phone, 2: the name), as the table is
// at that moment: an earlier entry of the same apply may have changed it. An entry whose record
// is no longer found (changed by an earlier entry, or by another program since the comparison)
// is skipped and counted; nothing is ever written from the values alone. The name is never
// changed, and a new record carries the comment of the record it copies.
//
// A missing record is added only when the table, as it is at that moment, holds no record of
// that name but those this apply added itself: under the lock every writer of the table takes
// (its index lock; the append lock for a table without index files) the records appended since
// the table was read are looked at, and the insert follows before the lock is let go. So two
// applies of the same differences at once add each record once; the second counts it skipped.
//
// The table is read once to find the records the entries name (from its file in large chunks,
// sync/table_scan.h, when its first three fields are character fields, each chunk's records
// looked at in two halves at once, one on a helper thread), and each change updates
// what was found, so the work is linear in the table and the entries. The entries are applied
// in batches, each under one index lock (other writers get their turn between batches), with the
// table's read-ahead off; the table's pages a batch read are given back after it, so that the
// resident set does not grow with the table.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sync/difference.h"
#include "sync/helper_thread.h"
#include "sync/table_scan.h"

namespace abonex {

class TEngineDataSet;

struct ApplyCounts {
    int changed = 0;  // phones overwritten
    int added = 0;
    int deleted = 0;
    int skipped = 0;  // record no longer found
    bool operator==(const ApplyCounts&) const = default;
};

class DifferenceApply {
  public:
    // `change` is open on the table being changed, in file order (openChangeTable); `direction`
    // is the comparison's.
    DifferenceApply(TEngineDataSet& change, SyncDirection direction, ChangeSide side);
    ~DifferenceApply();
    DifferenceApply(const DifferenceApply&) = delete;
    DifferenceApply& operator=(const DifferenceApply&) = delete;

    using Clock = std::chrono::steady_clock;

    // Applies every entry whose `chosen` flag is set (missing flags count as not chosen). An
    // engine error (a record locked by another program, a failed write) ends the apply at that
    // entry and propagates: the entries before it stay applied and counts() says what was done.
    void run(const std::vector<DifferenceEntry>& entries, const std::vector<bool>& chosen);
    const ApplyCounts& counts() const { return m_counts; }

    // The same apply in steps, for a caller that handles its events between them: begin()
    // takes the entries (which must stay as they are until the last step), each step() works
    // until `deadline` (at least one record read or one entry applied) and returns true while
    // work is left. Errors propagate from step() as from run().
    void begin(const std::vector<DifferenceEntry>& entries, const std::vector<bool>& chosen);
    bool step(Clock::time_point deadline);
    // The work of the apply: the chosen entries looked at, the table's records read once, then
    // the entries applied.
    int total() const { return m_total; }
    int done() const { return m_done; }

  private:
    void prepareLookup(const DifferenceEntry& entry);
    int currentRecord(MatchLevel level, const RecordTexts& keys);
    void noteRecord(int record, const RecordTexts& texts, bool present);
    // Makes `record` current and remembers it for givePagesBack().
    void goToRecord(int record);
    // Switches the change table's read-ahead off while entries are applied (true), and back to
    // what it was (false).
    void holdReadAhead(bool hold);
    // Gives back the pages of the table that held the records gone to since the last call.
    void givePagesBack();
    // What one thread that looks at scanned records needs: texts for keys, and the batch's
    // records it found looked for.
    struct ScanPart {
        std::string key, text;
        std::vector<int> hits;
    };
    // Reads the next batch of at most `records` records and notes those some entry looks for;
    // false when the table had none left.
    bool scanBatch(int records);
    // True when some entry looks for one of the keys of the record `image`.
    bool lookedFor(const uint8_t* image, ScanPart& part) const;
    // Notes a record the scan read, which some entry looks for.
    void noteScannedRecord(int record, const uint8_t* image);
    void applyEntry(const DifferenceEntry& entry);
    // Notes the records appended since the table was last read (by other writers).
    void readAppendedRecords();
    // True when a live record of `values`' name that this apply did not add is in the table.
    bool nameTakenElsewhere(const RecordTexts& values);
    // `values` as the entry states them (for the lookup), `stored` as this table stores them.
    // `comment`: the comment the new record carries, as this table stores it.
    void insertMissing(const RecordTexts& values, const RecordTexts& stored,
                       const std::string& comment);
    // Reads record `record` from the file into m_image; raises "Record request beyond range of
    // table" when the table no longer holds it.
    void readImage(int record);
    RecordTexts imageTexts(const std::vector<uint8_t>& image) const;
    // Stores `text` (in the table's code page) into field `field` of `image` as the data set
    // would.
    void putText(std::vector<uint8_t>& image, int field, const std::string& text);
    // Writes `after` over `record`, read into m_image, when no index key changes by it; false,
    // nothing written, otherwise (also when, without index files, the record changed since it
    // was read). With `lookAtLock`, raises "Record is locked by another user" when another copy
    // holds the record's lock (it edits the record), as an edit would.
    bool overwrite(int record, const std::vector<uint8_t>& after, bool lookAtLock);
    // Writes the header of the batch's records written in place.
    void finishBatch();
    class KeyHashes;

    TEngineDataSet& m_change;
    bool m_changesTarget;
    ApplyCounts m_counts;
    // For each level, the records (in file order) that match a key some entry looks up.
    std::unordered_map<std::string, std::vector<int>> m_records[3];
    // The records read so far (1 .. m_recordsRead), and those this apply added.
    int m_recordsRead = 0;
    std::unordered_set<int> m_added;
    // The stepping: the chosen entries, how many have said what they look up, whether the
    // table is being read, how many are applied.
    std::vector<const DifferenceEntry*> m_work;
    size_t m_prepared = 0;
    bool m_reading = false;
    std::unique_ptr<TableScan> m_scan;  // the table read from its file, while it is read
    // The batch being read: copies of its records' images and their numbers; the thread that
    // helps look at them and what each of the two looks with.
    TableScan::Batch m_batch;
    HalvesRunner m_halves;
    std::array<ScanPart, 2> m_scanParts;
    std::vector<int> m_visitedRecords;
    std::unique_ptr<KeyHashes> m_keyHashes;   // of every key in m_records
    std::unique_ptr<KeyHashes> m_nameHashes;  // of the names those keys begin with
    // Set when the table's fields can be read from record images: then the entries' records
    // are read from the file, and written there when no index key changes.
    std::unique_ptr<TableScan> m_texts;
    std::vector<uint8_t> m_image, m_written;
    bool m_overwritten = false;  // records written in place since the batch's header
    bool m_readAheadHeld = false;
    bool m_readAheadWas = true;
    size_t m_nextEntry = 0;
    int m_total = 0;
    int m_done = 0;
};

}  // namespace abonex
