#include "engine/index/sort_mdx.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/expr/record_buffer_link.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"
#include "engine/index/tag_expression.h"

namespace abonex {

namespace {

// Bytes of node blocks gathered before they are written.
constexpr size_t kNodeWriteBatch = 64 * 1024;

int maxSortKeyLength(const GSobjMDXTag& tag) {
    return tag.keyType() == 'C' ? tag.keyLength() + 1 : 9;
}

void report(const IndexProgressCallback& progress, ProgressEvent event, int phase, int total,
            int position) {
    if (progress) progress(IndexProgress{event, phase, total, position});
}

}  // namespace

GSobjSortMDX::GSobjSortMDX(GSobjMDXTag& tag)
    : TgsSort(maxSortKeyLength(tag), tag.ascending(), tag.unique()),
      m_tag(tag),
      m_key(static_cast<size_t>(tag.keyLength()), 0) {}

// A tree left unfinished was given up by a build that failed: its tag keeps naming no root, as
// the rebuild left it before it began, rather than a tree of the keys written so far, which
// every reader would take for the whole. The next rebuild starts again from the file header.
GSobjSortMDX::~GSobjSortMDX() = default;

void GSobjSortMDX::storedForm(const SortedKey& key) {
    const auto length = static_cast<size_t>(m_tag.keyLength());
    if (m_tag.keyType() == 'C') {
        const size_t count = std::min(key.bytes.size(), length);
        std::memcpy(m_key.data(), key.bytes.data(), count);
        std::memset(m_key.data() + count, ' ', length - count);
        return;
    }
    double value = 0.0;
    if (key.type == SortKeyType::Date) {
        const int32_t day = dateFromSortBytes(key.bytes);
        value = day > 0 ? day : (m_tag.keyType() == 'D' ? kEmptyDate : 0.0);
    } else {
        value = doubleFromSortBytes(key.bytes);
    }
    if (m_tag.keyType() == 'N') {
        const mdx::NumericKey stored = mdx::encodeNumericKey(value);
        std::memcpy(m_key.data(), stored.data(), std::min(length, stored.size()));
    } else {
        mdx::putDouble(m_key.data(), value);
    }
}

void GSobjSortMDX::writeTree(const std::function<void(int)>& step) {
    SortedKey key;
    while (nextSortedKey(key)) {
        storedForm(key);
        appendEntry(0, key.recordNumber, m_key.data());
        ++m_written;
        if (step) step(m_written);
    }
    finish();
}

void GSobjSortMDX::appendEntry(size_t level, uint32_t pointer, const uint8_t* key) {
    if (level >= kMaxLevels) raiseIndexError(kMsgTreeTooDeep);
    const uint32_t blockLength = m_tag.file().blockLength();
    if (level == m_levels.size()) m_levels.push_back(Level{std::vector<uint8_t>(blockLength, 0)});
    if (m_levels[level].count == static_cast<uint32_t>(m_tag.keysPerNode())) {
        std::vector<uint8_t> lastKey;
        const uint32_t block = writeBlock(level, lastKey);
        appendEntry(level + 1, block, lastKey.data());
    }
    Level& target = m_levels[level];
    uint8_t* at = target.block.data() + mdx::kNodeEntries +
                  target.count * static_cast<uint32_t>(m_tag.entryLength());
    putLE32(at, pointer);
    std::memcpy(at + 4, key, static_cast<size_t>(m_tag.keyLength()));
    ++target.count;
}

uint32_t GSobjSortMDX::writeBlock(size_t level, std::vector<uint8_t>& lastKey) {
    Level& source = m_levels[level];
    GSobjMDXFile& file = m_tag.file();
    const uint32_t stored = level == 0 ? source.count : source.count - 1;
    const uint32_t block = file.BlockAllocate();
    uint8_t* b = source.block.data();
    putLE32(b + mdx::kNodeCount, stored);
    putLE32(b + mdx::kNodeChain, m_tag.lastNodeBlock());
    m_tag.setNodeRange(m_tag.firstNodeBlock() == 0 ? block : m_tag.firstNodeBlock(), block);
    writeNode(block, b);

    const uint8_t* last =
        b + mdx::kNodeEntries + (source.count - 1) * static_cast<uint32_t>(m_tag.entryLength()) + 4;
    lastKey.assign(last, last + m_tag.keyLength());
    std::fill(source.block.begin(), source.block.end(), 0);
    source.count = 0;
    return block;
}

void GSobjSortMDX::writeNode(uint32_t block, const uint8_t* bytes) {
    GSobjMDXFile& file = m_tag.file();
    const uint32_t length = file.blockLength();
    const auto pendingBlocks = static_cast<uint32_t>(m_pending.size() / length);
    if (!m_pending.empty() && (block != m_pendingBlock + pendingBlocks * file.blockUnits() ||
                               m_pending.size() >= kNodeWriteBatch)) {
        flushNodes();
    }
    if (m_pending.empty()) m_pendingBlock = block;
    m_pending.insert(m_pending.end(), bytes, bytes + length);
}

void GSobjSortMDX::flushNodes() {
    if (m_pending.empty()) return;
    m_tag.file().BlockWrite(m_pendingBlock, m_pending.data(), m_pending.size());
    m_pending.clear();
}

void GSobjSortMDX::finish() {
    if (m_finished) return;
    m_finished = true;
    GSobjMDXFile& file = m_tag.file();
    uint32_t root = 0;
    if (m_levels.empty() || m_levels[0].count == 0) {
        root = file.BlockAllocate();
        const std::vector<uint8_t> zero(file.blockLength(), 0);
        file.BlockWrite(root, zero.data(), zero.size());
        m_tag.setNodeRange(root, root);
    } else {
        std::vector<uint8_t> lastKey;
        for (size_t level = 0; level < m_levels.size(); ++level) {
            if (m_levels[level].count == 0) continue;
            const bool top = level + 1 == m_levels.size();
            const uint32_t block = writeBlock(level, lastKey);
            if (top) {
                root = block;
            } else {
                appendEntry(level + 1, block, lastKey.data());
            }
        }
    }
    flushNodes();
    m_tag.setRoot(root);
    m_tag.markHeaderChanged();
}

namespace {

// Records read at once while the table is scanned.
constexpr int kScanChunkRecords = 2048;
// Chunk buffers of the scan on two threads: read ahead of the threads that key them.
constexpr size_t kChunksInFlight = 4;

std::atomic<unsigned> g_buildThreads{0};
// Threads keying records for bulk builds in this process now: the builds' calling threads and
// their helpers. A helper the build did not insist on leaves when they outnumber the cores.
std::atomic<unsigned> g_keyingThreads{0};

// Counts the thread that makes it in g_keyingThreads while it lives.
struct KeyingThread {
    KeyingThread() { g_keyingThreads.fetch_add(1); }
    ~KeyingThread() { g_keyingThreads.fetch_sub(1); }
    KeyingThread(const KeyingThread&) = delete;
    KeyingThread& operator=(const KeyingThread&) = delete;
};

// Adds the key of the record in the table's current record buffer when it passes the filter.
void addRecordKey(GSobjMDXTag& tag, GSobjSortMDX& sort, TgsVariant& key, int recordNumber) {
    if (tag.hasFilter() && !tag.FilterEvaluate()) return;
    tag.KeyEvaluate(key);
    tag.KeyAdjust(key, true);
    sort.addKey(key, static_cast<uint32_t>(recordNumber));
}

// RECNO() needs the table positioned on each record; every other expression reads only the
// record buffer.
bool readsRecordNumber(const GSobjMDXTag& tag) {
    const std::string texts = upperAscii(tag.keyExpression() + " " + tag.filterExpression());
    return texts.find("RECNO") != std::string::npos;
}

uint64_t chunkOffset(const GSO_dBaseFld& table, int first) {
    return static_cast<uint64_t>(table.headerLength()) +
           static_cast<uint64_t>(first - 1) * static_cast<uint64_t>(table.recordLength());
}

// The scan on the calling thread: the records are read in physical order a chunk at a time and
// the tag's expressions are pointed at each record in the chunk, instead of one read per record.
void scanOnOneThread(GSobjMDXTag& tag, GSobjSortMDX& sort, int count,
                     const IndexProgressCallback& progress) {
    GSO_dBaseFld& table = tag.table();
    TgsVariant key;
    const auto length = static_cast<size_t>(table.recordLength());
    std::vector<uint8_t> chunk(length * kScanChunkRecords + 1);
    struct RestoreBuffer {
        GSO_dBaseFld& table;
        ~RestoreBuffer() { table.setRecordBuffer(nullptr); }
    } restore{table};
    for (int first = 1; first <= count; first += kScanChunkRecords) {
        const int wanted = std::min(kScanChunkRecords, count - first + 1);
        const uint64_t offset = chunkOffset(table, first);
        const size_t got = table.read(offset, chunk.data(), length * static_cast<size_t>(wanted));
        const int records = static_cast<int>(got / length);
        for (int i = 0; i < records; ++i) {
            table.setRecordBuffer(chunk.data() + static_cast<size_t>(i) * length);
            addRecordKey(tag, sort, key, first + i);
            report(progress, ProgressEvent::Step, 1, 0, first + i);
        }
        // The chunk's pages of a mapped table are not needed again.
        table.releaseMappedPages(offset, got);
        if (records < wanted) break;  // the table was cut short under us
    }
}

// A chunk of records of the scan on two threads.
struct ScanChunk {
    std::vector<uint8_t> bytes;
    size_t sequence = 0;  // its place among the chunks of the table
    int first = 0;        // the number of its first record
    int records = 0;      // records read into it
};

// Keys the records of chunks into a sort, through a link and compiled expressions of its own:
// of the table it reads only what stays as it is while the table is open.
class ChunkKeyer {
  public:
    ChunkKeyer(GSobjMDXTag& tag, TgsSort& sort)
        : m_tag(tag),
          m_sort(sort),
          m_link(tag.table()),
          m_length(static_cast<size_t>(tag.table().recordLength())),
          m_key(compileTagExpression(m_link, tag.keyExpression())),
          m_filter(tag.hasFilter() ? compileTagExpression(m_link, tag.filterExpression())
                                   : nullptr) {}

