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
    auto child = std::make_unique<GSobjIndexKey>();
    NodeRead(block, *child);
    child->parent = &page;
    page.child = std::move(child);
    return *page.child;
}

void GSobjMDXTag::releaseChild(GSobjIndexKey& page) {
    if (!page.child) return;
    releasePage(*page.child);
    page.child.reset();
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

void GSobjMDXTag::NodeWrite(GSobjIndexKey& page) {
    // Another writer's header may count one entry more than a block holds with its pointer.
    const size_t fits =
        (m_file.blockLength() - mdx::kNodeEntries - 4) / static_cast<size_t>(m_entryLength);
    const size_t m = std::max<size_t>(1, std::min(static_cast<size_t>(m_keysPerNode), fits));
    std::unique_ptr<GSobjIndexKey> grownRoot;
    if (page.block == 0) page.block = m_file.BlockAllocate();
    while (page.keys.size() > m) {
        if (page.parent == nullptr) grownRoot = growRoot(page);
        splitOffFirstHalf(page);
    }
    if (page.kind == PageKind::NewRoot) page.kind = PageKind::Branch;
    writeNodeBlock(page);
    if (grownRoot) {
        // The new root is written once the page it grew from is; it may split in turn.
        page.parent = nullptr;
        NodeWrite(*grownRoot);
    }
}

void GSobjMDXTag::TreeRelease() {
    if (m_rootPage) {
        std::unique_ptr<GSobjIndexKey> root = std::move(m_rootPage);
        releasePage(*root);
    }
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

bool GSobjMDXTag::goNext(bool look) {
    GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr) return false;
    if (static_cast<size_t>(leaf->current + 1) < leaf->keys.size()) {
        ++leaf->current;
        return true;
    }
    // Leaving the leaf: the branches held above it may be out of date.
    if (look && !m_updating && entryUnderCursor() != nullptr && pathOutOfDate()) {
        const TgsVariant held = *entryUnderCursor();
        return stepFrom(held, true);
    }
    // Climb to the first level that has a next entry, then descend to its first leaf entry.
    for (GSobjIndexKey* page = leaf->parent; page != nullptr; page = page->parent) {
        if (static_cast<size_t>(page->current + 1) >= page->keys.size()) continue;
        releaseChild(*page);  // a split here keeps page->current on the released child's entry
        ++page->current;
        GSobjIndexKey* child = &loadChild(*page, static_cast<size_t>(page->current));
        while (true) {
            child->current = 0;
            if (child->isLeaf()) break;
            child = &loadChild(*child, 0);
        }
        if (child->keys.empty()) return goNext(false);  // an empty leaf of another writer
        return true;
    }
    return false;
}

bool GSobjMDXTag::goPrior(bool look) {
    GSobjIndexKey* leaf = leafPage();
    if (leaf == nullptr) return false;
    if (leaf->current > 0) {
        --leaf->current;
        return true;
    }
    if (look && !m_updating && entryUnderCursor() != nullptr && pathOutOfDate()) {
        const TgsVariant held = *entryUnderCursor();
        return stepFrom(held, false);
    }
    for (GSobjIndexKey* page = leaf->parent; page != nullptr; page = page->parent) {
        if (page->current <= 0) continue;
        releaseChild(*page);
        if (page->current <= 0) continue;
        --page->current;
        GSobjIndexKey* child = &loadChild(*page, static_cast<size_t>(page->current));
        while (true) {
            child->current = static_cast<int>(child->keys.size()) - 1;
            if (child->isLeaf()) break;
            child = &loadChild(*child, static_cast<size_t>(child->current));
        }
        if (child->keys.empty()) return goPrior(false);
        return true;
    }
    return false;
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

int GSobjMDXTag::navigate(int code, bool fresh, const KeyFilter* filter) {
    m_beforeFirst = false;
    m_afterLast = false;
    // A path read before another writer's change is not followed: the move starts from the
    // entry the cursor stood on, in the tree as it is now.
    if (m_rootPage && !m_updating && m_pathGeneration != m_file.generation()) fresh = true;
    const bool skips = filter != nullptr && filter->kind() == KeyFilter::Kind::StartsWith &&
                       m_ascending && !m_rangeActive && m_keyType == 'C';
    bool found = false;
    switch (code) {
        case PosTop:
            // A new walk: what earlier walks read is read again.
            if (!m_updating) m_file.forgetReads(false);
            treeReset(2);
            if (m_rangeActive && !m_rangeLow.isEmpty()) {
                found = keySearch(*m_rootPage, kAnyRecord, m_rangeLow, 0) <= 0;
            } else if (skips) {
                const std::optional<std::string> first = filter->nextCandidate({});
                found = first &&
                        keySearch(*m_rootPage, kAnyRecord, TgsVariant::character(*first), 0) <= 0;
            } else {
                found = goFirst(*m_rootPage);
            }
            if (!found) m_beforeFirst = true;
            break;
        case PosBottom:
            if (!m_updating) m_file.forgetReads(false);
            treeReset(2);
            found = goLast(*m_rootPage);
            while (found) {
                takeCurrent();
                if (inRange(m_currentKey)) break;
                found = goPrior(true);
            }
            if (!found) m_afterLast = true;
            break;
        case PosNext:
            if (fresh) {
                found = stepFrom(TgsVariant(m_currentKey), true);
            } else {
                if (!m_rootPage) treeReset(1);
                found = goNext(true);
            }
            if (!found) m_afterLast = true;
            break;
        case PosPrior:
            if (fresh) {
                found = stepFrom(TgsVariant(m_currentKey), false);
            } else {
                if (!m_rootPage) treeReset(1);
                found = goPrior(true);
            }
            if (!found) m_beforeFirst = true;
            break;
        case PosCurrent: {
            if (fresh && m_currentKey.pointer() != 0) {
                // The entry may have moved or gone: then the one after it stands in.
                const TgsVariant held = m_currentKey;
                m_rootPage.reset();
                loadRoot();
                found = keySearch(*m_rootPage, held.pointer(), held, -1) <= 0;
            } else {
                if (!m_rootPage) treeReset(1);
                GSobjIndexKey* leaf = leafPage();
                found = leaf != nullptr && leaf->current >= 0 &&
                        static_cast<size_t>(leaf->current) < leaf->keys.size();
            }
            if (!found) m_beforeFirst = m_afterLast = true;
            break;
        }
        default:
            return 0;
    }
    const bool forward = code != PosPrior && code != PosBottom;
    if (found && filter != nullptr) {
        found = passRejected(*filter, forward);
        if (!found) (forward ? m_afterLast : m_beforeFirst) = true;
    }
    if (found) {
        takeCurrent();
        if (!inRange(m_currentKey)) {
            found = false;
            // Outside the range counts as the edge in the direction of travel.
            if (code == PosPrior || code == PosBottom) {
                m_beforeFirst = true;
            } else {
                m_afterLast = true;
            }
        }
    }
    if (!found) {
        if (code == PosTop || code == PosBottom) m_beforeFirst = m_afterLast = true;
        m_currentKey.setPointer(0);
        return 0;
    }
    return currentRecord();
}

bool GSobjMDXTag::passRejected(const KeyFilter& filter, bool forward) {
    const bool skips = filter.kind() == KeyFilter::Kind::StartsWith && m_ascending &&
                       !m_rangeActive && m_keyType == 'C';
    for (;;) {
        const TgsVariant* entry = entryUnderCursor();
        if (entry == nullptr) return false;
        // An entry outside the range ends the move; the caller takes it for the edge.
        if (!inRange(*entry) || filter.accepts(entry->bytes())) return true;
        bool moved = false;
        if (!forward) {
            moved = goPrior(true);
        } else if (!skips) {
            moved = goNext(true);
        } else {
            // Every key between this one and the candidate is rejected as well.
            const std::optional<std::string> next = filter.nextCandidate(entry->bytes());
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
    if (pathOutOfDate()) {
        m_rootPage.reset();
        loadRoot();
    }
    return keySearch(*m_rootPage, kAnyRecord, key, 0) <= 0;
}

int GSobjMDXTag::keyFind(const TgsVariant& key) {
    treeReset(0);
    TgsVariant wanted = key;
    KeyAdjust(wanted, true);
    m_beforeFirst = false;
    m_afterLast = false;
    const bool exact = m_file.exactMatch() || m_updating;
    const int64_t record = key.pointer() != 0 ? static_cast<int64_t>(key.pointer()) : kAnyRecord;
    const int result = keySearch(*m_rootPage, record, wanted, exact ? -1 : 0);
    if (result == 0) {
        takeCurrent();
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
    m_file.setExactMatch(true);
    int found = 0;
    try {
        found = KeyFind(key);
    } catch (...) {
        m_rootPage.reset();
        m_rootPage = std::move(savedRoot);
        m_file.setExactMatch(savedExact);
        throw;
    }
    m_rootPage.reset();  // the temporary tree holds no changes: a seek only reads
    m_rootPage = std::move(savedRoot);
    m_currentKey = savedKey;
    m_beforeFirst = savedBefore;
    m_afterLast = savedAfter;
    m_file.setExactMatch(savedExact);
    return found;
}

// ---------------------------------------------------------------------------------------------
// Reading without the index lock

// Moves, seeks and re-synchronisations read the tree without any lock while other copies may
// be writing it. Two things can then go wrong, and neither means the file is damaged:
//  - a page read while another writer rewrites it comes back partly old, partly new: the system
//    copies the block out while the writer copies the new image in. A leaf that has just been
//    split read with its new key count and its old entries finds a record number where a leaf
//    has the zero pointer after its last key, so it reads as a branch, and its record numbers
//    are taken for child blocks, which may lie beyond the end of the file;
//  - a path held from an earlier look leads to blocks that another copy's rebuild has since cut
//    away or given to other nodes.
// So a walk that meets damage is done again from a freshly read root (the tag header is looked
// up in the tag table again, and every block, with the file's size, is read anew). The damage is
// reported when it is met again the same way (in this walk or a later one: a fresh path may go
// round a damaged part once and meet it on the way on) while no other handle holds the index
// lock or the lock-all region of the file, that is while nobody can be changing it, or after
// kFreshLooks such looks. While another handle holds those locks (another copy's start-up
// rebuild rewrites the whole file under them), the reader goes on looking as long as a writer
// would wait for the index lock, and reports the damage only after that. Inside an update this
// copy holds the index lock itself: nobody else writes, and damage is reported at once.
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
            if (changing) {
                const auto now = std::chrono::steady_clock::now();
                if (patienceEnd == std::chrono::steady_clock::time_point{}) {
                    const LockWait& wait = GSO_DiskFile::defaultLockWait();
                    patienceEnd = now + std::chrono::milliseconds(int64_t{wait.attempts} *
                                                                  int64_t{wait.pauseMs});
                }
                if (now >= patienceEnd) throw;
            } else if (m_damageMet == damage.what() || ++quietLooks >= kFreshLooks) {
                throw;
            }
            m_damageMet = damage.what();
            // What the failed walk read is dropped unwritten: a reader's path holds no changes.
            // The next look reads every block again, the tag table included.
            m_rootPage.reset();
            m_file.forgetReads(true);
            if (changing && look > 1) std::this_thread::sleep_for(kLookPause);
        }
    }
}

bool GSobjMDXTag::stepFrom(const TgsVariant& held, bool forward) {
    m_rootPage.reset();
    if (held.pointer() == 0) {
        treeReset(1);
        return forward ? goNext(false) : goPrior(false);
    }
    loadRoot();
    const int result = keySearch(*m_rootPage, held.pointer(), held, -1);
    if (result == 0) return forward ? goNext(false) : goPrior(false);
    // `held` is no longer in the tree: the cursor stands on the first entry after it.
    if (result < 0) return forward ? true : goPrior(false);
    return forward ? false : goLast(*m_rootPage);
}

int GSobjMDXTag::Navigate(int code, const KeyFilter* filter) {
    // A failed look leaves the current key as it was (or, when the tree had to be loaded first,
    // on the table's current record): the next look starts from it.
    return withFreshLook([&](bool again) { return navigate(code, again, filter); });
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
        treeReset(mode);
        return 0;
    });
}

int GSobjMDXTag::SyncToRecord(int recordNumber) {
    if (m_rootPage && currentRecord() == recordNumber && recordNumber != 0) return recordNumber;
    return withFreshLook([&](bool) {
        treeReset(1);
        return currentRecord();
    });
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
