#include "sync/scan_comparison.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string_view>
#include <utility>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_tag.h"
#include "sync/helper_thread.h"
#include "sync/sync_match.h"

namespace abonex {

namespace {

constexpr int kName = 0;
constexpr int kPhone1 = 1;
constexpr int kPhone2 = 2;

// The slots of one lookup table, zeroed, in memory the system is asked to back with large
// pages: the tables of a large target span tens of megabytes probed at random, and with small
// pages nearly every probe would also miss the processor's page table cache.
template <typename Slot>
class SlotArray {
  public:
    SlotArray() = default;
    SlotArray(SlotArray&& other) noexcept { swap(other); }
    SlotArray& operator=(SlotArray&& other) noexcept {
        SlotArray(std::move(other)).swap(*this);
        return *this;
    }
    ~SlotArray() { std::free(m_slots); }

    // `count` free slots (a power of two); what was held is dropped.
    void assign(size_t count) {
        constexpr size_t kLargePage = size_t{2} << 20;
        const size_t bytes = std::max(count * sizeof(Slot), kLargePage);
        const size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (memory == nullptr) throw std::bad_alloc();
        // Only a hint: without large pages the table works the same.
        ::madvise(memory, rounded, MADV_HUGEPAGE);
        std::memset(memory, 0, count * sizeof(Slot));
        std::free(m_slots);
        m_slots = static_cast<Slot*>(memory);
        m_count = count;
    }
    size_t size() const { return m_count; }
    Slot& operator[](size_t i) { return m_slots[i]; }
    const Slot& operator[](size_t i) const { return m_slots[i]; }

  private:
    void swap(SlotArray& other) noexcept {
        std::swap(m_slots, other.m_slots);
        std::swap(m_count, other.m_count);
    }
    Slot* m_slots = nullptr;
    size_t m_count = 0;
};

}  // namespace

// A record's three texts as the matching rule compares them, with the hash of each level: a
// level's hash covers the texts it compares.
struct ScanComparison::Keys {
    std::array<std::string, TableScan::kFields> text;
    std::array<uint64_t, 3> hash{};

    void fold(const TableScan& scan, const uint8_t* record) {
        for (int field = 0; field < TableScan::kFields; ++field) {
            scan.foldedInto(record, field, text[static_cast<size_t>(field)]);
        }
        const std::hash<std::string_view> hashOf;
        const uint64_t name = hashOf(text[kName]);
        const uint64_t phone1 = combine(name, hashOf(text[kPhone1]));
        const uint64_t phone2 = combine(phone1, hashOf(text[kPhone2]));
        hash[static_cast<size_t>(MatchLevel::Name)] = mix(name);
        hash[static_cast<size_t>(MatchLevel::NameAndPhone1)] = mix(phone1);
        hash[static_cast<size_t>(MatchLevel::NameAndPhones)] = mix(phone2);
    }
    uint64_t hashAt(MatchLevel level) const { return hash[static_cast<size_t>(level)]; }

