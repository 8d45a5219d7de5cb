// GSobjMDXTag: a tag of a multiple-index file: its header block, its node blocks and the
// encodings of its keys in them (layout in mdx_format.h).
//
// Keys in nodes: character keys padded with blanks to the key length (read back without
// trailing blanks), date keys as doubles holding the Julian day (the empty date as 1.0e100),
// numeric keys in the 12-byte decimal form. A branch's extra last entry reads as the high value:
// 0xFF or 1.7e308 for an ascending tag, the empty key or 1.7e-308 for a descending one.
//
// Invariant: everything read from the file is checked against the block length before use; a
// node never yields an entry that lies outside its block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/file/disk_file.h"
#include "engine/index/index_tag.h"
#include "engine/index/key_filter.h"
#include "engine/index/mdx_format.h"
#include "engine/index/record_candidates.h"

namespace abonex {

class GSobjMDXFile;

class GSobjMDXTag : public GSobjIndexTag {
  public:
    // A tag whose header lies at `headerBlock` (read it with HeaderRead).
    GSobjMDXTag(GSobjMDXFile& file, std::string_view name, uint32_t headerBlock);
    ~GSobjMDXTag() override;

    void KeyAdjust(TgsVariant& key, bool trim = true) const override;
    uint32_t RootBlock() override;
    void NodeRead(uint32_t block, GSobjIndexKey& page) override;
    // Writes `page` to its block (allocating one when it has none). An overfull page is split:
    // its first half goes to a new block whose entry is inserted into the parent before the
    // page's own; a root that splits grows a new root that keeps the root block number.
    void NodeWrite(GSobjIndexKey& page) override;
    // Reads and checks the tag header, compiles the key and filter expressions.
    void HeaderRead() override;
    void HeaderWrite() override;

    // Stores texts and flags, compiles both expressions, evaluates the key on the current record
    // to choose the key type and length, and computes the geometry. Touches no file.
    void TagInit(std::string_view keyExpression, bool unique, bool ascending,
                 std::string_view filterExpression);

    // Writes `key` (a key in the tag's held form) into `out`, keyLength() bytes: character keys
    // padded with blanks and cut to the key length, numbers in the decimal form, dates as doubles.
    void encodeKey(const TgsVariant& key, uint8_t* out) const;
    // The held form of the key bytes `in` (keyLength() bytes).
    TgsVariant decodeKey(const uint8_t* in) const;
    // The bytes of a character key `in` (keyLength() bytes) without its trailing blanks.
    std::string_view characterKey(const uint8_t* in) const;
    // The value the extra last entry of a branch reads as.
    TgsVariant highValue() const;

    // Walks the tree from the root, read-only, and calls `visit` with every leaf key in tree
    // order (pointer = record number). A block outside the file, a cycle or more than 32 levels
    // raises "Index file damaged". The root is the one last read or set (RootBlock reads it
    // from the file again); without the index lock the walk may meet another writer's changes.
    void walkKeys(const std::function<void(const TgsVariant&)>& visit);

    // The bulk build and Reindex set the tree's blocks through these.
    void setRoot(uint32_t root) { m_root = root; }
    void setNodeRange(uint32_t first, uint32_t last) {
        m_firstNode = first;
        m_lastNode = last;
    }
    void setHeaderBlock(uint32_t block) { m_headerBlock = block; }
    void markHeaderChanged() { m_headerChanged = true; }
    // Recomputes entry length and keys per node from the key length for 1024-byte blocks.
    void resetGeometry();

    // --- Tree operations (mdx_tag_ops.cpp) ---
    //
    // Outside an update (KeyUpdate, which runs under the index lock) KeyFind, KeyLookup,
    // Navigate, SyncToRecord and TreeReset read the tree without any lock, while other writers
    // may be changing it. One that meets a page it cannot read is done again from a freshly read
    // root (see withFreshLook); "Index file damaged" means the damage is still there.
    //
    // A walk keeps what it has read: the held path, and the file's kept blocks, which seeks
    // and moves into other subtrees use instead of reading again. Every step that reads blocks
    // (a seek, a first or last move, leaving a leaf) is a look, and what it found is used only
    // once the look is confirmed: either nothing was written to the file since the blocks were
    // read, or every block it rests on (the held path and whatever else it read) reads the same
    // again. A look that is not confirmed is made again from the entry the walk stood on, in
    // the tree as it is now. Writers write a changed tree parents first (see TreeRelease), so
    // the tree a reader can meet between two of their writes holds every key, some perhaps
    // twice; a walk hands out no entry twice: it passes over entries at or before the last one
    // it handed out. So a walk returns every key that stays in the tag while it walks, once.
    // Whether another writer has changed the file is also asked (lookForChanges) at the start
    // of every move of the table handler; a path read before a change is not followed any
    // further: the move starts from the entry the walk stood on, in the tree as it is now.
    // First and last moves and seeks start a new walk: they read the tree afresh.

