// Lock protocols: where the lock regions of a table and its index files lie.
//
// Copies of the program (and other programs that follow the same protocol) coordinate only
// through byte-range locks far beyond the end of any real data, so a lock never blocks a read.
//
//   Protocol           base offset   record base   region length
//   Default, FoxLock   0x40000000    0x7FFFFFFE    0x3FFFFFFF
//   DB4Lock            0x40000000    0xEFFFFFFF    0xB0000000
//   ClipLock           1000000000    1000000000    1000000000
#pragma once

#include <cstdint>

namespace abonex {

enum class TgsLokProtocol { Default = 0, DB4Lock = 1, ClipLock = 2, FoxLock = 3 };

struct LockLayout {
    uint64_t baseOffset;
    uint64_t recordBase;
    uint64_t regionLength;
};

constexpr LockLayout lockLayout(TgsLokProtocol protocol) {
    switch (protocol) {
        case TgsLokProtocol::DB4Lock:
            return {0x40000000u, 0xEFFFFFFFu, 0xB0000000u};
        case TgsLokProtocol::ClipLock:
            return {1000000000u, 1000000000u, 1000000000u};
        case TgsLokProtocol::Default:
        case TgsLokProtocol::FoxLock:
            break;
    }
    return {0x40000000u, 0x7FFFFFFEu, 0x3FFFFFFFu};
}

// The region (offset, length) that a writer locks on an index file before every table write.
struct LockRegion {
    uint64_t offset;
    uint64_t length;
    bool operator==(const LockRegion&) const = default;
};

constexpr LockRegion indexFileLockRegion(TgsLokProtocol protocol) {
    switch (protocol) {
        case TgsLokProtocol::DB4Lock:
            return {0xEFFFFFFEu, 2};
        case TgsLokProtocol::ClipLock:
            return {1000000000u, 1};
        case TgsLokProtocol::Default:
        case TgsLokProtocol::FoxLock:
            break;
    }
    return {0x7FFFFFFDu, 1};
}

// The region of "lock all": the whole 2 GiB range, which also grants exclusive access.
inline constexpr LockRegion kLockAllRegion{0, 0x7FFFFFFFu};

}  // namespace abonex
