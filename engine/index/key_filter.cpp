#include "engine/index/key_filter.h"

#include <algorithm>
#include <cstring>

namespace abonex {

namespace {

uint8_t byteAt(std::string_view text, size_t i) {
    return static_cast<uint8_t>(text[i]);
}

}  // namespace

KeyMatchTable::KeyMatchTable(const std::function<bool(uint8_t, uint8_t)>& matches) {
    for (int search = 0; search < 256; ++search) {
        for (int stored = 0; stored < 256; ++stored) {
            if (!matches(static_cast<uint8_t>(search), static_cast<uint8_t>(stored))) continue;
            m_matches[static_cast<size_t>(search)].set(static_cast<size_t>(stored));
            m_stored[static_cast<size_t>(search)] += static_cast<char>(stored);
        }
    }
}

KeyFilter::KeyFilter(Kind kind, int field, std::string searchText,
                     std::shared_ptr<const KeyMatchTable> table)
    : m_kind(kind), m_field(field), m_search(std::move(searchText)), m_table(std::move(table)) {}

bool KeyFilter::matchesAt(std::string_view key, size_t at) const {
    for (size_t i = 0; i < m_search.size(); ++i) {
        if (!m_table->matches(byteAt(m_search, i), byteAt(key, at + i))) return false;
    }
    return true;
}

bool KeyFilter::accepts(std::string_view key) const {
    if (key.size() < m_search.size()) return false;
    if (m_kind == Kind::StartsWith) return matchesAt(key, 0);
    if (m_search.empty()) return true;
    // Most keys fail at their first byte: look for the first search byte before the rest.
    const uint8_t first = byteAt(m_search, 0);
    for (size_t at = 0; at + m_search.size() <= key.size(); ++at) {
        if (m_table->matches(first, byteAt(key, at)) && matchesAt(key, at)) return true;
    }
    return false;
}

bool KeyFilter::rejectsAll(const uint8_t* entries, size_t count, size_t entryLength,
                           size_t keyOffset, size_t keyLength) const {
    if (count == 0) return true;
    const size_t length = m_search.size();
    if (length > keyLength || keyOffset + keyLength > entryLength) return length > keyLength;
    auto keyOf = [&](size_t entry) {
        return std::string_view(
            reinterpret_cast<const char*>(entries) + entry * entryLength + keyOffset, keyLength);
    };
    if (m_kind == Kind::StartsWith || length == 0) {
        for (size_t entry = 0; entry < count; ++entry) {
            std::string_view key = keyOf(entry);
            while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
            if (accepts(key)) return false;
        }
        return true;
    }
    // A key that holds the search text holds it within its padded bytes, so an occurrence of
    // the first search byte that leaves room for the rest inside one key is all that can
    // accept; the pointers between the keys only cost a look at the occurrence.
    const uint8_t* const end = entries + count * entryLength;
    for (const char stored : m_table->storedBytesFor(byteAt(m_search, 0))) {
        for (const uint8_t* at = entries; at < end; ++at) {
            at = static_cast<const uint8_t*>(
                std::memchr(at, static_cast<uint8_t>(stored), static_cast<size_t>(end - at)));
            if (at == nullptr) break;
            const size_t offset = static_cast<size_t>(at - entries);
            const size_t inEntry = offset % entryLength;
            if (inEntry < keyOffset || inEntry - keyOffset + length > keyLength) continue;
            std::string_view key = keyOf(offset / entryLength);
            while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
            const size_t inKey = inEntry - keyOffset;
            if (inKey + length <= key.size() && matchesAt(key, inKey)) return false;
        }
    }
    return true;
}

std::optional<std::string> KeyFilter::nextCandidate(std::string_view key) const {
    const size_t length = m_search.size();
    for (size_t i = 0; i < length; ++i) {
        // A search byte that no stored byte matches: no key at all is accepted.
        if (m_table->storedBytesFor(byteAt(m_search, i)).empty()) return std::nullopt;
    }
    // The least accepted continuation of `prefix`: the smallest matching byte at every
    // position still open.
    auto leastFrom = [&](std::string prefix) {
        for (size_t i = prefix.size(); i < length; ++i) {
            prefix += m_table->storedBytesFor(byteAt(m_search, i)).front();
        }
        return prefix;
    };
    size_t fails = 0;
    while (fails < length && fails < key.size() &&
           m_table->matches(byteAt(m_search, fails), byteAt(key, fails))) {
        ++fails;
    }
    if (fails == length) return std::string(key);
    // The key is a proper beginning of an accepted text: the keys that start with it and go on
    // with the smallest matching bytes come first.
    if (fails == key.size()) return leastFrom(std::string(key));
    // The key leaves the accepted texts at `fails`: the next accepted texts have a greater
    // matching byte there, or, when there is none, at an earlier position.
    for (size_t at = fails + 1; at-- > 0;) {
        const std::string_view choices = m_table->storedBytesFor(byteAt(m_search, at));
        const auto next = std::upper_bound(
            choices.begin(), choices.end(), key[at],
            [](char a, char b) { return static_cast<uint8_t>(a) < static_cast<uint8_t>(b); });
        if (next != choices.end()) return leastFrom(std::string(key.substr(0, at)) + *next);
    }
    return std::nullopt;
}

}  // namespace abonex
