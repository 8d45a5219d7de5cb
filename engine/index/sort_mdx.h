// GSobjSortMDX: the bulk build of one tag: the tag's keys go through the sort (TgsSort) and come
// out into node blocks written bottom-up, level by level, every block full except the last of
// its level.
//
// Levels are numbered from 0 (the leaves). A level's block is written when it already holds
// keys-per-node entries and another arrives: it gets the next free block, its chain field is the
// tag's previous last node block, and an entry of its last key and its block number goes to the
// level above. A branch block stores its entry count minus one (its last entry is the extra
// child pointer). At the end every level's block in progress is written the same way and the
// block of the highest level becomes the root.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/index/index_progress.h"
#include "engine/index/mdx_tag.h"
#include "engine/index/tgs_sort.h"

namespace abonex {

class GSobjSortMDX : public TgsSort {
  public:
    static constexpr size_t kMaxLevels = 32;

    // A sort for `tag`'s keys with its ascending and unique flags. Raises
    // "Sort key length greater than 240 bytes" for character keys longer than 239 bytes.
    explicit GSobjSortMDX(GSobjMDXTag& tag);
    // Leaves a tree that was not finished as it is: its tag's root is not set.
    ~GSobjSortMDX() override;

    // Takes every key out of the sort into the node blocks and finishes the tree; `step` is
    // called with the running count of keys written.
    void writeTree(const std::function<void(int)>& step = {});
    // Writes every level's block in progress, sets the tag's root (one empty leaf when no key
    // was written) and marks the tag header changed. Does nothing the second time.
    void finish();

    int keysWritten() const { return m_written; }

  private:
    struct Level {
        std::vector<uint8_t> block;
        uint32_t count = 0;
    };
    void appendEntry(size_t level, uint32_t pointer, const uint8_t* key);
    // Writes the block of `level` to a new block, clears the buffer; returns its number and
    // copies its last key into `lastKey`.
    uint32_t writeBlock(size_t level, std::vector<uint8_t>& lastKey);
    void storedForm(const SortedKey& key);
    // Node blocks are allocated one after another from the end of the file, so consecutive
    // blocks are gathered and written together.
    void writeNode(uint32_t block, const uint8_t* bytes);
    void flushNodes();

    GSobjMDXTag& m_tag;
    std::vector<Level> m_levels;
    std::vector<uint8_t> m_key;      // the current key in stored form
    std::vector<uint8_t> m_pending;  // node blocks not yet written, from m_pendingBlock on
    uint32_t m_pendingBlock = 0;
    int m_written = 0;
    bool m_finished = false;
};

// Builds `tag` from its table: phase 1 reads the table in physical order from the first record
// to the end (records marked deleted included), adding the adjusted key of every record that
// passes the tag's filter; phase 2 writes the tree. Sets root, first and last node block and
// writes the tag header.
//
// Phase 1 runs on two threads when the machine has two cores or more (see setBulkBuildThreads)
// and the expressions do not read RECNO(): the calling thread reads the table and keys part of
// it, another thread keys the rest; the index file written is byte for byte the same.
void buildTagFromTable(GSobjMDXTag& tag, const IndexProgressCallback& progress);

// The threads of phase 1 of every bulk build in the process: 1 for the calling thread alone,
// 2 (or more) for two, 0 (the start) for two when the machine has two cores or more and the
// table more records than one read takes in; the second then leaves as soon as the process
// keys records on more threads than there are cores (two builds at once already use both).
void setBulkBuildThreads(unsigned threads);

}  // namespace abonex
