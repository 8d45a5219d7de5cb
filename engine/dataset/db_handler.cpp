#include "engine/dataset/db_handler.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

#include "engine/dataset/engine_dataset.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/file/rollback_journal.h"
#include "engine/index/mdx_file.h"

namespace abonex {

GSO_dBHandler::GSO_dBHandler(std::string_view fileName, bool shared, bool readWrite)
    : GSO_dBaseFld(fileName, shared, readWrite), m_coveredRecords(recordCount()) {}

GSO_dBHandler::~GSO_dBHandler() {
    try {
        CloseIndexFiles();
    } catch (...) {
        // Closing writes pending pages; a failure here must not escape a destructor.
    }
    setJournal(nullptr);  // the table file outlives the journal
}

int GSO_dBHandler::indexFileCount() const {
    return static_cast<int>(std::count_if(m_slots.begin(), m_slots.end(),
                                          [](const auto& file) { return file != nullptr; }));
}

int GSO_dBHandler::OpenIndexFile(std::string_view name) {
    std::string wanted(name);
    while (!wanted.empty() && static_cast<uint8_t>(wanted.back()) <= ' ') wanted.pop_back();
    if (directoryPart(wanted).empty()) wanted = std::string(directoryPart(path())) + wanted;
    if (extensionPart(wanted).empty()) wanted += ".NDX";
    for (const auto& file : m_slots) {
        if (file && samePathText(fileNamePart(file->path()), fileNamePart(wanted))) return -1;
    }
    if (!samePathText(extensionPart(wanted), ".MDX")) {
        std::string found = resolveCaseInsensitive(wanted);
        if (!fileExistsAnyCase(found)) raiseEngineError(err::kFileNotFound, sub::kOpen, found);
        throw EEngineError("Index file kind not supported - " + found);
    }
    auto slot = std::find(m_slots.begin(), m_slots.end(), nullptr);
    if (slot == m_slots.end()) raiseEngineError(err::kTooManyOpenFiles, sub::kOpen, wanted);
    auto file = std::make_unique<GSobjMDXFile>(*this, wanted);
    file->SetLockProtocol(lockProtocol());
    file->setProgressCallback([this](const IndexProgress& progress) { forwardProgress(progress); });
    *slot = std::move(file);
    return 0;
}

void GSO_dBHandler::CloseIndexFiles() {
    releaseCurrentTag();
    m_tagName.clear();
    for (auto& file : m_slots) file.reset();
    setReadAhead(true);
}

void GSO_dBHandler::releaseCurrentTag() {
    if (m_tag == nullptr) return;
    m_tag->clearRange();
    m_tag->TreeRelease();
    m_tag = nullptr;
}

void GSO_dBHandler::SelectTag(std::string_view name, bool keep) {
    std::string wanted(name);
    while (!wanted.empty() && wanted.back() == ' ') wanted.pop_back();
    while (!wanted.empty() && wanted.front() == ' ') wanted.erase(wanted.begin());
    if (wanted.empty()) {
        releaseCurrentTag();
        m_tagName.clear();
        setReadAhead(true);
        if (!keep) GotoRecord(PosTop);
        return;
    }
    GSobjMDXTag* found = nullptr;
    for (const auto& file : m_slots) {
        if (file && (found = file->findTag(wanted)) != nullptr) break;
    }
    if (found == nullptr) throw EEngineError("Cannot find index tag " + std::string(name));
    releaseCurrentTag();
    setReadAhead(false);
    m_tag = found;
    m_tagName = upperAscii(wanted);
    m_tag->TreeReset(1);
    if (keep && recordNumber() > 0 && recordNumber() <= recordCount()) {
        GotoRecord(recordNumber());
        if (!m_outOfOrder) return;
    }
    GotoRecord(PosTop);
}

void GSO_dBHandler::GotoRecord(int code) {
    if (tableState() != TableState::Browse) {
        GSO_dBaseFld::GotoRecord(code);
        return;
    }
    if (code == PosTop || code == PosBottom || code > 0) {
        dropReadAhead();
        // A new walk: the pages an earlier long one kept go.
        if (m_walkMapped > 0) releaseReadPages();
        m_walkRecords = 0;
    }
    int retry = code;
    if (code == PosTop || code == PosCurrent) retry = PosNext;
    if (code == PosBottom) retry = PosPrior;
    bool byNumber = code > 0;
    bool blankRow = false;
    const int readBefore = m_recordsRead;
    std::optional<KeyFilter> keyFilter;
    std::optional<FieldBytesTest> bytesTest;
    if (m_tag != nullptr) {
        // Each move sees what other writers finished before it; a step inside the leaf the
        // walk holds needs no more than that leaf's bytes as the file holds them now.
        if (code == PosNext || code == PosPrior) {
            m_tag->lookBeforeStep(code == PosNext);
        } else {
            m_tag->lookForChanges();
        }
        if (!byNumber) {
            keyFilter = tagKeyFilter();
            bytesTest = usableBytesTest();
        }
    }
    checkCandidates(bytesTest);
    if (code == PosTop || code == PosBottom) m_bytesRejected = m_bytesPassed = 0;
    const KeyFilter* keys = keyFilter ? &*keyFilter : nullptr;
    for (;;) {
        if (m_tag != nullptr && code < 0) {
            // The tag looks again at a tree that another writer changes under it.
            int n = m_tag->Navigate(code, keys, m_candidates.get());
            bool end = m_tag->afterLast();
            bool begin = m_tag->beforeFirst();
            setEdgeFlags(end, begin);
            if (end || begin) break;
            if (m_walkRecords >= kShortWalkRecords) {
                prefetchAhead(code != PosPrior && code != PosBottom, keys);
            }
            if (n < 1 || n > recordCount()) RefreshHeader();
            if (n >= 1 && n <= recordCount() && !gotoTaggedRecord(n)) {
                RefreshHeader();
                if (n <= recordCount()) GSO_dBaseFld::GotoRecord(n);  // still there: raises
            }
            if (n < 1 || n > recordCount()) {
                // The tag names a record the table does not hold (another writer's index
                // change raced ahead of its table write, or another program cut the table
                // shorter): show nothing for it. The row stands for that record number, so the
                // walk goes on from it, and reading or editing it finds no record there.
                standOnMissingRecord(n);
                blankRow = true;
                break;
            }
        } else {
            GSO_dBaseFld::GotoRecord(code);
            if (atEnd() || atBeginning()) break;
        }
        if (byNumber) break;
        bool accepted = !(isDeleted() && !useDeleted()) && recordFilter();
        if (accepted) {
            if (bytesTest && !m_candidates) ++m_bytesPassed;
            break;
        }
        if (bytesTest && !m_candidates) {
            const DbfField& field = fields()[static_cast<size_t>(bytesTest->field)];
            if (bytesTest->passes(recordImage() + field.offset,
                                  static_cast<size_t>(field.length))) {
                ++m_bytesPassed;
            } else if (++m_bytesRejected >= m_scanAfterRejected ||
                       (m_bytesRejected >= m_scanAfterRejected / 8 &&
                        int64_t{m_bytesPassed} * kScanRejectRate < m_bytesRejected)) {
                // Each record the walk reads is a seek into the mapping: when nearly every
                // one fails, one pass over the table costs less than the walk to the rows.
                scanCandidates(*bytesTest);
            }
        }
        code = retry;
    }
    m_found = !atEnd() && !atBeginning();
    // A move through the filter in record order, or a walk that has come to an end of the
    // order, is over with the pages it read.
    if (m_recordsRead - readBefore >= kWalkRecords ||
        (!m_found && (m_recordsRead > 0 || m_walkMapped > 0))) {
        releaseReadPages();
    }
    if (m_tag != nullptr && m_found && !blankRow &&
        (byNumber || m_tag->currentRecord() != recordNumber())) {
        m_outOfOrder = m_tag->SyncToRecord(recordNumber()) != recordNumber();
    } else if (m_found) {
        m_outOfOrder = false;
    }
}

void GSO_dBHandler::lockIndexFiles() {
    if (m_indexLockDepth > 0) {
        // Held already (IndexLocks): nobody else writes meanwhile.
        ++m_indexLockDepth;
        return;
    }
    int locked = 0;
    try {
        for (auto& file : m_slots) {
            if (!file) continue;
            file->lockIndexFile();  // raises "Error n in Lock of path" after its wait
            ++locked;
            // A file another program replaced: its lock keeps no writer of the new one out.
            file->diskFile().requireSameFile();
            // What this process read before it held the lock may be out of date.
            file->lookForChanges();
            // Other writers may have grown the file since this process last looked: new blocks
            // must come from its end as it is now, or two writers would take the same block.
            file->BlockRecount();
            // They may also have added or deleted tags: a tag added since must get this
            // record's key too, and a deleted one must not be written into.
            file->refreshTags();
        }
    } catch (...) {
        m_lockedFiles = locked;
        m_indexLockDepth = 1;
        unlockIndexFiles();
        throw;
    }
    m_lockedFiles = locked;
    m_indexLockDepth = 1;
    m_writesAtIndexLock = writeCount();
    if (autoFlush() && isReadWrite() && !m_noJournal) {
        try {
            beginJournal();
        } catch (const EEngineError& error) {
            if (error.code() != err::kAccessDenied || error.subCode() != sub::kCreate) {
                unlockIndexFiles();
                throw;
            }
            // A folder this user may not create files in: the writes still reach the disk at
            // every write, only without a journal to undo one cut short.
            m_noJournal = true;
        } catch (...) {
            unlockIndexFiles();
            throw;
        }
    }
}

uint64_t GSO_dBHandler::indexWriteCount() const {
    uint64_t writes = 0;
    for (const auto& file : m_slots) {
        if (file) writes += file->diskFile().writeCount();
    }
    return writes;
}

void GSO_dBHandler::beginJournal() {
    if (!m_journal) m_journal = std::make_unique<RollbackJournal>(path());
    m_journal->detachAll();
    const uint64_t header = static_cast<uint64_t>(headerLength());
    const uint64_t record = static_cast<uint64_t>(recordLength());
    // The bytes past the last whole record are the end mark and appends: not written in place.
    m_journal->attach(*this, LockRegion{0, 0}, [header, record](uint64_t length) {
        return length <= header ? length : header + (length - header) / record * record;
    });
    for (auto& file : m_slots) {
        if (file) m_journal->attach(file->diskFile(), file->diskFile().lockedRegion());
    }
    if (m_journal->begin()) afterRollback();
    // The index files' writes wait for the end of the transaction, to be journalled at once.
    for (auto& file : m_slots) {
        if (file) file->diskFile().holdWritesUnderLock();
    }
    m_indexWritesAtLock = indexWriteCount();
}

void GSO_dBHandler::afterRollback() {
    // Writes were undone under the locks: what this copy read or wrote of the files before may
    // be what they undid, the current record's old image (the keys it is filed under) too.
    RefreshHeader();
    dropReadAhead();
    m_candidates.reset();
    const int n = recordNumber();
    if (n >= 1 && n <= recordCount()) {
        const auto length = static_cast<size_t>(recordLength());
        if (read(recordOffset(n), savedImageMutable(), length) != length) {
            fail(err::kShortRead, sub::kRecordRead);
        }
    }
    for (auto& file : m_slots) {
        if (!file) continue;
        file->forgetReads(true);
        file->BlockRecount();
        file->refreshTags();
    }
}

void GSO_dBHandler::rollBackWrites() {
    if (!m_journal || !m_journal->active()) return;
    try {
        // The index files' held writes go to the file too, journalled, so that one rollback
        // undoes all of it; the index files then see the rollback as another copy's writes.
        for (auto& file : m_slots) {
            if (file) file->diskFile().recordHeldWrites();
        }
        m_journal->sync();
        for (auto& file : m_slots) {
            if (file) file->diskFile().sendJournaledWrites();
        }
        m_journal->rollBack();
    } catch (...) {
        m_journal->abandon();
        throw;
    }
    afterRollback();
}

bool GSO_dBHandler::writesJournalled() const {
    return m_journal && m_journal->active();
}

void GSO_dBHandler::commitWrites() {
    if (!m_journal || !m_journal->active()) return;
    try {
        if (writeCount() != m_writesAtIndexLock || indexWriteCount() != m_indexWritesAtLock) {
            if (m_tag != nullptr) m_tag->TreeRelease();
            for (auto& file : m_slots) {
                if (file) file->diskFile().recordHeldWrites();
            }
            m_journal->sync();
            for (auto& file : m_slots) {
                if (file) file->diskFile().sendJournaledWrites();
            }
            flush();
            for (auto& file : m_slots) {
                if (file) file->diskFile().flush();
            }
            // The table was written under these locks: the index files are marked after it
            // when the locks go, however many commits the hold made.
            if (writeCount() != m_writesAtIndexLock) m_markAtUnlock = true;
            m_writesAtIndexLock = writeCount();
            m_indexWritesAtLock = indexWriteCount();
            if (m_tag != nullptr) {
                m_tag->TreeReset(1);
                m_tag->SyncToRecord(recordNumber());
            }
        }
        m_journal->finish();
    } catch (...) {
        // Left hot: the writes of this transaction are undone before anyone writes again.
        m_journal->abandon();
        throw;
    }
}

void GSO_dBHandler::markIndexFilesAfterTable() {
    // Every write of this program to a table with index files leaves the index files modified
    // no earlier than the table: a table modified after its index was written by a program that
    // does not keep the index (its rows may lie under keys they no longer have). Readers
    // compare the times on local disks only: through a network file system they come with the
    // client's delays, and nothing is marked there.
    if (onNetworkShare()) return;
    for (auto& file : m_slots) {
        if (file && file->diskFile().isReadWrite() && !file->diskFile().onNetworkShare()) {
            file->diskFile().markModifiedNow();
        }
    }
}

void GSO_dBHandler::unlockIndexFiles() {
    if (m_indexLockDepth == 0 || --m_indexLockDepth > 0) {
        m_rollBackOnUnlock = false;
        return;
    }
    // Asked before the commit, which counts the table's writes afresh for the next transaction.
    const bool tableWritten = m_markAtUnlock || writeCount() != m_writesAtIndexLock;
    m_markAtUnlock = false;
    try {
        if (m_rollBackOnUnlock) {
            rollBackWrites();
        } else {
            commitWrites();
        }
    } catch (...) {
        // The journal stays hot (see commitWrites); the writers that raise report it.
    }
    m_rollBackOnUnlock = false;
    // The table written under the locks: its index files are marked after it, before anyone
    // else may write (see markIndexFilesAfterTable).
    if (tableWritten || m_markAtUnlock || writeCount() != m_writesAtIndexLock) {
        m_markAtUnlock = false;
        try {
            markIndexFilesAfterTable();
        } catch (...) {
            // The mark is for readers that look for other programs' writes; the writes stand.
        }
    }
    int remaining = m_lockedFiles;
    for (auto& file : m_slots) {
        if (!file || remaining == 0) continue;
        file->unlockIndexFile();
        --remaining;
    }
    m_lockedFiles = 0;
}

GSO_dBHandler::IndexLocks::IndexLocks(GSO_dBHandler& handler)
    : m_handler(handler), m_exceptions(std::uncaught_exceptions()) {
    m_handler.lockIndexFiles();
}

GSO_dBHandler::IndexLocks::~IndexLocks() {
    // Let go because a write raised: what it wrote is undone rather than made durable.
    if (std::uncaught_exceptions() > m_exceptions) m_handler.m_rollBackOnUnlock = true;
    m_handler.unlockIndexFiles();
}

void GSO_dBHandler::AppendRecord() {
    if (m_batch != nullptr && !m_batch->m_holding) m_batch->beginSpan();
    {
        IndexLocks locks(*this);
        // Whether the records before this one were all covered, as far as this handler knows.
        RefreshHeader();
        const bool covered = m_coveredRecords >= recordCount();
        GSO_dBaseFld::AppendRecord();
        if (covered) m_coveredRecords = recordNumber();
        if (m_indexLockDepth == 1) {
            commitWrites();
            pushIndexWrites();
        }
    }
    if (m_batch != nullptr) m_batch->appended();
}

void GSO_dBHandler::pushIndexWrites() {
    for (auto& file : m_slots) {
        if (file) file->diskFile().pushWrites();
    }
}

GSO_dBHandler::AppendBatch::AppendBatch(GSO_dBHandler& handler) : m_handler(handler) {
    if (m_handler.m_batch == nullptr) m_handler.m_batch = this;
}

GSO_dBHandler::AppendBatch::~AppendBatch() {
    try {
        finish();
    } catch (...) {
        // A destructor never throws: the locks are let go all the same.
    }
    if (m_handler.m_batch == this) m_handler.m_batch = nullptr;
}

void GSO_dBHandler::AppendBatch::beginSpan() {
    // The order every writer takes: the index locks first, then the append lock.
    m_handler.lockIndexFiles();
    if (!m_handler.beginAppendRun()) {
        const int error = m_handler.lastError();
        m_handler.unlockIndexFiles();
        raiseLockWaitError(error, m_handler.path());
    }
    // With every index file locked as well, no writer that follows the locks touches the
    // table until the span ends: on a network share its pages need reading only once.
    if (m_handler.m_lockedFiles > 0) m_handler.keepSizeUntilUnlock(true);
    m_holding = true;
    m_rows = 0;
    ++m_spans;
    m_startNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count();
}

void GSO_dBHandler::AppendBatch::appended() {
    ++m_rows;
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    const bool committed = m_handler.autoFlush();
    const int maxRows = committed ? kMaxCommittedRows : kMaxRows;
    const int maxMs = committed ? kMaxCommittedTimeMs : kMaxTimeMs;
    if (m_rows >= maxRows || now - m_startNs >= int64_t{maxMs} * 1000000) finish();
}

void GSO_dBHandler::AppendBatch::finish() {
    if (!m_holding) return;
    m_holding = false;
    struct Unlock {
        GSO_dBHandler& handler;
        ~Unlock() { handler.unlockIndexFiles(); }
    } unlock{m_handler};
    m_handler.endAppendRun();
    m_handler.commitWrites();
    m_handler.pushIndexWrites();
}

void GSO_dBHandler::ReplaceRecord(int n) {
    if (n < 1 || n > recordCount()) {
        AppendRecord();
        return;
    }
    IndexLocks locks(*this);
    GSO_dBaseFld::ReplaceRecord(n);
    if (m_indexLockDepth == 1) {
        commitWrites();
        pushIndexWrites();
    }
}

bool GSO_dBHandler::recordReads(int n, const uint8_t* expected) {
    const auto length = static_cast<size_t>(recordLength());
    std::vector<uint8_t> now(length);
    if (n < 1 || read(recordOffset(n), now.data(), length) != length) return false;
    return std::memcmp(now.data(), expected, length) == 0;
}

bool GSO_dBHandler::overwriteKeepingKeys(int n, const uint8_t* before, const uint8_t* after) {
    if (n < 1 || n > recordCount()) return false;
    // The expressions read the record buffer; copies keep the images the caller owns intact.
    const auto length = static_cast<size_t>(recordLength());
    std::vector<uint8_t> images[2];
    for (int i = 0; i < 2; ++i) {
        const uint8_t* image = i == 0 ? before : after;
        images[i].assign(image, image + length);
        images[i].push_back(kEndOfFileMark);
    }
    struct Restore {
        GSO_dBHandler& handler;
        ~Restore() { handler.setRecordBuffer(nullptr); }
    } restore{*this};
    for (const auto& file : m_slots) {
        if (!file) continue;
        for (const auto& tag : file->tags()) {
            TgsVariant keys[2];
            bool hasKey[2] = {false, false};
            bool passes[2] = {true, true};
            for (int i = 0; i < 2; ++i) {
                setRecordBuffer(images[i].data());
                if (tag->hasFilter()) passes[i] = tag->FilterEvaluate();
                hasKey[i] = tag->KeyEvaluate(keys[i]);
                if (hasKey[i]) tag->KeyAdjust(keys[i], true);
            }
            if (passes[0] != passes[1] || hasKey[0] != hasKey[1]) return false;
            if (hasKey[0] &&
                (keys[0].type() != keys[1].type() || tag->compareKeys(keys[0], keys[1], -1) != 0)) {
                return false;
            }
        }
    }
    overwriteRecord(n, after);
    m_candidates.reset();
    return true;
}

void GSO_dBHandler::recordWritten(bool isNew) {
    m_candidates.reset();
    for (auto& file : m_slots) {
        if (!file) continue;
        file->RecordChanged(recordNumber(), isNew);
        // Write every changed page while the index file is still locked: pages held back
        // past the unlock would later overwrite what other writers put there meanwhile.
        for (const auto& tag : file->tags()) tag->TreeRelease();
    }
    if (m_tag != nullptr) m_outOfOrder = m_tag->SyncToRecord(recordNumber()) != recordNumber();
}

void GSO_dBHandler::flushAll() {
    // In a transaction the flush is its commit, when the last lock level goes.
    if (writesJournalled()) return;
    if (m_tag != nullptr) m_tag->TreeRelease();
    GSO_dBaseFld::flushAll();
    for (auto& file : m_slots) {
        if (file) file->diskFile().flush();
    }
    if (m_tag != nullptr) {
        m_tag->TreeReset(1);
        m_tag->SyncToRecord(recordNumber());
    }
}

void GSO_dBHandler::reindexAll() {
    GSobjMDXTag* previous = m_tag;
    if (m_tag != nullptr) m_tag->TreeRelease();
    m_tag = nullptr;
    bool savedReadAhead = m_readAhead;
    setTableState(TableState::Reindexing);
    setReadAhead(true);
    try {
        for (auto& file : m_slots) {
            if (file) file->Reindex();
        }
    } catch (...) {
        setTableState(TableState::Browse);
        setReadAhead(savedReadAhead);
        m_tagName.clear();
        throw;
    }
    setTableState(TableState::Browse);
    setReadAhead(savedReadAhead);
    releaseReadPages();
    // A commit point: the rebuilt index files are on the disk before the rebuild is done.
    if (autoFlush()) {
        for (auto& file : m_slots) {
            if (file && file->diskFile().isReadWrite()) file->diskFile().flush();
        }
    }
    // Every record the rebuilds found under their locks has its keys.
    int rebuilt = -1;
    for (const auto& file : m_slots) {
        if (!file) continue;
        const int records = file->lastRebuild().records;
        rebuilt = rebuilt < 0 ? records : std::min(rebuilt, records);
    }
    if (rebuilt >= 0) m_coveredRecords = rebuilt;
    // The rebuilds took the tag tables as they were under their locks: the current tag is the
    // one of its name there now (another copy may have deleted and made it again meanwhile).
    if (!m_tagName.empty()) {
        for (const auto& file : m_slots) {
            GSobjMDXTag* found = file ? file->findTag(m_tagName) : nullptr;
            if (found != nullptr) {
                previous = found;
                break;
            }
        }
    }
    m_tag = previous;
    if (m_tag != nullptr) m_tag->TreeReset(0);
    GotoRecord(PosTop);
}

void GSO_dBHandler::forwardProgress(const IndexProgress& progress) {
    switch (progress.event) {
        case ProgressEvent::Start:
            reportStatus(-1, progress.phase, progress.total);
            break;
        case ProgressEvent::Step:
            reportStatus(progress.phase, progress.position, 0);
            break;
        case ProgressEvent::End:
            reportStatus(0, 0, 0);
            break;
    }
}

bool GSO_dBHandler::gotoTaggedRecord(int n) {
    try {
        GSO_dBaseFld::GotoRecord(n);
        return true;
    } catch (const EEngineError& error) {
        // A record that can no longer be read in full is past the table's end as it is now.
        if (error.code() != err::kShortRead) throw;
        return false;
    }
}

std::optional<KeyFilter> GSO_dBHandler::tagKeyFilter() {
    if (m_tag->keyType() != 'C') return std::nullopt;
    std::optional<KeyFilter> filter = recordKeyFilter();
    if (!filter || filter->field() < 0 || filter->field() >= static_cast<int>(fields().size())) {
        return std::nullopt;
    }
    const DbfField& field = fields()[static_cast<size_t>(filter->field())];
    std::string expression = m_tag->keyExpression();
    while (!expression.empty() && expression.back() == ' ') expression.pop_back();
    while (!expression.empty() && expression.front() == ' ') expression.erase(expression.begin());
    // A key cut shorter than the field would not hold all the field's text.
    if (field.type != 'C' || m_tag->keyLength() < field.length ||
        upperAscii(expression) != upperAscii(field.name)) {
        return std::nullopt;
    }
    return filter;
}

std::optional<FieldBytesTest> GSO_dBHandler::usableBytesTest() {
    std::optional<FieldBytesTest> test = recordBytesTest();
    const auto characterField = [&](int field) {
        return field >= 0 && field < static_cast<int>(fields().size()) &&
               fields()[static_cast<size_t>(field)].type == 'C';
    };
    if (!test || !characterField(test->field) ||
        (test->otherField != -1 && !characterField(test->otherField))) {
        return std::nullopt;
    }
    return test;
}

void GSO_dBHandler::checkCandidates(const std::optional<FieldBytesTest>& test) {
    if (!m_candidates) return;
    if (!test || !(*test == m_candidatesTest) || m_candidatesUseDeleted != useDeleted() ||
        !m_candidatesStamp.settled || !(changeStamp() == m_candidatesStamp)) {
        m_candidates.reset();
    }
}

void GSO_dBHandler::scanCandidates(const FieldBytesTest& test) {
    const FileChangeStamp before = changeStamp();
    if (!before.settled) return;
    const DbfField& field = fields()[static_cast<size_t>(test.field)];
    const DbfField* other =
        test.otherField >= 0 ? &fields()[static_cast<size_t>(test.otherField)] : nullptr;
    const auto length = static_cast<size_t>(recordLength());
    const auto records = static_cast<uint32_t>(recordCount());
    const size_t perRead = std::max<size_t>(1, kScanReadBytes / length);
    std::vector<uint8_t> buffer(perRead * length);
    std::vector<uint32_t> passing;
    uint32_t scanned = 0;
    // Read past the mapping: the scan would otherwise take the whole table into the resident set.
    while (scanned < records) {
        const size_t want = std::min<size_t>(perRead, records - scanned) * length;
        const ssize_t got =
            ::pread(descriptor(), buffer.data(), want,
                    static_cast<off_t>(recordOffset(static_cast<int>(scanned) + 1)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        const size_t whole = static_cast<size_t>(got) / length;
        if (whole == 0) break;
        for (size_t i = 0; i < whole; ++i) {
            const uint8_t* record = buffer.data() + i * length;
            if (record[0] == kDeletedFlag && !useDeleted()) continue;
            if (test.passes(record + field.offset, static_cast<size_t>(field.length)) ||
                (other != nullptr &&
                 test.passes(record + other->offset, static_cast<size_t>(other->length)))) {
                passing.push_back(scanned + static_cast<uint32_t>(i) + 1);
            }
        }
        scanned += static_cast<uint32_t>(whole);
    }
    // Another writer wrote while the scan read: what it found may mix both versions.
    if (!(changeStamp() == before)) return;
    // Records the scan did not reach (the table got shorter) count as not scanned.
    m_candidates = std::make_unique<RecordCandidates>(scanned);
    for (const uint32_t record : passing) m_candidates->add(record);
    m_candidatesTest = test;
    m_candidatesStamp = before;
    m_candidatesUseDeleted = useDeleted();
}

void GSO_dBHandler::releaseReadPages() {
    releaseMappedPages();
    // The leaves a walk compared with the index files through their mappings.
    for (auto& file : m_slots) {
        if (file) file->diskFile().releaseMappedPages();
    }
    m_recordsRead = 0;
    m_walkMapped = 0;
}

int GSO_dBHandler::willNeedUpcoming(int max) {
    if (m_tag == nullptr || max <= 0) return 0;
    const std::optional<KeyFilter> keys = tagKeyFilter();
    std::vector<uint32_t> upcoming(static_cast<size_t>(max));
    const int count = m_tag->upcomingRecords(upcoming.data(), max, true, keys ? &*keys : nullptr);
    const auto length = static_cast<size_t>(recordLength());
    int asked = 0;
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<int>(upcoming[static_cast<size_t>(i)]);
        if (n < 1 || n > recordCount()) continue;
        if (m_candidates && !m_candidates->mayAccept(static_cast<uint32_t>(n))) continue;
        willNeed(recordOffset(n), length);
        ++asked;
    }
    return asked;
}

void GSO_dBHandler::prefetchAhead(bool forward, const KeyFilter* keys) {
    // Records in tag order lie all over the file; asking for one a few moves ahead while this
    // one is being read hides most of the wait for memory during a walk through the order.
    // The moves before asked for the ones in between.
    constexpr int kAhead = 4;
    uint32_t upcoming[kAhead];
    const int count = m_tag->upcomingRecords(upcoming, kAhead, forward, keys);
    if (count == 0) return;
    const int n = static_cast<int>(upcoming[count - 1]);
    if (n >= 1 && n <= recordCount()) {
        prefetch(recordOffset(n), static_cast<size_t>(recordLength()));
    }
}

// --- Read-ahead ---

void GSO_dBHandler::setReadAhead(bool on) {
    m_readAhead = on;
    dropReadAhead();
}

bool GSO_dBHandler::readRecord(int n, uint8_t* into) {
    size_t length = static_cast<size_t>(recordLength());
    if (!m_readAhead) {
        // Records in tag order lie all over the file. The first ones of a walk are read with
        // a system call each, which maps nothing: a window's rows or a search's few matches
        // leave nothing of the table in the resident set. A walk that goes on is a pass
        // through much of the table: the system call would then cost more than the whole
        // mapping, whose pages the walk keeps until it ends.
        if (++m_walkRecords <= kShortWalkRecords) {
            return readPastMapping(recordOffset(n), into, length) == length;
        }
        ++m_walkMapped;
        return GSO_dBaseFld::readRecord(n, into);
    }
    ++m_recordsRead;
    if (n < m_bufferFirst || n >= m_bufferFirst + m_bufferCount) {
        int capacity = static_cast<int>(std::max<size_t>(1, kReadAheadBytes / length));
        m_buffer.resize(static_cast<size_t>(capacity) * length);
        size_t got = read(recordOffset(n), m_buffer.data(), m_buffer.size());
        m_bufferFirst = n;
        m_bufferCount = static_cast<int>(got / length);
        if (m_bufferCount == 0) return false;
    }
    std::memcpy(into, m_buffer.data() + static_cast<size_t>(n - m_bufferFirst) * length, length);
    return true;
}

void GSO_dBHandler::bytesWritten(uint64_t offset, const uint8_t* data, size_t count) {
    if (m_bufferCount == 0) return;
    uint64_t start = recordOffset(m_bufferFirst);
    uint64_t end = start + static_cast<uint64_t>(m_bufferCount) * recordLength();
    if (offset + count <= start || offset >= end) return;
    // Keep the overlapping part of the buffer in step with the file.
    uint64_t from = std::max(offset, start);
    uint64_t to = std::min<uint64_t>(offset + count, end);
    std::memcpy(m_buffer.data() + (from - start), data + (from - offset), to - from);
}

// --- DBFObject ---

bool DBFObject::recordFilter() {
    return m_dataSet.acceptRecord();
}

std::optional<KeyFilter> DBFObject::recordKeyFilter() {
    return m_dataSet.filterKey();
}

std::optional<FieldBytesTest> DBFObject::recordBytesTest() {
    return m_dataSet.filterBytes();
}

void DBFObject::reportStatus(int a, int b, int c) {
    if (m_dataSet.OnStatus) m_dataSet.OnStatus(a, b, c);
}

}  // namespace abonex
