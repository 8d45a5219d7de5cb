#include "engine/index/tgs_sort.h"

#include <algorithm>
#include <cstring>

#include "engine/file/byte_order.h"
#include "engine/index/index_errors.h"

namespace abonex {

namespace {

// Trie node fields.
constexpr size_t kChild = 0;
constexpr size_t kNext = 4;
constexpr size_t kFlags = 8;
constexpr size_t kValue = 9;
constexpr uint8_t kPackedMask = 0x07;
constexpr uint8_t kMarkerMask = 0xF0;
constexpr size_t kMaxPacked = 4;
constexpr size_t kRecordBytes = 4;

uint32_t load(const uint8_t* field) {
    uint32_t value;
    std::memcpy(&value, field, sizeof value);
    return value;
}
void store(uint8_t* field, uint32_t value) {
    std::memcpy(field, &value, sizeof value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TgsPageCollection

void TgsPageCollection::append(SortKeyType type, const uint8_t* key, size_t length) {
    size_t common = 0;
    const size_t limit = std::min(length, m_lastLength);
    while (common < limit && key[common] == m_last[common]) ++common;
    const size_t differing = length - common;
    const size_t entrySize = 3 + differing;
    // The byte after the last entry must stay 0 to end the page.
    if (m_writeOffset + entrySize > kPageSize - 1) {
        m_pages.push_back(std::make_unique<uint8_t[]>(kPageSize));  // zero-filled
        m_writeOffset = 0;
    }
    uint8_t* out = m_pages.back().get() + m_writeOffset;
    out[0] = static_cast<uint8_t>(type);
    out[1] = static_cast<uint8_t>(length);
    out[2] = static_cast<uint8_t>(differing);
    std::memcpy(out + 3, key + common, differing);
    m_writeOffset += entrySize;
    std::memcpy(m_last + common, key + common, differing);
    m_lastLength = length;
}

bool TgsPageCollection::advance() {
    while (m_readPage < m_pages.size()) {
        const uint8_t* page = m_pages[m_readPage].get();
        if (m_readOffset + 3 <= kPageSize && page[m_readOffset] != 0) {
            const uint8_t* entry = page + m_readOffset;
            const size_t length = entry[1];
            const size_t differing = entry[2];
            m_headType = static_cast<SortKeyType>(entry[0]);
            std::memcpy(m_head + (length - differing), entry + 3, differing);
            m_headLength = length;
            m_readOffset += 3 + differing;
            return true;
        }
        ++m_readPage;
        m_readOffset = 0;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// TgsSort

TgsSort::TgsSort(int maxKeyLength, bool ascending, bool unique)
    : m_maxKeyLength(maxKeyLength), m_ascending(ascending), m_unique(unique) {
    if (maxKeyLength > kMaxSortKeyLength) raiseIndexError(kMsgSortKeyTooLong);
    resetTrie();
}

TgsSort::~TgsSort() = default;

// All eight bytes are kept, trailing zero bytes included: with the record number appended to
// every key, a shortened 1.0 would sort after 1.0000000000000002 whenever the record number's
// leading bytes are zero.
void TgsSort::doubleToSortBytes(double value, uint8_t* out) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if ((bits >> 63) != 0) {
        bits = ~bits;
    } else {
        bits |= uint64_t{1} << 63;
    }
    putBE64(out, bits);
}

double TgsSort::doubleFromSortBytes(std::string_view bytes) {
    uint8_t padded[8] = {};
    std::memcpy(padded, bytes.data(), std::min<size_t>(bytes.size(), sizeof padded));
    uint64_t bits = getBE64(padded);
    if ((bits >> 63) != 0) {
        bits &= ~(uint64_t{1} << 63);
    } else {
        bits = ~bits;
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int32_t TgsSort::dateFromSortBytes(std::string_view bytes) {
    uint8_t padded[4] = {};
    std::memcpy(padded, bytes.data(), std::min<size_t>(bytes.size(), sizeof padded));
    return static_cast<int32_t>(getBE32(padded));
}

void TgsSort::addKey(const TgsVariant& key, uint32_t recordNumber) {
    uint8_t buffer[8];
    switch (key.type()) {
        case VariantType::Character: {
            std::string_view bytes = key.bytes();
            while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
            addSortKey(SortKeyType::Character, reinterpret_cast<const uint8_t*>(bytes.data()),
                       bytes.size(), recordNumber);
            return;
        }
        case VariantType::Raw:
            addSortKey(SortKeyType::Raw, reinterpret_cast<const uint8_t*>(key.bytes().data()),
                       key.bytes().size(), recordNumber);
            return;
        case VariantType::Double:
            doubleToSortBytes(key.asDouble(), buffer);
            addSortKey(SortKeyType::Double, buffer, 8, recordNumber);
            return;
        case VariantType::Date: {
            putBE32(buffer, static_cast<uint32_t>(key.asDate()));
            addSortKey(SortKeyType::Date, buffer, 4, recordNumber);
            return;
        }
        case VariantType::Logical:
        case VariantType::None:
            break;
    }
    raiseIndexError(kMsgSortTypeInvalid);
}

void TgsSort::addSortKey(SortKeyType type, const uint8_t* bytes, size_t length,
                         uint32_t recordNumber) {
    if (!m_adding) raiseIndexError(kMsgSortAfterRetrieval);
    if (length > static_cast<size_t>(m_maxKeyLength)) raiseIndexError(kMsgSortKeyTooLong);
    uint8_t key[kMaxSortKeyLength + kRecordBytes];
    std::memcpy(key, bytes, length);
    putBE32(key + length, recordNumber);
    const size_t total = length + kRecordBytes;
    // Every byte takes at most one new node and one node split off a packed chain.
    const size_t worstCase = 2 * total + 2;
    if (m_nodesUsed + worstCase > kMaxPools * kNodesPerPool) {
        flushTrie();
        resetTrie();
    }
    insert(type, key, total);
    m_trieEmpty = false;
}

void TgsSort::takeKeysOf(TgsSort& other) {
    if (!m_adding || !other.m_adding) raiseIndexError(kMsgSortAfterRetrieval);
    // Every key carries its record number, so no two keys are equal and the merge gives one
    // order whichever run a key lies in.
    other.flushTrie();
    other.m_adding = false;
    other.m_pools.clear();
    std::fill(std::begin(other.m_poolBase), std::end(other.m_poolBase), nullptr);
    for (auto& run : other.m_runs) m_runs.push_back(std::move(run));
    other.m_runs.clear();
}

uint32_t TgsSort::allocateNode() {
    const uint32_t id = m_nodesUsed++;
    if (id / kNodesPerPool >= m_pools.size()) {
        m_pools.push_back(std::make_unique<uint8_t[]>(kPoolSize));
        m_poolBase[m_pools.size() - 1] = m_pools.back().get();
    }
    uint8_t* n = node(id);
    store(n + kChild, 0);
    store(n + kNext, 0);
    n[kFlags] = 0;
    n[kValue] = 0;
    return id;
}

void TgsSort::resetTrie() {
    m_nodesUsed = 0;
    allocateNode();  // the root sentinel: its child field heads the first level
    m_trieEmpty = true;
}

// Splits the first packed byte of `n` off into a child node of its own, so that `n` has a free
// sibling field and the chain can branch after it.
void TgsSort::unpack(uint8_t* n) {
    const size_t packed = n[kFlags] & kPackedMask;
    const uint32_t id = allocateNode();
    uint8_t* c = node(id);
    c[kValue] = n[kNext];
    std::memcpy(c + kNext, n + kNext + 1, packed - 1);
    c[kFlags] = static_cast<uint8_t>((n[kFlags] & kMarkerMask) | (packed - 1));
    store(c + kChild, load(n + kChild));
    store(n + kChild, id);
    store(n + kNext, 0);
    n[kFlags] = 0;
}

void TgsSort::insert(SortKeyType type, const uint8_t* key, size_t length) {
    const auto marker = static_cast<uint8_t>(type);  // 16, 32, 48, 64: a high nibble
    uint8_t* link = node(0) + kChild;
    size_t i = 0;
    for (;;) {
        const uint8_t byte = key[i];
        uint8_t* previousLink = link;
        uint32_t current = load(previousLink);
        uint8_t* found = nullptr;
        while (current != 0) {
            uint8_t* n = node(current);
            const uint8_t value = n[kValue];
            if (value == byte) {
                found = n;
                break;
            }
            if (m_ascending ? value > byte : value < byte) break;
            if ((n[kFlags] & kPackedMask) != 0) unpack(n);
            previousLink = n + kNext;
            current = load(previousLink);
        }

        if (found == nullptr) {
            const uint32_t firstId = allocateNode();
            uint8_t* last = node(firstId);
            last[kValue] = byte;
            ++i;
            auto pack = [&](uint8_t* n) {
                const size_t count = std::min(kMaxPacked, length - i);
                std::memcpy(n + kNext, key + i, count);
                n[kFlags] = static_cast<uint8_t>(count);
                i += count;
            };
            if (current != 0) {
                store(last + kNext, current);
            } else {
                pack(last);
            }
            while (i < length) {
                const uint32_t id = allocateNode();
                uint8_t* c = node(id);
                c[kValue] = key[i++];
                pack(c);
                store(last + kChild, id);
                last = c;
            }
            last[kFlags] |= marker;
            store(previousLink, firstId);
            return;
        }

        ++i;
        const size_t packed = found[kFlags] & kPackedMask;
        if (packed != 0) {
            size_t matched = 0;
            while (matched < packed && i + matched < length &&
                   found[kNext + matched] == key[i + matched]) {
                ++matched;
            }
            if (matched == packed) {
                i += packed;
            } else {
                unpack(found);
                if (i == length) {
                    found[kFlags] |= marker;
                    return;
                }
                link = found + kChild;
                continue;
            }
        }
        if (i == length) {
            found[kFlags] |= marker;
            return;
        }
        link = found + kChild;
    }
}

void TgsSort::walk(uint32_t id, size_t depth, TgsPageCollection& run) {
    while (id != 0) {
        const uint8_t* n = node(id);
        size_t end = depth;
        m_walkKey[end++] = n[kValue];
        const size_t packed = n[kFlags] & kPackedMask;
        std::memcpy(m_walkKey + end, n + kNext, packed);
        end += packed;
        if ((n[kFlags] & kMarkerMask) != 0) {
            run.append(static_cast<SortKeyType>(n[kFlags] & kMarkerMask), m_walkKey, end);
        }
        const uint32_t child = load(n + kChild);
        if (child != 0) walk(child, end, run);
        id = packed != 0 ? 0 : load(n + kNext);
    }
}

void TgsSort::flushTrie() {
    if (m_trieEmpty) return;
    auto run = std::make_unique<TgsPageCollection>();
    walk(load(node(0) + kChild), 0, *run);
    m_runs.push_back(std::move(run));
    m_trieEmpty = true;
}

bool TgsSort::headBefore(size_t a, size_t b) const {
    const std::string_view x = m_runs[a]->head();
    const std::string_view y = m_runs[b]->head();
    int c = x.compare(y);  // unsigned byte order (char_traits<char>::compare uses memcmp)
    if (!m_ascending) c = -c;
    if (c != 0) return c < 0;
    return a < b;
}

void TgsSort::siftDown(size_t position) {
    const size_t count = m_heap.size();
    for (;;) {
        size_t best = position;
        const size_t left = 2 * position + 1;
        const size_t right = left + 1;
        if (left < count && headBefore(m_heap[left], m_heap[best])) best = left;
        if (right < count && headBefore(m_heap[right], m_heap[best])) best = right;
        if (best == position) return;
        std::swap(m_heap[position], m_heap[best]);
        position = best;
    }
}

bool TgsSort::nextSortedKey(SortedKey& out) {
    if (m_adding) {
        m_adding = false;
        flushTrie();
        m_pools.clear();
        std::fill(std::begin(m_poolBase), std::end(m_poolBase), nullptr);
        m_pools.shrink_to_fit();
        for (size_t r = 0; r < m_runs.size(); ++r) {
            if (m_runs[r]->advance()) m_heap.push_back(r);
        }
        for (size_t i = m_heap.size(); i-- > 0;) siftDown(i);
    }
    for (;;) {
        if (m_heap.empty()) return false;
        const size_t run = m_heap.front();
        const std::string_view head = m_runs[run]->head();
        out.type = m_runs[run]->headType();
        std::memcpy(m_out, head.data(), head.size());
        m_outLength = head.size();
        if (m_runs[run]->advance()) {
            siftDown(0);
        } else {
            m_heap.front() = m_heap.back();
            m_heap.pop_back();
            if (!m_heap.empty()) siftDown(0);
        }
        if (m_outLength < kRecordBytes) continue;  // cannot happen: every key carries its record
        const size_t keyLength = m_outLength - kRecordBytes;
        const uint32_t record = getBE32(m_out + keyLength);
        if (m_unique) {
            if (m_hasPrevious && m_previousLength == keyLength &&
                std::memcmp(m_previous, m_out, keyLength) == 0) {
                continue;
            }
            std::memcpy(m_previous, m_out, keyLength);
            m_previousLength = keyLength;
            m_hasPrevious = true;
        }
        out.bytes = std::string_view(reinterpret_cast<const char*>(m_out), keyLength);
        out.recordNumber = record;
        return true;
    }
}

bool TgsSort::nextKey(TgsVariant& key) {
    SortedKey sorted;
    if (!nextSortedKey(sorted)) return false;
    switch (sorted.type) {
        case SortKeyType::Character:
            key = TgsVariant::character(sorted.bytes);
            break;
        case SortKeyType::Double:
            key = TgsVariant::number(doubleFromSortBytes(sorted.bytes));
            break;
        case SortKeyType::Date:
            key = TgsVariant::date(dateFromSortBytes(sorted.bytes));
            break;
        case SortKeyType::Raw:
        default:
            key = TgsVariant::raw(sorted.bytes);
            break;
    }
    key.setPointer(sorted.recordNumber);
    return true;
}

}  // namespace abonex
