// TextSearcher: finding a byte string in a text in time linear in both lengths.
//
// The expression operators and functions search texts that may be up to kMaxTextLength bytes
// long and made of one repeated byte (blank-padded fields, SPACE()), where a naive search takes
// quadratic time. This is the Knuth-Morris-Pratt search: the needle is preprocessed once, and
// the text is read once per search without stepping back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace abonex {

class TextSearcher {
  public:
    // REQUIRES: `needle` outlives the searcher.
    explicit TextSearcher(std::string_view needle);

    // The first occurrence of the needle starting at or after `from`; npos when there is none.
    // An empty needle is found at `from` (when from <= text.size()).
    size_t find(std::string_view text, size_t from = 0) const;
    // The n-th occurrence (n >= 1), counting occurrences that overlap; when there are fewer,
    // the last one found; npos when there is none. An empty needle is never found.
    size_t findNth(std::string_view text, size_t n) const;

  private:
    std::string_view m_needle;
    // m_border[i]: length of the longest proper border of m_needle[0..i].
    std::vector<size_t> m_border;
};

}  // namespace abonex
