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

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/index/index_tag.h"
#include "engine/index/mdx_format.h"

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
    // The value the extra last entry of a branch reads as.
    TgsVariant highValue() const;

    // Walks the tree from the root, read-only, and calls `visit` with every leaf key in tree
    // order (pointer = record number). A block outside the file, a cycle or more than 32 levels
    // raises "Index file damaged".
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
    // Releases the in-memory tree (pages are added with the tree operations).
    void releaseTree() {}

    GSobjMDXFile& file() { return m_file; }
    GSO_dBaseFld& table() { return m_table; }

  private:
    [[noreturn]] void damaged(std::string_view detail) const;

    GSobjMDXFile& m_file;
};

}  // namespace abonex
