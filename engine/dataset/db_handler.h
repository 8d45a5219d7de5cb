// GSO_dBHandler: a table file joined with its open index files.
//
// The handler keeps up to 63 open index files in slots, one current tag that orders the records
// (or none: record-number order), and moves through the table in that order while skipping
// deleted records (unless UseDeleted) and the records its record filter rejects. Every write
// locks every open index file first (in slot order, waiting for each), writes the table, brings
// every tag up to date and unlocks the index files again, also when the write failed. The
// handler also rebuilds all index files.
//
// When the record filter comes with a key filter (recordKeyFilter) on the field that the current
// tag's key is made of, moves in tag order pass over the entries whose key it rejects without
// reading their records, and prefix searches seek over them (see GSobjMDXTag::Navigate). The
// record filter still decides on every record that is read.
//
// With AutoFlush on, every write through the handler is a commit point, and the writes in place
// of one hold of the index locks (one post, one delete, one span of an append batch, the
// writes a caller makes under IndexLocks) are one transaction of the table's rollback journal
// (see rollback_journal.h): the old bytes of the table's writes go to the journal before each
// write, the index files' writes are held in memory and journalled together, and when the
// last lock level is let go the index writes are made, the table and index files synced, and
// the journal emptied. A post that returns is on the disk; one cut short by a power cut or a
// kill is undone by the next copy that opens the table (it rolls back a hot journal before
// anything else) or writes it. With AutoFlush off nothing is journalled or synced.
//
// The pages of the mapped table that a walk or a rebuild went through are taken out of the
// process's resident set once it is over (the page cache keeps them); the first records of a
// walk in tag order are read past the mapping (see kShortWalkRecords).
//
// DBFObject is the handler bound to a data set: its record filter asks the data set and its
// rebuild progress goes to the data set's status event.
//
// Invariant: currentTag() is null or a tag of one of the open index files.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset/field_bytes_test.h"
#include "engine/dataset/index_agreement.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file.h"
#include "engine/index/key_filter.h"
#include "engine/index/record_candidates.h"

namespace abonex {

class GSobjMDXFile;
class GSobjMDXTag;
class RollbackJournal;
class TEngineDataSet;
struct IndexProgress;

class GSO_dBHandler : public GSO_dBaseFld {
  public:
    static constexpr int kIndexSlots = 63;
    // Read-ahead buffer size; rounded down to whole records (at least one).
    static constexpr size_t kReadAheadBytes = 32768;

    GSO_dBHandler(std::string_view fileName, bool shared, bool readWrite);
    ~GSO_dBHandler() override;

    // Opens the index file `name` (placed in the table's folder when it has none; ".NDX" added
    // when it has no extension). Returns 0, or -1 when a file of that name is already open.
    // Raises 2 "File not found" for a missing file and the disk errors when it cannot be opened.
    int OpenIndexFile(std::string_view name);
    // Frees every index file and clears the current tag.
    void CloseIndexFiles();
    int indexFileCount() const;
    GSobjMDXFile* indexFile(int slot) const { return m_slots.at(static_cast<size_t>(slot)).get(); }

    // Makes tag `name` current (empty: record-number order). With `keep`, stays on the current
    // record when the new order holds it; otherwise goes to the first acceptable record.
    // Raises "Cannot find index tag <name>" when no open file holds the tag.
    void SelectTag(std::string_view name, bool keep);
    GSobjMDXTag* currentTag() const { return m_tag; }
    const std::string& currentTagName() const { return m_tagName; }

    // Moves in the current order; a record number reads that record whatever it holds.
    void GotoRecord(int code) override;
    void AppendRecord() override;
    void ReplaceRecord(int n) override;
    void flushAll() override;
    // Ends the transaction of the outermost lock level now (see above): makes the writes so
    // far durable and empties the journal; raises when the disk refuses (the journal then
    // stays, and the next writer or opener rolls the writes back). Nothing without one.
    void commitWrites();
    // True while writes go to the journal (AutoFlush on, index locks held).
    bool writesJournalled() const override;
    // The table's rollback journal (nullptr before the first journalled write).
    const RollbackJournal* rollbackJournal() const { return m_journal.get(); }

    // Rebuilds every open index file, then stands on the first acceptable record.
    void reindexAll();

