#include "engine/index/index_check.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "engine/dbf/codepage.h"
#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"
#include "engine/expr/expr_value.h"
#include "engine/expr/julian_date.h"
#include "engine/expr/tgs_variant.h"
#include "engine/file/byte_order.h"
#include "engine/file/disk_file.h"
#include "engine/file/engine_error.h"
#include "engine/file/lock_protocol.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_format.h"

namespace abonex {

namespace {

// File header.
constexpr size_t kUnitSize = 512;  // block numbers count these
constexpr size_t kFirstHeaderPart = 512;
constexpr size_t kOffBlockUnits = 20;
constexpr size_t kOffBlockLength = 22;
constexpr size_t kOffTagCount = 28;
constexpr size_t kTagTableStart = 512;
constexpr size_t kSlotSize = 32;
constexpr size_t kSlotNameOffset = 4;
constexpr size_t kSlotNameSize = 11;

// Tag header.
constexpr size_t kOffRoot = 0;
constexpr size_t kOffFlags = 8;
constexpr uint8_t kFlagDescending = 0x08;
constexpr size_t kOffKeyType = 9;
constexpr size_t kOffKeyLength = 12;
constexpr size_t kOffKeysPerNode = 14;
constexpr size_t kOffEntryLength = 18;
constexpr size_t kOffUnique = 23;
constexpr size_t kOffKeyExpression = 24;
constexpr size_t kKeyExpressionSize = 221;
constexpr size_t kOffHasFilter = 245;
constexpr size_t kOffFilterExpression = 762;

// Node block.
constexpr size_t kNodeHeaderSize = 8;  // key count and the allocation chain link
constexpr size_t kPointerSize = 4;

constexpr size_t kNumericKeyLength = 12;
constexpr size_t kDateKeyLength = 8;
constexpr int kNumericExponentBias = 52;
constexpr int kNumericMaxExponent = 15;
constexpr int kNumericDigits = 15;

// Deeper than this no writer builds a tree (three keys per node already cover any table).
constexpr int kMaxDepth = 32;

std::string formatted(const char* format, auto... args) {
    int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.pop_back();
    return text;
}

// A key as the check compares it: character keys by their bytes (trailing blanks removed),
// numeric and date keys by their double value.
struct CheckKey {
    std::string bytes;
    double number = 0.0;
};

// The text before the first NUL of `size` bytes at `p`, or nullopt when there is no NUL.
std::optional<std::string> terminatedText(const uint8_t* p, size_t size) {
    const void* nul = std::memchr(p, 0, size);
    if (nul == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(nul) - p);
}

std::string trimTrailing(std::string text, unsigned char atMost) {
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= atMost) text.pop_back();
    return text;
}

// ---- Numbers in the 12-byte decimal form ----

// `value` at the precision the 12-byte form keeps: 15 significant digits, and the largest
// storable magnitude (fifteen 9s at exponent 15) for anything bigger.
double numericAtStoredPrecision(double value) {
    if (value == 0.0 || !std::isfinite(value)) return value == 0.0 ? 0.0 : value;
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", kNumericDigits - 1, value);
    double rounded = std::strtod(text, nullptr);
    const char* e = std::strchr(text, 'e');
    int exponent = e ? std::atoi(e + 1) + 1 : 0;
    if (exponent > kNumericMaxExponent) {
        rounded = std::strtod("0.999999999999999e15", nullptr);
        if (value < 0) rounded = -rounded;
    }
    return rounded;
}

// ---- Dates ----

std::string formatJulianDay(double value) {
    if (value == kEmptyDate) return "empty date";
    std::optional<CivilDate> date;
    if (value == std::floor(value)) date = civilFromJulianDay(value);
    if (!date) return formatted("%.15g", value);
    return formatted("%04d-%02d-%02d", date->year, date->month, date->day);
}

// ---- Keys of one tag ----

class KeyRules {
  public:
    KeyRules(char type, bool descending) : m_type(type), m_descending(descending) {}

    char type() const { return m_type; }

