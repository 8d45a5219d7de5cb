// abonex-db export TABLE [--tag NAME]: the live records as UTF-8 CSV with a header row, in the
// order of the tag (default: a directory table's name tag; --tag "" for record-number order).
// An index that names a record the table does not hold stops the export with an error.
#include <iostream>

#include "engine/dbf/codepage.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "export TABLE [--tag NAME]";

int runExport(const Args& args) {
    ToolOptions options(kUsage, {{"--tag", true}});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    TableLocation location = locateTable(options.words()[0]);
    const std::string tag = options.value("--tag").value_or(defaultOrderTag(location));
    TEngineDataSet set;
    openTable(set, location, tag, /*translate=*/false, /*readOnly=*/true);
    std::vector<std::string> header;
    for (int i = 0; i < set.FieldCount(); ++i) header.push_back(set.Fields(i).FieldName());
    std::cout << csvLine(header);
    for (set.First(); !set.Eof(); set.Next()) {
        requireRowInTable(set);
        std::vector<std::string> values;
        for (int i = 0; i < set.FieldCount(); ++i) {
            values.push_back(oemToUtf8(set.Fields(i).AsString()));
        }
        std::cout << csvLine(values);
    }
    return kExitOk;
}

const CommandRegistrar kExport({"export", std::string(kUsage), runExport});

}  // namespace

}  // namespace abonex::tool
