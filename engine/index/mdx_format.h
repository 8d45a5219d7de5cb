// The byte layout of a multiple-index (.MDX) file, written down once as named constants, with the
// key encodings that every index module shares (integers: engine/file/byte_order.h).
//
// All integers are little-endian. The file is addressed in 512-byte units: block n starts at byte
// n * 512. Every node and every tag header takes one block of the file's block length (1024 bytes
// in files this engine creates, so consecutive blocks differ by 2 in their numbers).
//
// File header (the first header-size bytes, 2048 in files this engine creates):
//   OFFSET  SIZE  CONTENT
//   0       1     version: 2
//   1       3     date of the last change: years since 1900 (2026 is 126), month, day
//   4       16    base name of the table file, at most 8 characters, NUL-terminated
//   20      2     block length in 512-byte units: 2
//   22      2     block length in bytes: 1024
//   24      1     production flag: 1
//   25      1     slots in the tag table: 48
//   26      2     length of one slot: 32
//   28      2     number of tags in use
//   32      4     next free block number (written, never trusted: opening takes the file length)
//   44      3     date of creation, as at offset 1
//   512     32    slot 0: zero except its forward link (byte 17)
//   544     32*k  slots 1..k
//
// Tag-table slot k (at 512 + 32 * k):
//   0       4     block number of the tag header
//   4       11    tag name, upper case, NUL-terminated
//   17      1     forward link: written into slot k-1 as k when slot k is written
//   19      1     2
//   20      1     key type: 'C', 'N' or 'D'
//
// Tag header (one block):
//   0       4     root node block
//   8       1     key format: 0x10, | 0x40 unique, | 0x08 descending
//   9       1     key type
//   12      2     key length (signed)
//   14      2     keys per node
//   18      2     entry length
//   23      1     unique flag: 0x40 when unique
//   24      221   key expression, NUL-terminated
//   245     1     1 when the tag has a filter
//   246     1     1
//   248     4     first node block allocated for the tag
//   252     4     last node block allocated for the tag
//   762     ...   filter expression, NUL-terminated
//
// Node block:
//   0       4     number of keys n
//   4       4     chain: the node block allocated for the same tag just before this one
//   8       ...   entries of entry-length bytes: 4-byte pointer, key bytes, padding.
//                 Entry n's pointer is 0 in a leaf and the extra child pointer in a branch.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/file/byte_order.h"

namespace abonex::mdx {

inline constexpr uint32_t kUnitSize = 512;
inline constexpr uint32_t kBlockLength = 1024;
inline constexpr uint16_t kBlockUnits = 2;
inline constexpr uint32_t kHeaderSize = 2048;
inline constexpr uint8_t kVersion = 2;
inline constexpr uint8_t kSlotCount = 48;
inline constexpr uint16_t kSlotLength = 32;
// Slots 1..47 lie inside the 2048-byte header; slot 0 only carries the first forward link.
inline constexpr int kMaxTags = 47;
inline constexpr uint32_t kFirstFreeBlock = kHeaderSize / kUnitSize;

// File header offsets.
inline constexpr size_t kHdrVersion = 0;
inline constexpr size_t kHdrChangeDate = 1;
inline constexpr size_t kHdrTableName = 4;
inline constexpr size_t kHdrTableNameMax = 8;
inline constexpr size_t kHdrBlockUnits = 20;
inline constexpr size_t kHdrBlockLength = 22;
inline constexpr size_t kHdrProduction = 24;
inline constexpr size_t kHdrSlotCount = 25;
inline constexpr size_t kHdrSlotLength = 26;
inline constexpr size_t kHdrTagCount = 28;
inline constexpr size_t kHdrNextFree = 32;
inline constexpr size_t kHdrCreateDate = 44;
inline constexpr size_t kTagTable = 512;

// Slot offsets.
inline constexpr size_t kSlotHeaderBlock = 0;
inline constexpr size_t kSlotName = 4;
inline constexpr size_t kSlotNameMax = 10;
inline constexpr size_t kSlotForwardLink = 17;
inline constexpr size_t kSlotConstant = 19;
inline constexpr size_t kSlotKeyType = 20;

// Tag header offsets and flags.
inline constexpr size_t kTagRoot = 0;
inline constexpr size_t kTagKeyFormat = 8;
inline constexpr size_t kTagKeyType = 9;
inline constexpr size_t kTagKeyLength = 12;
inline constexpr size_t kTagKeysPerNode = 14;
inline constexpr size_t kTagEntryLength = 18;
inline constexpr size_t kTagUnique = 23;
inline constexpr size_t kTagKeyExpression = 24;
inline constexpr size_t kTagKeyExpressionMax = 220;  // 221 bytes with the NUL
inline constexpr size_t kTagHasFilter = 245;
inline constexpr size_t kTagConstant246 = 246;
inline constexpr size_t kTagFirstNode = 248;
inline constexpr size_t kTagLastNode = 252;
inline constexpr size_t kTagFilterExpression = 762;
inline constexpr uint8_t kFormatAlways = 0x10;
inline constexpr uint8_t kFormatUnique = 0x40;
inline constexpr uint8_t kFormatDescending = 0x08;

// Node offsets.
inline constexpr size_t kNodeCount = 0;
inline constexpr size_t kNodeChain = 4;
inline constexpr size_t kNodeEntries = 8;
// The chain value of a root grown above a split root.
inline constexpr uint32_t kChainNewRoot = 0xFFFFFFFFu;

// Key lengths of the fixed-size key types.
inline constexpr int kNumericKeyLength = 12;
inline constexpr int kDateKeyLength = 8;
// Numeric keys: byte 0 holds the decimal exponent plus this bias.
inline constexpr int kExponentBias = 52;
inline constexpr int kMaxNumericDigits = 15;
// Numeric keys: bit of byte 1 that marks a negative number.
inline constexpr uint8_t kNumericNegative = 0x80;

// The high values that a branch's extra last entry reads as.
inline constexpr double kHighNumber = 1.7e308;
inline constexpr double kLowNumber = 1.7e-308;

// Double keys (date and floating-point tags) hold the IEEE bits little-endian.
inline double getDouble(const uint8_t* p) {
    return std::bit_cast<double>(getLE64(p));
}
inline void putDouble(uint8_t* p, double value) {
    putLE64(p, std::bit_cast<uint64_t>(value));
}

// Entry length and keys per node of a tag whose keys are `keyLength` bytes long.
struct TagGeometry {
    int keyLength;
    int entryLength;  // key length + 4, rounded up to a multiple of 4
    int keysPerNode;  // (block length - 8) / entry length - 1: one entry spare for a branch
};
TagGeometry tagGeometry(int keyLength, uint32_t blockLength = kBlockLength);

// The 12-byte decimal form of a numeric key: the number rounded to 15 significant digits.
using NumericKey = std::array<uint8_t, kNumericKeyLength>;
NumericKey encodeNumericKey(double value);
// The value of a 12-byte decimal key: 0.d1 d2 ... x 10^(byte 0 - 52), negative when bit 0x80
// of byte 1 is set, its digits read from all ten digit bytes (whatever digit count byte 1
// gives). The reader of the index layer and the integrity check both decode with it.
double decodeNumericKey(const uint8_t* key);

}  // namespace abonex::mdx