    // The key of a node entry as the check compares it.
    CheckKey decode(const uint8_t* p, size_t keyLength) const {
        CheckKey key;
        if (m_type == 'N') {
            key.number = mdx::decodeNumericKey(p);
        } else if (m_type == 'D') {
            key.number = mdx::getDouble(p);
        } else {
            key.bytes.assign(reinterpret_cast<const char*>(p), keyLength);
            while (!key.bytes.empty() && key.bytes.back() == ' ') key.bytes.pop_back();
        }
        return key;
    }

    // -1, 0 or 1 by plain value: unsigned bytes for character keys, numbers otherwise.
    int compareValues(const CheckKey& a, const CheckKey& b) const {
        if (m_type == 'C') {
            size_t common = std::min(a.bytes.size(), b.bytes.size());
            int c = std::memcmp(a.bytes.data(), b.bytes.data(), common);
            if (c != 0) return c < 0 ? -1 : 1;
            if (a.bytes.size() == b.bytes.size()) return 0;
            return a.bytes.size() < b.bytes.size() ? -1 : 1;
        }
        // A damaged date key may be no number at all: such keys sort last and equal no number.
        bool aNan = std::isnan(a.number), bNan = std::isnan(b.number);
        if (aNan || bNan) return aNan == bNan ? 0 : (aNan ? 1 : -1);
        if (a.number < b.number) return -1;
        if (a.number > b.number) return 1;
        return 0;
    }

    // compareValues in the tag's direction.
    int compareInOrder(const CheckKey& a, const CheckKey& b) const {
        int c = compareValues(a, b);
        return m_descending ? -c : c;
    }

    // A byte string that is equal for equal keys (for grouping a unique tag's records).
    std::string identity(const CheckKey& key) const {
        if (m_type == 'C') return key.bytes;
        double value = key.number == 0.0 ? 0.0 : key.number;
        uint64_t bits = std::bit_cast<uint64_t>(value);
        return std::string(reinterpret_cast<const char*>(&bits), sizeof bits);
    }

    std::string show(const CheckKey& key) const {
        if (m_type == 'N') return formatted("%.15g", key.number);
        if (m_type == 'D') return formatJulianDay(key.number);
        return "\"" + oemToUtf8(key.bytes) + "\"";
    }

  private:
    char m_type;
    bool m_descending;
};

// ---- Key and filter expressions of one tag ----

// The type letter of keys an expression result gives: 'C' text, 'N' number, 'D' date, 'L'
// for a Boolean (which no tag of this file format holds), '?' for no value.
char keyTypeOf(ExpType type) {
    switch (type) {
        case ExpType::Text:
            return 'C';
        case ExpType::Number:
            return 'N';
        case ExpType::Date:
            return 'D';
        case ExpType::Boolean:
            return 'L';
        case ExpType::None:
            break;
    }
    return '?';
}

// A tag's key and filter expressions, compiled against the table and evaluated on its
// current record.
class TagExpressions {
  public:
    // Raises EEngineError (EEngineExpression) when an expression does not compile.
    TagExpressions(const GSO_dBaseFld& table, const std::string& keyExpression,
                   const std::string& filterExpression)
        : m_link(table), m_key(&m_link), m_filter(&m_link) {
        m_key.ExpressionCompile(keyExpression);
        if (!filterExpression.empty()) m_filter.ExpressionCompile(filterExpression);
    }

    // True when the tag has no filter, or its filter gives the Boolean true.
    bool passes() {
        if (!m_filter.isCompiled()) return true;
        ExpValue value = m_filter.ExpressionEvaluate();
        return value.type == ExpType::Boolean && value.boolean;
    }

