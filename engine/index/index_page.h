// GSobjIndexKey: the in-memory copy of one node of a tag's B-tree (a page).
//
// A page holds its entries in order: in a leaf each entry's pointer is a record number; in a
// branch each entry's pointer is a child block and its key the largest key of that child, the
// last entry's key being the high value. Only one root-to-leaf path of pages is held at a time:
// each page owns the one child loaded under it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/expr/tgs_variant.h"

namespace abonex {

// A key in a page: value, length and bytes, with the record number or child block as pointer.
using GSobjIndexKeyData = TgsVariant;

enum class PageKind : uint8_t { Leaf, Branch, NewRoot };

struct GSobjIndexKey {
    std::vector<GSobjIndexKeyData> keys;
    uint32_t block = 0;  // 0 until a block is allocated
    uint32_t chain = 0;  // the node block's chain field as read, kept for rewriting
    PageKind kind = PageKind::Leaf;
    int current = -1;  // entry under the cursor, -1 until positioned
    GSobjIndexKey* parent = nullptr;
    std::unique_ptr<GSobjIndexKey> child;
    // Set on an old root when a new root was grown above it: the page then owns its parent.
    std::unique_ptr<GSobjIndexKey> ownedParent;
    bool changed = false;
    bool split = false;
    // Its block was allocated after the tree was read (an old root moved out of the root
    // block): nothing on the disk refers to it yet.
    bool newBlock = false;
    // The node block's bytes as read (empty for a page made in memory): a reader compares them
    // with the block as it is later, to know whether another writer changed it since.
    std::vector<uint8_t> image;

    bool isLeaf() const { return kind == PageKind::Leaf; }
};

}  // namespace abonex
