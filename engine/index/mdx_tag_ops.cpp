// The tree operations of a tag: search, seek, moves, insert, delete, update after a record
// write, and the held path of pages with its lazy, splitting writes.
//
// Only one path of pages is held: the root and, under each loaded branch, the one child the
// cursor passes through. Changed pages are written when released; a page may hold more entries
// than a node takes until then, and is split when it is written.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>

#include "engine/dbf/dbf_table.h"
#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"
#include "engine/index/mdx_tag.h"

namespace abonex {

namespace {

constexpr int64_t kAnyRecord = -1;
constexpr int kMaxTreeLevels = 32;
constexpr int64_t kAfterEqualKeys = INT32_MAX;
// Looks a reader takes at a tree that keeps reading damaged while nobody is changing the file,
// and the pause between two looks while another handle is changing it.
constexpr int kFreshLooks = 50;
constexpr auto kLookPause = std::chrono::milliseconds(1);
// Looks made again at once before the next ones wait kLookPause each.
constexpr int kQuickLooks = 8;

// As long as a writer would wait for the index lock.
std::chrono::milliseconds lockPatience() {
    const LockWait& wait = GSO_DiskFile::defaultLockWait();
    return std::chrono::milliseconds(int64_t{wait.attempts} * int64_t{wait.pauseMs});
}

// The file's change stamp once the system's clock has passed its last write, so that a later
// write is sure to show in a stamp taken after it; unsettled if the clock does not get there
// within a few ticks.
FileChangeStamp settledChangeStamp(const GSO_DiskFile& file) {
    constexpr int kTries = 30;
    FileChangeStamp stamp = file.changeStamp();
    for (int tried = 1; !stamp.settled && tried < kTries; ++tried) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stamp = file.changeStamp();
    }
    return stamp;
}

bool isText(const TgsVariant& v) {
    return v.type() == VariantType::Character || v.type() == VariantType::Raw;
}

double numberOf(const TgsVariant& v) {
    return v.type() == VariantType::Date ? static_cast<double>(v.asDate()) : v.asDouble();
}

// Raw bytes agree with any type and then compare as that type.
TgsVariant rawAs(const TgsVariant& raw, VariantType type) {
    switch (type) {
        case VariantType::Double: {
            double value = 0.0;
            std::memcpy(&value, raw.bytes().data(), std::min<size_t>(8, raw.bytes().size()));
            return TgsVariant::number(value);
        }
        case VariantType::Date: {
            int32_t day = 0;
            std::memcpy(&day, raw.bytes().data(), std::min<size_t>(4, raw.bytes().size()));
            return TgsVariant::date(day);
        }
        case VariantType::Logical:
            return TgsVariant::logical(!raw.bytes().empty() && raw.bytes()[0] != 0);
        default:
            return TgsVariant::character(raw.bytes());
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Comparing keys

int GSobjMDXTag::compareKeys(const TgsVariant& key, const TgsVariant& entry,
                             int prefixResult) const {
    int result = 0;
    if (key.isEmpty() || entry.isEmpty()) {
        result = key.isEmpty() ? (entry.isEmpty() ? 0 : -1) : 1;
    } else if (key.type() == VariantType::Raw && entry.type() != VariantType::Raw &&
               !isText(entry)) {
        return compareKeys(rawAs(key, entry.type()), entry, prefixResult);
    } else if (entry.type() == VariantType::Raw && key.type() != VariantType::Raw && !isText(key)) {
        return compareKeys(key, rawAs(entry, key.type()), prefixResult);
    } else if (isText(key) && isText(entry)) {
        const std::string& a = key.bytes();
        const std::string& b = entry.bytes();
        const size_t common = std::min(a.size(), b.size());
        const int c = std::memcmp(a.data(), b.data(), common);
        if (c != 0) {
            result = c < 0 ? -1 : 1;
        } else if (a.size() == b.size()) {
            result = 0;
        } else if (a.size() < b.size()) {
            result = prefixResult;
        } else {
            result = 1;
        }
    } else if ((key.type() == VariantType::Double || key.type() == VariantType::Date) &&
               (entry.type() == VariantType::Double || entry.type() == VariantType::Date)) {
        const double a = numberOf(key);
        const double b = numberOf(entry);
        result = a < b ? -1 : (a > b ? 1 : 0);
    } else if (key.type() == VariantType::Logical && entry.type() == VariantType::Logical) {
        result = static_cast<int>(key.asLogical()) - static_cast<int>(entry.asLogical());
    } else {
        raiseIndexError(kMsgVariantMismatch);
    }
    return m_ascending ? result : -result;
}

bool GSobjMDXTag::inRange(const TgsVariant& key) const {
    if (!m_rangeActive) return true;
    // Bounds match as prefixes: "AB" as the upper bound admits "ABC".
    if (!m_rangeLow.isEmpty() && compareKeys(key, m_rangeLow, 1) < 0) return false;
    if (!m_rangeHigh.isEmpty() && compareKeys(m_rangeHigh, key, 0) < 0) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The held path

GSobjIndexKey* GSobjMDXTag::leafPage() const {
    GSobjIndexKey* page = m_rootPage.get();
    while (page != nullptr && page->child) page = page->child.get();
    return page;
}

int GSobjMDXTag::upcomingRecords(uint32_t* out, int max, bool forward,
                                 const KeyFilter* filter) const {
    const GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr || !leaf->isLeaf() || leaf->current < 0) return 0;
    int count = 0;
    const int size = static_cast<int>(leaf->keys.size());
    for (int i = leaf->current + (forward ? 1 : -1); i >= 0 && i < size && count < max;
         i += forward ? 1 : -1) {
        const TgsVariant& entry = leaf->keys[static_cast<size_t>(i)];
        if (filter == nullptr || filter->accepts(entry.bytes())) out[count++] = entry.pointer();
    }
    return count;
}

const TgsVariant* GSobjMDXTag::entryUnderCursor() const {
    const GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr || leaf->current < 0 ||
        static_cast<size_t>(leaf->current) >= leaf->keys.size()) {
        return nullptr;
    }
    return &leaf->keys[static_cast<size_t>(leaf->current)];
}

void GSobjMDXTag::loadRoot() {
    auto root = std::make_unique<GSobjIndexKey>();
    const uint64_t generation = m_file.generation();
    NodeRead(rootForGeneration(), *root);
    m_rootPage = std::move(root);
    m_pathGeneration = generation;
}

bool GSobjMDXTag::pathOutOfDate() {
    m_file.lookForChanges();
    return m_pathGeneration != m_file.generation();
}

void GSobjMDXTag::lookForChanges() {
    if (!m_updating) m_file.lookForChanges();
}

void GSobjMDXTag::lookBeforeStep(bool forward) {
    if (m_updating) return;
    const GSobjIndexKey* leaf = leafPage();
    if (leaf != nullptr && leaf->isLeaf() && !leaf->changed && !leaf->split && leaf->block != 0 &&
        leaf->current >= 0 && m_pathGeneration == m_file.generation() &&
        leaf->image.size() == m_file.blockLength()) {
        // A step that leaves the leaf looks when it leaves it (leaveLeaf).
        if (forward ? static_cast<size_t>(leaf->current + 1) >= leaf->keys.size()
                    : leaf->current <= 0) {
            return;
        }
        const int same = m_file.diskFile().compareMapped(uint64_t{leaf->block} * mdx::kUnitSize,
                                                         leaf->image.data(), leaf->image.size());
        if (same == 1) return;
        // Whatever the stamp says: the path the walk holds is out of date.
        if (same == 0) m_file.forgetReads(true);
    }
    m_file.lookForChanges();
}

GSobjIndexKey& GSobjMDXTag::loadChild(GSobjIndexKey& page, size_t index) {
    const uint32_t block = page.keys.at(index).pointer();
    if (page.child && page.child->block == block && !page.child->split) return *page.child;
    // A damaged file may lead a branch back to itself: the held path never gets deeper than a
    // tree can be.
    int depth = 1;
    for (const GSobjIndexKey* above = &page; above->parent != nullptr; above = above->parent) {
        ++depth;
    }
    if (depth >= kMaxTreeLevels) damaged("tree deeper than 32 levels");
    std::unique_ptr<GSobjIndexKey> child =
        m_sparePage ? std::move(m_sparePage) : std::make_unique<GSobjIndexKey>();
    NodeRead(block, *child);
    child->parent = &page;
    page.child = std::move(child);
    return *page.child;
}

void GSobjMDXTag::releaseChild(GSobjIndexKey& page) {
    if (!page.child) return;
    releasePage(*page.child);
    std::unique_ptr<GSobjIndexKey> released = std::move(page.child);
    // Only a plain page, written and without pages of its own, is kept for reuse.
    if (!released->child && !released->ownedParent && !released->changed) {
        released->parent = nullptr;
        m_sparePage = std::move(released);
    }
}

void GSobjMDXTag::releasePage(GSobjIndexKey& page) {
    releaseChild(page);
    if (page.changed) NodeWrite(page);
}

std::unique_ptr<GSobjIndexKey> GSobjMDXTag::growRoot(GSobjIndexKey& oldRoot) {
    auto root = std::make_unique<GSobjIndexKey>();
    root->block = oldRoot.block;
    root->chain = mdx::kChainNewRoot;
    root->kind = PageKind::NewRoot;
    root->changed = true;
    oldRoot.block = m_file.BlockAllocate();
    oldRoot.newBlock = true;
    TgsVariant largest = oldRoot.keys.back();
    largest.setPointer(oldRoot.block);
    root->keys.push_back(std::move(largest));
    root->current = 0;
    oldRoot.parent = root.get();
    return root;
}

void GSobjMDXTag::splitOffFirstHalf(GSobjIndexKey& page) {
    const size_t n = page.keys.size();
    const size_t half = (n + 1) / 2;
    GSobjIndexKey first;
    first.kind = page.kind == PageKind::Leaf ? PageKind::Leaf : PageKind::Branch;
    first.keys.assign(page.keys.begin(), page.keys.begin() + static_cast<long>(half));
    first.block = m_file.BlockAllocate();
    first.chain = m_lastNode;
    m_lastNode = first.block;
    if (m_firstNode == 0) m_firstNode = first.block;
    m_headerChanged = true;
    writeNodeBlock(first);

    // The first half's entry goes directly before the parent's entry for this page; the
    // parent's cursor keeps pointing at the entry it stood on.
    GSobjIndexKey& parent = *page.parent;
    size_t at = static_cast<size_t>(std::max(parent.current, 0));
    if (at >= parent.keys.size() || parent.keys[at].pointer() != page.block) {
        for (size_t j = 0; j < parent.keys.size(); ++j) {
            if (parent.keys[j].pointer() == page.block) at = j;
        }
    }
    TgsVariant entry = first.keys.back();
    entry.setPointer(first.block);
    parent.keys.insert(parent.keys.begin() + static_cast<long>(at), std::move(entry));
    if (parent.current >= static_cast<int>(at)) ++parent.current;
    parent.changed = true;

    page.keys.erase(page.keys.begin(), page.keys.begin() + static_cast<long>(half));
    page.current = std::max(-1, page.current - static_cast<int>(half));
    page.split = true;
}

size_t GSobjMDXTag::nodeCapacity() const {
    // Another writer's header may count one entry more than a block holds with its pointer.
    const size_t fits =
        (m_file.blockLength() - mdx::kNodeEntries - 4) / static_cast<size_t>(m_entryLength);
    return std::max<size_t>(1, std::min(static_cast<size_t>(m_keysPerNode), fits));
}

std::unique_ptr<GSobjIndexKey> GSobjMDXTag::splitToFit(GSobjIndexKey& page) {
    std::unique_ptr<GSobjIndexKey> grownRoot;
    while (page.keys.size() > nodeCapacity()) {
        if (page.parent == nullptr) grownRoot = growRoot(page);
        splitOffFirstHalf(page);
    }
    if (page.kind == PageKind::NewRoot) page.kind = PageKind::Branch;
    return grownRoot;
}

void GSobjMDXTag::NodeWrite(GSobjIndexKey& page) {
    if (page.block == 0) page.block = m_file.BlockAllocate();
    std::unique_ptr<GSobjIndexKey> grownRoot = splitToFit(page);
    writeNodeBlock(page);
    if (grownRoot) {
        // The new root is written once the page it grew from is; it may split in turn.
        page.parent = nullptr;
        NodeWrite(*grownRoot);
    }
}

void GSobjMDXTag::writeTree(std::unique_ptr<GSobjIndexKey> root) {
    std::vector<GSobjIndexKey*> path;
    for (GSobjIndexKey* page = root.get(); page != nullptr; page = page->child.get()) {
        path.push_back(page);
    }
    // Roots grown above the old root, lowest first.
    std::vector<std::unique_ptr<GSobjIndexKey>> grown;
    auto fit = [&](GSobjIndexKey& page) {
        if (page.block == 0) {
            page.block = m_file.BlockAllocate();
            page.newBlock = true;
        }
        if (std::unique_ptr<GSobjIndexKey> above = splitToFit(page)) {
            grown.push_back(std::move(above));
        }
        // Nothing on the disk leads to a new block before its parent is written.
        if (page.newBlock && page.changed) writeNodeBlock(page);
    };
    for (auto page = path.rbegin(); page != path.rend(); ++page) fit(**page);
    for (size_t i = 0; i < grown.size(); ++i) fit(*grown[i]);
    // The blocks the disk knows, from the root down: a parent names the block that took a
    // page's first half before that page is written without it.
    for (auto page = grown.rbegin(); page != grown.rend(); ++page) {
        if ((*page)->changed) writeNodeBlock(**page);
    }
    for (GSobjIndexKey* page : path) {
        if (page->changed) writeNodeBlock(*page);
    }
}

void GSobjMDXTag::TreeRelease() {
    if (m_rootPage) writeTree(std::move(m_rootPage));
    HeaderWrite();
    m_currentKey.setPointer(0);
}

// ---------------------------------------------------------------------------------------------
// Searching and moving

int GSobjMDXTag::keySearch(GSobjIndexKey& page, int64_t wantedRecord, const TgsVariant& key,
                           int prefixResult) {
    for (size_t i = 0; i < page.keys.size(); ++i) {
        page.current = static_cast<int>(i);
        int result = compareKeys(key, page.keys[i], prefixResult);
        if (result == 0 && wantedRecord == kAfterEqualKeys) result = 1;
        const bool last = i + 1 == page.keys.size();
        if (result <= 0 || last) {
            if (!page.isLeaf()) {
                if (page.child && page.child->block != page.keys[i].pointer()) {
                    const size_t before = page.keys.size();
                    releaseChild(page);
                    // A split of the released child added an entry here: search this page again.
                    if (page.keys.size() != before)
                        return keySearch(page, wantedRecord, key, prefixResult);
                }
                result = keySearch(loadChild(page, i), wantedRecord, key, prefixResult);
            } else if (result == 0 && wantedRecord != kAnyRecord &&
                       page.keys[i].pointer() != static_cast<uint64_t>(wantedRecord)) {
                result = 1;
            }
        }
        if (result <= 0) return result;
    }
    return 1;
}

void GSobjMDXTag::takeCurrent() {
    GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr || leaf->current < 0 ||
        static_cast<size_t>(leaf->current) >= leaf->keys.size()) {
        m_currentKey = TgsVariant();
        return;
    }
    m_currentKey = leaf->keys[static_cast<size_t>(leaf->current)];
}

bool GSobjMDXTag::goFirst(GSobjIndexKey& page) {
    page.current = 0;
    if (page.keys.empty()) return false;
    if (page.isLeaf()) return true;
    releaseChild(page);
    page.current = 0;
    return goFirst(loadChild(page, 0));
}

bool GSobjMDXTag::goLast(GSobjIndexKey& page) {
    page.current = static_cast<int>(page.keys.size()) - 1;
    if (page.keys.empty()) {
        page.current = 0;
        return false;
    }
    if (page.isLeaf()) return true;
    releaseChild(page);
    page.current = static_cast<int>(page.keys.size()) - 1;
    return goLast(loadChild(page, static_cast<size_t>(page.current)));
}

bool GSobjMDXTag::goNext(bool look, const PassOver* passOver) {
    GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr) return false;
    if (static_cast<size_t>(leaf->current + 1) < leaf->keys.size()) {
        ++leaf->current;
        return true;
    }
    return leaveLeaf(true, look, passOver);
}

