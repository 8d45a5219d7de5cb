#include "sync/table_comparison.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "sync/scan_comparison.h"

namespace abonex {

namespace {

// How many records a step reads between two looks at the clock.
constexpr int kRecordsPerClockCheck = 64;

constexpr size_t kLevels = 3;

size_t levelIndex(MatchLevel level) {
    return static_cast<size_t>(level);
}

// Hashes of a record's folded texts at each level: a level's hash covers the texts it compares.
struct LevelHashes {
    std::array<uint64_t, kLevels> value{};
};

uint64_t combine(uint64_t seed, uint64_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

LevelHashes levelHashes(std::string_view name, std::string_view phone1, std::string_view phone2) {
    const std::hash<std::string_view> hash;
    LevelHashes hashes;
    hashes.value[levelIndex(MatchLevel::Name)] = hash(name);
    hashes.value[levelIndex(MatchLevel::NameAndPhone1)] =
        combine(hashes.value[levelIndex(MatchLevel::Name)], hash(phone1));
    hashes.value[levelIndex(MatchLevel::NameAndPhones)] =
        combine(hashes.value[levelIndex(MatchLevel::NameAndPhone1)], hash(phone2));
    return hashes;
}

}  // namespace

// The first target record of each folded name, name and first phone, and name and phones.
//
// Records are kept in one byte arena (folded texts, then the texts as read), and each level is
// an open-addressing table of record numbers into that arena, probed linearly. A record that is
// not the first of its kind at any level is not kept at all.
class TableComparison::TargetLookup {
  public:
    // Room for `records` records without growing.
    explicit TargetLookup(size_t records) {
        size_t slots = 1024;
        while (slots < 2 * records) slots *= 2;
        for (Table& table : m_tables) table.slots.assign(slots, Slot{});
    }

    // Asks the processor for the first slot of each level's probe at once, so that the three
    // tables' cache misses overlap instead of following one another.
    void prefetch(const LevelHashes& hashes) const {
        for (size_t level = 0; level < kLevels; ++level) {
            const Table& table = m_tables[level];
            const size_t mask = table.slots.size() - 1;
            __builtin_prefetch(&table.slots[static_cast<uint32_t>(hashes.value[level]) & mask]);
        }
    }

    // Adds a target record, read after every record added before it.
    void add(const RecordTexts& texts) {
        const RecordTexts folded = foldedTexts(texts);
        const LevelHashes hashes = levelHashes(folded.name, folded.phone1, folded.phone2);
        prefetch(hashes);
        std::array<bool, kLevels> first{};
        bool any = false;
        for (size_t level = 0; level < kLevels; ++level) {
            first[level] = findSlot(level, hashes.value[level], folded) == nullptr;
            any = any || first[level];
        }
        if (!any) return;
        const uint32_t number = static_cast<uint32_t>(m_records.size());
        Stored stored;
        stored.offset = m_arena.size();
        const std::array<const std::string*, 6> parts{&folded.name, &folded.phone1, &folded.phone2,
                                                      &texts.name,  &texts.phone1,  &texts.phone2};
        for (size_t i = 0; i < parts.size(); ++i) {
            stored.length[i] = static_cast<uint32_t>(parts[i]->size());
            m_arena += *parts[i];
        }
        m_records.push_back(stored);
        for (size_t level = 0; level < kLevels; ++level) {
            if (first[level]) insert(level, hashes.value[level], number);
        }
    }

    // The first record added that matches `folded` (folded texts) at `level`, or false.
    bool find(MatchLevel level, const RecordTexts& folded, const LevelHashes& hashes,
              RecordTexts& texts) const {
        const size_t index = levelIndex(level);
        const Slot* slot = findSlot(index, hashes.value[index], folded);
        if (slot == nullptr) return false;
        const Stored& stored = m_records[slot->record()];
        texts.name = std::string(part(stored, 3));
        texts.phone1 = std::string(part(stored, 4));
        texts.phone2 = std::string(part(stored, 5));
        return true;
    }

  private:
    struct Stored {
        size_t offset = 0;
        std::array<uint32_t, 6> length{};  // folded name, phone 1, phone 2; then as read
    };
    // Eight bytes, so that a probe costs one cache line: the low half of the hash, and the
    // record's number plus one (0: the slot is free).
    struct Slot {
        uint32_t hash = 0;
        uint32_t recordPlusOne = 0;
        bool used() const { return recordPlusOne != 0; }
        uint32_t record() const { return recordPlusOne - 1; }
    };
    struct Table {
        std::vector<Slot> slots;
        size_t used = 0;
    };

    std::string_view part(const Stored& stored, size_t which) const {
        size_t offset = stored.offset;
        for (size_t i = 0; i < which; ++i) offset += stored.length[i];
        return std::string_view(m_arena).substr(offset, stored.length[which]);
    }

    // Level 0 compares all three folded texts, level 1 the first two, level 2 the name.
    bool sameKey(size_t level, const Stored& stored, const RecordTexts& folded) const {
        if (part(stored, 0) != folded.name) return false;
        if (level == levelIndex(MatchLevel::Name)) return true;
        if (part(stored, 1) != folded.phone1) return false;
        if (level == levelIndex(MatchLevel::NameAndPhone1)) return true;
        return part(stored, 2) == folded.phone2;
    }

    const Slot* findSlot(size_t level, uint64_t hash, const RecordTexts& folded) const {
        const Table& table = m_tables[level];
        if (table.slots.empty()) return nullptr;
        const size_t mask = table.slots.size() - 1;
        const auto shortHash = static_cast<uint32_t>(hash);
        for (size_t i = shortHash & mask;; i = (i + 1) & mask) {
            const Slot& slot = table.slots[i];
            if (!slot.used()) return nullptr;
            if (slot.hash == shortHash && sameKey(level, m_records[slot.record()], folded)) {
                return &slot;
            }
        }
    }