    void keyChunk(const ScanChunk& chunk) {
        for (int i = 0; i < chunk.records; ++i) {
            const int number = chunk.first + i;
            m_link.setRecord(chunk.bytes.data() + static_cast<size_t>(i) * m_length, number);
            if (m_tag.hasFilter()) {
                const TgsVariant passes = m_filter->evaluate();
                if (passes.type() != VariantType::Logical || !passes.asLogical()) continue;
            }
            m_value = m_key->evaluate();
            m_tag.KeyAdjust(m_value, true);
            m_sort.addKey(m_value, static_cast<uint32_t>(number));
        }
    }

  private:
    const GSobjMDXTag& m_tag;
    TgsSort& m_sort;
    RecordBufferLink m_link;
    size_t m_length;
    std::unique_ptr<TagExpression> m_key;
    std::unique_ptr<TagExpression> m_filter;
    TgsVariant m_value;
};

// The scan on two threads. The calling thread alone reads the table and reports the progress,
// a chunk at a time into a few buffers; each chunk read is keyed by whichever thread is free
// first, the calling thread into the tag's sort, the other thread into a sort of its own whose
// keys the tag's sort takes over at the end. Every key carries its record number, so the merged
// order, and with it every byte of the tree, is the one thread's.
//
// The other thread leaves early, unless told to stay, once the process keys records on more threads
// than the machine has cores (two builds at once): the calling thread then keys the rest.
//
// The error raised is the one the scan on one thread raises: the first in table order. A chunk
// whose keying fails stops the taking of later chunks, while the chunks taken before it are
// keyed to their end; a read that fails (or a progress call that raises) ends the reading, and
// every chunk read before it is still keyed. Among the failures of one chunk the keying's
// comes first.
class TwoThreadScan {
  public:
    TwoThreadScan(GSobjMDXTag& tag, GSobjSortMDX& sort, bool helperStays)
        : m_tag(tag), m_sort(sort), m_chunks(kChunksInFlight), m_helperStays(helperStays) {
        const auto length = static_cast<size_t>(tag.table().recordLength());
        for (ScanChunk& chunk : m_chunks) {
            chunk.bytes.resize(length * kScanChunkRecords + 1);
            m_free.push_back(&chunk);
        }
    }

