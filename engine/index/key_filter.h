// KeyFilter: what a data set's record filter asks of one field, in a form an index key made of
// that field can answer without the record being read.
//
// A filter that tests a text field only through its characters one by one ("the name, upper-
// cased, starts with ИВАН", "... contains ИВАН") is described by its search text and a match
// table that says, for every byte of the search text, which stored bytes of the field stand for
// it (for the directory: the code-page-866 bytes whose ANSI translation upper-cases to the
// search byte's upper case). A key that the KeyFilter rejects names a record the record filter
// rejects too, provided the key holds the field's stored bytes; a key it accepts only may name
// an accepted record, so the record filter still has the last word.
//
// For a search text s of length L and a key k (held without trailing blanks):
//   StartsWith: k has at least L bytes and k[i] matches s[i] for every i < L;
//   Contains:   some run k[j] .. k[j + L - 1] matches s[0] .. s[L - 1].
// An empty search text accepts every key.
//
// Keys in a tag are ordered by plain unsigned bytes. For StartsWith, nextCandidate() gives the
// least byte string that every accepted key after a given rejected key reaches, so a walk
// through the tag can seek over the keys between them (a skip scan).
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace abonex {

// For every byte a search text may hold, the stored bytes that match it.
class KeyMatchTable {
  public:
    // `matches(searchByte, storedByte)` is asked once for every pair.
    explicit KeyMatchTable(const std::function<bool(uint8_t search, uint8_t stored)>& matches);

    bool matches(uint8_t search, uint8_t stored) const { return m_matches[search][stored]; }
    // The stored bytes that match `search`, in ascending order.
    std::string_view storedBytesFor(uint8_t search) const { return m_stored[search]; }

  private:
    std::array<std::bitset<256>, 256> m_matches;
    std::array<std::string, 256> m_stored;
};

class KeyFilter {
  public:
    enum class Kind { StartsWith, Contains };

    // `field` is the 0-based position of the field the filter tests.
    KeyFilter(Kind kind, int field, std::string searchText,
              std::shared_ptr<const KeyMatchTable> table);

    Kind kind() const { return m_kind; }
    int field() const { return m_field; }
    const std::string& searchText() const { return m_search; }

    bool accepts(std::string_view key) const;
    // True when accepts() rejects every one of the `count` keys held as a node block holds
    // them: `entryLength` bytes apart from `entries` on, each `keyLength` bytes from
    // `keyOffset` into its entry, padded with blanks (a key is the padded bytes without their
    // trailing blanks). False may also mean that nothing quick could tell; a Contains filter
    // looks for the search text's first byte with memchr over the whole run of entries.
    bool rejectsAll(const uint8_t* entries, size_t count, size_t entryLength, size_t keyOffset,
                    size_t keyLength) const;
    // StartsWith only. For a key that accepts() rejects: the least byte string c greater than
    // `key` such that every accepted key greater than `key` is at least c; std::nullopt when
    // no key greater than `key` can be accepted.
    std::optional<std::string> nextCandidate(std::string_view key) const;

  private:
    bool matchesAt(std::string_view key, size_t at) const;

    Kind m_kind;
    int m_field;
    std::string m_search;
    std::shared_ptr<const KeyMatchTable> m_table;
};

}  // namespace abonex
