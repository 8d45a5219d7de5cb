// TgsSort: the in-memory sort of a bulk index build.
//
// Keys are added with their record numbers and taken out in order. A sort key is the key's bytes
// followed by the record number as 4 bytes, most significant first, so equal keys come out in
// record-number order (reversed for a descending sort).
//
// Phase one inserts sort keys into a byte trie held in at most kMaxPools pools of kPoolSize bytes.
// A trie node is 10 bytes:
//   OFFSET  SIZE  CONTENT
//   0       4     first child (node id, 0 = none)
//   4       4     next sibling, or up to four packed following bytes of a chain without branches
//   8       1     flags: high nibble = key type marker when a key ends here, low 3 bits = packed
//   count 9       1     the byte value
// Siblings are kept in ascending byte order (descending for a descending sort). When a key would
// not fit into what is left of the last pool, the trie is written out as a sorted run and the
// pools are reused. Retrieval flushes the trie as a last run and merges the runs.
//
// A run (TgsPageCollection) holds front-compressed entries in 16,384-byte pages:
//   type byte (16 raw, 32 character, 48 double, 64 date), total length, number of trailing bytes
//   that differ from the previous key, then those bytes. A type byte of 0 ends a page.
//
// Invariant: keys may be added only until the first key is taken out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/expr/tgs_variant.h"

namespace abonex {

enum class SortKeyType : uint8_t { Raw = 16, Character = 32, Double = 48, Date = 64 };

// The longest sort key (without the record number) a sort accepts.
inline constexpr int kMaxSortKeyLength = 240;

// One sorted run of front-compressed keys in 16 KB pages.
class TgsPageCollection {
  public:
    static constexpr size_t kPageSize = 16384;

    // Appends a key (record number included); keys must come in sorted order.
    void append(SortKeyType type, const uint8_t* key, size_t length);
    // Moves to the next key; false when the run is exhausted.
    bool advance();
    std::string_view head() const { return {reinterpret_cast<const char*>(m_head), m_headLength}; }
    SortKeyType headType() const { return m_headType; }
    size_t pageCount() const { return m_pages.size(); }

  private:
    std::vector<std::unique_ptr<uint8_t[]>> m_pages;
    size_t m_writeOffset = kPageSize;  // forces a first page
    uint8_t m_last[256] = {};
    size_t m_lastLength = 0;

    size_t m_readPage = 0;
    size_t m_readOffset = 0;
    uint8_t m_head[256] = {};
    size_t m_headLength = 0;
    SortKeyType m_headType = SortKeyType::Raw;
};

// A key as the sort hands it out: the key bytes in sort form (record number cut off).
struct SortedKey {
    SortKeyType type = SortKeyType::Raw;
    std::string_view bytes;
    uint32_t recordNumber = 0;
};

class TgsSort {
  public:
    static constexpr size_t kPoolSize = 40960;
    static constexpr size_t kMaxPools = 32;
    static constexpr size_t kNodeSize = 10;
    static constexpr uint32_t kNodesPerPool = kPoolSize / kNodeSize;

    // `maxKeyLength` bounds the key bytes; above kMaxSortKeyLength raises
    // "Sort key length greater than 240 bytes".
    TgsSort(int maxKeyLength, bool ascending, bool unique);
    virtual ~TgsSort();
    TgsSort(const TgsSort&) = delete;
    TgsSort& operator=(const TgsSort&) = delete;

    // Adds a key (character, double, date or raw) with its record number. Raises
    // "Variant type cannot be sorted", "Cannot add sort keys after beginning retrieval" or
    // "Sort key length greater than 240 bytes".
    void addKey(const TgsVariant& key, uint32_t recordNumber);
    // Adds key bytes already in sort form.
    void addSortKey(SortKeyType type, const uint8_t* bytes, size_t length, uint32_t recordNumber);
    // Takes over every key added to `other`, a sort of the same order, length and uniqueness
    // whose keys were added in parallel with this one's: they come out merged with this sort's
    // as if all had been added here. `other` takes and gives no keys after. Raises
    // "Cannot add sort keys after beginning retrieval" when either has begun handing keys out.
    void takeKeysOf(TgsSort& other);

    // Takes the next key out; false when none is left. For a unique sort a key equal to the one
    // taken before is skipped. `key` gets the value in its type, with the record number as its
    // pointer. The bytes of `out` stay valid until the next call.
    bool nextKey(TgsVariant& key);
    bool nextSortedKey(SortedKey& out);

    // The sort form of a double (8 bytes, most significant first, order-preserving) and back.
    static void doubleToSortBytes(double value, uint8_t* out);
    static double doubleFromSortBytes(std::string_view bytes);
    // The Julian day of a date's sort form (4 bytes, most significant first).
    static int32_t dateFromSortBytes(std::string_view bytes);

    size_t runCount() const { return m_runs.size(); }
    bool ascending() const { return m_ascending; }

  private:
    uint8_t* node(uint32_t id) {
        return m_poolBase[id / kNodesPerPool] + (id % kNodesPerPool) * kNodeSize;
    }
    uint32_t allocateNode();
    void unpack(uint8_t* n);
    void insert(SortKeyType type, const uint8_t* key, size_t length);
    void flushTrie();
    void resetTrie();
    void walk(uint32_t id, size_t depth, TgsPageCollection& run);
    bool headBefore(size_t a, size_t b) const;
    void siftDown(size_t position);

    int m_maxKeyLength;
    bool m_ascending;
    bool m_unique;
    bool m_adding = true;

    std::vector<std::unique_ptr<uint8_t[]>> m_pools;
    uint8_t* m_poolBase[kMaxPools] = {};
    uint32_t m_nodesUsed = 0;  // node 0 of pool 0 is the root sentinel
    bool m_trieEmpty = true;
    std::vector<std::unique_ptr<TgsPageCollection>> m_runs;
    uint8_t m_walkKey[256] = {};

    std::vector<size_t> m_heap;  // runs with a head, best first
    bool m_merging = false;
    uint8_t m_out[256] = {};
    size_t m_outLength = 0;
    uint8_t m_previous[256] = {};
    size_t m_previousLength = 0;
    bool m_hasPrevious = false;
};

}  // namespace abonex