    // The key of the current record in the form the tag stores it: character keys without
    // trailing bytes <= 0x20 and cut to the key length, numbers at the stored precision, dates
    // as day numbers with anything that is no real day (a blank field's day 0, the empty date)
    // as the empty date 1.0e100. `type` receives the result's key type letter.
    CheckKey key(size_t keyLength, char& type) {
        ExpValue value = m_key.ExpressionEvaluate();
        type = keyTypeOf(value.type);
        CheckKey key;
        switch (value.type) {
            case ExpType::Text: {
                std::string text = trimTrailing(std::move(value.text), ' ');
                if (text.size() > keyLength) text.resize(keyLength);
                while (!text.empty() && text.back() == ' ') text.pop_back();
                key.bytes = std::move(text);
                break;
            }
            case ExpType::Number:
                key.number = numericAtStoredPrecision(value.number);
                break;
            case ExpType::Date:
                key.number = (value.number <= 0 || value.number >= kEmptyDate)
                                 ? kEmptyDate
                                 : std::trunc(value.number);
                break;
            case ExpType::Boolean:
            case ExpType::None:
                break;
        }
        return key;
    }

  private:
    TgsDBFExpUserLink m_link;
    TgsExpHandler m_key;
    TgsExpHandler m_filter;
};

// ---- The index file ----

// The index file's blocks, read on demand with every position checked against the file size.
class BlockReader {
  public:
    explicit BlockReader(std::string_view path) : m_file(path, true, false) {
        m_fileSize = m_file.size();
    }

    uint64_t fileSize() const { return m_fileSize; }
    const std::string& path() const { return m_file.path(); }

    // Reads `count` bytes at `offset`; false when the file ends early.
    bool read(uint64_t offset, std::vector<uint8_t>& into, size_t count) {
        into.assign(count, 0);
        if (offset > m_fileSize || count > m_fileSize - offset) return false;
        return m_file.read(offset, into.data(), count) == count;
    }

  private:
    GSO_DiskFile m_file;
    uint64_t m_fileSize = 0;
};

struct FileGeometry {
    size_t blockLength = 0;
    size_t headerSize = 0;
    uint64_t fileSize = 0;
};

// One leaf entry as found in the tree.
struct LeafEntry {
    uint32_t block;
    int index;
    uint32_t record;
    CheckKey key;
};

// What the tags of one file claim: their header blocks, and the tag each node block was
// reached from, so that no block serves two tags.
struct BlockOwners {
    std::set<uint32_t> tagHeaders;
    std::map<uint32_t, std::string> nodes;
};

class TagChecker {
  public:
    TagChecker(BlockReader& file, const FileGeometry& geometry, BlockOwners& owners,
               GSO_dBaseFld& table, std::string name, uint32_t headerBlock,
               IndexCheckReport& report)
        : m_file(file),
          m_geometry(geometry),
          m_owners(owners),
          m_table(table),
          m_name(std::move(name)),
          m_headerBlock(headerBlock),
          m_report(report) {}

    void run() {
        if (!checkBlockReference(m_headerBlock, "header block of the tag", false)) return;
        std::vector<uint8_t> header;
        if (!m_file.read(blockOffset(m_headerBlock), header, m_geometry.blockLength)) {
            problem(formatted("tag header block %u: cannot be read", m_headerBlock));
            return;
        }
        if (!readTagHeader(header)) return;
        ++m_report.tagsChecked;
        m_rules.emplace(m_keyType, m_descending);

        uint32_t root = getLE32(&header[kOffRoot]);
        walk(root, 0, formatted("root of tag header block %u", m_headerBlock));
        m_report.keysChecked += static_cast<long>(m_entries.size());
        checkRecords();
    }

  private:
    void problem(std::string message) { m_report.problems.push_back({m_name, std::move(message)}); }

    uint64_t blockOffset(uint32_t block) const { return static_cast<uint64_t>(block) * kUnitSize; }

    // True when `block` can be read as a node (or, with `asNode` false, as a tag header).
    bool checkBlockReference(uint32_t block, const std::string& from, bool asNode) {
        uint64_t offset = blockOffset(block);
        if (offset < m_geometry.headerSize) {
            problem(formatted("block %u: inside the file header (%s)", block, from.c_str()));
            return false;
        }
        if ((offset - m_geometry.headerSize) % m_geometry.blockLength != 0) {
            problem(formatted("block %u: not on a block boundary (%s)", block, from.c_str()));
            return false;
        }
        if (offset + m_geometry.blockLength > m_geometry.fileSize) {
            problem(formatted("block %u: past the end of the file (%s)", block, from.c_str()));
            return false;
        }
        if (asNode && m_owners.tagHeaders.contains(block)) {
            problem(formatted("block %u: a tag header, not a node (%s)", block, from.c_str()));
            return false;
        }
        return true;
    }

