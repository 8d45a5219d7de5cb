#include "directory/vcard_uid.h"

#include <cstdint>
#include <cstdio>

namespace abonex {

namespace {

constexpr uint64_t kFnvPrime = 0x100000001B3ULL;
constexpr uint64_t kFnvOffset = 0xCBF29CE484222325ULL;
// The second hash starts from another basis, so that the two halves are independent.
constexpr uint64_t kSecondOffset = 0x84222325CBF29CE4ULL;

uint64_t fnv1a(std::string_view text, uint64_t hash) {
    for (char c : text) {
        hash ^= static_cast<uint8_t>(c);
        hash *= kFnvPrime;
    }
    return hash;
}

char styleLetter(VcardStyle style) {
    switch (style) {
        case VcardStyle::Person:
            return 'P';
        case VcardStyle::Organisation:
            return 'O';
        case VcardStyle::Plain:
            break;
    }
    return 'F';
}

}  // namespace

std::string VcardUids::next(std::string_view name, std::string_view phone1, VcardStyle style) {
    // A unit separator between the fields, so that no two rows run together alike.
    std::string identity = std::string(1, styleLetter(style)) + '\x1F' + std::string(name) +
                           '\x1F' + std::string(phone1);
    const int occurrence = m_seen[identity]++;
    if (occurrence > 0) identity += '\x1F' + std::to_string(occurrence);
    uint64_t high = fnv1a(identity, kFnvOffset);
    uint64_t low = fnv1a(identity, kSecondOffset);
    high = (high & ~0xF000ULL) | 0x8000ULL;                       // version 8
    low = (low & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;  // variant 10
    char text[48];
    std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-%04x-%04x-%012llx",
                  static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xFFFF),
                  static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    return text;
}

}  // namespace abonex
