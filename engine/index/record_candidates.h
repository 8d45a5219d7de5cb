// RecordCandidates: the records of a table that a record filter may accept, as a scan of the
// table's stored bytes found them: one bit per record number 1..count(). A record whose bit is
// clear held bytes the filter rejects when the scan read it; a record past count() was not
// there then and may be accepted.
//
// A walk through a tag passes over the entries of records whose bit is clear without reading
// them. That holds for every record that keeps its bytes; whoever keeps a set of candidates
// drops it when the table may have changed since its scan.
#pragma once

#include <cstdint>
#include <vector>

namespace abonex {

class RecordCandidates {
  public:
    explicit RecordCandidates(uint32_t count) : m_count(count), m_bits(count / 64 + 1, 0) {}

    uint32_t count() const { return m_count; }
    // REQUIRES: 1 <= record <= count().
    void add(uint32_t record) { m_bits[record / 64] |= uint64_t{1} << (record % 64); }
    bool mayAccept(uint32_t record) const {
        return record == 0 || record > m_count || (m_bits[record / 64] >> (record % 64) & 1) != 0;
    }
    // Records added.
    uint64_t size() const {
        uint64_t total = 0;
        for (const uint64_t word : m_bits)
            total += static_cast<uint64_t>(__builtin_popcountll(word));
        return total;
    }

  private:
    uint32_t m_count;
    std::vector<uint64_t> m_bits;
};

}  // namespace abonex
