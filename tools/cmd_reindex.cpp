// abonex-db reindex TABLE [MDXFILE...]: rebuilds every tag of the index files of a table (by
// default its production index file: same folder and base name, ".MDX").
#include <string>
#include <vector>

#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

int runReindex(const Args& args) {
    if (args.empty()) return usageError("usage: abonex-db reindex TABLE [MDXFILE...]");
    GSO_dBaseFld table(args[0], true, true);
    std::vector<std::string> files(args.begin() + 1, args.end());
    if (files.empty()) files.push_back(productionIndexPath(table));
    for (const auto& name : files) {
        GSobjMDXFile file(table, name);
        file.Reindex();
        printLine("reindexed " + file.path() + ": " + std::to_string(file.tags().size()) +
                  " tags, " + std::to_string(table.recordCount()) + " records");
        file.close();
    }
    return 0;
}

const CommandRegistrar kReindex({"reindex", "reindex TABLE [MDXFILE...]", runReindex});

}  // namespace

}  // namespace abonex::tool
