// FieldBytesTest: what a data set's record filter asks of the stored bytes of one field (or of
// either of two), in a form a scan of the whole table can answer for every record at once: the
// field's stored bytes hold `text` anywhere, or (`atStart`) begin with it; with `otherField`
// set, a record passes when either field's bytes do. A record whose bytes fail the test is one
// the record filter rejects; one that passes may still be rejected, the record filter decides.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace abonex {

struct FieldBytesTest {
    int field = -1;  // 0-based position
    std::string text;
    bool atStart = false;
    int otherField = -1;  // a second field that may hold the text instead; -1: none

    bool operator==(const FieldBytesTest&) const = default;

    // `bytes`: the field's `length` stored bytes.
    bool passes(const uint8_t* bytes, size_t length) const {
        if (text.size() > length) return false;
        if (atStart) return std::memcmp(bytes, text.data(), text.size()) == 0;
        return text.empty() || memmem(bytes, length, text.data(), text.size()) != nullptr;
    }
};

}  // namespace abonex
