// ScanComparison's lookup tables of the target (see scan_comparison.h): the folded keys of a
// record, the slot arrays and their hashes, the readers that read records back to confirm a
// slot, and the parts of a batch compared on each thread. Included by scan_comparison.cpp alone.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sync/scan_comparison.h"
#include "sync/sync_match.h"
#include "sync/table_scan.h"

namespace abonex {

namespace scan_detail {

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

}  // namespace scan_detail

// The helpers above serve the lookup tables here and the comparison's steps beside them.
using namespace scan_detail;

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

namespace scan_detail {

// True when the texts agree at `level`.
bool sameAt(MatchLevel level, const std::array<std::string, 3>& a,
            const std::array<std::string, 3>& b) {
    if (a[kName] != b[kName]) return false;
    if (level == MatchLevel::Name) return true;
    if (a[kPhone1] != b[kPhone1]) return false;
    if (level == MatchLevel::NameAndPhone1) return true;
    return a[kPhone2] == b[kPhone2];
}

}  // namespace scan_detail

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

}  // namespace abonex