    bool readTagHeader(const std::vector<uint8_t>& header) {
        const std::string where = formatted("tag header block %u", m_headerBlock);
        m_keyType = static_cast<char>(header[kOffKeyType]);
        m_descending = (header[kOffFlags] & kFlagDescending) != 0;
        m_unique = header[kOffUnique] != 0;
        int keyLength = static_cast<int16_t>(getLE16(&header[kOffKeyLength]));
        m_keysPerNode = getLE16(&header[kOffKeysPerNode]);
        m_entryLength = getLE16(&header[kOffEntryLength]);

        if (m_keyType != 'C' && m_keyType != 'N' && m_keyType != 'D') {
            problem(formatted("%s: unknown key type 0x%02X", where.c_str(),
                              static_cast<unsigned char>(m_keyType)));
            return false;
        }
        bool lengthOk = (m_keyType == 'N' && keyLength == static_cast<int>(kNumericKeyLength)) ||
                        (m_keyType == 'D' && keyLength == static_cast<int>(kDateKeyLength)) ||
                        (m_keyType == 'C' && keyLength >= 1);
        if (!lengthOk) {
            problem(formatted("%s: key length %d is wrong for key type %c", where.c_str(),
                              keyLength, m_keyType));
            return false;
        }
        m_keyLength = static_cast<size_t>(keyLength);
        if (m_entryLength < m_keyLength + kPointerSize) {
            problem(formatted("%s: entry length %zu cannot hold a key of %zu bytes", where.c_str(),
                              m_entryLength, m_keyLength));
            return false;
        }
        // Room for the counted entries plus the pointer that tells a branch from a leaf.
        if (m_keysPerNode < 1 || kNodeHeaderSize + m_keysPerNode * m_entryLength + kPointerSize >
                                     m_geometry.blockLength) {
            problem(formatted("%s: %zu keys per node do not fit in a block of %zu bytes",
                              where.c_str(), m_keysPerNode, m_geometry.blockLength));
            return false;
        }
        auto expression = terminatedText(&header[kOffKeyExpression], kKeyExpressionSize);
        if (!expression || expression->empty()) {
            problem(where + ": no key expression");
            return false;
        }
        m_keyExpression = *expression;
        if (header[kOffHasFilter] != 0) {
            if (m_geometry.blockLength <= kOffFilterExpression) {
                problem(where + ": no room for a filter expression");
                return false;
            }
            auto filter = terminatedText(&header[kOffFilterExpression],
                                         m_geometry.blockLength - kOffFilterExpression);
            if (!filter) {
                problem(where + ": filter expression not terminated");
                return false;
            }
            m_filterExpression = *filter;
        }
        return true;
    }