    // Holds the index lock of every open index file, the lock every writer of the table takes
    // (waited for; raises "Error n in Lock of path" as a write would), for as long as it lives:
    // what the holder reads of the table meanwhile is what the next write through this handler
    // changes. Writes made meanwhile take the locks held already. It also checks that every
    // index file is still the one its path names (1012 otherwise).
    class IndexLocks {
      public:
        explicit IndexLocks(GSO_dBHandler& handler);
        ~IndexLocks();
        IndexLocks(const IndexLocks&) = delete;
        IndexLocks& operator=(const IndexLocks&) = delete;

      private:
        GSO_dBHandler& m_handler;
        int m_exceptions;  // in flight when the locks were taken
    };
    // Appends made while a batch lives share one hold of the index locks and of the table's
    // append lock (a span), so that the locks, the header and, on a network file system, the
    // pushes to the server are paid once per span rather than once per row. A span begins
    // with the first append after the last one ended and ends, after an append, when it holds
    // kMaxRows rows or is kMaxTime old, so that the other writers get their turn; its end
    // writes the table's header, pushes the writes of the table and of every index file and
    // lets the locks go. Appends of the batch must be all the handler writes meanwhile.
    class AppendBatch {
      public:
        static constexpr int kMaxRows = 256;
        static constexpr int kMaxTimeMs = 100;
        // A span that ends in a commit point (AutoFlush) pays a few syncs of the disk: it is
        // let run longer, so that they stay a small part of its time.
        static constexpr int kMaxCommittedRows = 4096;
        static constexpr int kMaxCommittedTimeMs = 1000;
        explicit AppendBatch(GSO_dBHandler& handler);
        // Ends a span still held; a failure here is not raised (finish() raises it).
        ~AppendBatch();
        AppendBatch(const AppendBatch&) = delete;
        AppendBatch& operator=(const AppendBatch&) = delete;
        // Ends the span now; raises when its header or its push fails.
        void finish();
        // Spans begun so far (for measurements and tests).
        int spans() const { return m_spans; }

      private:
        friend class GSO_dBHandler;
        void beginSpan();
        void appended();
        GSO_dBHandler& m_handler;
        bool m_holding = false;
        int m_rows = 0;
        int m_spans = 0;
        int64_t m_startNs = 0;
    };
    // True when record `n` on disk holds exactly the recordLength() bytes `expected` (read past
    // the handler's buffers).
    bool recordReads(int n, const uint8_t* expected);
    // Writes `after` over record n (1..recordCount()), whose bytes are `before` (each
    // recordLength() bytes), when that changes no tag of the open index files: every tag
    // gives both images the same key and the same filter result, so every tag already holds
    // the record where it belongs. False, and nothing written, when some tag would change (the
    // caller writes the record the ordinary way then). REQUIRES: the caller holds IndexLocks
    // (when index files are open) and has read `before` from the disk while holding them. The
    // header is left for writeHeaderOfOverwrites(), written once for many such records; the
    // current record and its images stay as they were.
    bool overwriteKeepingKeys(int n, const uint8_t* before, const uint8_t* after);

    // Whether the open index files hold the keys of the records appended since the handler last
    // knew them all covered (records 1..coveredRecords(): those there at the open, which the
    // program rebuilds at start, those counted by the last rebuild, and this handler's own
    // appends). Copies of the program add a record's keys with the record; other dBASE software
    // appends rows and leaves the index file alone. Looked at under the index lock, one seek
    // per tag and record: true, and the records count as covered from now on, when every tag
    // holds each record's key (a tag whose filter a record fails holds none, a unique tag
    // holds its key once); false when a key is missing, and the index then needs a rebuild.
    bool appendedRecordsIndexed();
    int coveredRecords() const { return m_coveredRecords; }

    // A quick look, a few hundred seeks whatever the table's size, at whether the open index
    // files hold the table as it is now, so that rows can be shown before the rebuild that
    // follows. Under the index lock: every tag must hold, each under the key its record gives
    // now, the table's last record, its first kCoverSamples records, kCoverSamples records
    // spread evenly over it, and the records of the first kCoverSamples entries of the current
    // tag (which must lie inside the table). False when any is missing, when the table ends
    // inside a record, when an index cannot be read and when the table was written after an
    // index file (see IndexLook::Marks): a rebuild killed before it was done leaves tags
    // without a root, another program's appends leave the last record out. True for a table
    // without records. The current record is undefined afterwards.
    static constexpr int kCoverSamples = 64;
    bool indexesCoverTable();

