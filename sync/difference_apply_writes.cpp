// DifferenceApply, its writes: a missing record added, and a record changed in place or through
// the data set, each under the lock every writer of the table takes (see difference_apply.h).
#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "directory/directory_tables.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/file/engine_error.h"
#include "sync/difference_apply.h"

namespace abonex {

namespace {

constexpr std::string_view kBeyondRange = "Record request beyond range of table";
constexpr std::string_view kRecordLocked = "Record is locked by another user";

}  // namespace

void DifferenceApply::insertMissing(const RecordTexts& values, const RecordTexts& stored,
                                    const std::string& comment) {
    // Every other writer of the table is kept out from the look at it to the insert.
    DBFObject& table = *m_change.handler();
    std::optional<GSO_dBHandler::IndexLocks> indexLocks;
    bool appendLocked = false;
    if (table.indexFileCount() > 0) {
        indexLocks.emplace(table);
    } else {
        if (!table.appendLock()) raiseLockWaitError(table.lastError(), table.path());
        appendLocked = true;
    }
    struct AppendUnlock {
        DBFObject& table;
        bool locked;
        ~AppendUnlock() {
            if (locked) table.tableUnlock();
        }
    } appendUnlock{table, appendLocked};
    readAppendedRecords();
    if (nameTakenElsewhere(values)) {
        ++m_counts.skipped;
        return;
    }
    m_change.Insert();
    m_change.Fields(kFieldName).SetStoredText(stored.name);
    m_change.Fields(kFieldPhone1).SetStoredText(stored.phone1);
    m_change.Fields(kFieldPhone2).SetStoredText(stored.phone2);
    if (m_change.FieldCount() > kFieldComment) {
        m_change.Fields(kFieldComment).SetStoredText(comment);
    }
    m_change.Post();
    m_added.insert(m_change.RecNo());
    m_visitedRecords.push_back(m_change.RecNo());
    noteRecord(m_change.RecNo(), currentRecordTexts(m_change), true);
    m_recordsRead = std::max(m_recordsRead, m_change.RecNo());
    ++m_counts.added;
}

void DifferenceApply::readImage(int record) {
    DBFObject& table = *m_change.handler();
    if (record < 1 || record > table.recordCount()) throw EDatabaseError(std::string(kBeyondRange));
    const auto length = static_cast<size_t>(table.recordLength());
    m_image.resize(length);
    const uint64_t offset =
        static_cast<uint64_t>(table.headerLength()) + static_cast<uint64_t>(record - 1) * length;
    // Past the mapping: the records lie far apart, and mapping their pages in would only
    // have them given back after the batch.
    if (table.readPastMapping(offset, m_image.data(), length) != length) {
        throw EDatabaseError(std::string(kBeyondRange));
    }
}

RecordTexts DifferenceApply::imageTexts(const std::vector<uint8_t>& image) const {
    RecordTexts texts;
    m_texts->textInto(image.data(), kFieldName, texts.name);
    m_texts->textInto(image.data(), kFieldPhone1, texts.phone1);
    m_texts->textInto(image.data(), kFieldPhone2, texts.phone2);
    return texts;
}

void DifferenceApply::putText(std::vector<uint8_t>& image, int field, const std::string& text) {
    // As the data set stores a text: blank-filled, cut at the width.
    const DbfField& descriptor = m_change.handler()->fields()[static_cast<size_t>(field)];
    uint8_t* target = image.data() + descriptor.offset;
    const auto width = static_cast<size_t>(descriptor.length);
    std::memset(target, ' ', width);
    std::memcpy(target, text.data(), std::min(text.size(), width));
}

bool DifferenceApply::overwrite(int record, const std::vector<uint8_t>& after, bool lookAtLock) {
    // A record another copy edits holds its record lock until that copy posts or cancels.
    // With index files, no writer can write the record meanwhile (the index lock every writer
    // takes is held), and an edit begun after this look finds at its post that the record
    // changed: a look at the lock is enough, without taking it. Without index files the
    // record lock is what keeps another post out: it is taken as an edit takes it, and the
    // record must still hold what was read.
    DBFObject& table = *m_change.handler();
    const bool takeLock = lookAtLock && table.indexFileCount() == 0;
    if (takeLock) {
        if (!table.recordLock(record)) throw EDatabaseError(std::string(kRecordLocked));
    } else if (lookAtLock && table.lockedElsewhere(table.recordLockRegion(record))) {
        throw EDatabaseError(std::string(kRecordLocked));
    }
    struct Unlock {
        DBFObject& table;
        bool locked;
        ~Unlock() {
            if (locked) table.tableUnlock();
        }
    } unlock{table, takeLock};
    if (takeLock && !table.recordReads(record, m_image.data())) return false;
    const bool written = table.overwriteKeepingKeys(record, m_image.data(), after.data());
    if (written) m_overwritten = true;
    return written;
}

void DifferenceApply::applyEntry(const DifferenceEntry& entry) {
    const RecordTexts& keys = m_changesTarget ? entry.target : entry.source;
    const RecordTexts& values = m_changesTarget ? entry.source : entry.target;
    // What is written: the other table's stored bytes, in this table's page.
    const RecordTexts stored = textsToStore(entry, m_changesTarget, m_change.tableCodePage());
    if (entry.kind == DifferenceKind::Missing && m_changesTarget) {
        insertMissing(values, stored, commentToStore(entry, m_change.tableCodePage()));
        return;
    }
    const int record = currentRecord(entryLevel(entry.kind), keys);
    if (record == 0) {
        ++m_counts.skipped;
        return;
    }
    if (m_texts) {
        // The record as it is on disk now, read under the lock every writer takes: written
        // over in place when no index key changes by it, else through the data set.
        const RecordTexts before = imageTexts(m_image);
        std::vector<uint8_t>& after = m_written;
        after = m_image;
        const bool deleting = entry.kind == DifferenceKind::Missing;
        if (deleting) {
            after[0] = kDeletedFlag;
        } else if (entry.kind == DifferenceKind::Phone1) {
            putText(after, kFieldPhone1, stored.phone1);
        } else {
            putText(after, kFieldPhone2, stored.phone2);
        }
        // A delete does not look at the record lock, as the data set's delete does not.
        if (overwrite(record, after, !deleting)) {
            noteRecord(record, before, false);
            if (deleting) {
                ++m_counts.deleted;
            } else {
                noteRecord(record, imageTexts(after), true);
                ++m_counts.changed;
            }
            return;
        }
        goToRecord(record);
    }
    const RecordTexts before = currentRecordTexts(m_change);
    if (entry.kind == DifferenceKind::Missing) {
        // The record exists only in the table being changed: the first of its name goes.
        if (!m_change.Delete()) {
            ++m_counts.skipped;
            return;
        }
        noteRecord(record, before, false);
        ++m_counts.deleted;
        return;
    }
    m_change.Edit();
    if (entry.kind == DifferenceKind::Phone1) {
        m_change.Fields(kFieldPhone1).SetStoredText(stored.phone1);
    } else {
        m_change.Fields(kFieldPhone2).SetStoredText(stored.phone2);
    }
    m_change.Post();
    noteRecord(record, before, false);
    noteRecord(record, currentRecordTexts(m_change), true);
    ++m_counts.changed;
}

}  // namespace abonex
