#include "engine/index/mdx_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/sort_mdx.h"

namespace abonex {

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

uint8_t* slotAt(std::vector<uint8_t>& area, size_t k) {
    return area.data() + mdx::kTagTable + mdx::kSlotLength * k;
}

}  // namespace

void stampIndexDate(uint8_t* at) {
    stampHeaderDate(at, engineLocalNow());
}

// ---------------------------------------------------------------------------------------------
// GSobjIndexFile

void GSobjIndexFile::ReportError(int code, int subCode, std::string_view text) {
    raiseEngineError(code, subCode, text);
}

void GSobjIndexFile::lockIndexFile() {
    if (!m_file->lockWaiting(indexFileLockRegion(m_protocol), GSO_DiskFile::defaultLockWait())) {
        raiseIndexLockError(m_file->lastError(), m_file->path());
    }
    // Every writer of the file takes this lock (a rebuild takes more): nobody else grows it.
    m_file->keepSizeUntilUnlock(true);
}

void GSobjIndexFile::unlockIndexFile() {
    m_file->unlock();
}

bool GSobjIndexFile::changingElsewhere() const {
    return m_file->lockedElsewhere(indexFileLockRegion(m_protocol)) ||
           m_file->lockedElsewhere(kLockAllRegion);
}

void GSobjIndexFile::reportProgress(ProgressEvent event, int phase, int total, int position) const {
    if (m_progress) m_progress(IndexProgress{event, phase, total, position});
}

// ---------------------------------------------------------------------------------------------
// Opening, creating, closing

std::string GSobjMDXFile::indexFilePath(const GSO_dBaseFld& table, std::string_view fileName) {
    std::string path(trimBlanks(fileName));
    if (extensionPart(path).empty()) path += ".MDX";
    if (path.find('/') == std::string::npos) {
        path = std::string(directoryPart(table.path())) + path;
    }
    return path;
}

GSobjMDXFile::GSobjMDXFile(GSO_dBaseFld& table, std::string_view fileName) : GSobjIndexFile(table) {
    openFile(indexFilePath(table, fileName));
    readHeader();
    markProductionIndex();
}

GSobjMDXFile::GSobjMDXFile(GSO_dBaseFld& table, std::string_view path, CreateTag)
    : GSobjIndexFile(table) {
    openFile(path);
}

std::unique_ptr<GSobjMDXFile> GSobjMDXFile::create(GSO_dBaseFld& table, std::string_view fileName) {
    // An existing file, spelled in any case, is refused rather than emptied or doubled.
    const std::string path = resolveCaseInsensitive(indexFilePath(table, fileName));
    GSO_DiskFile::create(path);
    std::unique_ptr<GSobjMDXFile> file(new GSobjMDXFile(table, path, CreateTag{}));

    std::vector<uint8_t> header(mdx::kHeaderSize, 0);
    uint8_t* h = header.data();
    h[mdx::kHdrVersion] = mdx::kVersion;
    stampIndexDate(h + mdx::kHdrChangeDate);
    const std::string base = upperAscii(baseNamePart(table.path()));
    std::memcpy(h + mdx::kHdrTableName, base.data(), std::min(base.size(), mdx::kHdrTableNameMax));
    putLE16(h + mdx::kHdrBlockUnits, mdx::kBlockUnits);
    putLE16(h + mdx::kHdrBlockLength, mdx::kBlockLength);
    h[mdx::kHdrProduction] = 1;
    h[mdx::kHdrSlotCount] = mdx::kSlotCount;
    putLE16(h + mdx::kHdrSlotLength, mdx::kSlotLength);
    putLE16(h + mdx::kHdrTagCount, 0);
    putLE32(h + mdx::kHdrNextFree, mdx::kFirstFreeBlock);
    stampIndexDate(h + mdx::kHdrCreateDate);
    file->m_file->write(0, h, header.size());
    file->m_nextFree = mdx::kFirstFreeBlock;
    file->markProductionIndex();
    return file;
}