bool GSobjMDXTag::leaveLeaf(bool forward, bool look, const PassOver* passOver) {
    // The branches held above the leaf may be out of date, and the next leaf may be read in
    // the middle of another writer's change.
    if (look && !m_updating && entryUnderCursor() != nullptr) {
        const TgsVariant held = *entryUnderCursor();
        return confirmedStep([&](bool fresh) {
            if (fresh || pathOutOfDate()) return stepFrom(held, forward);
            return climb(forward, passOver);
        });
    }
    return climb(forward);
}

bool GSobjMDXTag::goPrior(bool look) {
    GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr) return false;
    if (leaf->current > 0) {
        --leaf->current;
        return true;
    }
    return leaveLeaf(false, look);
}

bool GSobjMDXTag::climb(bool forward, const PassOver* passOver) {
    GSobjIndexKey* from = leafPage();
    if (from == nullptr) return false;
    // Only a look can pass leaves over: what it scanned is confirmed with what it read.
    const bool passing =
        passOver != nullptr && forward && m_looking && !m_updating && !m_rangeActive;
    int passed = 0;
    // Leaves lie at one depth: only the branches right above it are looked at for leaves to
    // pass over.
    int leafDepth = 0;
    for (const GSobjIndexKey* above = from->parent; above != nullptr; above = above->parent) {
        ++leafDepth;
    }
    auto depthOf = [](const GSobjIndexKey* page) {
        int depth = 0;
        for (; page->parent != nullptr; page = page->parent) ++depth;
        return depth;
    };
    for (;;) {
        // Climb to the first level that has a next (previous) entry, then descend to its first
        // (last) leaf entry.
        GSobjIndexKey* page = from->parent;
        for (; page != nullptr; page = page->parent) {
            if (forward ? static_cast<size_t>(page->current + 1) >= page->keys.size()
                        : page->current <= 0) {
                continue;
            }
            releaseChild(*page);  // a split here keeps page->current on the released child's entry
            if (!forward && page->current <= 0) continue;
            page->current += forward ? 1 : -1;
            break;
        }
        if (page == nullptr) {
            if (from->isLeaf()) return false;
            // Every leaf after the cursor was passed over: stand where reading them would end.
            GSobjIndexKey* last = from;
            while (!last->isLeaf()) {
                last = &loadChild(*last, static_cast<size_t>(last->current));
                last->current = static_cast<int>(last->keys.size()) - 1;
            }
            return false;
        }
        GSobjIndexKey* branch = page;
        int branchDepth = passing ? depthOf(branch) : 0;
        GSobjIndexKey* child = nullptr;
        bool exhausted = false;
        while (child == nullptr) {
            while (passing && branchDepth + 1 == leafDepth && passed < kLeavesPassedPerLook &&
                   leafRejected(branch->keys[static_cast<size_t>(branch->current)].pointer(),
                                *passOver)) {
                ++passed;
                if (static_cast<size_t>(branch->current + 1) >= branch->keys.size()) {
                    exhausted = true;
                    break;
                }
                ++branch->current;
            }
            if (exhausted) break;
            GSobjIndexKey* next = &loadChild(*branch, static_cast<size_t>(branch->current));
            next->current = forward ? 0 : static_cast<int>(next->keys.size()) - 1;
            if (next->isLeaf()) {
                child = next;
            } else {
                branch = next;
                ++branchDepth;
            }
        }
        if (exhausted) {
            // The branch's leaves are all passed: go on from the branch as from a leaf.
            from = branch;
            continue;
        }
        // An empty leaf of another writer.
        if (child->keys.empty()) return forward ? goNext(false) : goPrior(false);
        return true;
    }
}

