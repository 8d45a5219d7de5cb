#include "app/search_filter.h"

#include <exception>

#include "app/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
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

}  // namespace abonex