    // A look (see IndexLook), under the index locks every writer takes; what it finds is looked at
    // again in the files as the server holds them (on a network file system) before it is told.
    // Raises the engine's errors of an index that cannot be read. The current record is undefined
    // afterwards, but for Marks.
    std::optional<IndexDisagreement> indexDisagreement(IndexLook look);
    // Whether the current record, reached in the current tag's order, still gives the key it
    // was found under. One key computed from the record; only when it differs are the locks
    // taken and the record read again (a writer of this program changes a record and its keys
    // under one lock, so only another program leaves them apart).
    std::optional<IndexDisagreement> currentRecordDisagreement();

    void setFilterActive(bool on) { m_filterActive = on; }
    bool filterActive() const { return m_filterActive; }
    bool found() const { return m_found; }
    bool outOfOrder() const { return m_outOfOrder; }
    void setReadAhead(bool on);
    bool readAhead() const { return m_readAhead; }

    // The record filter; the plain handler accepts every record.
    virtual bool recordFilter() { return true; }
    // What the record filter asks of one field, as far as a key can tell (none: nothing can be
    // told). Asked at the start of every move.
    virtual std::optional<KeyFilter> recordKeyFilter() { return std::nullopt; }
    // What the record filter asks of one field's stored bytes (none: nothing can be told).
    // Asked at the start of every move in tag order. A walk whose records fail it often
    // (kScanAfterRejected records, or an eighth of that when fewer than one record in
    // kScanRejectRate passed) scans the table once, in large reads past the mapping, for the
    // records that pass (RecordCandidates), and passes over the entries of the others in the
    // tag without reading their records. The scan serves while the table's change stamp and
    // the test stay as they were at its start; any write drops it.
    virtual std::optional<FieldBytesTest> recordBytesTest() { return std::nullopt; }
    static constexpr int kScanAfterRejected = 2048;
    static constexpr int kScanRejectRate = 64;
    static constexpr size_t kScanReadBytes = 1 << 20;
    // How many records whose bytes fail the test a walk reads before it scans whatever passed
    // meanwhile (tests lower it).
    void setScanAfterRejected(int records) { m_scanAfterRejected = records; }
    // The records the last scan found passing, or nullptr (tests look at it).
    const RecordCandidates* recordCandidates() const { return m_candidates.get(); }
    // A move in record order that read this many records (a walk through the filter) gives
    // the pages of the mapped table it read back at its end, as does a move that ends at either
    // end of the order.
    static constexpr int kWalkRecords = 1024;
    // A walk in tag order (from a first or last move, a seek or a move to a record number on)
    // reads its first kShortWalkRecords records past the mapping, with a system call each: a
    // window's rows or a search's matches take nothing of the table into the resident set. The
    // records a longer walk reads come from the mapping, and the pages it maps stay until the
    // walk ends (at either end of the order, or when a new walk begins) or releaseReadPages: a
    // pass through the whole order holds what it read of the table, as any reader of the whole
    // table would, rather than mapping the same pages again and again.
    static constexpr int kShortWalkRecords = 4096;
    // Gives the pages of the mapped table read since the last time back to the page cache:
    // the system maps whole runs of pages around each record read, so even a few hundred
    // records read in name order can take hundreds of megabytes of the resident set.
    void releaseReadPages();
    // Asks the system to read from the disk, side by side, the records of up to `max` entries
    // that follow the current one in the current tag's held leaf, leaving out those the
    // record filter's key filter or the last scan rejects; returns how many were asked for.
    // A reader that will show them next waits for one seek instead of one per record when the
    // table is not in the page cache. None without a tag.
    int willNeedUpcoming(int max);
    // Rebuild progress: (-1, phase, total), (phase, position, 0), (0, 0, 0).
    virtual void reportStatus(int, int, int) {}

  protected:
    bool readRecord(int n, uint8_t* into) override;
    void recordWritten(bool isNew) override;
    bool hasOpenIndexFiles() const override { return indexFileCount() > 0; }
    void bytesWritten(uint64_t offset, const uint8_t* data, size_t count) override;