bool GSobjMDXTag::leafRejected(uint32_t block, const PassOver& passOver) {
    if (block < m_file.headerSize() / mdx::kUnitSize) return false;
    const uint8_t* bytes = m_file.runBlock(block);
    if (bytes == nullptr) return false;
    const uint32_t blockLength = m_file.blockLength();
    const auto entry = static_cast<uint32_t>(m_entryLength);
    const uint32_t count = getLE32(bytes + mdx::kNodeCount);
    // Anything unusual is left to the reading of the block, which tells the damage.
    if (entry == 0 || count > (blockLength - mdx::kNodeEntries - 4) / entry) return false;
    const uint8_t* entries = bytes + mdx::kNodeEntries;
    if (getLE32(entries + count * entry) != 0) return false;  // a branch
    bool rejected =
        passOver.keys != nullptr &&
        passOver.keys->rejectsAll(entries, count, entry, 4, static_cast<size_t>(m_keyLength));
    if (!rejected && passOver.records != nullptr) {
        rejected = true;
        for (uint32_t i = 0; i < count && rejected; ++i) {
            rejected = !passOver.records->mayAccept(getLE32(entries + i * entry));
        }
    }
    if (!rejected) return false;
    // Consecutive blocks of one run make one record of the look, which shares the run's bytes.
    const std::shared_ptr<const std::vector<uint8_t>>& run = m_file.currentRun();
    const auto offset = static_cast<size_t>(bytes - run->data());
    if (!m_lookReads.empty()) {
        BlockSeen& last = m_lookReads.back();
        if (last.run == run && last.offset + last.length == offset) {
            last.length += blockLength;
            return true;
        }
    }
    m_lookReads.push_back(BlockSeen{block, {}, run, offset, blockLength});
    return true;
}

