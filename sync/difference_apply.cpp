#include "sync/difference_apply.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/file/engine_error.h"
#include "sync/helper_thread.h"
#include "sync/table_scan.h"

namespace abonex {

namespace {

// How many entries are applied under one index lock, after which the table's pages they read
// are given back.
constexpr size_t kEntriesPerBatch = 256;

// The first batch of records a step reads, and the largest.
constexpr int kScanGroup = 32;
constexpr int kLargestScanBatch = 8192;

constexpr MatchLevel kLevels[] = {MatchLevel::NameAndPhones, MatchLevel::NameAndPhone1,
                                  MatchLevel::Name};

// The texts a level compares, folded, as one text (field texts never hold a NUL).
std::string lookupKey(MatchLevel level, const RecordTexts& folded) {
    std::string key = folded.name;
    if (level != MatchLevel::Name) key += '\0' + folded.phone1;
    if (level == MatchLevel::NameAndPhones) key += '\0' + folded.phone2;
    return key;
}

uint64_t hashOf(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

}  // namespace

// The hashes of the keys some entry looks up, in one open-addressing table: most records of
// the table are looked up by no entry, and a look here tells so without making a text.
class DifferenceApply::KeyHashes {
  public:
    void clear() {
        m_slots.assign(1024, 0);
        m_used = 0;
    }
    void add(uint64_t hash) {
        hash |= 1;  // 0 marks a free slot
        if ((m_used + 1) * 2 > m_slots.size()) grow();
        if (place(m_slots, hash)) ++m_used;
    }
    bool mayHold(uint64_t hash) const {
        hash |= 1;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = spread(hash) & mask;; i = (i + 1) & mask) {
            if (m_slots[i] == hash) return true;
            if (m_slots[i] == 0) return false;
        }
    }

  private:
    static size_t spread(uint64_t hash) { return static_cast<size_t>(hash ^ (hash >> 29)); }
    static bool place(std::vector<uint64_t>& slots, uint64_t hash) {
        const size_t mask = slots.size() - 1;
        for (size_t i = spread(hash) & mask;; i = (i + 1) & mask) {
            if (slots[i] == hash) return false;
            if (slots[i] == 0) {
                slots[i] = hash;
                return true;
            }
        }
    }
    void grow() {
        std::vector<uint64_t> slots(m_slots.size() * 2, 0);
        for (const uint64_t hash : m_slots) {
            if (hash != 0) place(slots, hash);
        }
        m_slots = std::move(slots);
    }

