// A deterministic generator of directory rows: persons (Russian surnames with initials) and
// organisations (kinds and names), town phone numbers and comments, all in code page 866 as the
// tables hold them. The same seed always gives the same rows, on every machine (the generator does
// its own arithmetic).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/dbf/dbf_create.h"

namespace abonex::demo {

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
    // An organisation of the town: its kind and name ("ООО «Рассвет»", "Школа №12"), phones
    // and a comment with its address and hours. The name is at most 100 bytes.
    PersonRow nextOrganisation();

  private:
    uint64_t nextRandom();
    uint64_t below(uint64_t bound) { return nextRandom() % bound; }
    std::string phone();
    std::string address();

    uint64_t m_state;
};

// Creates the new table `path` with `fields` (name, phone 1, phone 2, comment by position) and
// appends `rows` to it.
void writeRows(const std::string& path, const std::vector<FieldSpec>& fields,
               const std::vector<PersonRow>& rows);

// Writes a persons table (NAME C30, PHONE1 C15, PHONE2 C15, COMMENT C250) of `count` rows from
// `seed` at `path`, which must not exist yet. Rows are written in bulk, not one append at a time.
void writePersonsTable(const std::string& path, int count, uint64_t seed);

}  // namespace abonex::demo