    // Positions on `key` (the record number it carries, when not 0, picks one of equal keys);
    // returns the record number found, else 0 with the cursor on the next greater entry, or
    // with after-last set when there is none. Exact matching when the file's exact-match
    // setting is on or the tag is updating; otherwise a prefix finds the first key it starts.
    int KeyFind(const TgsVariant& key);
    // Like KeyFind with exact matching, leaving the tree and the current key as they were.
    int KeyLookup(const TgsVariant& key);
    // Moves the cursor (PosTop, PosBottom, PosNext, PosPrior, PosCurrent); returns the record
    // number reached, or 0 with an edge flag set. With `filter` (a character tag whose keys
    // are the field the filter tests), entries whose key the filter rejects are passed over as
    // if they were not there, in the direction of the move (PosTop and PosCurrent go on
    // forward). Forward moves of an ascending tag without a range seek over every run of
    // rejected keys (nextCandidate) instead of stepping through it. With `records`, so are
    // the entries of records it says the record filter rejects.
    int Navigate(int code, const KeyFilter* filter = nullptr,
                 const RecordCandidates* records = nullptr);
    // Asks whether another writer may have changed the file since it was last asked (see
    // above); the next move then re-reads what it needs. Nothing while the tag is updating.
    void lookForChanges();
    // The look at the start of a step to the next (`forward`) or prior entry. When the held
    // leaf has that entry and its block reads in the file as the walk read it (through the
    // mapping: no system call), nothing another writer did can change what the step finds: a
    // key added or taken away between the two entries, or a split of the leaf, changes the
    // leaf. Otherwise it is lookForChanges, and a leaf that reads otherwise starts a new
    // generation.
    void lookBeforeStep(bool forward);
    // Re-positions on record `recordNumber` when the cursor is elsewhere; returns the cursor's
    // record number afterwards.
    int SyncToRecord(int recordNumber);
    // True when the key this tag's expression gives for the table's current record buffer is
    // the key under the cursor (record numbers aside): false for a row that another program
    // changed in place without its index. REQUIRES: the buffer holds the cursor's record.
    bool currentKeyFitsRecord();
    // Adds `key` (its pointer is the record number) after every equal key; false when nothing
    // was added (a unique tag that holds the key already).
    bool KeyInsert(const TgsVariant& key);
    // Brings the tag up to date with the record just written (in the table's record buffer;
    // the saved image holds it as it was before editing); true when the tag was touched.
    bool KeyUpdate(int recordNumber, bool isNew);
    // Restricts the cursor to keys from `low` to `high` (an empty bound is open; bounds match
    // as prefixes). clearRange removes the restriction.
    void SetRange(const TgsVariant& low, const TgsVariant& high);
    void clearRange();
    bool RangeActive() const { return m_rangeActive; }
    // Writes every changed page of the held path, drops the tree and writes the tag header when
    // it changed. The current record becomes 0. Overfull pages are split first, bottom-up: the
    // first halves go to new blocks, which nothing on the disk refers to yet, and are written
    // at once; then the pages that the disk knows are written from the root down, so that a
    // parent names a new block before the page whose first half it took is cut short. Between
    // two of these writes a reader finds every key in the tree (some twice), never fewer.
    void TreeRelease();
    // Releases the tree and loads the root again; mode 0 then goes to the first entry, mode 1
    // re-positions on the table's current record, mode 2 does nothing more.
    void TreeReset(int mode);
    // The record numbers of up to `max` entries that follow the cursor in the held leaf
    // (`forward`) or precede it; the table handler fetches those records ahead of time.
    // Only entries whose key `filter` accepts count, when one is given.
    int upcomingRecords(uint32_t* out, int max, bool forward,
                        const KeyFilter* filter = nullptr) const;
    // Compares a search key with an entry key: -1, 0 or 1, negated for a descending tag.
    // `prefixResult` is the answer when `key` is a proper prefix of the entry key (-1 exact,
    // 0 partial). Raises "Variant types mismatch for compare".
    int compareKeys(const TgsVariant& key, const TgsVariant& entry, int prefixResult) const;