    void run(int count, const IndexProgressCallback& progress) {
        ChunkKeyer own(m_tag, m_sort);
        // The other thread makes its sort and keyer itself: what each thread writes for every
        // record lies in memory of its own, not in cache lines the calling thread writes too.
        std::thread helper([this] {
            const KeyingThread counted;
            try {
                m_otherSort = std::make_unique<TgsSort>(maxSortKeyLength(m_tag), m_tag.ascending(),
                                                        m_tag.unique());
                ChunkKeyer other(m_tag, *m_otherSort);
                keyChunks(other, !m_helperStays);
            } catch (...) {
                // The calling thread made the same keyer already: only memory can run out here.
                failed(0, Stage::Keying, std::current_exception());
            }
        });
        {
            // Whatever happens here, the other thread is let go and joined before its sort is
            // taken over or dropped.
            struct Join {
                TwoThreadScan& scan;
                std::thread& helper;
                ~Join() {
                    scan.endReading();
                    helper.join();
                }
            } join{*this, helper};
            readChunks(own, count, progress);
            endReading();
            keyChunks(own, false);
        }
        if (m_error) std::rethrow_exception(m_error);
        if (m_otherSort) m_sort.takeKeysOf(*m_otherSort);
    }

  private:
    enum class Stage { Keying, Reading };