void GSobjMDXFile::openFile(std::string_view path) {
    m_file = std::make_unique<GSO_DiskFile>(path, m_table.isShared(), m_table.isReadWrite());
    // Walks compare the leaf they stand on with the file before each step (see
    // GSobjMDXTag::lookBeforeStep).
    m_file->enableCompareMapping();
    m_name = std::string(fileNamePart(m_file->path()));
    m_opened = true;
}

GSobjMDXFile::~GSobjMDXFile() {
    try {
        close();
    } catch (...) {
        // A destructor never throws; the disk file releases its handle and lock itself.
    }
}

void GSobjMDXFile::damaged(std::string_view detail) const {
    raiseIndexDamaged(m_file->path(), detail);
}

void GSobjMDXFile::readHeader() {
    uint8_t first[mdx::kUnitSize];
    if (m_file->read(0, first, sizeof first) != sizeof first) {
        damaged("header shorter than 512 bytes");
    }
    m_blockUnits = getLE16(first + mdx::kHdrBlockUnits);
    m_blockLength = getLE16(first + mdx::kHdrBlockLength);
    if (m_blockUnits < 2 || m_blockLength != m_blockUnits * mdx::kUnitSize) {
        damaged("block length " + std::to_string(m_blockLength) + " in " +
                std::to_string(m_blockUnits) + " units");
    }
    m_headerSize = m_blockUnits * m_blockLength;
    const std::vector<uint8_t> area = readHeaderArea();
    BlockRecount();
    takeTagTable(area);
}

void GSobjMDXFile::takeTagTable(const std::vector<uint8_t>& area) {
    const uint16_t tagCount = getLE16(area.data() + mdx::kHdrTagCount);
    const size_t slotsInHeader = (m_headerSize - mdx::kTagTable) / mdx::kSlotLength - 1;
    if (tagCount > slotsInHeader) {
        damaged("tag count " + std::to_string(tagCount) + " exceeds the tag table");
    }
    // Every slot is checked before anything changes: a table that reads bad halfway leaves
    // the tags as they were, and no tag object that the table handler may hold is freed.
    struct Slot {
        std::string name;
        uint32_t headerBlock = 0;
    };
    std::vector<Slot> slots;
    const uint64_t fileSize = m_file->size();
    for (size_t k = 1; k <= tagCount; ++k) {
        const uint8_t* slot = area.data() + mdx::kTagTable + mdx::kSlotLength * k;
        const uint32_t headerBlock = getLE32(slot + mdx::kSlotHeaderBlock);
        const auto* nameStart = reinterpret_cast<const char*>(slot + mdx::kSlotName);
        std::string name(nameStart, strnlen(nameStart, mdx::kSlotNameMax + 1));
        if (headerBlock < m_headerSize / mdx::kUnitSize ||
            uint64_t{headerBlock} * mdx::kUnitSize + m_blockLength > fileSize) {
            damaged("header block " + std::to_string(headerBlock) + " of tag " + name +
                    " lies outside the file");
        }
        slots.push_back(Slot{std::move(name), headerBlock});
    }
    auto knownTag = [&](const std::string& name) {
        return std::find_if(m_tags.begin(), m_tags.end(), [&](const auto& tag) {
            return tag && tag->name() == upperAscii(name);
        });
    };
    // New tags read their headers into objects of their own first; one that reads bad is
    // dropped with the others and nothing else has changed.
    std::vector<std::unique_ptr<GSobjMDXTag>> fresh(slots.size());
    for (size_t k = 0; k < slots.size(); ++k) {
        if (knownTag(slots[k].name) != m_tags.end()) continue;
        fresh[k] = std::make_unique<GSobjMDXTag>(*this, slots[k].name, slots[k].headerBlock);
        fresh[k]->HeaderRead();
    }
    // A tag this object knows already stays the same object (the table handler may hold it as
    // its current tag); when a rebuild moved its header, the header is read anew. It stays in
    // the list while it does, so a header that reads bad frees nothing.
    for (const Slot& slot : slots) {
        const auto known = knownTag(slot.name);
        if (known == m_tags.end() || (*known)->headerBlock() == slot.headerBlock) continue;
        (*known)->TreeRelease();
        (*known)->setHeaderBlock(slot.headerBlock);
        (*known)->HeaderRead();
    }
    std::vector<std::unique_ptr<GSobjMDXTag>> tags;
    tags.reserve(slots.size());
    for (size_t k = 0; k < slots.size(); ++k) {
        if (fresh[k]) {
            tags.push_back(std::move(fresh[k]));
            continue;
        }
        const auto known = knownTag(slots[k].name);
        if (known == m_tags.end()) continue;  // a name the table holds twice
        tags.push_back(std::move(*known));
    }
    // Tags another writer deleted leave the list but stay alive until the file closes.
    for (auto& tag : m_tags) {
        if (tag) m_retiredTags.push_back(std::move(tag));
    }
    m_tags = std::move(tags);
    m_tagTableImage.assign(area.begin() + mdx::kHdrTagCount, area.end());
}

