#include "directory/search_variants.h"

#include <algorithm>

#include "directory/keyboard_layout.h"
#include "directory/transliteration.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

bool holdsYeOrYo(std::string_view name) {
    const std::string upper = ansiUpper(name);
    return upper.find('\xC5') != std::string::npos || upper.find('\xA8') != std::string::npos;
}

bool holdsRussianLetter(std::string_view name) {
    // Letters of 1251 beyond ASCII: the Russian alphabet and the page's other Cyrillic letters.
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<uint8_t>(c);
        return byte >= 0x80 && isAnsiLetter(byte);
    });
}

}  // namespace

std::vector<SearchAttempt> searchAttempts(const SearchCriteria& typed) {
    std::vector<SearchAttempt> attempts{{SearchVariant::AsTyped, typed}};
    const auto add = [&](SearchVariant variant, const SearchCriteria& criteria) {
        const bool known =
            std::any_of(attempts.begin(), attempts.end(),
                        [&](const SearchAttempt& attempt) { return attempt.criteria == criteria; });
        if (!known) attempts.push_back({variant, criteria});
    };
    if (!typed.name.empty()) {
        SearchCriteria folded = typed;
        folded.yoAsYe = true;
        if (holdsYeOrYo(typed.name)) add(SearchVariant::YoAsYe, folded);
        const auto withName = [&](std::string name) {
            SearchCriteria criteria = folded;
            criteria.name = std::move(name);
            return criteria;
        };
        if (holdsLatinLetter(typed.name)) {
            add(SearchVariant::Layout, withName(qwertyToRussian(typed.name)));
        }
        if (holdsRussianLetter(typed.name)) {
            add(SearchVariant::Layout, withName(russianToQwerty(typed.name)));
        }
        for (std::string& reading : cyrillicReadings(typed.name)) {
            add(SearchVariant::Transliteration, withName(std::move(reading)));
        }
    }
    if (!digitsOf(typed.phone).empty()) {
        SearchCriteria digits = typed;
        digits.phone = digitsOf(typed.phone);
        digits.phoneDigits = true;
        add(SearchVariant::PhoneDigits, digits);
    }
    return attempts;
}

std::string variantText(const SearchAttempt& attempt) {
    switch (attempt.variant) {
        case SearchVariant::AsTyped:
            return {};
        case SearchVariant::YoAsYe:
            return "без учёта Ё";
        case SearchVariant::Layout:
            return "по раскладке: " + ansiToUtf8(attempt.criteria.name);
        case SearchVariant::Transliteration:
            return "по транслитерации: " + ansiToUtf8(attempt.criteria.name);
        case SearchVariant::PhoneDigits:
            return "по цифрам номера: " + attempt.criteria.phone;
    }
    return {};
}

std::string searchNote(const SearchAttempt& attempt) {
    const std::string variant = variantText(attempt);
    return variant.empty() ? variant : "Найдено " + variant;
}

SearchAttempt searchWithVariants(TEngineDataSet& set, SearchCriteria& live,
                                 const SearchCriteria& typed) {
    try {
        for (const SearchAttempt& attempt : searchAttempts(typed)) {
            live = attempt.criteria;
            set.setFiltered(false);
            set.setFiltered(true);
            if (!set.Eof()) return attempt;
        }
    } catch (...) {
        live = typed;
        throw;
    }
    // Nothing found: the set stands on no row, and a later look at it goes by the search as
    // typed, as it would have without the variants.
    live = typed;
    return {SearchVariant::AsTyped, typed};
}

}  // namespace abonex
