#include "engine/expr/text_search.h"

namespace abonex {

TextSearcher::TextSearcher(std::string_view needle) : m_needle(needle), m_border(needle.size()) {
    size_t k = 0;
    for (size_t i = 1; i < needle.size(); ++i) {
        while (k > 0 && needle[i] != needle[k]) k = m_border[k - 1];
        if (needle[i] == needle[k]) ++k;
        m_border[i] = k;
    }
}

size_t TextSearcher::find(std::string_view text, size_t from) const {
    if (from > text.size()) return std::string_view::npos;
    const size_t m = m_needle.size();
    if (m == 0) return from;
    size_t matched = 0;
    for (size_t i = from; i < text.size(); ++i) {
        while (matched > 0 && text[i] != m_needle[matched]) matched = m_border[matched - 1];
        if (text[i] == m_needle[matched]) ++matched;
        if (matched == m) return i + 1 - m;
    }
    return std::string_view::npos;
}

size_t TextSearcher::findNth(std::string_view text, size_t n) const {
    const size_t m = m_needle.size();
    if (m == 0) return std::string_view::npos;
    size_t found = std::string_view::npos;
    size_t count = 0;
    size_t matched = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        while (matched > 0 && text[i] != m_needle[matched]) matched = m_border[matched - 1];
        if (text[i] == m_needle[matched]) ++matched;
        if (matched == m) {
            found = i + 1 - m;
            if (++count >= n) return found;
            matched = m_border[m - 1];  // go on, allowing the next occurrence to overlap
        }
    }
    return found;
}

}  // namespace abonex