    void insert(size_t level, uint64_t hash, uint32_t record) {
        Table& table = m_tables[level];
        // At most half full, so every probe ends at an empty slot soon.
        if ((table.used + 1) * 2 > table.slots.size()) grow(table);
        place(table, Slot{static_cast<uint32_t>(hash), record + 1});
        ++table.used;
    }

    // The slot's place comes from the low bits of the hash, which it keeps.
    static void place(Table& table, const Slot& slot) {
        const size_t mask = table.slots.size() - 1;
        size_t i = slot.hash & mask;
        while (table.slots[i].used()) i = (i + 1) & mask;
        table.slots[i] = slot;
    }

    static void grow(Table& table) {
        std::vector<Slot> old = std::move(table.slots);
        table.slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        for (const Slot& slot : old) {
            if (slot.used()) place(table, slot);
        }
    }

    std::string m_arena;
    std::vector<Stored> m_records;
    std::array<Table, kLevels> m_tables;
};

TableComparison::TableComparison(TEngineDataSet& source, TEngineDataSet& target, size_t chunkBytes,
                                 int threads)
    : m_source(source), m_target(target), m_recordCount(source.RecordCount()) {
    if (ScanComparison::suits(source) && ScanComparison::suits(target)) {
        m_scan = std::make_unique<ScanComparison>(source, target, chunkBytes, threads);
    } else {
        m_lookup = std::make_unique<TargetLookup>(static_cast<size_t>(target.RecordCount()));
    }
}

TableComparison::~TableComparison() = default;

bool TableComparison::done() const {
    return m_scan ? m_scan->done() : m_phase == Phase::Done;
}

int TableComparison::visited() const {
    return m_scan ? m_scan->visited() : m_visited;
}

const std::string& TableComparison::currentName() const {
    return m_scan ? m_scan->currentName() : m_currentName;
}

int TableComparison::found() const {
    return m_scan ? m_scan->found() : static_cast<int>(m_entries.size());
}

const std::vector<DifferenceEntry>& TableComparison::entries() const {
    return m_scan ? m_scan->entries() : m_entries;
}

void TableComparison::keepFoundSoFar() {
    // Found record by record in source order, the entries hold them already.
    if (m_scan) m_scan->keepFoundSoFar();
}

bool TableComparison::step(Clock::time_point deadline) {
    if (m_scan) return m_scan->step(deadline);
    int sinceClockCheck = 0;
    while (m_phase != Phase::Done) {
        if (++sinceClockCheck == kRecordsPerClockCheck) {
            sinceClockCheck = 0;
            if (Clock::now() >= deadline) break;
        }
        if (m_phase == Phase::ReadTarget) {
            readTargetRecord();
        } else {
            compareSourceRecord();
        }
    }
    return m_phase != Phase::Done;
}

void TableComparison::run() {
    while (step(Clock::time_point::max())) {
    }
}

void TableComparison::readTargetRecord() {
    if (!m_started) {
        m_started = true;
        m_target.setFiltered(false);  // stands on the first record
    } else {
        m_target.Next();
    }
    if (m_target.Eof()) {
        m_phase = Phase::CompareSource;
        m_started = false;
        return;
    }
    m_lookup->add(currentRecordTexts(m_target));
}

void TableComparison::compareSourceRecord() {
    if (!m_started) {
        m_started = true;
        m_source.setFiltered(false);
    } else {
        m_source.Next();
    }
    if (m_source.Eof()) {
        m_phase = Phase::Done;
        m_lookup.reset();  // the result stays; the copy of the target is no longer needed
        return;
    }
    ++m_visited;
    const RecordTexts source = currentRecordTexts(m_source);
    if (source.name.empty()) return;  // a blank name has nothing to look up
    m_currentName = source.name;
    const RecordTexts keys{source.name, std::string(trimmedText(source.phone1)),
                           std::string(trimmedText(source.phone2))};
    const RecordTexts folded = foldedTexts(keys);
    const LevelHashes hashes = levelHashes(folded.name, folded.phone1, folded.phone2);
    m_lookup->prefetch(hashes);

    // The source record's stored bytes go with its entry; the target's copy holds its texts
    // only, so an apply to the source writes those.
    const auto add = [&](DifferenceKind kind, RecordTexts target) {
        const auto stored = [&](int field) { return std::string(m_source.storedFieldText(field)); };
        // A record added from the source carries its comment.
        std::string comment;
        if (kind == DifferenceKind::Missing && m_source.FieldCount() > kFieldComment) {
            comment = stored(kFieldComment);
        }
        m_entries.push_back(
            {kind, std::move(target), source, std::nullopt,
             StoredTexts{
                 {stored(0), stored(1), stored(2)}, m_source.tableCodePage(), std::move(comment)}});
    };
    RecordTexts found;
    if (m_lookup->find(MatchLevel::NameAndPhones, folded, hashes, found) && found == keys) {
        return;  // an identical copy
    }
    if (m_lookup->find(MatchLevel::NameAndPhone1, folded, hashes, found)) {
        if (found.name == keys.name && found.phone1 == keys.phone1) {
            add(DifferenceKind::Phone2, found);
            return;
        }
    }
    if (!m_lookup->find(MatchLevel::Name, folded, hashes, found)) {
        add(DifferenceKind::Missing, RecordTexts{});
    } else if (found.name == keys.name) {
        add(DifferenceKind::Phone1, found);
    }
}

}  // namespace abonex
