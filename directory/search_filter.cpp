#include "directory/search_filter.h"

#include <array>
#include <exception>
#include <memory>

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

bool searchAccepts(const SearchCriteria& search, std::string_view name, std::string_view phone,
                   bool accept) {
    std::string upperName = ansiUpper(name);
    std::string wantedName = ansiUpper(search.name);
    if (search.atStart) {
        // The first L characters of the name against the search text: a stored name shorter
        // than the search text can never match.
        bool nameMatches = std::string_view(upperName).substr(0, wantedName.size()) == wantedName;
        bool phoneMatches = phone.substr(0, search.phone.size()) == search.phone;
        return nameMatches && phoneMatches;
    }
    if (search.name.empty() && search.phone.empty()) return accept;
    bool nameFound = !wantedName.empty() && upperName.find(wantedName) != std::string::npos;
    bool phoneFound = !search.phone.empty() && phone.find(search.phone) != std::string_view::npos;
    return nameFound || phoneFound;
}

void DSetFilterRecord(const SearchCriteria& search, TEngineDataSet& dataSet, bool& accept) {
    try {
        std::string name = dataSet.Fields(kFieldName).AsString();
        std::string phone = dataSet.Fields(kFieldPhone1).AsString();
        accept = searchAccepts(search, name, phone, accept);
    } catch (const std::exception&) {
        // A row that cannot be read is left as the caller preset it; searching never fails.
    }
}

namespace {

// Which stored bytes stand for which search bytes: the filter's own name test on a name whose
// first byte is the stored one (another byte after it, so that nothing is trimmed away), as the
// data set hands it over from `page` (1251: as stored).
std::shared_ptr<const KeyMatchTable> nameMatchTable(CodePage page) {
    auto build = [](CodePage from) {
        return std::make_shared<const KeyMatchTable>([from](uint8_t search, uint8_t stored) {
            const std::string name = pageToAnsi(from, std::string{static_cast<char>(stored), 'x'});
            return searchAccepts({std::string(1, static_cast<char>(search)), "", true}, name, "");
        });
    };
    static const std::array<std::shared_ptr<const KeyMatchTable>, 5> tables = {
        build(CodePage::Cp866), build(CodePage::Cp1251), build(CodePage::Cp437),
        build(CodePage::Cp850), build(CodePage::Cp1252)};
    return tables.at(static_cast<size_t>(page));
}

std::optional<KeyFilter> keyFilterFor(const SearchCriteria& search, CodePage page) {
    if (search.name.empty() || (!search.atStart && !search.phone.empty())) return std::nullopt;
    return KeyFilter(search.atStart ? KeyFilter::Kind::StartsWith : KeyFilter::Kind::Contains,
                     kFieldName, search.name, nameMatchTable(page));
}

}  // namespace

std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search, bool translated) {
    return keyFilterFor(search, translated ? CodePage::Cp866 : CodePage::Cp1251);
}

std::optional<KeyFilter> searchKeyFilter(const SearchCriteria& search,
                                         const TEngineDataSet& dataSet) {
    return keyFilterFor(search,
                        dataSet.TranslateASCII() ? dataSet.tableCodePage() : CodePage::Cp1251);
}

}  // namespace abonex