    // Walks the subtree at `block`; returns its largest key in the tag's order (its last key),
    // or nullopt when it has none or cannot be read.
    std::optional<CheckKey> walk(uint32_t block, int depth, const std::string& from) {
        if (!checkBlockReference(block, from, true)) return std::nullopt;
        if (!m_visited.insert(block).second) {
            problem(formatted("block %u: reached a second time, a cycle or a shared node (%s)",
                              block, from.c_str()));
            return std::nullopt;
        }
        auto [owner, mine] = m_owners.nodes.emplace(block, m_name);
        if (!mine) {
            problem(formatted("block %u: a node of tag %s as well (%s)", block,
                              owner->second.c_str(), from.c_str()));
            return std::nullopt;
        }
        if (depth > kMaxDepth) {
            problem(formatted("block %u: tree deeper than %d levels", block, kMaxDepth));
            return std::nullopt;
        }
        std::vector<uint8_t> node;
        if (!m_file.read(blockOffset(block), node, m_geometry.blockLength)) {
            problem(formatted("block %u: cannot be read", block));
            return std::nullopt;
        }
        uint32_t count = getLE32(&node[0]);
        if (count > m_keysPerNode) {
            problem(formatted("block %u: node count %u above the limit %zu", block, count,
                              m_keysPerNode));
            return std::nullopt;
        }
        auto entry = [&](size_t i) { return &node[kNodeHeaderSize + i * m_entryLength]; };
        if (getLE32(entry(count)) == 0) return walkLeaf(block, depth, from, count, entry);

        std::optional<CheckKey> largest;
        for (uint32_t i = 0; i <= count; ++i) {
            uint32_t child = getLE32(entry(i));
            if (child == 0) {
                problem(formatted("block %u entry %u: branch entry without a child", block, i));
                largest.reset();
                continue;
            }
            largest = walk(child, depth + 1, formatted("entry %u of block %u", i, block));
            if (i == count || !largest) continue;  // the last entry's key is the high value
            CheckKey key = m_rules->decode(entry(i) + kPointerSize, m_keyLength);
            if (m_rules->compareValues(key, *largest) != 0) {
                problem(formatted(
                    "block %u entry %u: branch key %s is not the largest key %s of "
                    "child block %u",
                    block, i, m_rules->show(key).c_str(), m_rules->show(*largest).c_str(), child));
            }
        }
        return largest;
    }

    template <typename EntryAt>
    std::optional<CheckKey> walkLeaf(uint32_t block, int depth, const std::string& from,
                                     uint32_t count, EntryAt entry) {
        if (m_leafDepth < 0) {
            m_leafDepth = depth;
        } else if (depth != m_leafDepth) {
            problem(formatted("block %u: leaf at depth %d, the first leaf is at depth %d", block,
                              depth, m_leafDepth));
        }
        if (count == 0) {
            if (depth > 0) problem(formatted("block %u: empty leaf (%s)", block, from.c_str()));
            return std::nullopt;
        }
        for (uint32_t i = 0; i < count; ++i) {
            LeafEntry current{block, static_cast<int>(i), getLE32(entry(i)),
                              m_rules->decode(entry(i) + kPointerSize, m_keyLength)};
            if (!m_entries.empty()) checkOrder(m_entries.back(), current);
            m_entries.push_back(std::move(current));
        }
        return m_entries.back().key;
    }

    void checkOrder(const LeafEntry& previous, const LeafEntry& current) {
        // Equal keys may stand in any record order: a rebuild writes them in record order,
        // but a key that an edit makes equal to others goes after them.
        int c = m_rules->compareInOrder(previous.key, current.key);
        if (c > 0) {
            problem(formatted("block %u entry %d: key %s sorts before the previous key %s",
                              current.block, current.index, m_rules->show(current.key).c_str(),
                              m_rules->show(previous.key).c_str()));
        }
    }