void GSobjMDXTag::treeReset(int mode) {
    TreeRelease();
    loadRoot();
    m_beforeFirst = false;
    m_afterLast = false;
    if (mode == 0) {
        if (goFirst(*m_rootPage)) {
            takeCurrent();
        } else {
            m_beforeFirst = m_afterLast = true;
            m_currentKey = TgsVariant();
        }
        return;
    }
    if (mode != 1) return;
    const int record = m_table.recordNumber();
    if (m_keyCompiled && record >= 1 && record <= m_table.recordCount() &&
        !m_rootPage->keys.empty()) {
        TgsVariant key;
        KeyEvaluate(key);
        KeyAdjust(key, true);
        if (keySearch(*m_rootPage, record, key, -1) == 0) {
            takeCurrent();
            return;
        }
    }
    if (goFirst(*m_rootPage)) {
        takeCurrent();
    } else {
        m_beforeFirst = m_afterLast = true;
        m_currentKey = TgsVariant();
    }
}

int GSobjMDXTag::navigate(int code, bool fresh, const KeyFilter* filter,
                          const RecordCandidates* records) {
    m_beforeFirst = false;
    m_afterLast = false;
    // A path read before another writer's change is not followed: the move starts from the
    // entry the cursor stood on, in the tree as it is now.
    if (m_rootPage && !m_updating && m_pathGeneration != m_file.generation()) fresh = true;
    const bool skips = filter != nullptr && filter->kind() == KeyFilter::Kind::StartsWith &&
                       m_ascending && !m_rangeActive && m_keyType == 'C';
    const bool forward = code != PosPrior && code != PosBottom;
    bool found = false;
    bool allowLast = false;
    switch (code) {
        case PosTop:
            // A new walk: what earlier walks read is read again.
            if (!m_updating) m_file.forgetReads(false);
            found = confirmedStep([&](bool) {
                treeReset(2);
                if (m_rangeActive && !m_rangeLow.isEmpty()) {
                    return keySearch(*m_rootPage, kAnyRecord, m_rangeLow, 0) <= 0;
                }
                if (skips) {
                    const std::optional<std::string> first = filter->nextCandidate({});
                    return first && keySearch(*m_rootPage, kAnyRecord,
                                              TgsVariant::character(*first), 0) <= 0;
                }
                return goFirst(*m_rootPage);
            });
            startWalk();
            if (!found) m_beforeFirst = true;
            break;
        case PosBottom:
            if (!m_updating) m_file.forgetReads(false);
            found = confirmedStep([&](bool) {
                treeReset(2);
                return goLast(*m_rootPage);
            });
            startWalk();
            while (found) {
                const TgsVariant* entry = entryUnderCursor();
                if (entry != nullptr && inRange(*entry)) break;
                found = entry != nullptr && goPrior(true);
            }
            if (!found) m_afterLast = true;
            break;
        case PosNext:
        case PosPrior:
            if (fresh || !m_rootPage) {
                const TgsVariant held = m_currentKey;
                found = confirmedStep([&](bool) { return stepFrom(held, forward); });
            } else {
                found = forward ? goNext(true) : goPrior(true);
            }
            if (!found) (forward ? m_afterLast : m_beforeFirst) = true;
            break;
        case PosCurrent: {
            // The entry handed out last stays; when it has moved or gone, the one after it
            // stands in.
            allowLast = true;
            const TgsVariant held = m_currentKey;
            if (fresh && held.pointer() != 0) {
                found = confirmedStep([&](bool) {
                    m_rootPage.reset();
                    loadRoot();
                    return keySearch(*m_rootPage, held.pointer(), held, -1) <= 0;
                });
            } else {
                if (!m_rootPage) {
                    confirmedStep([&](bool) {
                        treeReset(1);
                        return true;
                    });
                    startWalk();
                    if (const TgsVariant* entry = entryUnderCursor()) handOut(*entry, true);
                }
                found = entryUnderCursor() != nullptr;
            }
            if (!found) m_beforeFirst = m_afterLast = true;
            break;
        }
        default:
            return 0;
    }
    if (found) {
        found = settle(forward, filter, records, allowLast);
        if (!found) (forward ? m_afterLast : m_beforeFirst) = true;
    }
    if (found) {
        takeCurrent();
        if (!inRange(m_currentKey)) {
            found = false;
            // Outside the range counts as the edge in the direction of travel.
            if (forward) {
                m_afterLast = true;
            } else {
                m_beforeFirst = true;
            }
        }
    }
    if (!found) {
        if (code == PosTop || code == PosBottom) m_beforeFirst = m_afterLast = true;
        m_currentKey.setPointer(0);
        return 0;
    }
    handOut(m_currentKey, forward);
    return currentRecord();
}