    void readChunks(ChunkKeyer& own, int count, const IndexProgressCallback& progress) {
        GSO_dBaseFld& table = m_tag.table();
        const auto length = static_cast<size_t>(table.recordLength());
        size_t sequence = 0;
        for (int first = 1; first <= count; first += kScanChunkRecords, ++sequence) {
            ScanChunk* chunk = freeChunk(own);
            if (chunk == nullptr) return;
            const int wanted = std::min(kScanChunkRecords, count - first + 1);
            try {
                const uint64_t offset = chunkOffset(table, first);
                const size_t got =
                    table.read(offset, chunk->bytes.data(), length * static_cast<size_t>(wanted));
                table.releaseMappedPages(offset, got);
                chunk->sequence = sequence;
                chunk->first = first;
                chunk->records = static_cast<int>(got / length);
            } catch (...) {
                putBack(chunk);
                failed(sequence, Stage::Reading, std::current_exception());
                return;
            }
            {
                const std::lock_guard lock(m_mutex);
                m_filled.push_back(chunk);
            }
            m_changed.notify_all();
            try {
                for (int i = 0; i < chunk->records; ++i) {
                    report(progress, ProgressEvent::Step, 1, 0, first + i);
                }
            } catch (...) {
                failed(sequence, Stage::Reading, std::current_exception());
                return;
            }
            if (chunk->records < wanted) return;  // the table was cut short under us
        }
    }

