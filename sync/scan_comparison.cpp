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
#include "sync/scan_comparison_lookup.h"
#include "sync/sync_match.h"

namespace abonex {

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