bool GSobjMDXTag::settle(bool forward, const KeyFilter* filter, const RecordCandidates* records,
                         bool allowLast) {
    const bool skips = filter != nullptr && filter->kind() == KeyFilter::Kind::StartsWith &&
                       m_ascending && !m_rangeActive && m_keyType == 'C';
    for (;;) {
        const TgsVariant* entry = entryUnderCursor();
        if (entry == nullptr) return false;
        // An entry outside the range ends the move; the caller takes it for the edge.
        if (!inRange(*entry)) return true;
        const bool handed = handedOutAlready(*entry, forward, allowLast);
        const bool keyAccepted = filter == nullptr || filter->accepts(entry->bytes());
        if (!handed && keyAccepted &&
            (records == nullptr || records->mayAccept(entry->pointer()))) {
            return true;
        }
        bool moved = false;
        if (handed || !forward || !skips || keyAccepted) {
            // Leaves whose entries are all rejected need not be loaded to be passed.
            const PassOver passOver{m_keyType == 'C' ? filter : nullptr, records};
            const bool passing = !handed && (passOver.keys != nullptr || records != nullptr);
            moved = forward ? goNext(true, passing ? &passOver : nullptr) : goPrior(true);
        } else {
            // Every key between this one and the candidate is rejected as well.
            const std::optional<std::string> next = filter->nextCandidate(entry->bytes());
            moved = next && seekForward(*next);
        }
        if (!moved) return false;
    }
}

bool GSobjMDXTag::seekForward(const std::string& candidate) {
    const TgsVariant key = TgsVariant::character(candidate);
    GSobjIndexKey* leaf = leafPage();
    if (leaf != nullptr && leaf->isLeaf() && !leaf->keys.empty() && leaf->current >= 0 &&
        compareKeys(key, leaf->keys.back(), 0) <= 0) {
        // Nearby: the entry wanted is in the held leaf, after the cursor.
        for (size_t i = static_cast<size_t>(leaf->current); i < leaf->keys.size(); ++i) {
            if (compareKeys(key, leaf->keys[i], 0) <= 0) {
                leaf->current = static_cast<int>(i);
                return true;
            }
        }
    }
    return confirmedStep([&](bool fresh) {
        if (fresh || pathOutOfDate()) {
            m_rootPage.reset();
            loadRoot();
        }
        return keySearch(*m_rootPage, kAnyRecord, key, 0) <= 0;
    });
}

int GSobjMDXTag::keyFind(const TgsVariant& key) {
    TgsVariant wanted = key;
    KeyAdjust(wanted, true);
    const bool exact = m_file.exactMatch() || m_updating;
    const int64_t record = key.pointer() != 0 ? static_cast<int64_t>(key.pointer()) : kAnyRecord;
    int result = 1;
    confirmedStep([&](bool) {
        treeReset(0);
        m_beforeFirst = false;
        m_afterLast = false;
        result = keySearch(*m_rootPage, record, wanted, exact ? -1 : 0);
        return true;
    });
    startWalk();
    if (result == 0) {
        takeCurrent();
        handOut(m_currentKey, true);
        return currentRecord();
    }
    if (result < 0) {
        takeCurrent();
    } else {
        m_afterLast = true;
        m_currentKey = TgsVariant();
    }
    m_currentKey.setPointer(0);
    return 0;
}