    std::vector<uint64_t> m_slots = std::vector<uint64_t>(1024, 0);
    size_t m_used = 0;
};

DifferenceApply::DifferenceApply(TEngineDataSet& change, SyncDirection direction, ChangeSide side)
    : m_change(change),
      m_changesTarget(changesTarget(direction, side)),
      m_keyHashes(std::make_unique<KeyHashes>()),
      m_nameHashes(std::make_unique<KeyHashes>()) {}

DifferenceApply::~DifferenceApply() {
    holdReadAhead(false);
}

void DifferenceApply::run(const std::vector<DifferenceEntry>& entries,
                          const std::vector<bool>& chosen) {
    begin(entries, chosen);
    while (step(Clock::time_point::max())) {
    }
}

void DifferenceApply::begin(const std::vector<DifferenceEntry>& entries,
                            const std::vector<bool>& chosen) {
    holdReadAhead(false);
    m_work.clear();
    for (size_t i = 0; i < entries.size() && i < chosen.size(); ++i) {
        if (chosen[i]) m_work.push_back(&entries[i]);
    }
    m_counts = {};
    for (auto& records : m_records) records.clear();
    m_nextEntry = 0;
    m_prepared = 0;
    m_done = 0;
    m_reading = false;
    m_scan.reset();
    m_halves = {};
    m_total = 0;
    m_added.clear();
    m_visitedRecords.clear();
    m_keyHashes->clear();
    m_nameHashes->clear();
    m_texts.reset();
    if (m_work.empty()) return;
    // Buckets for every key at once: growing the tables rehashes all they hold in one go, a
    // pause of its own when the entries are many.
    for (auto& records : m_records) records.reserve(m_work.size());
    m_change.setFiltered(false);
    // Records appended after this count are read under the writers' lock when an insert looks.
    m_change.handler()->RefreshHeader();
    m_recordsRead = m_change.RecordCount();
    // The entries' records are read and written straight in the table file when its fields
    // can be read so; a record whose write would change an index key goes through the data
    // set.
    if (TableScan::suits(m_change)) m_texts = std::make_unique<TableScan>(m_change);
    // Each entry is looked at once to learn what it looks up, then the table is read once,
    // then the entries are applied.
    m_total = static_cast<int>(m_work.size()) + std::max(0, m_recordsRead) +
              static_cast<int>(m_work.size());
}

bool DifferenceApply::step(Clock::time_point deadline) {
    // The clock is looked at every few records or entries: each takes far less than a look.
    constexpr int kItemsBetweenLooks = 64;
    int sinceLook = 0;
    const auto timeIsUp = [&] {
        if (++sinceLook < kItemsBetweenLooks) return false;
        sinceLook = 0;
        return Clock::now() >= deadline;
    };
    while (m_prepared < m_work.size()) {
        prepareLookup(*m_work[m_prepared++]);
        ++m_done;
        if (m_prepared == m_work.size()) {
            // The table is read from its file in large chunks when it can be, else through
            // the data set.
            if (TableScan::suits(m_change)) {
                m_scan = std::make_unique<TableScan>(m_change);
            } else {
                m_change.First();
            }
            m_reading = true;
        }
        if (timeIsUp()) return true;
    }
    // The table is read in batches that double from one group to the next, so that a step that
    // ends at once reads few records; each batch is looked at in two halves at once.
    int batchRecords = kScanGroup;
    while (m_reading && m_scan) {
        if (!scanBatch(batchRecords)) {
            m_reading = false;
            m_scan.reset();
            m_halves.stop();
            m_batch = {};
            break;
        }
        batchRecords = std::min(batchRecords * 2, kLargestScanBatch);
        if (Clock::now() >= deadline) return true;
    }
    while (m_reading) {
        if (m_change.Eof()) {
            m_reading = false;
            break;
        }
        if (m_change.RecNo() <= m_recordsRead) {
            noteRecord(m_change.RecNo(), currentRecordTexts(m_change), true);
        }
        m_change.Next();
        ++m_done;
        if (timeIsUp()) return true;
    }
    if (m_nextEntry < m_work.size()) {
        // The entries' records lie anywhere in the table: reading ahead of each would bring in
        // pages no entry needs.
        holdReadAhead(true);
    }
    while (m_nextEntry < m_work.size()) {
        // The entries are applied in batches under one index lock: every write of the batch
        // takes the lock held already, and other writers get their turn between batches.
        std::optional<GSO_dBHandler::IndexLocks> locks;
        if (m_change.handler()->indexFileCount() > 0) locks.emplace(*m_change.handler());
        const size_t batchEnd = std::min(m_work.size(), m_nextEntry + kEntriesPerBatch);
        // What another writer did before the lock is seen now: the records the table holds.
        m_change.handler()->RefreshHeader();
        bool timeUp = false;
        try {
            while (m_nextEntry < batchEnd && !timeUp) {
                applyEntry(*m_work[m_nextEntry++]);
                ++m_done;
                // An entry writes: the clock is looked at after each.
                timeUp = m_nextEntry < m_work.size() && Clock::now() >= deadline;
            }
        } catch (...) {
            finishBatch();
            // What was applied before the error stays applied, and durable.
            m_change.handler()->commitWrites();
            throw;
        }
        finishBatch();
        // The batch is on the disk before the locks go (a commit point of the apply).
        m_change.handler()->commitWrites();
        locks.reset();
        givePagesBack();
        if (timeUp) return true;
    }
    holdReadAhead(false);
    m_total = m_done;  // deleted records were not read
    return false;
}

void DifferenceApply::holdReadAhead(bool hold) {
    if (hold == m_readAheadHeld || !m_change.Active()) return;
    DBFObject& table = *m_change.handler();
    if (hold) {
        m_readAheadWas = table.readAhead();
        table.setReadAhead(false);
    } else {
        table.setReadAhead(m_readAheadWas);
    }
    m_readAheadHeld = hold;
}

void DifferenceApply::finishBatch() {
    // The records written straight to the file get the header that dates them, once, and the
    // data set reads its current record again, which one of them may have been.
    if (!m_overwritten) return;
    m_overwritten = false;
    m_change.handler()->writeHeaderOfOverwrites();
    if (!m_change.IsEmpty() && m_change.RecNo() >= 1 &&
        m_change.RecNo() <= m_change.handler()->recordCount()) {
        m_change.handler()->GotoRecord(m_change.RecNo());
    }
}

void DifferenceApply::goToRecord(int record) {
    m_change.GotoRecNo(record);
    m_visitedRecords.push_back(record);
}

void DifferenceApply::givePagesBack() {
    // The entries' records lie anywhere in the table: only the pages that held them go, so
    // that the table's pages do not pile up in the resident set, nor is the whole mapping
    // walked each time.
    // A fault on a mapped file brings in its neighbours too (up to an aligned 64 KB window):
    // the whole window of each record goes.
    constexpr uint64_t kWindow = 64 * 1024;
    // Windows that touch or overlap go in one call.
    DBFObject& table = *m_change.handler();
    const auto length = static_cast<uint64_t>(table.recordLength());
    std::sort(m_visitedRecords.begin(), m_visitedRecords.end());
    uint64_t runBegin = 0;
    uint64_t runEnd = 0;
    for (const int record : m_visitedRecords) {
        const uint64_t offset = static_cast<uint64_t>(table.headerLength()) +
                                static_cast<uint64_t>(record - 1) * length;
        const uint64_t begin = offset / kWindow * kWindow;
        const uint64_t end = (offset + length + kWindow - 1) / kWindow * kWindow;
        if (runEnd > runBegin && begin <= runEnd) {
            runEnd = std::max(runEnd, end);
            continue;
        }
        if (runEnd > runBegin) table.releaseMappedPages(runBegin, runEnd - runBegin);
        runBegin = begin;
        runEnd = end;
    }
    if (runEnd > runBegin) table.releaseMappedPages(runBegin, runEnd - runBegin);
    m_visitedRecords.clear();
}

void DifferenceApply::prepareLookup(const DifferenceEntry& entry) {
    const MatchLevel level = entryLevel(entry.kind);
    // An insert looks for records of the name it would add.
    const bool insert = entry.kind == DifferenceKind::Missing && m_changesTarget;
    const RecordTexts& keys = m_changesTarget != insert ? entry.target : entry.source;
    const RecordTexts folded = foldedTexts(keys);
    m_nameHashes->add(hashOf(folded.name));
    std::string key = lookupKey(level, folded);
    m_keyHashes->add(hashOf(key));
    m_records[static_cast<size_t>(level)][std::move(key)];
}

void DifferenceApply::readAppendedRecords() {
    m_change.handler()->RefreshHeader();
    const int count = m_change.RecordCount();
    for (int record = m_recordsRead + 1; record <= count; ++record) {
        goToRecord(record);
        if (!m_change.handler()->isDeleted()) {
            noteRecord(record, currentRecordTexts(m_change), true);
        }
    }
    m_recordsRead = count;
}

bool DifferenceApply::nameTakenElsewhere(const RecordTexts& values) {
    const auto found = m_records[static_cast<size_t>(MatchLevel::Name)].find(
        lookupKey(MatchLevel::Name, foldedTexts(values)));
    if (found == m_records[static_cast<size_t>(MatchLevel::Name)].end()) return false;
    for (const int record : found->second) {
        if (m_added.contains(record)) continue;
        // Another program may have changed or deleted the record since the table was read.
        if (m_texts) {
            readImage(record);
            if (m_image[0] != kDeletedFlag &&
                syncKeysMatch(MatchLevel::Name, values, imageTexts(m_image))) {
                return true;
            }
            continue;
        }
        goToRecord(record);
        if (!m_change.handler()->isDeleted() &&
            syncKeysMatch(MatchLevel::Name, values, currentRecordTexts(m_change))) {
            return true;
        }
    }
    return false;
}

bool DifferenceApply::scanBatch(int records) {
    // The images are copied (the scan's chunk moves on), only the fields the apply reads; the
    // records appended since the apply began are read under the writers' lock when an insert
    // looks, not here.
    m_scan->copyNext(m_batch, records, m_recordsRead);
    const int count = m_batch.copied;
    // Which records some entry looks for: two halves at once, as the tables of keys are only
    // read meanwhile; then those records are noted in file order.
    m_halves.run(count, kScanGroup, [&](int part, int begin, int end) {
        ScanPart& scanPart = m_scanParts[static_cast<size_t>(part)];
        scanPart.hits.clear();
        for (int i = begin; i < end; ++i) {
            if (lookedFor(m_batch.image(i), scanPart)) {
                scanPart.hits.push_back(i);
            }
        }
    });
    for (ScanPart& scanPart : m_scanParts) {
        for (const int i : scanPart.hits) {
            noteScannedRecord(m_batch.numbers[static_cast<size_t>(i)], m_batch.image(i));
        }
        scanPart.hits.clear();
    }
    m_done += m_batch.read;
    return !m_batch.ended;
}

bool DifferenceApply::lookedFor(const uint8_t* image, ScanPart& part) const {
    // Most records are looked up by no entry: the keys are made in one reused text, the name
    // first. The keys' hashes tell most records apart; the tables of texts are asked only on a
    // hit.
    std::string& key = part.key;
    std::string& text = part.text;
    m_scan->foldedInto(image, kFieldName, key);
    // Every key begins with the name: a name no key has ends the look.
    if (!m_nameHashes->mayHold(hashOf(key))) return false;
    if (m_keyHashes->mayHold(hashOf(key)) &&
        m_records[static_cast<size_t>(MatchLevel::Name)].contains(key)) {
        return true;
    }
    m_scan->foldedInto(image, kFieldPhone1, text);
    key += '\0';
    key += text;
    if (m_keyHashes->mayHold(hashOf(key)) &&
        m_records[static_cast<size_t>(MatchLevel::NameAndPhone1)].contains(key)) {
        return true;
    }
    m_scan->foldedInto(image, kFieldPhone2, text);
    key += '\0';
    key += text;
    return m_keyHashes->mayHold(hashOf(key)) &&
           m_records[static_cast<size_t>(MatchLevel::NameAndPhones)].contains(key);
}

void DifferenceApply::noteScannedRecord(int record, const uint8_t* image) {
    // No record texts are made unless a key matches.
    RecordTexts texts;
    m_scan->textInto(image, kFieldName, texts.name);
    m_scan->textInto(image, kFieldPhone1, texts.phone1);
    m_scan->textInto(image, kFieldPhone2, texts.phone2);
    noteRecord(record, texts, true);
}

void DifferenceApply::noteRecord(int record, const RecordTexts& texts, bool present) {
    const RecordTexts folded = foldedTexts(texts);
    for (MatchLevel level : kLevels) {
        auto& byKey = m_records[static_cast<size_t>(level)];
        const auto found = byKey.find(lookupKey(level, folded));
        if (found == byKey.end()) continue;  // no entry looks for this key
        std::vector<int>& records = found->second;
        const auto at = std::lower_bound(records.begin(), records.end(), record);
        const bool held = at != records.end() && *at == record;
        if (present && !held) {
            records.insert(at, record);
        } else if (!present && held) {
            records.erase(at);
        }
    }
}

int DifferenceApply::currentRecord(MatchLevel level, const RecordTexts& keys) {
    auto& byKey = m_records[static_cast<size_t>(level)];
    const auto found = byKey.find(lookupKey(level, foldedTexts(keys)));
    if (found == byKey.end()) return 0;
    std::vector<int>& records = found->second;
    while (!records.empty()) {
        const int record = records.front();
        // Another program may have changed or deleted the record since the table was read.
        if (m_texts) {
            readImage(record);
            if (m_image[0] != kDeletedFlag && syncKeysMatch(level, keys, imageTexts(m_image))) {
                return record;
            }
        } else {
            goToRecord(record);
            if (!m_change.handler()->isDeleted() &&
                syncKeysMatch(level, keys, currentRecordTexts(m_change))) {
                return record;
            }
        }
        records.erase(records.begin());
    }
    return 0;
}

}  // namespace abonex
