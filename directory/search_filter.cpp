#include "directory/search_filter.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <mutex>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

constexpr char kAnsiYo = '\xA8';  // Ё
constexpr char kAnsiYe = '\xC5';  // Е

// The text upper-cased, with Ё made Е when the search takes them as one letter.
std::string foldedName(std::string_view text, bool yoAsYe) {
    std::string upper = ansiUpper(text);
    if (yoAsYe) std::replace(upper.begin(), upper.end(), kAnsiYo, kAnsiYe);
    return upper;
}

}  // namespace

std::string digitsOf(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits;
}

bool searchAccepts(const SearchCriteria& search, std::string_view name, std::string_view phoneText,
                   std::string_view secondPhoneText, bool accept) {
    std::string upperName = foldedName(name, search.yoAsYe);
    std::string wantedName = foldedName(search.name, search.yoAsYe);
    std::string phoneDigits, secondDigits, wantedDigits;
    std::string_view phone = phoneText;
    std::string_view secondPhone = secondPhoneText;
    std::string_view wantedPhone = search.phone;
    if (search.phoneDigits) {
        phoneDigits = digitsOf(phoneText);
        secondDigits = digitsOf(secondPhoneText);
        wantedDigits = digitsOf(search.phone);
        phone = phoneDigits;
        secondPhone = secondDigits;
        wantedPhone = wantedDigits;
    }
    if (search.atStart) {
        // The first L characters of the name against the search text: a stored name shorter
        // than the search text can never match.
        bool nameMatches = std::string_view(upperName).substr(0, wantedName.size()) == wantedName;
        bool phoneMatches = phone.substr(0, wantedPhone.size()) == wantedPhone ||
                            secondPhone.substr(0, wantedPhone.size()) == wantedPhone;
        return nameMatches && phoneMatches;
    }
    if (search.name.empty() && search.phone.empty()) return accept;
    bool nameFound = !wantedName.empty() && upperName.find(wantedName) != std::string::npos;
    bool phoneFound =
        !wantedPhone.empty() && (phone.find(wantedPhone) != std::string_view::npos ||
                                 secondPhone.find(wantedPhone) != std::string_view::npos);
    return nameFound || phoneFound;
}

void DSetFilterRecord(const SearchCriteria& search, TEngineDataSet& dataSet, bool& accept) {
    // Both texts empty: prefix mode accepts every row and substring mode keeps what the caller
    // preset, whatever the fields hold, so they need not be read (when they can be).
    if (search.name.empty() && search.phone.empty() && dataSet.Active() &&
        dataSet.FieldCount() > kFieldPhone1) {
        if (search.atStart) accept = true;
        return;
    }
    try {
        std::string name = dataSet.Fields(kFieldName).AsString();
        std::string phone = dataSet.Fields(kFieldPhone1).AsString();
        // A person's second number is found as the first is (a table of another layout may
        // have no second phone field).
        std::string secondPhone = dataSet.FieldCount() > kFieldPhone2
                                      ? dataSet.Fields(kFieldPhone2).AsString()
                                      : std::string();
        accept = searchAccepts(search, name, phone, secondPhone, accept);
    } catch (const std::exception&) {
        // A row that cannot be read is left as the caller preset it; searching never fails.
    }
}

namespace {

// Which stored bytes stand for which search bytes: the filter's own name test on a name whose
// first byte is the stored one (another byte after it, so that nothing is trimmed away), as the
// data set hands it over from `page` (1251: as stored); with `yoAsYe`, Ё and Е are one letter.
std::shared_ptr<const KeyMatchTable> nameMatchTable(CodePage page, bool yoAsYe) {
    auto build = [](CodePage from, bool fold) {
        return std::make_shared<const KeyMatchTable>([from, fold](uint8_t search, uint8_t stored) {
            const std::string name = pageToAnsi(from, std::string{static_cast<char>(stored), 'x'});
            SearchCriteria one{std::string(1, static_cast<char>(search)), "", true};
            one.yoAsYe = fold;
            return searchAccepts(one, name, "");
        });
    };
    // Each table is made the first time a search needs it.
    constexpr size_t kPages = 5;
    static std::array<std::shared_ptr<const KeyMatchTable>, 2 * kPages> tables;
    static std::mutex guard;
    const size_t slot = static_cast<size_t>(page) * 2 + (yoAsYe ? 1 : 0);
    std::lock_guard<std::mutex> lock(guard);
    std::shared_ptr<const KeyMatchTable>& table = tables.at(slot);
    if (!table) table = build(page, yoAsYe);
    return table;
}

std::optional<KeyFilter> keyFilterFor(const SearchCriteria& search, CodePage page) {
    if (search.name.empty() || (!search.atStart && !search.phone.empty())) return std::nullopt;
    return KeyFilter(search.atStart ? KeyFilter::Kind::StartsWith : KeyFilter::Kind::Contains,
                     kFieldName, search.name, nameMatchTable(page, search.yoAsYe));
}

}  // namespace

std::optional<FieldBytesTest> searchBytesTest(const SearchCriteria& search) {
    if (search.phone.empty() || search.phoneDigits || (!search.atStart && !search.name.empty())) {
        return std::nullopt;
    }
    for (const char c : search.phone) {
        if (static_cast<uint8_t>(c) >= 0x80) return std::nullopt;
    }
    return FieldBytesTest{kFieldPhone1, search.phone, search.atStart, kFieldPhone2};
}

std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search, bool translated) {
    return keyFilterFor(search, translated ? CodePage::Cp866 : CodePage::Cp1251);
}

std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search,
                                         const TEngineDataSet& dataSet) {
    return keyFilterFor(search,
                        dataSet.TranslateASCII() ? dataSet.tableCodePage() : CodePage::Cp1251);
}

void attachSearch(TEngineDataSet& dataSet, const SearchCriteria& search) {
    dataSet.OnFilterRecord = [&search](TEngineDataSet& set, bool& accept) {
        DSetFilterRecord(search, set, accept);
    };
    dataSet.OnFilterKey = [&search](TEngineDataSet& set) { return searchKeyFilter(search, set); };
    dataSet.OnFilterBytes = [&search](TEngineDataSet&) { return searchBytesTest(search); };
}

}  // namespace abonex