    // Compares the entries found with what the table's records say now.
    void checkRecords() {
        const std::string where = formatted("tag header block %u", m_headerBlock);
        const int recordCount = m_table.recordCount();

        // Entry of each record (index into m_entries), -1 when it has none.
        std::vector<long> entryOf(static_cast<size_t>(recordCount) + 1, -1);
        for (size_t e = 0; e < m_entries.size(); ++e) {
            const LeafEntry& entry = m_entries[e];
            if (entry.record < 1 || entry.record > static_cast<uint32_t>(recordCount)) {
                problem(formatted("block %u entry %d: record %u outside the table (1..%d)",
                                  entry.block, entry.index, entry.record, recordCount));
                continue;
            }
            long& slot = entryOf[entry.record];
            if (slot >= 0) {
                problem(
                    formatted("block %u entry %d: second entry for record %u (first in block "
                              "%u)",
                              entry.block, entry.index, entry.record,
                              m_entries[static_cast<size_t>(slot)].block));
                continue;
            }
            slot = static_cast<long>(e);
        }

        std::unique_ptr<TagExpressions> expressions;
        try {
            expressions =
                std::make_unique<TagExpressions>(m_table, m_keyExpression, m_filterExpression);
        } catch (const EEngineError& error) {
            problem(formatted("%s: the expressions cannot be compiled: %s", where.c_str(),
                              error.what()));
            return;
        }

        struct Expected {
            bool passes = false;
            CheckKey key;
        };
        std::vector<Expected> expected(static_cast<size_t>(recordCount) + 1);
        // In a unique tag, the records with an entry, by the key their record gives: one
        // entry per distinct key, held by any record that has the key (a rebuild picks the
        // first in the tag's order, an edit may leave another one holding it).
        std::map<std::string, std::vector<uint32_t>> holders;
        // The record a rebuild would give each key of a unique tag: a key held by no record is
        // reported once, for that record.
        std::map<std::string, uint32_t> firstHolder;
        try {
            for (int r = 1; r <= recordCount; ++r) {
                m_table.GotoRecord(r);
                Expected& e = expected[static_cast<size_t>(r)];
                e.passes = expressions->passes();
                if (!e.passes) continue;
                char type = '?';
                e.key = expressions->key(m_keyLength, type);
                if (type != m_keyType) {
                    problem(
                        formatted("%s: key expression \"%s\" gives %c keys, the tag holds %c "
                                  "keys",
                                  where.c_str(), m_keyExpression.c_str(), type, m_keyType));
                    return;
                }
                if (!m_unique) continue;
                std::string identity = m_rules->identity(e.key);
                if (entryOf[static_cast<size_t>(r)] >= 0) {
                    holders[identity].push_back(static_cast<uint32_t>(r));
                }
                auto [first, inserted] = firstHolder.emplace(identity, r);
                if (!inserted && m_descending) first->second = static_cast<uint32_t>(r);
            }
        } catch (const EEngineError& error) {
            problem(formatted("%s: the expressions cannot be evaluated: %s", where.c_str(),
                              error.what()));
            return;
        }

        for (int r = 1; r <= recordCount; ++r) {
            const Expected& e = expected[static_cast<size_t>(r)];
            const uint32_t record = static_cast<uint32_t>(r);
            const std::vector<uint32_t>* sameKey =
                e.passes && m_unique ? &holders[m_rules->identity(e.key)] : nullptr;
            const uint32_t keyHolder =
                sameKey != nullptr && !sameKey->empty() ? sameKey->front() : record;
            const bool belongs = e.passes && keyHolder == record;
            const long slot = entryOf[record];
            if (slot < 0) {
                if (e.passes &&
                    (sameKey == nullptr ||
                     (sameKey->empty() && firstHolder.at(m_rules->identity(e.key)) == record)))
                    problem(formatted("record %u missing (key %s)", record,
                                      m_rules->show(e.key).c_str()));
                continue;
            }
            const LeafEntry& entry = m_entries[static_cast<size_t>(slot)];
            if (!e.passes) {
                problem(formatted("block %u entry %d: record %u does not pass the filter",
                                  entry.block, entry.index, record));
            } else if (!belongs) {
                problem(formatted(
                    "block %u entry %d: record %u duplicates key %s of record %u in "
                    "a unique tag",
                    entry.block, entry.index, record, m_rules->show(e.key).c_str(), keyHolder));
            } else if (m_rules->compareValues(entry.key, e.key) != 0) {
                problem(
                    formatted("block %u entry %d: key %s does not match record %u, whose key "
                              "is %s",
                              entry.block, entry.index, m_rules->show(entry.key).c_str(), record,
                              m_rules->show(e.key).c_str()));
            }
        }
    }

    BlockReader& m_file;
    const FileGeometry& m_geometry;
    BlockOwners& m_owners;
    GSO_dBaseFld& m_table;
    std::string m_name;
    uint32_t m_headerBlock;
    IndexCheckReport& m_report;

    char m_keyType = 'C';
    bool m_descending = false;
    bool m_unique = false;
    size_t m_keyLength = 0;
    size_t m_keysPerNode = 0;
    size_t m_entryLength = 0;
    std::string m_keyExpression;
    std::string m_filterExpression;
    std::optional<KeyRules> m_rules;

