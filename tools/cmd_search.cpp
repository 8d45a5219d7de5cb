// abonex-db search TABLE [--name TEXT] [--phone TEXT] [--anywhere]: the rows the main window
// shows for that search, in name order, as UTF-8 CSV.
#include <iostream>

#include "app/search_filter.h"
#include "engine/dbf/codepage.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "search TABLE [--name TEXT] [--phone TEXT] [--anywhere]";

int runSearch(const Args& args) {
    if (args.empty()) return usageError("usage: abonex-db " + std::string(kUsage));
    SearchCriteria search;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string_view option = args[i];
        if ((option == "--name" || option == "--phone") && i + 1 < args.size()) {
            std::optional<std::string> ansi = utf8ToAnsi(args[++i]);
            if (!ansi) return usageError("the search text holds a character code page 1251 lacks");
            (option == "--name" ? search.name : search.phone) = *ansi;
        } else if (option == "--anywhere") {
            search.atStart = false;
        } else {
            return usageError("usage: abonex-db " + std::string(kUsage));
        }
    }
    TableLocation location = locateTable(args[0]);
    TEngineDataSet set;
    set.setFiltered(true);
    set.OnFilterRecord = [&search](TEngineDataSet& dataSet, bool& accept) {
        DSetFilterRecord(search, dataSet, accept);
    };
    openTable(set, location, defaultOrderTag(location), /*translate=*/true, /*readOnly=*/true);
    std::vector<std::string> header;
    for (int i = 0; i < set.FieldCount(); ++i) header.push_back(set.Fields(i).FieldName());
    std::cout << csvLine(header);
    for (set.First(); !set.Eof(); set.Next()) {
        std::vector<std::string> values;
        for (int i = 0; i < set.FieldCount(); ++i)
            values.push_back(ansiToUtf8(set.Fields(i).AsString()));
        std::cout << csvLine(values);
    }
    return 0;
}

const CommandRegistrar kSearch({"search", std::string(kUsage), runSearch});

}  // namespace

}  // namespace abonex::tool
