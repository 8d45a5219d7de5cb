// Whether the open index files still describe the table: the look at appended records, the
// quick look before rows are shown, the looks a reader takes before it trusts a tag, and the
// look at the row a walk hands out.
#include <algorithm>

#include "engine/dataset/db_handler.h"
#include "engine/file/engine_error.h"
#include "engine/index/mdx_file.h"
#include "engine/index/mdx_tag.h"

namespace abonex {

namespace {

// Gives the handler its own record buffer back when a look that read records into another ends.
class RecordBufferRestore {
  public:
    explicit RecordBufferRestore(GSO_dBHandler& handler) : m_handler(handler) {}
    ~RecordBufferRestore() { m_handler.setRecordBuffer(nullptr); }
    RecordBufferRestore(const RecordBufferRestore&) = delete;
    RecordBufferRestore& operator=(const RecordBufferRestore&) = delete;

  private:
    GSO_dBHandler& m_handler;
};

}  // namespace

bool GSO_dBHandler::appendedRecordsIndexed() {
    RefreshHeader();
    if (recordCount() <= m_coveredRecords || indexFileCount() == 0) {
        m_coveredRecords = std::max(m_coveredRecords, recordCount());
        return true;
    }
    // No copy of the program is half-way through a record and its keys meanwhile.
    IndexLocks locks(*this);
    RefreshHeader();
    const auto length = static_cast<size_t>(recordLength());
    std::vector<uint8_t> record(length + 1, kEndOfFileMark);
    RecordBufferRestore restore(*this);
    for (int n = m_coveredRecords + 1; n <= recordCount(); ++n) {
        if (!recordKeysIndexed(n, record)) return false;
        m_coveredRecords = n;
    }
    return true;
}

bool GSO_dBHandler::recordKeysIndexed(int n, std::vector<uint8_t>& record, GSobjMDXTag** missing) {
    const size_t length = record.size() - 1;
    if (read(recordOffset(n), record.data(), length) != length) return false;
    setRecordBuffer(record.data());
    for (const auto& file : m_slots) {
        if (!file) continue;
        for (const auto& tag : file->tags()) {
            if (tag->hasFilter() && !tag->FilterEvaluate()) continue;
            TgsVariant key;
            if (!tag->KeyEvaluate(key)) continue;
            tag->KeyAdjust(key, true);
            key.setPointer(tag->unique() ? 0 : static_cast<uint32_t>(n));
            if (tag->KeyLookup(key) == 0) {
                if (missing != nullptr) *missing = tag.get();
                return false;
            }
        }
    }
    return true;
}

std::optional<IndexDisagreement> GSO_dBHandler::sampledDisagreement() {
    const int count = recordCount();
    if (count == 0) return std::nullopt;
    const auto length = static_cast<size_t>(recordLength());
    std::vector<int> records;
    records.push_back(count);
    const int first = std::min(count, kCoverSamples);
    for (int n = 1; n <= first; ++n) records.push_back(n);
    const int stride = std::max(1, count / kCoverSamples);
    for (int n = stride; n <= count; n += stride) records.push_back(n);
    // Each record spread over a table the page cache does not hold is a seek of its own: asked
    // for all at once, they are read side by side while the tag's first entries are looked up,
    // and the checks below find them in memory.
    willNeed(recordOffset(1), static_cast<size_t>(first) * length);
    for (size_t i = static_cast<size_t>(first) + 1; i < records.size(); ++i) {
        willNeed(recordOffset(records[i]), length);
    }
    willNeed(recordOffset(count), length);
    // The current tag's first entries: the rows a window shows first.
    if (m_tag != nullptr) {
        const size_t spread = records.size();
        for (int n = m_tag->Navigate(PosTop);
             n != 0 && records.size() - spread < static_cast<size_t>(kCoverSamples);
             n = m_tag->Navigate(PosNext)) {
            if (n < 1 || n > count) {
                return IndexDisagreement{m_tag->file().path(), "names record " + std::to_string(n) +
                                                                   " in tag " + m_tag->name()};
            }
            records.push_back(n);
        }
        if (records.size() == spread) {
            return IndexDisagreement{m_tag->file().path(), "holds no keys in tag " + m_tag->name()};
        }
        for (size_t i = spread; i < records.size(); ++i) {
            willNeed(recordOffset(records[i]), length);
        }
    }

    std::vector<uint8_t> record(length + 1, kEndOfFileMark);
    RecordBufferRestore restore(*this);
    for (const int n : records) {
        GSobjMDXTag* missing = nullptr;
        if (recordKeysIndexed(n, record, &missing)) continue;
        if (missing == nullptr) {
            // The table is shorter than its header says: the walk's own checks tell which row.
            continue;
        }
        return IndexDisagreement{
            missing->file().path(),
            "holds no key for record " + std::to_string(n) + " in tag " + missing->name()};
    }
    return std::nullopt;
}

bool GSO_dBHandler::indexesCoverTable() {
    try {
        IndexLocks locks(*this);
        RefreshHeader();
        if (recordCount() == 0 || indexFileCount() == 0) return true;
        if (partialRecordBytes() > 0) return false;
        return !sampledDisagreement() && !unmarkedTableWrite();
    } catch (const EEngineError&) {
        // An index that cannot be read through is one for the rebuild to repair, not a reason
        // to refuse the table: the caller rebuilds before it shows rows.
        return false;
    }
}

std::optional<IndexDisagreement> GSO_dBHandler::unmarkedTableWrite() {
    // Every writer of this program marks the index files after its writes to the table, under
    // the index locks (markIndexFilesAfterTable): a table modified later was written by a
    // program that leaves the index as it was (a row renamed in place, a table saved anew).
    // Through a network file system the times are the server's and come with the client's
    // delays: there only the walk's look at each row's key tells (currentRecordDisagreement).
    if (onNetworkShare()) return std::nullopt;
    const int64_t table = changeStamp().modifiedNs;
    for (const auto& file : m_slots) {
        if (!file || file->diskFile().onNetworkShare()) continue;
        if (table > file->diskFile().changeStamp().modifiedNs) {
            return IndexDisagreement{file->path(),
                                     "was written before another program changed the table"};
        }
    }
    return std::nullopt;
}

std::optional<IndexDisagreement> GSO_dBHandler::disagreementNow(IndexLook look) {
    if (look == IndexLook::Marks) {
        RefreshHeader();
        return unmarkedTableWrite();
    }
    for (const auto& file : m_slots) {
        if (!file) continue;
        // Blocks kept from the walk before may be from another copy's rebuild under way then:
        // the tags are read in the file as it is now.
        file->forgetReads(true);
        file->refreshTags();
    }
    RefreshHeader();
    if (look == IndexLook::Samples) {
        if (auto found = sampledDisagreement()) return found;
        return unmarkedTableWrite();
    }
    const auto records = static_cast<uint32_t>(recordCount());
    for (const auto& file : m_slots) {
        if (!file) continue;
        for (const auto& tag : file->tags()) {
            uint32_t keys = 0, highest = 0;
            // The root as the file names it now: another copy may have rebuilt the tree since
            // this process read the tag header (when it opened the file during that rebuild,
            // the header named no root at all).
            tag->RootBlock();
            tag->walkKeys([&](const TgsVariant& key) {
                ++keys;
                highest = std::max(highest, key.pointer());
            });
            if (highest > records) {
                return IndexDisagreement{file->path(), "names record " + std::to_string(highest) +
                                                           " in tag " + tag->name()};
            }
            if (!tag->unique() && !tag->hasFilter() && keys != records) {
                return IndexDisagreement{
                    file->path(), "holds " + std::to_string(keys) + " keys in tag " + tag->name()};
            }
        }
    }
    return unmarkedTableWrite();
}

std::optional<IndexDisagreement> GSO_dBHandler::indexDisagreement(IndexLook look) {
    if (indexFileCount() == 0) return std::nullopt;
    // Under the lock of every writer of the table: nobody is half-way through a record and its
    // keys, or through a rebuild.
    IndexLocks locks(*this);
    if (!disagreementNow(look)) return std::nullopt;
    // Before the files are said to disagree, both are read as the server holds them: the client
    // of a network file system may have answered one of them from what it kept of it before
    // another machine's last write.
    for (const auto& file : m_slots) {
        if (file) file->diskFile().forgetClientCaches();
    }
    forgetClientCaches();
    return disagreementNow(look);
}

std::optional<IndexDisagreement> GSO_dBHandler::currentRecordDisagreement() {
    GSobjMDXTag* tag = m_tag;
    const int n = recordNumber();
    if (tag == nullptr) return std::nullopt;  // record order reads only records the table holds
    if (n > recordCount()) {
        return IndexDisagreement{tag->file().path(),
                                 "names record " + std::to_string(n) + " in tag " + tag->name()};
    }
    // The row came under a key: its record must still give that key. When it does not, and the
    // index file has not changed since the walk last looked at it (a writer of this program
    // changes the record and its key under one lock), another program changed the record
    // without its index.
    if (n <= 0 || tag->currentRecord() != n || tag->currentKeyFitsRecord()) return std::nullopt;
    IndexLocks locks(*this);
    if (tag->file().lookForChanges()) return std::nullopt;
    // The record as the disk holds it now (the server's, on a share): a record read before a
    // writer of this program changed it is no fault of the index.
    forgetClientCaches();
    if (!recordReads(n, recordImage())) return std::nullopt;
    return IndexDisagreement{tag->file().path(), "holds record " + std::to_string(n) + " in tag " +
                                                     tag->name() +
                                                     " under a key its row no longer gives"};
}

}  // namespace abonex
