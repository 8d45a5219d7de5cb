#include "engine/index/mdx_tag.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"

namespace abonex {

namespace {

constexpr int kMaxLevels = 32;

std::string textAt(const uint8_t* block, size_t offset, size_t limit) {
    const auto* begin = reinterpret_cast<const char*>(block + offset);
    const size_t length = strnlen(begin, limit);
    return std::string(begin, length);
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

GSobjMDXTag::GSobjMDXTag(GSobjMDXFile& file, std::string_view name, uint32_t headerBlock)
    : GSobjIndexTag(file.table()), m_file(file) {
    m_name = upperAscii(name);
    m_headerBlock = headerBlock;
}

GSobjMDXTag::~GSobjMDXTag() = default;

void GSobjMDXTag::damaged(std::string_view detail) const {
    std::string text = "tag ";
    text.append(m_name).append(": ").append(detail);
    raiseIndexDamaged(m_file.path(), text);
}

void GSobjMDXTag::resetGeometry() {
    const mdx::TagGeometry geometry = mdx::tagGeometry(m_keyLength, m_file.blockLength());
    m_entryLength = geometry.entryLength;
    m_keysPerNode = geometry.keysPerNode;
}

void GSobjMDXTag::TagInit(std::string_view keyExpression, bool unique, bool ascending,
                          std::string_view filterExpression) {
    m_keyExpression = std::string(trimBlanks(keyExpression));
    m_filterExpression = std::string(trimBlanks(filterExpression));
    m_hasFilter = !m_filterExpression.empty();
    m_unique = unique;
    m_ascending = ascending;
    KeyCompile();
    FilterCompile();

    TgsVariant key;
    KeyEvaluate(key);
    switch (key.type()) {
        case VariantType::Character:
            m_keyType = 'C';
            m_keyLength = static_cast<int>(key.bytes().size());
            break;
        case VariantType::Logical:
            raiseLogicalKey(m_name);
        case VariantType::Double:
            m_keyType = 'N';
            m_keyLength = mdx::kNumericKeyLength;
            break;
        case VariantType::Date:
            m_keyType = 'D';
            m_keyLength = mdx::kDateKeyLength;
            break;
        case VariantType::Raw:
        case VariantType::None:
            raiseBadKeyType(m_name);
    }
    if (m_keyLength < 1) raiseBadKeyType(m_name);
    resetGeometry();
    if (m_keysPerNode < 1) raiseBadKeyType(m_name);
}

void GSobjMDXTag::KeyAdjust(TgsVariant& key, bool trim) const {
    const uint32_t pointer = key.pointer();
    switch (m_keyType) {
        case 'C':
            if (key.type() == VariantType::Logical) {
                key = TgsVariant::character(key.asLogical() ? "T" : "F");
            } else if (trim && key.type() == VariantType::Character) {
                std::string& bytes = key.bytes();
                size_t end = bytes.size();
                while (end > 0 && static_cast<uint8_t>(bytes[end - 1]) <= 0x20) --end;
                bytes.resize(end);
            }
            break;
        case 'D':
            if (key.type() == VariantType::Date) {
                key = TgsVariant::number(key.asDate() <= 0 ? kEmptyDate
                                                           : static_cast<double>(key.asDate()));
            }
            break;
        case 'N':
            if (key.type() == VariantType::Double || key.type() == VariantType::Date) {
                const double value = key.type() == VariantType::Double
                                         ? key.asDouble()
                                         : static_cast<double>(key.asDate());
                const mdx::NumericKey stored = mdx::encodeNumericKey(value);
                key = TgsVariant::number(mdx::decodeNumericKey(stored.data()));
            }
            break;
        default:
            break;
    }
    key.setPointer(pointer);
}

void GSobjMDXTag::encodeKey(const TgsVariant& key, uint8_t* out) const {
    const auto length = static_cast<size_t>(m_keyLength);
    switch (m_keyType) {
        case 'N': {
            double value = 0.0;
            if (key.type() == VariantType::Double) value = key.asDouble();
            if (key.type() == VariantType::Date) value = key.asDate();
            const mdx::NumericKey stored = mdx::encodeNumericKey(value);
            std::memcpy(out, stored.data(), std::min(length, stored.size()));
            return;
        }
        case 'D': {
            double value = kEmptyDate;
            if (key.type() == VariantType::Double) value = key.asDouble();
            if (key.type() == VariantType::Date && key.asDate() > 0) value = key.asDate();
            mdx::putDouble(out, value);
            return;
        }
        default: {
            std::string_view bytes;
            if (key.type() == VariantType::Character || key.type() == VariantType::Raw) {
                bytes = key.bytes();
            } else if (key.type() == VariantType::Logical) {
                bytes = key.asLogical() ? "T" : "F";
            }
            const size_t count = std::min(bytes.size(), length);
            std::memcpy(out, bytes.data(), count);
            std::memset(out + count, ' ', length - count);
            return;
        }
    }
}

TgsVariant GSobjMDXTag::decodeKey(const uint8_t* in) const {
    switch (m_keyType) {
        case 'N':
            return TgsVariant::number(mdx::decodeNumericKey(in));
        case 'D':
            return TgsVariant::number(mdx::getDouble(in));
        default:
            return TgsVariant::character(characterKey(in));
    }
}

std::string_view GSobjMDXTag::characterKey(const uint8_t* in) const {
    size_t end = static_cast<size_t>(m_keyLength);
    while (end > 0 && in[end - 1] == ' ') --end;
    return {reinterpret_cast<const char*>(in), end};
}

TgsVariant GSobjMDXTag::highValue() const {
    if (m_keyType == 'C') return TgsVariant::character(m_ascending ? "\xFF" : "");
    return TgsVariant::number(m_ascending ? mdx::kHighNumber : mdx::kLowNumber);
}

uint32_t GSobjMDXTag::rootForGeneration() {
    if (m_rootGeneration != m_file.generation() || m_root == 0) {
        RootBlock();
        m_rootGeneration = m_file.generation();
    }
    return m_root;
}

uint32_t GSobjMDXTag::RootBlock() {
    const uint32_t onDisk = m_file.tagHeaderBlockOnDisk(m_name);
    if (onDisk != 0 && onDisk != m_headerBlock) {
        // Another copy rebuilt the file: the tag's header, and so its root, moved.
        m_headerBlock = onDisk;
        HeaderRead();
        return m_root;
    }
    uint8_t head[4];
    if (!m_file.BlockRead(m_headerBlock, head, sizeof head)) {
        damaged("tag header lies beyond the end of the file");
    }
    m_root = getLE32(head);
    return m_root;
}

void GSobjMDXTag::HeaderRead() {
    const uint32_t blockLength = m_file.blockLength();
    std::vector<uint8_t> block(blockLength);
    if (!m_file.BlockRead(m_headerBlock, block.data(), blockLength)) {
        damaged("tag header lies beyond the end of the file");
    }
    const uint8_t* b = block.data();
    m_root = getLE32(b + mdx::kTagRoot);
    m_keyType = static_cast<char>(b[mdx::kTagKeyType]);
    m_keyLength = static_cast<int16_t>(getLE16(b + mdx::kTagKeyLength));
    m_keysPerNode = getLE16(b + mdx::kTagKeysPerNode);
    m_entryLength = getLE16(b + mdx::kTagEntryLength);
    m_unique = b[mdx::kTagUnique] != 0;
    m_ascending = (b[mdx::kTagKeyFormat] & mdx::kFormatDescending) == 0;
    m_keyExpression = textAt(b, mdx::kTagKeyExpression, mdx::kTagKeyExpressionMax + 1);
    m_hasFilter = b[mdx::kTagHasFilter] != 0;
    m_filterExpression.clear();
    if (m_hasFilter && blockLength > mdx::kTagFilterExpression) {
        m_filterExpression =
            textAt(b, mdx::kTagFilterExpression, blockLength - mdx::kTagFilterExpression);
    }
    m_firstNode = getLE32(b + mdx::kTagFirstNode);
    m_lastNode = getLE32(b + mdx::kTagLastNode);

    if (m_keyType != 'C' && m_keyType != 'N' && m_keyType != 'D') damaged("unknown key type");
    if (m_keyLength < 1 || (m_keyType == 'N' && m_keyLength != mdx::kNumericKeyLength) ||
        (m_keyType == 'D' && m_keyLength != mdx::kDateKeyLength)) {
        damaged("key length " + std::to_string(m_keyLength) + " does not fit its key type");
    }
    if (m_entryLength < m_keyLength + 4 ||
        mdx::kNodeEntries + static_cast<uint32_t>(m_entryLength) + 4 > blockLength) {
        damaged("entry length " + std::to_string(m_entryLength) + " does not fit a block");
    }
    if (m_keysPerNode < 1) damaged("no keys per node");
    if (m_hasFilter && m_filterExpression.empty()) damaged("filter flag without a filter");
    m_headerChanged = false;
    KeyCompile();
    FilterCompile();
}

void GSobjMDXTag::HeaderWrite() {
    if (!m_headerChanged) return;
    const uint32_t blockLength = m_file.blockLength();
    std::vector<uint8_t> block(blockLength, 0);
    uint8_t* b = block.data();
    putLE32(b + mdx::kTagRoot, m_root);
    uint8_t format = mdx::kFormatAlways;
    if (m_unique) format |= mdx::kFormatUnique;
    if (!m_ascending) format |= mdx::kFormatDescending;
    b[mdx::kTagKeyFormat] = format;
    b[mdx::kTagKeyType] = static_cast<uint8_t>(m_keyType);
    putLE16(b + mdx::kTagKeyLength, static_cast<uint16_t>(m_keyLength));
    putLE16(b + mdx::kTagKeysPerNode, static_cast<uint16_t>(m_keysPerNode));
    putLE16(b + mdx::kTagEntryLength, static_cast<uint16_t>(m_entryLength));
    b[mdx::kTagUnique] = m_unique ? mdx::kFormatUnique : 0;
    std::memcpy(b + mdx::kTagKeyExpression, m_keyExpression.data(),
                std::min(m_keyExpression.size(), mdx::kTagKeyExpressionMax));
    b[mdx::kTagHasFilter] = m_hasFilter ? 1 : 0;
    b[mdx::kTagConstant246] = 1;
    putLE32(b + mdx::kTagFirstNode, m_firstNode);
    putLE32(b + mdx::kTagLastNode, m_lastNode);
    if (m_hasFilter && blockLength > mdx::kTagFilterExpression + 1) {
        std::memcpy(b + mdx::kTagFilterExpression, m_filterExpression.data(),
                    std::min(m_filterExpression.size(),
                             static_cast<size_t>(blockLength - mdx::kTagFilterExpression - 1)));
    }
    m_file.BlockWrite(m_headerBlock, b, blockLength);
    m_headerChanged = false;
}

void GSobjMDXTag::NodeRead(uint32_t block, GSobjIndexKey& page) {
    const uint32_t blockLength = m_file.blockLength();
    std::vector<uint8_t> buffer(blockLength);
    bool readNow = false;
    if (block < m_file.headerSize() / mdx::kUnitSize ||
        !m_file.nodeBlockRead(block, buffer.data(), &readNow)) {
        damaged("node block " + std::to_string(block) + " lies outside the file");
    }
    const uint8_t* b = buffer.data();
    const uint32_t count = getLE32(b + mdx::kNodeCount);
    const auto entry = static_cast<uint32_t>(m_entryLength);
    // The pointer after the last key must lie inside the block.
    if (count > (blockLength - mdx::kNodeEntries - 4) / entry) {
        damaged("node block " + std::to_string(block) + " claims " + std::to_string(count) +
                " keys");
    }
    // The entries are decoded into the ones the page holds already, in their storage: a page
    // recycled from one leaf to the next allocates nothing for keys of the same length.
    page.keys.resize(count);
    page.keys.reserve(count + 1);
    page.block = block;
    page.chain = getLE32(b + mdx::kNodeChain);
    page.current = -1;
    page.changed = false;
    page.split = false;
    const uint8_t* at = b + mdx::kNodeEntries;
    for (uint32_t i = 0; i < count; ++i, at += entry) {
        TgsVariant& key = page.keys[i];
        if (m_keyType == 'C') {
            key.assignCharacter(characterKey(at + 4));
        } else {
            key = decodeKey(at + 4);
        }
        key.setPointer(getLE32(at));
    }
    const uint32_t extra = getLE32(at);
    if (extra != 0) {
        TgsVariant key = highValue();
        key.setPointer(extra);
        page.keys.push_back(std::move(key));
        page.kind = PageKind::Branch;
    } else {
        page.kind = PageKind::Leaf;
    }
    page.newBlock = false;
    // A block served from what the file kept of this generation was confirmed by the look that
    // read it: only what was read from the file now is for this look to confirm.
    if (m_looking && readNow) m_lookReads.push_back(BlockSeen{block, buffer, nullptr, 0, 0});
    page.image = std::move(buffer);
}

void GSobjMDXTag::writeNodeBlock(GSobjIndexKey& page) {
    const uint32_t blockLength = m_file.blockLength();
    const auto entry = static_cast<uint32_t>(m_entryLength);
    const auto n = static_cast<uint32_t>(page.keys.size());
    const bool leaf = page.kind == PageKind::Leaf || n == 0;
    // A leaf needs room for its zero pointer after the last key.
    if (mdx::kNodeEntries + n * entry + (leaf ? 4 : 0) > blockLength) {
        damaged("a page of " + std::to_string(n) + " entries does not fit a node block");
    }
    if (page.block == 0) page.block = m_file.BlockAllocate();
    std::vector<uint8_t> buffer(blockLength, 0);
    uint8_t* b = buffer.data();
    putLE32(b + mdx::kNodeCount, leaf ? n : n - 1);
    putLE32(b + mdx::kNodeChain, page.chain);
    uint8_t* at = b + mdx::kNodeEntries;
    for (const auto& key : page.keys) {
        putLE32(at, key.pointer());
        encodeKey(key, at + 4);
        at += entry;
    }
    m_file.BlockWrite(page.block, b, blockLength);
    page.changed = false;
}

void GSobjMDXTag::walkKeys(const std::function<void(const TgsVariant&)>& visit) {
    std::unordered_set<uint32_t> seen;
    std::function<void(uint32_t, int)> descend = [&](uint32_t block, int level) {
        if (level >= kMaxLevels) damaged("tree deeper than 32 levels");
        if (!seen.insert(block).second) {
            damaged("node block " + std::to_string(block) + " is reached twice");
        }
        GSobjIndexKey page;
        NodeRead(block, page);
        if (page.isLeaf()) {
            for (const auto& key : page.keys) visit(key);
            return;
        }
        for (const auto& key : page.keys) descend(key.pointer(), level + 1);
    };
    descend(m_root, 0);
}

}  // namespace abonex