  private:
    static uint64_t combine(uint64_t seed, uint64_t value) {
        return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
    }
    // Spreads every bit over the whole word: the low bits choose a slot, the high bits check it.
    static uint64_t mix(uint64_t x) {
        x ^= x >> 30;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 27;
        x *= 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }
};

namespace {

// True when the texts agree at `level`.
bool sameAt(MatchLevel level, const std::array<std::string, 3>& a,
            const std::array<std::string, 3>& b) {
    if (a[kName] != b[kName]) return false;
    if (level == MatchLevel::Name) return true;
    if (a[kPhone1] != b[kPhone1]) return false;
    if (level == MatchLevel::NameAndPhone1) return true;
    return a[kPhone2] == b[kPhone2];
}

}  // namespace

// A reader of the target for the records a lookup reads back to confirm a slot: the record
// last read back and its folded texts. One per thread.
struct ScanComparison::Reader {
    explicit Reader(TableScan& scan) : table(scan) {}
    TableScan& table;
    const uint8_t* found = nullptr;
    std::array<std::string, TableScan::kFields> texts;
};

// What one thread needs to compare source records: its own reader of the target, keys, and the
// differences it found in the batch.
struct ScanComparison::Part {
    Part(TEngineDataSet& target, size_t chunkBytes) : targetScan(target, chunkBytes) {}
    TableScan targetScan;
    Reader reader{targetScan};
    std::vector<Keys> keys;
    std::array<std::string, TableScan::kFields> exact;  // texts the exact tests make
    std::vector<Pending> pending;
    int lastLookedUp = -1;  // the batch's last record looked up by this part, or -1
};

// The first target record of each folded name, name and first phone, and name and phones.
//
// Each level is an open-addressing table of eight-byte slots, probed linearly: the high half of
// the key's hash, and a record number (names with phones) or a name's entry (names). A slot whose
// hash agrees is confirmed by reading its record back from the target, or, for names, by the
// folded name kept in the arena. Records are added on one thread; once all are, lookups may be
// made on several at once, each with its own reader.
class ScanComparison::Lookup {
  public:
    Lookup(TableScan& target, bool byName) : m_adding(target), m_byName(byName) {
        // Room for every record without growing, at most three quarters full.
        size_t slots = 1024;
        while (slots * 3 < static_cast<size_t>(target.recordCount()) * 4) slots *= 2;
        m_tables[static_cast<size_t>(MatchLevel::NameAndPhones)].slots.assign(slots);
        m_tables[static_cast<size_t>(MatchLevel::NameAndPhone1)].slots.assign(slots);
        m_tables[static_cast<size_t>(MatchLevel::Name)].slots.assign(1024);
    }

    // Adds target record `recordNumber` (image `record`), read after every record of a smaller
    // number.
    void add(const uint8_t* record, int recordNumber, const Keys& keys) {
        prefetch(keys);
        const std::string_view stored = m_adding.table.storedText(record, kName);
        if (Slot* slot = findName(keys)) {
            NameEntry& entry = m_names[slot->value - 1];
            if (m_byName && compareStoredKeys(stored, storedName(entry)) < 0) {
                keepName(entry, stored, keys.text[kName]);
                entry.record = static_cast<uint32_t>(recordNumber);
            }
        } else {
            NameEntry entry;
            entry.record = static_cast<uint32_t>(recordNumber);
            entry.hash = keys.hashAt(MatchLevel::Name);
            keepName(entry, stored, keys.text[kName]);
            m_names.push_back(entry);
            insert(MatchLevel::Name, keys.hashAt(MatchLevel::Name),
                   static_cast<uint32_t>(m_names.size()));
        }
        for (MatchLevel level : {MatchLevel::NameAndPhone1, MatchLevel::NameAndPhones}) {
            if (Slot* slot = findRecord(level, keys, m_adding)) {
                // findRecord left the earlier record's image in the reader.
                if (m_byName && compareStoredKeys(
                                    stored, m_adding.table.storedText(m_adding.found, kName)) < 0) {
                    slot->value = static_cast<uint32_t>(recordNumber);
                }
            } else {
                insert(level, keys.hashAt(level), static_cast<uint32_t>(recordNumber));
            }
        }
    }

    // Asks the processor for the first slot of each level's probe at once, so that the three
    // tables' cache misses overlap instead of following one another.
    void prefetch(const Keys& keys) const {
        for (MatchLevel level :
             {MatchLevel::Name, MatchLevel::NameAndPhone1, MatchLevel::NameAndPhones}) {
            const SlotArray<Slot>& slots = m_tables[static_cast<size_t>(level)].slots;
            __builtin_prefetch(&slots[keys.hashAt(level) & (slots.size() - 1)]);
        }
    }

    // Once the slots prefetch() asked for are in: asks for the name entry and its texts that the
    // first slot of the keys' name probe leads to.
    void prefetchName(const Keys& keys) const {
        const SlotArray<Slot>& slots = m_tables[static_cast<size_t>(MatchLevel::Name)].slots;
        const uint64_t hash = keys.hashAt(MatchLevel::Name);
        const Slot& slot = slots[hash & (slots.size() - 1)];
        if (slot.value == 0 || slot.check != checkOf(hash)) return;
        const NameEntry& entry = m_names[slot.value - 1];
        __builtin_prefetch(&entry);
        __builtin_prefetch(m_arena.data() + entry.offset);
    }

