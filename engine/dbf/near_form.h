// Nearest forms: how text that a table's code page cannot hold exactly is stored all the same.
// Russian text as offices type it carries typographic characters that neither 866 nor most other
// single-byte pages hold: guillemets and the other quotes, dashes, the ellipsis, spaces of every
// width. Each has a nearest form the pages do hold (« » „ “ ” -> ", ‘ ’ ‚ -> ', – — ‒ − -> -,
// … -> ...); a character the page holds keeps its byte (№ stays in 866). The one table of these
// forms is in near_form.cpp; every path that stores UTF-8 text into a table (the tool's CSV
// and vCard imports, the record dialog, an apply between two pages) converts through
// utf8ToPageNear and tells the user what it replaced.
//
// The spaces other than the blank (the no-break space, the thin and the wide spaces) are always
// stored as a blank, also where the page holds them (866 holds the no-break space): a search is
// typed with blanks and would never find a name that holds another space.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dbf/codepage.h"

namespace abonex {

// The nearest form of `c` for a page that lacks it, in UTF-8: most often ASCII, possibly empty
// (a zero-width space or a soft hyphen is dropped); nothing for a character that has none.
std::optional<std::string_view> nearFormOf(char32_t c);
// True for the spaces that are stored as a blank wherever they come (see above).
bool isOtherSpace(char32_t c);

// How many of which characters a conversion wrote in their nearest form.
class NearFormTally {
  public:
    void note(char32_t c) { ++m_counts[c]; }
    void add(const NearFormTally& other);
    bool empty() const { return m_counts.empty(); }
    size_t total() const;
    size_t count(char32_t c) const;
    // Each character replaced, in code point order, with how often.
    const std::map<char32_t, size_t>& counts() const { return m_counts; }
    // For a message: '3 characters written in their nearest form in code page 866: 2 × "«"
    // (U+00AB) as """, 1 × "…" (U+2026) as "..."'.
    std::string describe(CodePage page) const;

  private:
    std::map<char32_t, size_t> m_counts;
};

// UTF-8 -> `page` as utf8ToPage, except that a character the page lacks is written in its
// nearest form, and the other spaces as a blank, each counted in `tally` when given. Nothing,
// with `fault` filled in when given, for text that is not UTF-8 or holds a character that has
// no nearest form the page holds; `fault` then names that character in `utf8`.
std::optional<std::string> utf8ToPageNear(CodePage page, std::string_view utf8,
                                          Utf8Fault* fault = nullptr,
                                          NearFormTally* tally = nullptr);

}  // namespace abonex
