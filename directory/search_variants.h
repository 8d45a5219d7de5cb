// Searches as people type them: when the search as typed finds no row, the searches it may have
// been meant as are tried, one after the other, until one finds rows.
//
// In order: the name with Е and Ё taken as one letter ("елкин" finds Ёлкин); the name typed in
// the other keyboard layout, to Russian ("Gtnhjd" is Петров), then to Latin ("зуекщм" is
// petrov); the Latin letters of the name read as Russian ones ("petrov", "Solovyev", GOST 7.79
// "Xrushhyov"), each reading in turn; the phone by its digits alone ("538752" finds
// 53-87-52). The layout and the readings take Е and Ё as one letter too; each of these changes
// one thing of the search and keeps the rest as typed. A search that finds rows as typed is
// left exactly as it is: the variants are never asked.
//
// Every variant is one more search of the same kind: a search at the start of the name seeks
// through the name tag with the key filter, as the search as typed does.
#pragma once

#include <string>
#include <vector>

#include "directory/search_filter.h"

namespace abonex {

class TEngineDataSet;

enum class SearchVariant { AsTyped, YoAsYe, Layout, Transliteration, PhoneDigits };

struct SearchAttempt {
    SearchVariant variant = SearchVariant::AsTyped;
    SearchCriteria criteria;
};

// The searches to try for `typed`, in order: `typed` itself first, then each variant that
// differs from every search before it.
std::vector<SearchAttempt> searchAttempts(const SearchCriteria& typed);

// What the status line and the tool say of the search that found the rows (UTF-8):
// "Найдено без учёта Ё", "Найдено по раскладке: Петров", "Найдено по транслитерации: петров",
// "Найдено по цифрам номера: 538752"; empty for the search as typed.
std::string searchNote(const SearchAttempt& attempt);
// The variant itself, as those notes name it after "Найдено " ("без учёта Ё", "по раскладке:
// Петров", ...); empty for the search as typed.
std::string variantText(const SearchAttempt& attempt);

// Applies the search to `set` the window's way (the filter switched off and on again), first
// as typed, then each variant in turn until one leaves the set on a row. `live` is what the
// set's OnFilterRecord and OnFilterKey read: it holds each attempt while that attempt runs and
// is left holding the one that found rows, or `typed` when none did (the set then stands on
// no row). Returns the attempt that found rows, or the search as typed when none did. Errors
// of the data set pass on, with `live` back at `typed`.
SearchAttempt searchWithVariants(TEngineDataSet& set, SearchCriteria& live,
                                 const SearchCriteria& typed);

}  // namespace abonex