    std::set<uint32_t> m_visited;
    int m_leafDepth = -1;
    std::vector<LeafEntry> m_entries;
};

}  // namespace

std::string formatIndexProblem(const IndexProblem& problem) {
    if (problem.tag.empty()) return problem.message;
    return problem.tag + ": " + problem.message;
}

IndexCheckReport checkIndexFile(GSO_dBaseFld& table, std::string_view mdxPath) {
    IndexCheckReport report;
    auto fileProblem = [&](std::string message) {
        report.problems.push_back({"", "file header: " + std::move(message)});
    };

    BlockReader file(mdxPath);
    FileGeometry geometry;
    geometry.fileSize = file.fileSize();

    std::vector<uint8_t> first;
    if (!file.read(0, first, kFirstHeaderPart)) {
        fileProblem(formatted("the file has %llu bytes, too short for a header",
                              static_cast<unsigned long long>(geometry.fileSize)));
        return report;
    }
    const size_t units = getLE16(&first[kOffBlockUnits]);
    geometry.blockLength = getLE16(&first[kOffBlockLength]);
    if (geometry.blockLength < kUnitSize || geometry.blockLength % kUnitSize != 0 ||
        units * kUnitSize != geometry.blockLength) {
        fileProblem(formatted("block length of %zu bytes and %zu units is not usable",
                              geometry.blockLength, units));
        return report;
    }
    geometry.headerSize = units * geometry.blockLength;
    std::vector<uint8_t> header;
    if (!file.read(0, header, geometry.headerSize)) {
        fileProblem(formatted("header of %zu bytes is longer than the file (%llu bytes)",
                              geometry.headerSize,
                              static_cast<unsigned long long>(geometry.fileSize)));
        return report;
    }

    size_t tagCount = getLE16(&header[kOffTagCount]);
    // A one-unit header ends where the tag table would begin: it has no slots at all.
    const size_t tableSize =
        geometry.headerSize > kTagTableStart ? geometry.headerSize - kTagTableStart : 0;
    const size_t slotsInHeader = tableSize >= 2 * kSlotSize ? tableSize / kSlotSize - 1 : 0;
    if (tagCount > slotsInHeader) {
        fileProblem(formatted("%zu tags do not fit in the tag table (at most %zu)", tagCount,
                              slotsInHeader));
        tagCount = slotsInHeader;
    }

    struct Slot {
        std::string name;
        uint32_t headerBlock;
    };
    std::vector<Slot> slots;
    BlockOwners owners;
    for (size_t k = 1; k <= tagCount; ++k) {
        const uint8_t* slot = &header[kTagTableStart + k * kSlotSize];
        auto name = terminatedText(slot + kSlotNameOffset, kSlotNameSize);
        std::string tagName = name ? upperAscii(*name) : std::string();
        if (tagName.empty()) tagName = formatted("#%zu", k);
        slots.push_back({tagName, getLE32(slot)});
        owners.tagHeaders.insert(getLE32(slot));
    }
    for (const Slot& slot : slots) {
        TagChecker(file, geometry, owners, table, slot.name, slot.headerBlock, report).run();
    }
    return report;
}

IndexCheckReport checkIndexFileBesideWriters(GSO_dBaseFld& table, std::string_view mdxPath) {
    IndexCheckReport report = checkIndexFile(table, mdxPath);
    if (report.clean()) return report;
    whileNoWriterWrites(table, mdxPath, [&] { report = checkIndexFile(table, mdxPath); });
    return report;
}

void whileNoWriterWrites(GSO_dBaseFld& table, std::string_view mdxPath,
                         const std::function<void()>& look) {
    GSO_DiskFile index(mdxPath, true, false);
    if (!index.lockWaiting(indexFileLockRegion(table.lockProtocol()))) {
        raiseIndexLockError(index.lastError(), index.path());
    }
    struct Unlock {
        GSO_DiskFile& file;
        ~Unlock() { file.unlock(); }
    } unlock{index};
    table.RefreshHeader();
    look();
}

}  // namespace abonex