    GSobjMDXFile& file() { return m_file; }
    GSO_dBaseFld& table() { return m_table; }

  private:
    [[noreturn]] void damaged(std::string_view detail) const;
    // Runs `walk` (a read of the tree without the index lock) until it succeeds; `again` is
    // true for the looks after the first, which start from a freshly read root. Damage is raised
    // when a fresh look meets it again the same way while no other handle is changing the file,
    // or after a bounded number of looks.
    template <typename Walk>
    int withFreshLook(Walk&& walk);
    // The operations behind the public ones, without the fresh look. With `fresh`, a relative
    // move starts from the current key in a freshly read tree (as it also does when the held
    // path was read before another writer's change).
    int navigate(int code, bool fresh, const KeyFilter* filter, const RecordCandidates* records);
    // Puts the cursor on the first entry at or after `candidate` (a key beginning), looking in
    // the held leaf first; false when there is none.
    bool seekForward(const std::string& candidate);
    // True when the held path was read in an earlier generation of the file than the current
    // one, after one more look at the file.
    bool pathOutOfDate();
    // Runs `step(fresh)`, a step that may read blocks (fresh: the tree is to be read anew, from
    // the entry the walk stood on), as one look, and makes it again with fresh set until the
    // look is confirmed (lookHolds). Inside an update, or inside another look, it runs once.
    template <typename Step>
    bool confirmedStep(Step&& step);
    // Whether what the look that is ending read is still what the file holds (see above).
    bool lookHolds();
    // Every block the look rests on reads as it did: the held path, the blocks read during the
    // look, and the tag table and header that lead to the root.
    bool readsUnchanged();
    // A new walk: nothing handed out yet.
    void startWalk();
    // Notes `entry` as handed out by a move in direction `forward`.
    void handOut(const TgsVariant& entry, bool forward);
    // True when `entry` lies at or before the last entry handed out, in direction `forward`
    // (an equal key counts when its record was handed out with that key). With `allowLast`,
    // the last entry handed out itself does not count.
    bool handedOutAlready(const TgsVariant& entry, bool forward, bool allowLast) const;
    // From the entry under the cursor on, passes over entries handed out already (see
    // handedOutAlready) and, with `filter`, the entries it rejects, in direction `forward`;
    // false when the move runs off the tag. An entry outside the range ends the move (the
    // caller takes it for the edge).
    bool settle(bool forward, const KeyFilter* filter, const RecordCandidates* records,
                bool allowLast);
    // What a walk passes over: entries whose key `keys` rejects or whose record `records`
    // rejects (either may be null).
    struct PassOver {
        const KeyFilter* keys = nullptr;
        const RecordCandidates* records = nullptr;
    };
    // The root block number, looked up in the tag table and the tag header once per
    // generation of the file.
    uint32_t rootForGeneration();
    void treeReset(int mode);
    int keyFind(const TgsVariant& key);
    // From a freshly read root, stands on the entry that follows (`forward`) or precedes `held`
    // when `held` is still in the tree; when it is gone, on the first entry of its key
    // (forward) or the last (backward), for settle to pass over what was handed out. False
    // when there is none.
    bool stepFrom(const TgsVariant& held, bool forward);
    // Writes the page whole to its block (no split).
    void writeNodeBlock(GSobjIndexKey& page);

