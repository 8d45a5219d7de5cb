// A deterministic generator of persons-table rows: Russian surnames with initials, town phone
// numbers and 250-byte comments, all in code page 866 as the tables hold them. The same seed
// always gives the same rows, on every machine (the generator does its own arithmetic).
#pragma once

#include <cstdint>
#include <string>

namespace abonex::bench {

struct PersonRow {
    std::string name;     // "Surname I.O.", at most 30 bytes
    std::string phone1;   // "NN-NN-NN"
    std::string phone2;   // empty for most rows
    std::string comment;  // up to 250 bytes
};

class PersonsGenerator {
  public:
    explicit PersonsGenerator(uint64_t seed);
    PersonRow next();

  private:
    uint64_t nextRandom();
    uint64_t below(uint64_t bound) { return nextRandom() % bound; }
    std::string phone();

    uint64_t m_state;
};

// Writes a persons table (NAME C30, PHONE1 C15, PHONE2 C15, COMMENT C250) of `count` rows from
// `seed` at `path`, replacing any file there. Rows are written in bulk, not one append at a time.
void writePersonsTable(const std::string& path, int count, uint64_t seed);

}  // namespace abonex::bench