    // A buffer to read the next chunk into; while none is free the calling thread keys a chunk
    // read already. nullptr once a keying failed.
    ScanChunk* freeChunk(ChunkKeyer& own) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_stop) return nullptr;
            if (!m_free.empty()) {
                ScanChunk* chunk = m_free.back();
                m_free.pop_back();
                return chunk;
            }
            if (!m_filled.empty()) {
                keyFront(own, lock);
                continue;
            }
            m_changed.wait(lock);
        }
    }

    // Keys the chunks read until the reading has ended and none is left, or a keying failed;
    // `mayLeave`: or until the process keys on more threads than there are cores.
    void keyChunks(ChunkKeyer& keyer, bool mayLeave) {
        const unsigned cores = std::thread::hardware_concurrency();
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_stop) return;
            if (mayLeave && g_keyingThreads.load() > cores) return;
            if (!m_filled.empty()) {
                keyFront(keyer, lock);
                continue;
            }
            if (m_readingEnded) return;
            m_changed.wait(lock);
        }
    }

    // Takes the first chunk read and keys it with the lock let go meanwhile.
    void keyFront(ChunkKeyer& keyer, std::unique_lock<std::mutex>& lock) {
        ScanChunk* chunk = m_filled.front();
        m_filled.pop_front();
        lock.unlock();
        try {
            keyer.keyChunk(*chunk);
        } catch (...) {
            failed(chunk->sequence, Stage::Keying, std::current_exception());
        }
        lock.lock();
        m_free.push_back(chunk);
        m_changed.notify_all();
    }

    void putBack(ScanChunk* chunk) {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(chunk);
    }

    void endReading() {
        {
            const std::lock_guard lock(m_mutex);
            m_readingEnded = true;
        }
        m_changed.notify_all();
    }

    void failed(size_t sequence, Stage stage, std::exception_ptr error) {
        {
            const std::lock_guard lock(m_mutex);
            const auto rank = std::make_pair(sequence, stage);
            if (!m_error || rank < m_errorRank) {
                m_error = std::move(error);
                m_errorRank = rank;
            }
            if (stage == Stage::Keying) m_stop = true;
        }
        m_changed.notify_all();
    }

    GSobjMDXTag& m_tag;
    GSobjSortMDX& m_sort;
    std::unique_ptr<TgsSort> m_otherSort;  // made by the other thread
    std::vector<ScanChunk> m_chunks;
    const bool m_helperStays;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ScanChunk*> m_free;
    std::deque<ScanChunk*> m_filled;  // read, in table order, not taken yet
    bool m_readingEnded = false;
    bool m_stop = false;  // a keying failed: no chunk is taken any more
    std::exception_ptr m_error;
    std::pair<size_t, Stage> m_errorRank{0, Stage::Keying};
};

bool scanOnTwoThreads(const GSobjMDXTag& tag, int count) {
    if (readsRecordNumber(tag)) return false;
    const unsigned threads = g_buildThreads.load();
    if (threads != 0) return threads >= 2;
    // A table of one chunk gains nothing from a second thread.
    return std::thread::hardware_concurrency() >= 2 && count > kScanChunkRecords;
}

}  // namespace

void setBulkBuildThreads(unsigned threads) {
    g_buildThreads.store(threads);
}

void buildTagFromTable(GSobjMDXTag& tag, const IndexProgressCallback& progress) {
    GSO_dBaseFld& table = tag.table();
    table.RefreshHeader();
    const int count = table.recordCount();
    tag.setNodeRange(0, 0);
    GSobjSortMDX sort(tag);

    report(progress, ProgressEvent::Start, 1, count, 0);
    if (readsRecordNumber(tag)) {
        TgsVariant key;
        for (int n = 1; n <= count; ++n) {
            table.GotoRecord(n);
            addRecordKey(tag, sort, key, n);
            report(progress, ProgressEvent::Step, 1, 0, n);
        }
    } else {
        table.setEdgeFlags(false, false);
        const KeyingThread counted;
        if (scanOnTwoThreads(tag, count)) {
            TwoThreadScan(tag, sort, g_buildThreads.load() >= 2).run(count, progress);
        } else {
            scanOnOneThread(tag, sort, count, progress);
        }
    }
    report(progress, ProgressEvent::End, 1, 0, 0);

    report(progress, ProgressEvent::Start, 2, count, 0);
    sort.writeTree([&](int written) { report(progress, ProgressEvent::Step, 2, 0, written); });
    report(progress, ProgressEvent::End, 2, 0, 0);
    tag.markHeaderChanged();
    tag.HeaderWrite();
}

}  // namespace abonex