    // The image of the first target record matching `keys` at a level with phones, read back
    // by `reader`, or nullptr. Valid until the reader's next lookup.
    const uint8_t* find(MatchLevel level, const Keys& keys, Reader& reader) const {
        return findRecord(level, keys, reader) != nullptr ? reader.found : nullptr;
    }

    // The record number of the first target record whose folded name is the keys', or 0; its
    // stored name in `stored`.
    int findFirstOfName(const Keys& keys, std::string_view& stored) const {
        const Slot* slot = findName(keys);
        if (slot == nullptr) return 0;
        const NameEntry& entry = m_names[slot->value - 1];
        stored = storedName(entry);
        return static_cast<int>(entry.record);
    }

  private:
    struct Slot {
        uint32_t check = 0;
        uint32_t value = 0;  // 0: the slot is free
    };
    struct Table {
        SlotArray<Slot> slots;
        size_t used = 0;
    };
    // A name: its stored bytes, then its folded text, in the arena.
    struct NameEntry {
        uint32_t record = 0;
        uint32_t storedLength = 0;
        uint32_t foldedLength = 0;
        size_t offset = 0;
        uint64_t hash = 0;  // of the folded name
    };

    static uint32_t checkOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

    std::string_view storedName(const NameEntry& entry) const {
        return std::string_view(m_arena).substr(entry.offset, entry.storedLength);
    }
    std::string_view foldedName(const NameEntry& entry) const {
        return std::string_view(m_arena).substr(entry.offset + entry.storedLength,
                                                entry.foldedLength);
    }
    void keepName(NameEntry& entry, std::string_view stored, std::string_view folded) {
        entry.offset = m_arena.size();
        entry.storedLength = static_cast<uint32_t>(stored.size());
        entry.foldedLength = static_cast<uint32_t>(folded.size());
        m_arena += stored;
        m_arena += folded;
    }

    Slot* findName(const Keys& keys) {
        return const_cast<Slot*>(std::as_const(*this).findName(keys));
    }
    const Slot* findName(const Keys& keys) const {
        return probe(MatchLevel::Name, keys.hashAt(MatchLevel::Name), [&](const Slot& slot) {
            return foldedName(m_names[slot.value - 1]) == keys.text[kName];
        });
    }

    Slot* findRecord(MatchLevel level, const Keys& keys, Reader& reader) {
        return const_cast<Slot*>(std::as_const(*this).findRecord(level, keys, reader));
    }
    const Slot* findRecord(MatchLevel level, const Keys& keys, Reader& reader) const {
        return probe(level, keys.hashAt(level), [&](const Slot& slot) {
            reader.found = reader.table.readBack(static_cast<int>(slot.value));
            for (int field = 0; field < TableScan::kFields; ++field) {
                reader.table.foldedInto(reader.found, field,
                                        reader.texts[static_cast<size_t>(field)]);
            }
            return sameAt(level, reader.texts, keys.text);
        });
    }

    template <typename Same>
    const Slot* probe(MatchLevel level, uint64_t hash, Same same) const {
        const Table& table = m_tables[static_cast<size_t>(level)];
        const size_t mask = table.slots.size() - 1;
        const uint32_t check = checkOf(hash);
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = table.slots[i];
            if (slot.value == 0) return nullptr;
            if (slot.check == check && same(slot)) return &slot;
        }
    }

    void insert(MatchLevel level, uint64_t hash, uint32_t value) {
        Table& table = m_tables[static_cast<size_t>(level)];
        if (level == MatchLevel::Name && (table.used + 1) * 4 > table.slots.size() * 3) {
            grow(table);
        }
        place(table, hash & (table.slots.size() - 1), Slot{checkOf(hash), value});
        ++table.used;
    }

    static void place(Table& table, size_t start, const Slot& slot) {
        const size_t mask = table.slots.size() - 1;
        size_t i = start;
        while (table.slots[i].value != 0) i = (i + 1) & mask;
        table.slots[i] = slot;
    }