int GSobjMDXTag::KeyLookup(const TgsVariant& key) {
    std::unique_ptr<GSobjIndexKey> savedRoot = std::move(m_rootPage);
    const TgsVariant savedKey = m_currentKey;
    const bool savedExact = m_file.exactMatch();
    const bool savedBefore = m_beforeFirst;
    const bool savedAfter = m_afterLast;
    const uint64_t savedGeneration = m_pathGeneration;
    const TgsVariant savedHanded = m_handed;
    const bool savedForward = m_handedForward;
    HandedRecords savedWithKey = m_handedWithKey;
    auto restore = [&] {
        m_rootPage.reset();  // the temporary tree holds no changes: a seek only reads
        m_rootPage = std::move(savedRoot);
        m_pathGeneration = savedGeneration;
        m_handed = savedHanded;
        m_handedForward = savedForward;
        m_handedWithKey = std::move(savedWithKey);
        m_file.setExactMatch(savedExact);
    };
    m_file.setExactMatch(true);
    int found = 0;
    try {
        found = KeyFind(key);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    m_currentKey = savedKey;
    m_beforeFirst = savedBefore;
    m_afterLast = savedAfter;
    return found;
}

// ---------------------------------------------------------------------------------------------
// Reading without the index lock

// Moves, seeks and re-synchronisations read the tree without any lock while other copies may
// be writing it. Three things can then go wrong, and none of them means the file is damaged:
//  - a page read while another writer rewrites it comes back partly old, partly new: the system
//    copies the block out while the writer copies the new image in. A leaf that has just been
//    split read with its new key count and its old entries finds a record number where a leaf
//    has the zero pointer after its last key, so it reads as a branch, and its record numbers
//    are taken for child blocks, which may lie beyond the end of the file;
//  - a path held from an earlier look leads to blocks that another copy has since changed: a
//    branch read before another writer split a leaf under it leads to the leaf's second half
//    only, and a rebuild cuts blocks away or gives them to other nodes;
//  - blocks read one after the other may come from before and after another writer's write.
// The first two can look like damage: a walk that meets damage is done again from a freshly
// read root (the tag header is looked up in the tag table again, and every block, with the
// file's size, is read anew). The damage is reported when it is met again the same way (in
// this walk or a later one: a fresh path may go round a damaged part once and meet it on the
// way on) while no other handle holds the index lock or the lock-all region of the file, that is
// while nobody can be changing it, with nothing written to the file between the two meetings
// (the locks are looked at after the read: a writer may have let them go in between), or after
// kFreshLooks such looks. While another handle holds
// those locks (another copy's start-up rebuild rewrites the whole file under them), the reader
// goes on looking as long as a writer would wait for the index lock, and reports the damage
// only after that. Inside an update this copy holds the index lock itself: nobody else writes,
// and damage is reported at once.
// Against the other two, every step that reads is a look that must be confirmed before its
// result is used (confirmedStep): nothing was written to the file since the blocks were read,
// or every block it rests on reads the same again. Writers write parents before the pages
// whose first halves they took (writeTree), so a block that reads the same again after its
// children were read means that no split cut those children short in between.
template <typename Walk>
int GSobjMDXTag::withFreshLook(Walk&& walk) {
    if (m_updating) return walk(false);
    int quietLooks = 0;
    std::chrono::steady_clock::time_point patienceEnd{};
    for (int look = 1;; ++look) {
        try {
            return walk(look > 1);
        } catch (const EIndexDamaged& damage) {
            const bool changing = m_file.changingElsewhere();
            FileChangeStamp stamp;
            if (changing) {
                const auto now = std::chrono::steady_clock::now();
                if (patienceEnd == std::chrono::steady_clock::time_point{}) {
                    patienceEnd = now + lockPatience();
                }
                if (now >= patienceEnd) throw;
            } else {
                // The locks are free now, but the look may have read while a writer still held
                // them (a rebuild that ended in between). Met again with nothing written since
                // it was last met with the locks free, the damage is the file's own.
                stamp = settledChangeStamp(m_file.diskFile());
                if ((m_damageMet == damage.what() && stamp.settled && m_damageStamp.settled &&
                     stamp == m_damageStamp) ||
                    ++quietLooks >= kFreshLooks) {
                    throw;
                }
            }
            m_damageMet = damage.what();
            m_damageStamp = stamp;
            // What the failed walk read is dropped unwritten: a reader's path holds no changes.
            // The next look reads every block again, the tag table included.
            m_rootPage.reset();
            m_file.forgetReads(true);
            if (changing && look > 1) std::this_thread::sleep_for(kLookPause);
        }
    }
}

template <typename Step>
bool GSobjMDXTag::confirmedStep(Step&& step) {
    if (m_updating || m_looking) return step(false);
    struct Look {
        GSobjMDXTag& tag;
        explicit Look(GSobjMDXTag& t) : tag(t) {
            tag.m_looking = true;
            tag.m_lookReads.clear();
        }
        ~Look() {
            tag.m_looking = false;
            tag.m_lookReads.clear();
        }
    } look(*this);
    bool result = step(false);
    std::chrono::steady_clock::time_point patienceEnd{};
    for (int again = 1; !lookHolds(); ++again) {
        // Another writer changed what the look read while it read: it is made again, from the
        // entry the walk stood on, in the tree as it is now.
        const auto now = std::chrono::steady_clock::now();
        if (again == 1) {
            patienceEnd = now + lockPatience();
        } else if (now >= patienceEnd) {
            raiseIndexUnsettled(m_file.path());
        }
        if (again > kQuickLooks) std::this_thread::sleep_for(kLookPause);
        m_lookReads.clear();
        m_rootPage.reset();
        m_file.forgetReads(true);
        result = step(true);
    }
    return result;
}

bool GSobjMDXTag::lookHolds() {
    if (m_lookReads.empty()) return true;  // nothing read: what is held was confirmed before
    // Nothing written since the held path (and so everything the look read) was read.
    if (m_rootPage && !m_file.lookForChanges() && m_pathGeneration == m_file.generation()) {
        return true;
    }
    return readsUnchanged();
}

bool GSobjMDXTag::readsUnchanged() {
    if (m_rootPage) {
        if (m_file.tagHeaderBlockOnDisk(m_name) != m_headerBlock) return false;
        uint8_t head[4];
        if (!m_file.BlockRead(m_headerBlock, head, sizeof head) ||
            getLE32(head) != m_rootPage->block) {
            return false;
        }
    }
    std::vector<uint8_t> now;
    const auto same = [&](uint32_t block, std::span<const uint8_t> bytes) {
        now.resize(bytes.size());
        return m_file.BlockRead(block, now.data(), now.size()) &&
               std::equal(now.begin(), now.end(), bytes.begin(), bytes.end());
    };
    std::vector<const GSobjIndexKey*> path;
    for (const GSobjIndexKey* page = m_rootPage.get(); page != nullptr; page = page->child.get()) {
        if (!same(page->block, page->image)) return false;
        path.push_back(page);
    }
    for (const BlockSeen& seen : m_lookReads) {
        const bool checked = std::any_of(path.begin(), path.end(), [&](const GSobjIndexKey* page) {
            const std::span<const uint8_t> bytes = seen.view();
            return page->block == seen.block &&
                   std::equal(page->image.begin(), page->image.end(), bytes.begin(), bytes.end());
        });
        if (!checked && !same(seen.block, seen.view())) return false;
    }
    return true;
}

void GSobjMDXTag::startWalk() {
    m_handed = TgsVariant();
    m_handedWithKey.clear();
}

void GSobjMDXTag::handOut(const TgsVariant& entry, bool forward) {
    const bool sameRun = m_handed.pointer() != 0 && forward == m_handedForward &&
                         compareKeys(entry, m_handed, -1) == 0;
    if (!sameRun) m_handedWithKey.clear();
    m_handedWithKey.insert(entry.pointer());
    m_handed = entry;
    m_handedForward = forward;
}

bool GSobjMDXTag::handedOutAlready(const TgsVariant& entry, bool forward, bool allowLast) const {
    if (m_handed.pointer() == 0) return false;
    const int order = compareKeys(entry, m_handed, -1);
    if (order != 0) return forward ? order < 0 : order > 0;
    if (entry.pointer() == m_handed.pointer()) return !allowLast;
    // The records handed out with this key belong to a walk in one direction.
    return forward == m_handedForward && m_handedWithKey.contains(entry.pointer());
}

bool GSobjMDXTag::stepFrom(const TgsVariant& held, bool forward) {
    m_rootPage.reset();
    if (held.pointer() == 0) {
        treeReset(1);
        return forward ? goNext(false) : goPrior(false);
    }
    loadRoot();
    if (keySearch(*m_rootPage, held.pointer(), held, -1) == 0) {
        return forward ? goNext(false) : goPrior(false);
    }
    // `held` is no longer in the tree: from the first entry of its key (forward) or the last
    // (backward); settle passes over the ones handed out already.
    if (forward) return keySearch(*m_rootPage, kAnyRecord, held, -1) <= 0;
    if (keySearch(*m_rootPage, kAfterEqualKeys, held, -1) > 0) return goLast(*m_rootPage);
    return goPrior(false);
}

int GSobjMDXTag::Navigate(int code, const KeyFilter* filter, const RecordCandidates* records) {
    // A failed look leaves the current key as it was (or, when the tree had to be loaded first,
    // on the table's current record): the next look starts from it.
    return withFreshLook([&](bool again) { return navigate(code, again, filter, records); });
}

int GSobjMDXTag::KeyFind(const TgsVariant& key) {
    return withFreshLook([&](bool) {
        // A seek starts a new walk: the tree is read afresh.
        if (!m_updating) m_file.forgetReads(false);
        return keyFind(key);
    });
}

void GSobjMDXTag::TreeReset(int mode) {
    withFreshLook([&](bool) {
        confirmedStep([&](bool) {
            treeReset(mode);
            return true;
        });
        startWalk();
        if (mode != 2 && currentRecord() != 0) handOut(m_currentKey, true);
        return 0;
    });
}

bool GSobjMDXTag::currentKeyFitsRecord() {
    TgsVariant key;
    if (!KeyEvaluate(key) || m_currentKey.isEmpty()) return true;
    KeyAdjust(key, true);
    if (m_keyType == 'C' && isText(key) && isText(m_currentKey)) {
        // As the key is stored: cut at the key length, without what pads it.
        const auto stored = [&](std::string_view bytes) {
            bytes = bytes.substr(0, static_cast<size_t>(std::max(m_keyLength, 0)));
            while (!bytes.empty() && static_cast<uint8_t>(bytes.back()) <= 0x20) {
                bytes.remove_suffix(1);
            }
            return bytes;
        };
        return stored(key.bytes()) == stored(m_currentKey.bytes());
    }
    key.setPointer(m_currentKey.pointer());
    return compareKeys(key, m_currentKey, 0) == 0;
}

int GSobjMDXTag::SyncToRecord(int recordNumber) {
    if (m_rootPage && currentRecord() == recordNumber && recordNumber != 0) return recordNumber;
    TreeReset(1);
    return currentRecord();
}

void GSobjMDXTag::SetRange(const TgsVariant& low, const TgsVariant& high) {
    m_rangeLow = low;
    m_rangeHigh = high;
    if (!m_rangeLow.isEmpty()) KeyAdjust(m_rangeLow, true);
    if (!m_rangeHigh.isEmpty()) KeyAdjust(m_rangeHigh, true);
    m_rangeActive = !m_rangeLow.isEmpty() || !m_rangeHigh.isEmpty();
}

void GSobjMDXTag::clearRange() {
    m_rangeLow = TgsVariant();
    m_rangeHigh = TgsVariant();
    m_rangeActive = false;
}

// ---------------------------------------------------------------------------------------------
// Inserting, deleting, updating

void GSobjMDXTag::entryInsert(GSobjIndexKey& leaf, const TgsVariant& key, bool after) {
    const size_t at = static_cast<size_t>(std::max(leaf.current, 0)) + (after ? 1 : 0);
    const size_t index = std::min(at, leaf.keys.size());
    leaf.keys.insert(leaf.keys.begin() + static_cast<long>(index), key);
    leaf.current = static_cast<int>(index);
    leaf.changed = true;
    if (index + 1 != leaf.keys.size()) return;
    // The new key is the page's largest: the entries above that lead here carry it.
    GSobjIndexKey* child = &leaf;
    for (GSobjIndexKey* page = leaf.parent; page != nullptr; page = page->parent) {
        TgsVariant copy = key;
        copy.setPointer(child->block);
        page->keys[static_cast<size_t>(page->current)] = std::move(copy);
        page->changed = true;
        if (static_cast<size_t>(page->current + 1) != page->keys.size()) break;
        child = page;
    }
}

void GSobjMDXTag::entryDelete(GSobjIndexKey& page) {
    const auto index = static_cast<size_t>(page.current);
    if (index >= page.keys.size()) return;
    const bool wasLast = index + 1 == page.keys.size();
    page.keys.erase(page.keys.begin() + static_cast<long>(index));
    page.changed = true;
    if (!wasLast) return;
    if (page.keys.empty()) {
        if (page.parent == nullptr) {
            page.kind = PageKind::Leaf;  // an emptied root is an empty leaf
            page.current = 0;
            return;
        }
        // The emptied node is no longer referenced; its block stays in the file.
        GSobjIndexKey* parent = page.parent;
        std::unique_ptr<GSobjIndexKey> dropped = std::move(parent->child);
        dropped->changed = false;
        entryDelete(*parent);
        return;
    }
    page.current = static_cast<int>(page.keys.size()) - 1;
    const TgsVariant largest = page.keys.back();
    GSobjIndexKey* child = &page;
    for (GSobjIndexKey* above = page.parent; above != nullptr; above = above->parent) {
        TgsVariant copy = largest;
        copy.setPointer(child->block);
        above->keys[static_cast<size_t>(above->current)] = std::move(copy);
        above->changed = true;
        if (static_cast<size_t>(above->current + 1) != above->keys.size()) break;
        child = above;
    }
}

bool GSobjMDXTag::KeyInsert(const TgsVariant& key) {
    if (!m_updating) treeReset(0);
    if (!m_rootPage) loadRoot();
    TgsVariant entry = key;
    KeyAdjust(entry, true);
    m_beforeFirst = false;
    m_afterLast = false;
    if (m_unique && keySearch(*m_rootPage, kAnyRecord, entry, -1) == 0) return false;
    const int result = keySearch(*m_rootPage, m_ascending ? kAfterEqualKeys : 0, entry, -1);
    if (result <= 0) {
        entryInsert(*leafPage(), entry, false);
    } else {
        // Greater than every key: after the last entry.
        if (!goLast(*m_rootPage)) m_rootPage->current = -1;
        GSobjIndexKey* leaf = leafPage();
        entryInsert(*leaf, entry, !leaf->keys.empty());
    }
    m_currentKey = entry;
    if (!m_updating) {
        treeReset(2);
        if (keySearch(*m_rootPage, entry.pointer(), entry, -1) == 0) takeCurrent();
    }
    return true;
}

bool GSobjMDXTag::KeyUpdate(int recordNumber, bool isNew) {
    m_lastUpdate = false;
    if (!isNew && !m_hasFilter && !m_table.recordChanged()) return false;
    struct Updating {
        bool& flag;
        ~Updating() { flag = false; }
    } updating{m_updating};
    m_updating = true;
    const bool hadTree = m_rootPage != nullptr;

    const bool passes = m_hasFilter ? FilterEvaluate() : true;
    TgsVariant newKey;
    KeyEvaluate(newKey);
    KeyAdjust(newKey, true);
    newKey.setPointer(static_cast<uint32_t>(recordNumber));

    bool touched = false;
    if (isNew) {
        if (passes) {
            treeReset(2);
            touched = KeyInsert(newKey);
        }
    } else {
        uint8_t* current = m_table.recordImage();
        const bool own = current == m_table.ownRecordImage();
        TgsVariant oldKey;
        bool found = false;
        m_table.setRecordBuffer(m_table.savedImageMutable());
        try {
            KeyEvaluate(oldKey);
            KeyAdjust(oldKey, true);
            oldKey.setPointer(static_cast<uint32_t>(recordNumber));
            m_table.setRecordBuffer(own ? nullptr : current);
            found = keyFind(oldKey) > 0;
        } catch (...) {
            m_table.setRecordBuffer(own ? nullptr : current);
            throw;
        }
        bool insert = false;
        const bool sameKey = oldKey.type() == newKey.type() && compareKeys(oldKey, newKey, -1) == 0;
        if (sameKey && !(m_hasFilter && !passes)) {
            insert = !found;
        } else {
            if (found) entryDelete(*leafPage());
            insert = passes;
        }
        if (insert) KeyInsert(newKey);
        touched = true;
    }
    if (!hadTree) TreeRelease();
    m_lastUpdate = touched;
    return touched;
}

void GSobjMDXFile::RecordChanged(int recordNumber, bool isNew) {
    for (auto& tag : m_tags) tag->KeyUpdate(recordNumber, isNew);
}

}  // namespace abonex
