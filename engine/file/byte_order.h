// Byte order of the stored formats, in one place for every reader and writer of them.
//
// The integers of the table and index files are little-endian whatever the machine: the
// 16-, 32- and 64-bit readers and writers below build them byte by byte. The sort keys of the
// index build are big-endian instead, so that comparing their bytes one by one orders them as
// the numbers they hold; so are the block length and memo lengths of FoxPro memo files.
#pragma once

#include <cstdint>

namespace abonex {

inline uint16_t getLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t getLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t getLE64(const uint8_t* p) {
    return static_cast<uint64_t>(getLE32(p)) | (static_cast<uint64_t>(getLE32(p + 4)) << 32);
}

inline void putLE16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void putLE32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline void putLE64(uint8_t* p, uint64_t value) {
    putLE32(p, static_cast<uint32_t>(value));
    putLE32(p + 4, static_cast<uint32_t>(value >> 32));
}

inline uint16_t getBE16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline void putBE16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

inline uint32_t getBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline uint64_t getBE64(const uint8_t* p) {
    return (static_cast<uint64_t>(getBE32(p)) << 32) | static_cast<uint64_t>(getBE32(p + 4));
}

inline void putBE32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

inline void putBE64(uint8_t* p, uint64_t value) {
    putBE32(p, static_cast<uint32_t>(value >> 32));
    putBE32(p + 4, static_cast<uint32_t>(value));
}

}  // namespace abonex