    // Only the names' table grows: the tables with phones have room for every record of the
    // target from the start. Its slots are placed again from the names' hashes.
    void grow(Table& table) {
        SlotArray<Slot> old = std::move(table.slots);
        table.slots.assign(old.size() * 2);
        for (size_t i = 0; i < old.size(); ++i) {
            const Slot& slot = old[i];
            if (slot.value != 0) {
                place(table, m_names[slot.value - 1].hash & (table.slots.size() - 1), slot);
            }
        }
    }

    Reader m_adding;  // the reader of the records added
    bool m_byName;
    std::array<Table, 3> m_tables;
    std::vector<NameEntry> m_names;
    std::string m_arena;
};

bool ScanComparison::suits(TEngineDataSet& dataSet) {
    if (!TableScan::suits(dataSet)) return false;
    DBFObject& table = *dataSet.handler();
    const GSobjMDXTag* tag = table.currentTag();
    if (tag == nullptr) return true;  // record-number order
    const DbfField& name = table.fields()[kName];
    std::string expression = tag->keyExpression();
    while (!expression.empty() && expression.back() == ' ') expression.pop_back();
    while (!expression.empty() && expression.front() == ' ') expression.erase(expression.begin());
    return tag->keyType() == 'C' && tag->ascending() && !tag->unique() && !tag->hasFilter() &&
           tag->filterExpression().empty() && tag->keyLength() >= name.length &&
           upperAscii(expression) == upperAscii(name.name);
}

ScanComparison::ScanComparison(TEngineDataSet& source, TEngineDataSet& target, size_t chunkBytes,
                               int threads)
    : m_sourceByName(source.handler()->currentTag() != nullptr),
      m_sourceScan(source, chunkBytes),
      m_targetScan(target, chunkBytes),
      m_storedAlike(m_sourceScan.sameTextsAs(m_targetScan)),
      m_lookup(std::make_unique<Lookup>(m_targetScan, target.handler()->currentTag() != nullptr)) {
    // The readers are made here, on the owner's thread, from the target as it is now.
    for (int i = 0; i < std::clamp(threads, 1, 2); ++i) {
        m_parts.push_back(std::make_unique<Part>(target, chunkBytes));
    }
    // The data sets are left as a comparison through them would leave them: unfiltered.
    source.setFiltered(false);
    target.setFiltered(false);
}

ScanComparison::~ScanComparison() = default;

bool ScanComparison::step(Clock::time_point deadline) {
    // A step's batches double from one group: a step that ends at once reads few records, a
    // long one hands the helper thread halves worth its wake-up.
    constexpr int kLargestBatch = 8192;
    int batchRecords = kGroupRecords;
    while (m_phase != Phase::Done) {
        if (m_phase == Phase::ReadTarget) {
            if (!readTargetBatch(batchRecords)) {
                m_targetScan.givePagesBack();
                m_phase = Phase::CompareSource;
            }
        } else if (!compareSourceBatch(batchRecords)) {
            finish();
            break;
        }
        batchRecords = std::min(batchRecords * 2, kLargestBatch);
        if (Clock::now() >= deadline) break;
    }
    return m_phase != Phase::Done;
}

bool ScanComparison::inHalves(int count, const std::function<void(int, int, int)>& work) {
    if (m_parts.size() < 2) return runInHalves(nullptr, count, kGroupRecords, work);
    return m_halves.run(count, kGroupRecords, work);
}

bool ScanComparison::readTargetBatch(int records) {
    TableScan& scan = m_targetScan;
    scan.copyNext(m_batch, records);
    const int count = m_batch.copied;
    m_batchKeys.resize(std::max(m_batchKeys.size(), static_cast<size_t>(count)));
    // The records are folded in two halves at once, then added one by one in file order.
    inHalves(count, [&](int, int begin, int end) {
        for (int i = begin; i < end; ++i) {
            m_batchKeys[static_cast<size_t>(i)].fold(scan, m_batch.image(i));
        }
    });
    // The records read back while adding may have been written since the last batch.
    m_targetScan.givePagesBack();
    // A group's lookup slots are asked for at once: the slots of one record lie far apart in
    // large tables, and asking for a group's lets the memory fetch them side by side rather
    // than one after the other.
    for (int group = 0; group < count; group += kGroupRecords) {
        const int end = std::min(count, group + kGroupRecords);
        for (int i = group; i < end; ++i) m_lookup->prefetch(m_batchKeys[static_cast<size_t>(i)]);
        for (int i = group; i < end; ++i) {
            m_lookup->prefetchName(m_batchKeys[static_cast<size_t>(i)]);
        }
        for (int i = group; i < end; ++i) {
            m_lookup->add(m_batch.image(i), m_batch.numbers[static_cast<size_t>(i)],
                          m_batchKeys[static_cast<size_t>(i)]);
        }
    }
    return count == records;
}