    int keySearch(GSobjIndexKey& page, int64_t wantedRecord, const TgsVariant& key,
                  int prefixResult);
    GSobjIndexKey& loadChild(GSobjIndexKey& page, size_t index);
    void releaseChild(GSobjIndexKey& page);
    void releasePage(GSobjIndexKey& page);
    // Writes the whole held tree in the order TreeRelease describes.
    void writeTree(std::unique_ptr<GSobjIndexKey> root);
    // The most entries a node of this tag holds.
    size_t nodeCapacity() const;
    // Splits `page` until it fits a node (see NodeWrite); returns a root grown above it.
    std::unique_ptr<GSobjIndexKey> splitToFit(GSobjIndexKey& page);
    void splitOffFirstHalf(GSobjIndexKey& page);
    std::unique_ptr<GSobjIndexKey> growRoot(GSobjIndexKey& oldRoot);
    GSobjIndexKey* leafPage() const;
    void loadRoot();
    void entryInsert(GSobjIndexKey& leaf, const TgsVariant& key, bool after);
    void entryDelete(GSobjIndexKey& page);
    bool goFirst(GSobjIndexKey& page);
    bool goLast(GSobjIndexKey& page);
    // `look`: leaving the held leaf is a confirmed look (confirmedStep); a path read before a
    // change is not followed, the step is made in the tree as it is now.
    // `passOver`: see climb.
    bool goNext(bool look, const PassOver* passOver = nullptr);
    bool goPrior(bool look);
    // Leaves the held leaf for the next (`forward`) or the previous one; with `look`, as a
    // confirmed look (see goNext).
    bool leaveLeaf(bool forward, bool look, const PassOver* passOver = nullptr);
    // Leaves the held leaf through the held branches: to the first entry of the next leaf
    // (`forward`) or the last of the previous one; false at the end of the tree. With
    // `passOver` (forward, reading without the index lock, no range), the leaves whose entries
    // it all rejects are passed over unloaded, up to kLeavesPassedPerLook of them: their bytes
    // are only scanned (leafRejected). When they run to the end of the tree, the cursor stands
    // on the last entry of the last leaf, as after a walk through them.
    bool climb(bool forward, const PassOver* passOver = nullptr);
    static constexpr int kLeavesPassedPerLook = 256;
    // True when `block` is a leaf (as its bytes tell) whose keys `passOver.keys` all rejects,
    // or whose records `passOver.records` all rejects; the bytes come from the index file's
    // run of blocks and count as read by the look under way.
    bool leafRejected(uint32_t block, const PassOver& passOver);
    const TgsVariant* entryUnderCursor() const;
    void takeCurrent();
    bool inRange(const TgsVariant& key) const;

    GSobjMDXFile& m_file;
    // The last damage a read without the index lock met (withFreshLook), and the file's change
    // stamp when it was met with nobody holding the file's locks (unsettled otherwise).
    std::string m_damageMet;
    FileChangeStamp m_damageStamp;
    // The file generations the held path and m_root were read in.
    uint64_t m_pathGeneration = 0;
    uint64_t m_rootGeneration = 0;
    // The look under way (confirmedStep): the blocks it read, with their bytes as read (the
    // bytes of consecutive blocks from `block` on, when leaves were passed over).
    struct BlockSeen {
        uint32_t block = 0;
        std::vector<uint8_t> bytes;
        // Or, for leaves passed over, `length` bytes from `offset` into a run of the file.
        std::shared_ptr<const std::vector<uint8_t>> run;
        size_t offset = 0;
        size_t length = 0;
        std::span<const uint8_t> view() const {
            return run ? std::span<const uint8_t>(run->data() + offset, length)
                       : std::span<const uint8_t>(bytes);
        }
    };
    bool m_looking = false;
    std::vector<BlockSeen> m_lookReads;
    // The walk: the last entry handed out (record number 0: none), the direction it was
    // handed out in, and the records handed out with its key since that key was first met.
    TgsVariant m_handed;
    bool m_handedForward = true;
    // The records handed out with one key: a few as a rule, kept in a list that needs no
    // allocation from one key to the next; a long run of equal keys moves them to a set.
    class HandedRecords {
      public:
        void clear() {
            m_few.clear();
            if (!m_many.empty()) m_many.clear();
        }
        void insert(uint32_t record) {
            if (m_many.empty() && m_few.size() < kFew) {
                if (!contains(record)) m_few.push_back(record);
                return;
            }
            if (m_many.empty()) m_many.insert(m_few.begin(), m_few.end());
            m_many.insert(record);
        }
        bool contains(uint32_t record) const {
            if (!m_many.empty()) return m_many.contains(record);
            return std::find(m_few.begin(), m_few.end(), record) != m_few.end();
        }

      private:
        static constexpr size_t kFew = 32;
        std::vector<uint32_t> m_few;
        std::unordered_set<uint32_t> m_many;
    };
    HandedRecords m_handedWithKey;
    // A page released from the held path, kept so that the next child loaded reuses its
    // storage (its entries' key bytes above all) instead of allocating it anew.
    std::unique_ptr<GSobjIndexKey> m_sparePage;
};

}  // namespace abonex
