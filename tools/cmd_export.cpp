// abonex-db export TABLE [--tag NAME]: the live records as UTF-8 CSV with a header row, in the
// order of the tag (default: a directory table's name tag; --tag "" for record-number order).
#include <iostream>

#include "engine/dbf/codepage.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

int runExport(const Args& args) {
    if (args.empty()) return usageError("usage: abonex-db export TABLE [--tag NAME]");
    TableLocation location = locateTable(args[0]);
    std::string tag = defaultOrderTag(location);
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--tag" && i + 1 < args.size()) {
            tag = args[++i];
        } else {
            return usageError("usage: abonex-db export TABLE [--tag NAME]");
        }
    }
    TEngineDataSet set;
    openTable(set, location, tag, /*translate=*/false, /*readOnly=*/true);
    std::vector<std::string> header;
    for (int i = 0; i < set.FieldCount(); ++i) header.push_back(set.Fields(i).FieldName());
    std::cout << csvLine(header);
    for (set.First(); !set.Eof(); set.Next()) {
        std::vector<std::string> values;
        for (int i = 0; i < set.FieldCount(); ++i) {
            values.push_back(oemToUtf8(set.Fields(i).AsString()));
        }
        std::cout << csvLine(values);
    }
    return 0;
}

const CommandRegistrar kExport({"export", "export TABLE [--tag NAME]", runExport});

}  // namespace

}  // namespace abonex::tool