bool ScanComparison::compareSourceBatch(int records) {
    m_sourceScan.copyNext(m_batch, records);
    const int count = m_batch.copied;
    if (count == 0) return false;
    const bool split = inHalves(count, [&](int part, int begin, int end) {
        compareBatchPart(*m_parts[static_cast<size_t>(part)], begin, end);
    });
    // The halves' differences one after the other: in file order, as one thread finds them.
    int lastLookedUp = -1;
    for (size_t i = 0; i < (split ? 2u : 1u); ++i) {
        Part& part = *m_parts[i];
        for (Pending& pending : part.pending) m_pending.push_back(std::move(pending));
        part.pending.clear();
        if (part.lastLookedUp >= 0) lastLookedUp = part.lastLookedUp;
        part.lastLookedUp = -1;
    }
    m_visited += count;
    if (lastLookedUp >= 0) {
        m_sourceScan.textInto(m_batch.image(lastLookedUp), kName, m_currentName);
    }
    // Fewer records than asked for: the scan is at its end, and the step that compared the last
    // records ends the comparison (its progress is the last one).
    return count == records;
}

void ScanComparison::compareBatchPart(Part& part, int begin, int end) {
    // The records read back last batch may have been written since.
    part.targetScan.givePagesBack();
    if (part.keys.size() < kGroupRecords) part.keys.resize(kGroupRecords);
    // A group's lookup slots are asked for at once, as the target's are when they are added.
    for (int group = begin; group < end; group += kGroupRecords) {
        const int count = std::min(kGroupRecords, end - group);
        for (int i = 0; i < count; ++i) {
            Keys& keys = part.keys[static_cast<size_t>(i)];
            keys.fold(m_sourceScan, m_batch.image(group + i));
            m_lookup->prefetch(keys);
        }
        for (int i = 0; i < count; ++i) m_lookup->prefetchName(part.keys[static_cast<size_t>(i)]);
        for (int i = 0; i < count; ++i) {
            const uint8_t* image = m_batch.image(group + i);
            if (m_sourceScan.storedText(image, kName).empty()) continue;  // nothing to look up
            part.lastLookedUp = group + i;
            compareSourceRecord(part, image, m_batch.numbers[static_cast<size_t>(group + i)],
                                part.keys[static_cast<size_t>(i)]);
        }
    }
}