void GSobjMDXFile::refreshTags() {
    const std::vector<uint8_t> area = readHeaderArea();
    if (std::equal(area.begin() + mdx::kHdrTagCount, area.end(), m_tagTableImage.begin(),
                   m_tagTableImage.end())) {
        return;
    }
    takeTagTable(area);
}

void GSobjMDXFile::lockForTagChange() {
    lockIndexFile();
    try {
        BlockRecount();
        lookForChanges();
        refreshTags();
    } catch (...) {
        unlockIndexFile();
        throw;
    }
}

uint32_t GSobjMDXFile::tagHeaderBlockOnDisk(std::string_view name) {
    std::vector<uint8_t> area(m_headerSize);
    if (m_file->read(0, area.data(), area.size()) != area.size()) return 0;
    const size_t tagCount = getLE16(area.data() + mdx::kHdrTagCount);
    for (size_t k = 1; k <= tagCount; ++k) {
        const size_t at = mdx::kTagTable + mdx::kSlotLength * k;
        if (at + mdx::kSlotLength > area.size()) break;
        const auto* nameStart = reinterpret_cast<const char*>(area.data() + at + mdx::kSlotName);
        std::string slotName(nameStart, strnlen(nameStart, mdx::kSlotNameMax + 1));
        if (upperAscii(slotName) == upperAscii(name)) {
            return getLE32(area.data() + at + mdx::kSlotHeaderBlock);
        }
    }
    return 0;
}

std::vector<uint8_t> GSobjMDXFile::readHeaderArea() {
    std::vector<uint8_t> area(m_headerSize);
    if (m_file->read(0, area.data(), area.size()) != area.size()) {
        damaged("header shorter than " + std::to_string(m_headerSize) + " bytes");
    }
    return area;
}

void GSobjMDXFile::markProductionIndex() {
    if ((m_table.tableFlags() & kFlagProductionIndex) != 0 || !m_table.isReadWrite()) return;
    const std::string asTable = replaceExtension(m_file->path(), extensionPart(m_table.path()));
    if (samePathText(asTable, m_table.path())) {
        m_table.setTableFlags(kFlagProductionIndex);
        // The table's header was written after this file: the mark says the index knows it.
        if (m_file->isReadWrite() && !m_file->onNetworkShare()) m_file->markModifiedNow();
    }
}

void GSobjMDXFile::close() {
    if (!m_opened) return;
    for (auto& tag : m_tags) {
        tag->TreeRelease();
        tag->HeaderWrite();
    }
    // The date, tag count and next free block of a created or deleted tag were written with
    // the tag table, under the index lock; nothing of the header is written here.
    m_headerChanged = false;
    m_opened = false;
    m_tags.clear();
    m_retiredTags.clear();
    m_file->close();
}