  private:
    void lockIndexFiles();
    void unlockIndexFiles();
    // Marks the index files modified now, after the table (see GSO_DiskFile::markModifiedNow).
    void markIndexFilesAfterTable();
    // Raises when the writes of an index file cannot be pushed to its server.
    void pushIndexWrites();
    void releaseCurrentTag();
    void forwardProgress(const IndexProgress& progress);
    void dropReadAhead() { m_bufferCount = 0; }
    void prefetchAhead(bool forward, const KeyFilter* keys);
    // Reads record `n` named by the tag; false when the table ends before it (short read).
    bool gotoTaggedRecord(int n);
    // Reads record `n` into `record` (its length and one byte more) and tells whether every tag
    // that takes it holds it under its current key; false also when the table ends before it.
    // The caller restores the record buffer.
    // `missing`, when given, names the tag that lacks the key.
    bool recordKeysIndexed(int n, std::vector<uint8_t>& record, GSobjMDXTag** missing = nullptr);
    // The records of the quick look (see indexesCoverTable), each under its keys. REQUIRES the
    // index locks.
    std::optional<IndexDisagreement> sampledDisagreement();
    // The index file the table was written after, when a local disk holds both.
    std::optional<IndexDisagreement> unmarkedTableWrite();
    std::optional<IndexDisagreement> disagreementNow(IndexLook look);
    // The record filter's key filter when the current tag's keys are the stored bytes of the
    // field it tests, whole; otherwise none.
    std::optional<KeyFilter> tagKeyFilter();
    // The record filter's bytes test when it names a character field of the table.
    std::optional<FieldBytesTest> usableBytesTest();
    // Drops the candidates when `test` is not theirs or the table changed since their scan.
    void checkCandidates(const std::optional<FieldBytesTest>& test);
    // Scans the table for the records that pass `test` (see recordBytesTest).
    void scanCandidates(const FieldBytesTest& test);

    // Begins the journal's transaction under the index locks just taken.
    void beginJournal();
    // Undoes the writes of the transaction (a write that raised), as far as they went.
    void rollBackWrites();
    // Forgets what the rollback of a journal may have changed under this handler.
    void afterRollback();
    bool m_rollBackOnUnlock = false;
    bool m_noJournal = false;  // the journal cannot be made in the table's folder
    uint64_t indexWriteCount() const;

    std::unique_ptr<RollbackJournal> m_journal;
    uint64_t m_indexWritesAtLock = 0;
    std::array<std::unique_ptr<GSobjMDXFile>, kIndexSlots> m_slots;
    GSobjMDXTag* m_tag = nullptr;
    std::string m_tagName;
    bool m_filterActive = false;
    bool m_found = false;
    bool m_outOfOrder = false;
    int m_lockedFiles = 0;
    // The table's write count when the index locks were taken.
    uint64_t m_writesAtIndexLock = 0;
    // A commit made while the index locks are held found the table written: the index files
    // are marked when the locks go (see markIndexFilesAfterTable).
    bool m_markAtUnlock = false;
    int m_indexLockDepth = 0;
    int m_coveredRecords = 0;
    AppendBatch* m_batch = nullptr;

    int m_recordsRead = 0;  // through the mapping, since the pages were last given back
    int m_walkRecords = 0;  // records read in tag order since the walk began
    int m_walkMapped = 0;   // of those, read through the mapping since the pages were given back

    std::unique_ptr<RecordCandidates> m_candidates;
    FieldBytesTest m_candidatesTest;
    FileChangeStamp m_candidatesStamp;
    bool m_candidatesUseDeleted = false;  // deleted records were scanned as candidates
    int m_bytesRejected = 0;              // records this walk read whose bytes failed the test
    int m_bytesPassed = 0;                // and those it accepted or whose bytes passed
    int m_scanAfterRejected = kScanAfterRejected;

    bool m_readAhead = true;
    std::vector<uint8_t> m_buffer;
    int m_bufferFirst = 0;  // record number of the buffer's first record
    int m_bufferCount = 0;  // records held
};

class DBFObject : public GSO_dBHandler {
  public:
    DBFObject(TEngineDataSet& dataSet, std::string_view fileName, bool shared, bool readWrite)
        : GSO_dBHandler(fileName, shared, readWrite), m_dataSet(dataSet) {}

    bool recordFilter() override;
    std::optional<KeyFilter> recordKeyFilter() override;
    std::optional<FieldBytesTest> recordBytesTest() override;
    void reportStatus(int a, int b, int c) override;

  private:
    TEngineDataSet& m_dataSet;
};

}  // namespace abonex