void ScanComparison::compareSourceRecord(Part& part, const uint8_t* record, int recordNumber,
                                         Keys& keys) {
    const TableScan& sourceScan = m_sourceScan;
    const TableScan& targetScan = part.targetScan;
    const auto storedOf = [](const TableScan& scan, const uint8_t* image) {
        return StoredTexts{{std::string(scan.storedText(image, kName)),
                            std::string(scan.storedText(image, kPhone1)),
                            std::string(scan.storedText(image, kPhone2))},
                           scan.page()};
    };
    // `found`: the target record's image, nullptr for none.
    const auto add = [&](DifferenceKind kind, const uint8_t* found) {
        Pending pending;
        pending.key = std::string(sourceScan.storedText(record, kName));
        DifferenceEntry& entry = pending.entry;
        entry.kind = kind;
        sourceScan.textInto(record, kName, entry.source.name);
        sourceScan.textInto(record, kPhone1, entry.source.phone1);
        sourceScan.textInto(record, kPhone2, entry.source.phone2);
        entry.sourceStored = storedOf(sourceScan, record);
        if (found != nullptr) {
            targetScan.textInto(found, kName, entry.target.name);
            targetScan.textInto(found, kPhone1, entry.target.phone1);
            targetScan.textInto(found, kPhone2, entry.target.phone2);
            entry.targetStored = storedOf(targetScan, found);
        }
        if (kind == DifferenceKind::Missing) pending.sourceRecord = recordNumber;
        part.pending.push_back(std::move(pending));
    };
    // The exact tests: the names as read, the source's phones trimmed at both ends. When both
    // tables make their texts from the stored bytes alike, the stored bytes are compared (bytes
    // that differ may still give one character), and texts are made only for the differences.
    std::string sourceName, sourcePhone1, sourcePhone2;
    std::string_view name, phone1, phone2;
    if (m_storedAlike) {
        name = sourceScan.storedText(record, kName);
        phone1 = sourceScan.trimmedStored(sourceScan.storedText(record, kPhone1));
        phone2 = sourceScan.trimmedStored(sourceScan.storedText(record, kPhone2));
    } else {
        sourceScan.textInto(record, kName, sourceName);
        sourceScan.textInto(record, kPhone1, sourcePhone1);
        sourceScan.textInto(record, kPhone2, sourcePhone2);
        name = sourceName;
        phone1 = trimmedText(sourcePhone1);
        phone2 = trimmedText(sourcePhone2);
    }
    std::array<std::string, TableScan::kFields>& target = part.exact;
    // Whether the target's field gives the text (or, alike, the stored bytes) `expected`.
    const auto same = [&](const uint8_t* image, int index, std::string_view expected) {
        if (m_storedAlike)
            return targetScan.sameText(targetScan.storedText(image, index), expected);
        std::string& text = target[static_cast<size_t>(index)];
        targetScan.textInto(image, index, text);
        return text == expected;
    };
    Reader& reader = part.reader;
    if (const uint8_t* found = m_lookup->find(MatchLevel::NameAndPhones, keys, reader)) {
        if (same(found, kName, name) && same(found, kPhone1, phone1) &&
            same(found, kPhone2, phone2)) {
            return;  // an identical copy
        }
    }
    if (const uint8_t* found = m_lookup->find(MatchLevel::NameAndPhone1, keys, reader)) {
        if (same(found, kName, name) && same(found, kPhone1, phone1)) {
            add(DifferenceKind::Phone2, found);
            return;
        }
    }
    std::string_view stored;
    const int first = m_lookup->findFirstOfName(keys, stored);
    if (first == 0) {
        add(DifferenceKind::Missing, nullptr);
    } else if (m_storedAlike ? targetScan.sameText(stored, name)
                             : targetScan.translated(stored) == name) {
        add(DifferenceKind::Phone1, reader.table.readBack(first));
    }
}

void ScanComparison::keepFoundSoFar() {
    if (m_phase != Phase::Done) finish();
}

void ScanComparison::finish() {
    m_lookup.reset();  // the result stays; the lookup tables are no longer needed
    m_halves.stop();
    m_batch = {};
    m_batchKeys = {};
    m_targetScan.givePagesBack();
    // A record added from the source carries its comment, which the batches do not copy: read
    // back here, in the source's file order, once the helper thread has stopped.
    for (Pending& pending : m_pending) {
        if (pending.sourceRecord == 0) continue;
        if (!pending.entry.sourceStored) continue;
        pending.entry.sourceStored->comment = std::string(m_sourceScan.storedText(
            m_sourceScan.readBack(pending.sourceRecord), TableScan::kCommentField));
    }
    m_sourceScan.givePagesBack();
    // Found in the source's file order; a name tag orders by the name's stored bytes, and equal
    // names by record number, the order in which they were found.
    if (m_sourceByName) {
        std::stable_sort(
            m_pending.begin(), m_pending.end(),
            [](const Pending& a, const Pending& b) { return compareStoredKeys(a.key, b.key) < 0; });
    }
    m_entries.reserve(m_pending.size());
    for (Pending& pending : m_pending) m_entries.push_back(std::move(pending.entry));
    m_pending.clear();
    m_pending.shrink_to_fit();
    m_phase = Phase::Done;
}

}  // namespace abonex