GSobjMDXTag* GSobjMDXFile::findTag(std::string_view name) {
    const std::string wanted = upperAscii(trimBlanks(name));
    for (auto& tag : m_tags) {
        if (tag->name() == wanted) return tag.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Blocks

uint32_t GSobjMDXFile::BlockAllocate() {
    if (m_nextFree < 0) BlockRecount();
    const auto block = static_cast<uint32_t>(m_nextFree);
    m_nextFree += m_blockUnits;
    return block;
}

void GSobjMDXFile::BlockRecount() {
    m_nextFree = static_cast<int64_t>(m_file->size() / mdx::kUnitSize);
}

bool GSobjMDXFile::BlockRead(uint32_t block, void* buffer, size_t length) {
    return m_file->read(uint64_t{block} * mdx::kUnitSize, buffer, length) == length;
}

void GSobjMDXFile::BlockWrite(uint32_t block, const void* buffer, size_t length) {
    m_file->write(uint64_t{block} * mdx::kUnitSize, buffer, length);
    const uint64_t begin = uint64_t{block} * mdx::kUnitSize;
    if (begin < m_headerSize) {
        forgetReads(true);  // the tag table: where the tags' headers are may have changed
        return;
    }
    std::erase_if(m_kept, [&](const KeptBlock& kept) {
        const uint64_t at = uint64_t{kept.block} * mdx::kUnitSize;
        return at < begin + length && begin < at + kept.bytes.size();
    });
    m_run.reset();
}

const uint8_t* GSobjMDXFile::runBlock(uint32_t block) {
    const uint64_t at = uint64_t{block} * mdx::kUnitSize;
    const uint64_t runAt = uint64_t{m_runFirst} * mdx::kUnitSize;
    if (m_run && at >= runAt && at + m_blockLength <= runAt + m_run->size()) {
        return m_run->data() + (at - runAt);
    }
    auto run = std::make_shared<std::vector<uint8_t>>(std::max<size_t>(kRunBytes, m_blockLength));
    run->resize(m_file->read(at, run->data(), run->size()));
    m_run.reset();
    if (run->size() < m_blockLength) return nullptr;
    m_runFirst = block;
    m_run = std::move(run);
    return m_run->data();
}

bool GSobjMDXFile::nodeBlockRead(uint32_t block, uint8_t* buffer, bool* readNow) {
    if (readNow != nullptr) *readNow = false;
    for (KeptBlock& kept : m_kept) {
        if (kept.block != block) continue;
        kept.lastUse = ++m_uses;
        std::memcpy(buffer, kept.bytes.data(), kept.bytes.size());
        return true;
    }
    const uint64_t at = uint64_t{block} * mdx::kUnitSize;
    const uint64_t runAt = uint64_t{m_runFirst} * mdx::kUnitSize;
    if (m_run && at >= runAt && at + m_blockLength <= runAt + m_run->size()) {
        std::memcpy(buffer, m_run->data() + (at - runAt), m_blockLength);
        return true;
    }
    if (readNow != nullptr) *readNow = true;
    const bool next = m_lastRead != 0 && block == m_lastRead + m_blockLength / mdx::kUnitSize;
    m_lastRead = block;
    if (next) {
        if (const uint8_t* bytes = runBlock(block)) {
            std::memcpy(buffer, bytes, m_blockLength);
            return true;
        }
    }
    if (!BlockRead(block, buffer, m_blockLength)) return false;
    auto slot = m_kept.end();
    if (m_kept.size() < kKeptBlocks) {
        slot = m_kept.insert(m_kept.end(), KeptBlock{});
    } else {
        slot = std::min_element(m_kept.begin(), m_kept.end(),
                                [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; });
    }
    slot->block = block;
    slot->lastUse = ++m_uses;
    slot->bytes.assign(buffer, buffer + m_blockLength);
    return true;
}

bool GSobjMDXFile::lookForChanges() {
    const FileChangeStamp stamp = m_file->changeStamp();
    const bool same = m_lastStamp.settled && stamp == m_lastStamp;
    m_lastStamp = stamp;
    if (same) return false;
    forgetReads(true);
    return true;
}

void GSobjMDXFile::forgetReads(bool newGeneration) {
    m_kept.clear();
    m_run.reset();
    if (newGeneration) ++m_generation;
}

// ---------------------------------------------------------------------------------------------
// Tags

void GSobjMDXFile::writeTagTable(bool clearSlots) {
    std::vector<uint8_t> area = readHeaderArea();
    stampIndexDate(area.data() + mdx::kHdrChangeDate);
    if (m_nextFree < 0) BlockRecount();
    putLE32(area.data() + mdx::kHdrNextFree, static_cast<uint32_t>(m_nextFree));
    putLE16(area.data() + mdx::kHdrTagCount, static_cast<uint16_t>(m_tags.size()));
    for (size_t k = 1; k <= m_tags.size(); ++k) {
        const GSobjMDXTag& tag = *m_tags[k - 1];
        uint8_t* slot = slotAt(area, k);
        if (clearSlots) std::memset(slot, 0, mdx::kSlotLength);
        putLE32(slot + mdx::kSlotHeaderBlock, tag.headerBlock());
        std::memset(slot + mdx::kSlotName, 0, mdx::kSlotNameMax + 1);
        std::memcpy(slot + mdx::kSlotName, tag.name().data(),
                    std::min(tag.name().size(), mdx::kSlotNameMax));
        slot[mdx::kSlotConstant] = 2;
        slot[mdx::kSlotKeyType] = static_cast<uint8_t>(tag.keyType());
        slotAt(area, k - 1)[mdx::kSlotForwardLink] = static_cast<uint8_t>(k);
    }
    m_file->write(0, area.data(), area.size());
    m_tagTableImage.assign(area.begin() + mdx::kHdrTagCount, area.end());
    forgetReads(true);
    m_headerChanged = true;
}

GSobjMDXTag& GSobjMDXFile::TagCreate(std::string_view name, std::string_view keyExpression,
                                     std::string_view filterExpression, bool unique,
                                     bool ascending) {
    const std::string upper = upperAscii(trimBlanks(name));
    if (upper.empty() || upper.size() > mdx::kSlotNameMax) {
        raiseIndexError("Tag name must have 1 to 10 characters: " + std::string(name));
    }
    // Compile and size the tag before anything in the file changes.
    auto tag = std::make_unique<GSobjMDXTag>(*this, upper, 0);
    tag->TagInit(keyExpression, unique, ascending, filterExpression);

    // Other writers of the table may be appending and updating keys, or changing tags: the
    // whole change happens under the index lock they all take, on the file as it is now.
    lockForTagChange();
    struct Unlock {
        GSobjMDXFile& file;
        ~Unlock() { file.unlockIndexFile(); }
    } unlock{*this};

    // A tag of the same name is replaced; it comes back when the new one cannot be built.
    std::unique_ptr<GSobjMDXTag> replaced;
    const auto same = std::find_if(m_tags.begin(), m_tags.end(),
                                   [&](const auto& existing) { return existing->name() == upper; });
    if (same != m_tags.end()) {
        (*same)->TreeRelease();
        replaced = std::move(*same);
        m_tags.erase(same);
    }
    m_lastCreateReplaced = replaced != nullptr;
    auto insertSorted = [&](std::unique_ptr<GSobjMDXTag> entry) {
        const std::string key = entry->name();
        const auto position = std::find_if(m_tags.begin(), m_tags.end(), [&](const auto& existing) {
            return existing->name() > key;
        });
        m_tags.insert(position, std::move(entry));
    };
    if (m_tags.size() >= static_cast<size_t>(mdx::kMaxTags)) {
        if (replaced) insertSorted(std::move(replaced));
        raiseTooManyTags(m_file->path());
    }

    tag->setHeaderBlock(BlockAllocate());
    tag->markHeaderChanged();
    const std::vector<uint8_t> zero(m_blockLength, 0);
    BlockWrite(tag->headerBlock(), zero.data(), zero.size());

    GSobjMDXTag& created = *tag;
    insertSorted(std::move(tag));
    try {
        buildTag(created);
    } catch (...) {
        // The blocks written so far stay behind, unreferenced; the tag table is as it was.
        std::erase_if(m_tags, [&](const auto& existing) { return existing.get() == &created; });
        if (replaced) insertSorted(std::move(replaced));
        throw;
    }
    writeTagTable(true);
    if (replaced) m_retiredTags.push_back(std::move(replaced));
    return created;
}

void GSobjMDXFile::TagDelete(std::string_view name) {
    const std::string upper = upperAscii(trimBlanks(name));
    {
        lockForTagChange();
        struct Unlock {
            GSobjMDXFile& file;
            ~Unlock() { file.unlockIndexFile(); }
        } unlock{*this};
        const auto found = std::find_if(m_tags.begin(), m_tags.end(),
                                        [&](const auto& tag) { return tag->name() == upper; });
        if (found == m_tags.end()) raiseTagNotFound(trimBlanks(name));
        (*found)->TreeRelease();
        m_retiredTags.push_back(std::move(*found));
        m_tags.erase(found);
        writeTagTable(false);
    }
    // A file without tags gives its blocks back. The rebuild takes the whole file for itself,
    // which the index lock held above would have kept it from.
    if (m_tags.empty()) Reindex();
}

void GSobjMDXFile::buildTag(GSobjMDXTag& tag) {
    tag.setNodeRange(0, 0);
    // Under the lock every writer takes: the table as it is now, with the rows appended since
    // this process last looked.
    m_table.RefreshHeader();
    if (m_table.recordCount() == 0) {
        const uint32_t root = BlockAllocate();
        const std::vector<uint8_t> zero(m_blockLength, 0);
        BlockWrite(root, zero.data(), zero.size());
        tag.setRoot(root);
        tag.setNodeRange(root, root);
        tag.markHeaderChanged();
        tag.HeaderWrite();
        return;
    }
    buildTagFromTable(tag, m_progress);
}

void GSobjMDXFile::Reindex() {
    // The whole-file region keeps out the writers of a table whose index lock lies inside it.
    // Under DB4Lock that lock lies above it: the rebuild then also takes the writers' lock, as
    // they do (waiting for it), through a handle of its own, for as long as it works.
    std::unique_ptr<GSO_DiskFile> writersLock;
    const LockRegion writers = indexFileLockRegion(m_protocol);
    if (m_file->isShared() && writers.offset >= kLockAllRegion.offset + kLockAllRegion.length) {
        writersLock = std::make_unique<GSO_DiskFile>(m_file->path(), true, m_file->isReadWrite());
        if (!writersLock->lockWaiting(writers)) {
            raiseIndexLockError(writersLock->lastError(), m_file->path());
        }
    }
    // Waited for as writers wait for their lock: a writer in the middle of a record holds the
    // index lock inside this region for a moment. Not granted, the rebuild is refused as the
    // file's truncation would refuse it, before anything is touched: the headers below would
    // otherwise lose their roots under a writer at work.
    const bool locked = m_file->lockWaiting(kLockAllRegion);
    if (!locked && m_file->isShared()) {
        ReportError(err::kAccessDenied, sub::kTruncate, m_file->path());
    }
    struct Unlock {
        GSO_DiskFile& file;
        bool locked;
        ~Unlock() {
            if (locked) file.unlock();
        }
    } unlock{*m_file, locked};
    // The tags rebuilt are those the file holds now: another copy may have created or deleted
    // one since this one last looked, and a rebuild of the tags seen earlier would cut the
    // file behind the headers of those and lose the others' headers.
    BlockRecount();
    lookForChanges();
    refreshTags();
    // What the trees are built from, taken under the locks: no writer is half-way through a
    // record now.
    m_table.RefreshHeader();
    m_rebuilt = RebuiltTable{m_table.recordCount(), m_table.partialRecordBytes()};

    for (auto& tag : m_tags) tag->TreeRelease();
    // Until its tree is built a header names no root: another copy that reads the tag meanwhile
    // finds nothing to walk (and looks again until the rebuild is over) instead of blocks of a
    // tree being written. The roots go first, before any block is overwritten: moving the
    // headers to the front writes them over blocks of the old trees, which a reader led there
    // by a root would take for nodes. Every header says so before the file is cut, too: a tag
    // whose turn had not come when the rebuild was killed would otherwise name a root among
    // the blocks of the trees built before it, and a tag without a root is how the next start
    // tells a rebuild that did not finish.
    for (auto& tag : m_tags) {
        tag->resetGeometry();
        tag->setRoot(0);
        tag->setNodeRange(0, 0);
        tag->markHeaderChanged();
        tag->HeaderWrite();
    }
    // The tag headers stand first, in tag-table order, and the trees after them; the file is
    // cut behind the headers, never inside them. Whatever part of the rebuild reaches the disk
    // before a power cut or a kill, the tag table still leads every tag to its own header, so
    // the file still opens and the next start rebuilds it.
    if (!headersInFront()) {
        m_file->flush();
        moveHeadersToTheFront();
    }
    const uint32_t treesStart =
        m_headerSize / mdx::kUnitSize + static_cast<uint32_t>(m_tags.size()) * m_blockUnits;
    m_file->truncate(uint64_t{treesStart} * mdx::kUnitSize);
    forgetReads(true);
    m_nextFree = treesStart;
    for (auto& tag : m_tags) buildTag(*tag);
}

bool GSobjMDXFile::headersInFront() const {
    uint32_t block = m_headerSize / mdx::kUnitSize;
    for (const auto& tag : m_tags) {
        if (tag->headerBlock() != block) return false;
        block += m_blockUnits;
    }
    return true;
}

void GSobjMDXFile::moveHeadersToTheFront() {
    // The places in front may hold other tags' headers: every header is copied behind the end
    // of the file first and the tag table pointed there, then the headers are written in front
    // and the table pointed at them. Each step is on the disk before the next one overwrites
    // what the table pointed at until then. A file needs this once: its rebuilds leave the
    // headers in front.
    auto writeHeadersAt = [&](uint32_t first) {
        for (size_t k = 0; k < m_tags.size(); ++k) {
            m_tags[k]->setHeaderBlock(first + static_cast<uint32_t>(k) * m_blockUnits);
            m_tags[k]->markHeaderChanged();
            m_tags[k]->HeaderWrite();
        }
        m_file->flush();
        writeTagTable(false);
        m_file->flush();
    };
    BlockRecount();
    writeHeadersAt(static_cast<uint32_t>(m_nextFree));
    writeHeadersAt(m_headerSize / mdx::kUnitSize);
}

void GSobjMDXFile::Rename(std::string_view newName) {
    const std::string oldPath = m_file->path();
    const std::string newPath = std::string(directoryPart(oldPath)) +
                                std::string(trimBlanks(newName)) +
                                std::string(extensionPart(oldPath));
    m_file->close();
    if (std::rename(oldPath.c_str(), newPath.c_str()) != 0) {
        const int code = errnoToEngineCode(errno);
        openFile(oldPath);
        ReportError(code, sub::kRename, oldPath);
    }
    openFile(newPath);
    std::vector<uint8_t> area = readHeaderArea();
    const std::string base = upperAscii(trimBlanks(newName));
    std::memset(area.data() + mdx::kHdrTableName, 0, 16);
    std::memcpy(area.data() + mdx::kHdrTableName, base.data(),
                std::min(base.size(), mdx::kHdrTableNameMax));
    m_file->write(0, area.data(), area.size());
    forgetReads(true);
}

}  // namespace abonex
