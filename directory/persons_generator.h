// A deterministic generator of directory rows: persons (Russian surnames with initials) and
// organisations (kinds and names), town phone numbers and comments, every text one that code page
// 866 holds and that fits its field. The same seed always gives the same rows, on every machine
// (the generator does its own arithmetic).
#pragma once

#include <cstdint>
#include <string>

#include "directory/directory_tables.h"
#include "directory/table_writer.h"

namespace abonex::demo {

class PersonsGenerator {
  public:
    explicit PersonsGenerator(uint64_t seed);
    // A person: "Surname I.O." (at most 30 characters), a phone "NN-NN-NN", a second phone for
    // about one row in four, and a comment of 250 characters with the address and notes.
    DirectoryRow next();
    // An organisation of the town: its kind and name ("ООО «Рассвет»", "Школа №12"), phones
    // and a comment with its address and hours. The name is at most 100 characters.
    DirectoryRow nextOrganisation();

  private:
    uint64_t nextRandom();
    uint64_t below(uint64_t bound) { return nextRandom() % bound; }
    std::string phone();
    std::string address();

    uint64_t m_state;
};

// Writes a persons table of `count` rows from `seed` at `path`, which must not exist yet, with
// (NameIndex::Build) or without its index file.
void writePersonsTable(const std::string& path, int count, uint64_t seed,
                       NameIndex index = NameIndex::Build);

}  // namespace abonex::demo
