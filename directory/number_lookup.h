// NumberLookup: which rows of the directory hold the number a call comes from.
//
// A number counts by its digits alone: blanks, dashes, brackets and every other character are
// dropped ("+7 (8172) 53-87-52" is 78172538752). Its forms are the digits as they are; for
// eleven digits that begin with 7 (+7) or 8 (the trunk prefix), the ten after that digit; and
// for ten digits (so written, or after that prefix) that begin with the town's code, the local
// number after the code. A stored phone matches when one of its forms is one of the caller's;
// the match is as long as the longest form they share, so "53-87-52" matches 88172538752 by 6
// digits when the town's code is 8172, and "(8172) 53-87-52" by 10 whatever the town. Without a
// town's code, a local number matches only a caller's number that is that local number.
//
// Both phones of each row are tried, in the favourites, the organisations and the persons. The
// answer is every row whose match is the longest of all, the favourites first, then the
// organisations, then the persons, each table's rows in record order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"

namespace abonex {

class TEngineDataSet;

struct NumberMatch {
    DirectoryMode mode = DirectoryMode::Persons;
    int record = 0;          // record number in its table
    int field = 0;           // kFieldPhone1 or kFieldPhone2: the phone that matched
    std::size_t digits = 0;  // how long the match is
    DirectoryRow row;        // UTF-8
};

class NumberLookup {
  public:
    // `number` as the caller ID gave it or as it was typed; `townCode` the town's code, any
    // characters but its digits dropped (empty: none).
    NumberLookup(std::string_view number, std::string_view townCode);

    // The caller's number has at least one digit.
    bool valid() const { return !m_forms.empty(); }
    // The caller's forms, longest first.
    const std::vector<std::string>& forms() const { return m_forms; }
    // How long the match of a stored phone is (its text as stored, any characters); 0 when it
    // does not match.
    std::size_t match(std::string_view storedPhone) const;

    // Walks every row of `set` (open, unfiltered, in any order) and keeps those of its rows
    // whose phones match. `set` hands its text in ANSI (TranslateASCII on). Errors of the data
    // set pass on; the rows kept before stay kept.
    void scan(TEngineDataSet& set, DirectoryMode mode);
    // Scans the tables of the directory in `folder` (ending in "/"), each opened read-only as
    // it is, shared with its lock protocol, in record order; a table the folder lacks (in any
    // letter case) is passed over. Returns how many tables were scanned. Errors of the engine
    // pass on.
    int scanFolder(std::string_view folder);
    // The answer so far, as the header says: the longest matches only, in their order.
    std::vector<NumberMatch> matches() const;

    // The tables in the order their rows are answered.
    static const std::vector<DirectoryMode>& scanOrder();

  private:
    // Hands each form of `digits` to `take`, longest first, as views into `digits`.
    template <typename Take>
    void formViews(std::string_view digits, const Take& take) const;
    std::vector<std::string> formsOf(std::string_view digits) const;

    std::string m_townCode;
    std::vector<std::string> m_forms;
    std::vector<NumberMatch> m_found;
};

}  // namespace abonex
