#include "sync/scan_comparison.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <utility>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_tag.h"
#include "sync/sync_match.h"

namespace abonex {

namespace {

// How many records a step reads between two looks at the clock.
constexpr int kRecordsPerClockCheck = 64;
// How many source records are compared between two give-backs of the target's pages read back.
constexpr int kRecordsPerGiveBack = 4096;

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

// The first target record of each folded name, name and first phone, and name and phones.
//
// Each level is an open-addressing table of eight-byte slots, probed linearly: the high half of
// the key's hash, and a record number (names with phones) or a name's entry (names). A slot whose
// hash agrees is confirmed by reading its record back from the target, or, for names, by the
// folded name kept in the arena.
class ScanComparison::Lookup {
  public:
    Lookup(TableScan& target, bool byName) : m_target(target), m_byName(byName) {
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
        const std::string_view stored = m_target.storedText(record, kName);
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
            if (Slot* slot = findRecord(level, keys)) {
                // findRecord left the earlier record's image in the read-back buffer.
                if (m_byName &&
                    compareStoredKeys(stored, m_target.storedText(m_found, kName)) < 0) {
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

    // The image of the first target record matching `keys` at a level with phones, read back,
    // or nullptr. Valid until the next lookup.
    const uint8_t* find(MatchLevel level, const Keys& keys) {
        return findRecord(level, keys) != nullptr ? m_found : nullptr;
    }

    // The record number of the first target record whose folded name is the keys', or 0; its
    // stored name in `stored`.
    int findFirstOfName(const Keys& keys, std::string_view& stored) {
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
        return probe(MatchLevel::Name, keys.hashAt(MatchLevel::Name), [&](const Slot& slot) {
            return foldedName(m_names[slot.value - 1]) == keys.text[kName];
        });
    }

    Slot* findRecord(MatchLevel level, const Keys& keys) {
        return probe(level, keys.hashAt(level), [&](const Slot& slot) {
            m_found = m_target.readBack(static_cast<int>(slot.value));
            for (int field = 0; field < TableScan::kFields; ++field) {
                m_target.foldedInto(m_found, field, m_other[static_cast<size_t>(field)]);
            }
            return sameAt(level, m_other, keys.text);
        });
    }

    template <typename Same>
    Slot* probe(MatchLevel level, uint64_t hash, Same same) {
        Table& table = m_tables[static_cast<size_t>(level)];
        const size_t mask = table.slots.size() - 1;
        const uint32_t check = checkOf(hash);
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = table.slots[i];
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

    TableScan& m_target;
    bool m_byName;
    std::array<Table, 3> m_tables;
    std::vector<NameEntry> m_names;
    std::string m_arena;
    // The record last read back and its folded texts.
    const uint8_t* m_found = nullptr;
    std::array<std::string, 3> m_other;
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

ScanComparison::ScanComparison(TEngineDataSet& source, TEngineDataSet& target, size_t chunkBytes)
    : m_sourceByName(source.handler()->currentTag() != nullptr),
      m_sourceScan(source, chunkBytes),
      m_targetScan(target, chunkBytes),
      m_lookup(std::make_unique<Lookup>(m_targetScan, target.handler()->currentTag() != nullptr)) {
    // The data sets are left as a comparison through them would leave them: unfiltered.
    source.setFiltered(false);
    target.setFiltered(false);
}

ScanComparison::~ScanComparison() = default;

bool ScanComparison::step(Clock::time_point deadline) {
    int sinceClockCheck = 0;
    while (m_phase != Phase::Done) {
        sinceClockCheck += kGroupRecords;
        if (sinceClockCheck >= kRecordsPerClockCheck) {
            sinceClockCheck = 0;
            if (Clock::now() >= deadline) break;
        }
        // A group of records is read (their images copied: the scan's chunk moves on), folded
        // and its lookup slots asked for; then each is added or compared, in file order. The
        // slots of one record lie far apart in large tables: asking for a group's at once lets
        // the memory fetch them side by side rather than one after the other.
        const bool target = m_phase == Phase::ReadTarget;
        TableScan& scan = target ? m_targetScan : m_sourceScan;
        const auto length = static_cast<size_t>(scan.recordLength());
        m_groupImages.resize(length * kGroupRecords);
        if (m_groupKeys.size() < kGroupRecords) m_groupKeys.resize(kGroupRecords);
        int count = 0;
        while (count < kGroupRecords) {
            int recordNumber = 0;
            const uint8_t* record = scan.next(recordNumber);
            if (record == nullptr) break;
            uint8_t* image = m_groupImages.data() + static_cast<size_t>(count) * length;
            std::memcpy(image, record, length);
            m_groupNumbers[static_cast<size_t>(count)] = recordNumber;
            Keys& keys = m_groupKeys[static_cast<size_t>(count)];
            keys.fold(scan, image);
            m_lookup->prefetch(keys);
            ++count;
        }
        for (int i = 0; i < count; ++i) m_lookup->prefetchName(m_groupKeys[static_cast<size_t>(i)]);
        for (int i = 0; i < count; ++i) {
            const uint8_t* image = m_groupImages.data() + static_cast<size_t>(i) * length;
            const int recordNumber = m_groupNumbers[static_cast<size_t>(i)];
            Keys& keys = m_groupKeys[static_cast<size_t>(i)];
            if (target) {
                m_lookup->add(image, recordNumber, keys);
            } else {
                compareSourceRecord(image, keys);
            }
            if (recordNumber % kRecordsPerGiveBack == 0) m_targetScan.givePagesBack();
        }
        if (count < kGroupRecords) {
            // The scan is at its end.
            if (target) {
                m_targetScan.givePagesBack();
                m_phase = Phase::CompareSource;
            } else {
                finish();
            }
        }
    }
    return m_phase != Phase::Done;
}

void ScanComparison::compareSourceRecord(const uint8_t* record, Keys& keys) {
    ++m_visited;
    RecordTexts source;
    m_sourceScan.textInto(record, kName, source.name);
    if (source.name.empty()) return;  // a blank name has nothing to look up
    m_currentName = source.name;
    m_sourceScan.textInto(record, kPhone1, source.phone1);
    m_sourceScan.textInto(record, kPhone2, source.phone2);
    const std::string_view phone1 = trimmedText(source.phone1);
    const std::string_view phone2 = trimmedText(source.phone2);

    const auto add = [&](DifferenceKind kind, RecordTexts found) {
        Pending pending;
        pending.key = std::string(m_sourceScan.storedText(record, kName));
        pending.entry = DifferenceEntry{kind, std::move(found), std::move(source)};
        m_pending.push_back(std::move(pending));
    };
    const auto textsOf = [this](const uint8_t* image) {
        RecordTexts texts;
        m_targetScan.textInto(image, kName, texts.name);
        m_targetScan.textInto(image, kPhone1, texts.phone1);
        m_targetScan.textInto(image, kPhone2, texts.phone2);
        return texts;
    };

    if (const uint8_t* found = m_lookup->find(MatchLevel::NameAndPhones, keys)) {
        const RecordTexts texts = textsOf(found);
        if (texts.name == source.name && texts.phone1 == phone1 && texts.phone2 == phone2) {
            return;  // an identical copy
        }
    }
    if (const uint8_t* found = m_lookup->find(MatchLevel::NameAndPhone1, keys)) {
        RecordTexts texts = textsOf(found);
        if (texts.name == source.name && texts.phone1 == phone1) {
            add(DifferenceKind::Phone2, std::move(texts));
            return;
        }
    }
    std::string_view stored;
    const int first = m_lookup->findFirstOfName(keys, stored);
    if (first == 0) {
        add(DifferenceKind::Missing, RecordTexts{});
    } else if (m_targetScan.translated(stored) == source.name) {
        add(DifferenceKind::Phone1, textsOf(m_targetScan.readBack(first)));
    }
}

void ScanComparison::keepFoundSoFar() {
    if (m_phase != Phase::Done) finish();
}

void ScanComparison::finish() {
    m_lookup.reset();  // the result stays; the lookup tables are no longer needed
    m_targetScan.givePagesBack();
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
