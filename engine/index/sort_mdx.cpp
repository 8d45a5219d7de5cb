#include "engine/index/sort_mdx.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"

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

GSobjSortMDX::~GSobjSortMDX() {
    try {
        finish();
    } catch (...) {
        // The build already failed; the next rebuild starts again from the file header.
    }
}

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

}  // namespace

void buildTagFromTable(GSobjMDXTag& tag, const IndexProgressCallback& progress) {
    GSO_dBaseFld& table = tag.table();
    table.RefreshHeader();
    const int count = table.recordCount();
    tag.setNodeRange(0, 0);
    GSobjSortMDX sort(tag);

    report(progress, ProgressEvent::Start, 1, count, 0);
    TgsVariant key;
    if (readsRecordNumber(tag)) {
        for (int n = 1; n <= count; ++n) {
            table.GotoRecord(n);
            addRecordKey(tag, sort, key, n);
            report(progress, ProgressEvent::Step, 1, 0, n);
        }
    } else {
        // The records are read in physical order a chunk at a time and the expressions are
        // pointed at each record in the chunk, instead of one read per record.
        const auto length = static_cast<size_t>(table.recordLength());
        std::vector<uint8_t> chunk(length * kScanChunkRecords + 1);
        table.setEdgeFlags(false, false);
        struct RestoreBuffer {
            GSO_dBaseFld& table;
            ~RestoreBuffer() { table.setRecordBuffer(nullptr); }
        } restore{table};
        for (int first = 1; first <= count; first += kScanChunkRecords) {
            const int wanted = std::min(kScanChunkRecords, count - first + 1);
            const uint64_t offset = static_cast<uint64_t>(table.headerLength()) +
                                    static_cast<uint64_t>(first - 1) * length;
            const size_t got =
                table.read(offset, chunk.data(), length * static_cast<size_t>(wanted));
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
    report(progress, ProgressEvent::End, 1, 0, 0);

    report(progress, ProgressEvent::Start, 2, count, 0);
    sort.writeTree([&](int written) { report(progress, ProgressEvent::Step, 2, 0, written); });
    report(progress, ProgressEvent::End, 2, 0, 0);
    tag.markHeaderChanged();
    tag.HeaderWrite();
}

}  // namespace abonex
