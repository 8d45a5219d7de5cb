// GSobjIndexTag: one tag of an index file, the ordering of a table's records by the value of a
// key expression, optionally restricted by a filter expression. The tag of one file format
// (GSobjMDXTag) provides the node and header I/O; the cursor and tree operations build on them.
//
// Invariant: the geometry (key length, entry length, keys per node) always describes the blocks
// the tag writes; character keys in the tag are held without trailing blanks, dates and numbers
// as doubles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/expr/tgs_variant.h"
#include "engine/index/index_page.h"
#include "engine/index/tag_expression.h"

namespace abonex {

class GSobjIndexTag {
  public:
    virtual ~GSobjIndexTag() = default;
    GSobjIndexTag(const GSobjIndexTag&) = delete;
    GSobjIndexTag& operator=(const GSobjIndexTag&) = delete;

    // Puts a computed key into the form in which the tag stores it; `trim` removes the trailing
    // bytes of value 0x20 or less of a character key.
    virtual void KeyAdjust(TgsVariant& key, bool trim = true) const = 0;
    // The root block number as the tag header on disk says now.
    virtual uint32_t RootBlock() = 0;
    // Fills `page` from node block `block`.
    virtual void NodeRead(uint32_t block, GSobjIndexKey& page) = 0;
    // Writes `page` to its node block.
    virtual void NodeWrite(GSobjIndexKey& page) = 0;
    virtual void HeaderRead() = 0;
    // Writes the tag header when it changed.
    virtual void HeaderWrite() = 0;
    // Compile the key / filter expression texts for the owning table.
    virtual void KeyCompile();
    virtual void FilterCompile();
    // Evaluates the key expression on the current record buffer into `key` (not adjusted);
    // false, `key` unchanged, when no key expression is compiled.
    virtual bool KeyEvaluate(TgsVariant& key);
    // True only when a filter is compiled and yields logical true on the current record.
    virtual bool FilterEvaluate();

    const std::string& name() const { return m_name; }
    const std::string& keyExpression() const { return m_keyExpression; }
    const std::string& filterExpression() const { return m_filterExpression; }
    char keyType() const { return m_keyType; }
    int keyLength() const { return m_keyLength; }
    int entryLength() const { return m_entryLength; }
    int keysPerNode() const { return m_keysPerNode; }
    bool ascending() const { return m_ascending; }
    bool unique() const { return m_unique; }
    bool hasFilter() const { return m_hasFilter; }
    uint32_t rootBlock() const { return m_root; }
    uint32_t firstNodeBlock() const { return m_firstNode; }
    uint32_t lastNodeBlock() const { return m_lastNode; }
    uint32_t headerBlock() const { return m_headerBlock; }
    bool headerChanged() const { return m_headerChanged; }

    // Cursor state. The current key carries the record number under the cursor (0: none).
    const TgsVariant& currentKey() const { return m_currentKey; }
    int currentRecord() const { return static_cast<int>(m_currentKey.pointer()); }
    bool beforeFirst() const { return m_beforeFirst; }
    bool afterLast() const { return m_afterLast; }
    bool updating() const { return m_updating; }
    bool hasTree() const { return m_rootPage != nullptr; }
    // Whether the last KeyUpdate touched the tag.
    bool lastUpdateResult() const { return m_lastUpdate; }

  protected:
    explicit GSobjIndexTag(class GSO_dBaseFld& table) : m_table(table) {}

    GSO_dBaseFld& m_table;
    std::string m_name;
    std::string m_keyExpression;
    std::string m_filterExpression;
    std::unique_ptr<TagExpression> m_keyCompiled;
    std::unique_ptr<TagExpression> m_filterCompiled;
    uint32_t m_headerBlock = 0;
    uint32_t m_root = 0;
    char m_keyType = 'C';
    int m_keyLength = 0;
    int m_entryLength = 0;
    int m_keysPerNode = 0;
    bool m_ascending = true;
    bool m_unique = false;
    bool m_hasFilter = false;
    uint32_t m_firstNode = 0;
    uint32_t m_lastNode = 0;
    bool m_headerChanged = false;

    // The one path of pages held from the root down (absent while the tree is released).
    std::unique_ptr<GSobjIndexKey> m_rootPage;
    TgsVariant m_currentKey;
    bool m_beforeFirst = false;
    bool m_afterLast = false;
    bool m_updating = false;
    bool m_lastUpdate = false;
    // Key range restricting the cursor; empty bounds are open.
    TgsVariant m_rangeLow;
    TgsVariant m_rangeHigh;
    bool m_rangeActive = false;
};

}  // namespace abonex
