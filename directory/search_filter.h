// The search filter of the directory window: which rows the name and phone search texts accept.
//
// Prefix mode accepts a row when its upper-cased name starts with the upper-cased search name
// and one of its phones, the first or the second, starts with the search phone (an empty text
// matches everything). Substring mode accepts a row when the search name occurs in its
// upper-cased name or the search phone occurs in one of its phones; an empty text never occurs,
// and with both texts empty every row is accepted. Texts are ANSI (code page 1251); upper case
// follows the fixed Russian rules of the engine's locale. The comment is never searched.
//
// Two looser tests serve the searches tried when the one as typed finds nothing (see
// search_variants.h): the name with Е and Ё taken as one letter, and the phone compared by its
// digits alone. Both are off unless asked for, and then the rules above hold for the folded
// texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/dataset/field_bytes_test.h"
#include "engine/index/key_filter.h"

namespace abonex {

class TEngineDataSet;

struct SearchCriteria {
    std::string name;     // SearchName, ANSI
    std::string phone;    // SearchPhone, ANSI
    bool atStart = true;  // chStart checked: prefix mode
    // Е and Ё (either case) are one letter in the name and the search name.
    bool yoAsYe = false;
    // The phone and the search phone are compared by their digits alone, separators and
    // letters left out ("538752" is found in "53-87-52").
    bool phoneDigits = false;

    bool operator==(const SearchCriteria&) const = default;
};

// The digits of a text, in their order.
std::string digitsOf(std::string_view text);

// The test for one row with its first and second phone; `accept` is the value the caller
// preset (kept in substring mode when both texts are empty).
bool searchAccepts(const SearchCriteria& search, std::string_view name, std::string_view phone,
                   std::string_view secondPhone = {}, bool accept = true);

// DSetFilterRecord: applies the test to the data set's current record (field 0 is the name,
// fields 1 and 2 the phones). A failure while reading the fields leaves `accept` as it was.
void DSetFilterRecord(const SearchCriteria& search, TEngineDataSet& dataSet, bool& accept);

// The part of the search that the name field alone decides, for the data set's OnFilterKey:
// the name test of prefix mode (both texts must match there), or of substring mode when no
// phone text could accept a row instead. A stored byte of the field matches a byte of the
// search name exactly when the test above, applied to a name holding that byte, says so
// (`translated`: the data set hands the test its text translated to ANSI, as with
// TranslateASCII on). std::nullopt when the name text is empty or cannot decide alone.
std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search, bool translated);
// The part of the search that the phones' stored bytes alone decide, for the data set's
// OnFilterBytes: its phone text at the start (prefix mode) or anywhere (substring mode with no
// name text, which could accept a row instead) of the first phone or of the second. Phone texts of
// ASCII bytes only, which every code page stores as they are; std::nullopt otherwise, and when
// phones are compared by their digits.
std::optional<FieldBytesTest> searchBytesTest(const SearchCriteria& search);
// The same for the fields as `dataSet` hands them to the test: translated from the table's
// code page to ANSI when it translates, the stored bytes otherwise.
std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search,
                                         const TEngineDataSet& dataSet);

// Makes `dataSet` apply `search` as the window does: the record filter, the name keys' filter
// and the first phone's bytes test. `search` must outlive the data set's use of the filter;
// changing it and refreshing the data set applies the new search.
void attachSearch(TEngineDataSet& dataSet, const SearchCriteria& search);

}  // namespace abonex
