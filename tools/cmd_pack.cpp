// abonex-db pack TABLE: removes the records marked deleted for good. The live records are
// written in the order of the table's name tag (record-number order for a table that is not
// one of the directory's) to a new file that replaces the table, and the table's index files
// are rebuilt (engine/dataset/table_pack.h). Refused while another copy of the program has the
// table open.
#include "engine/dataset/table_pack.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "pack TABLE [--table-encoding PAGE]";

int runPack(const Args& args) {
    ToolOptions options(kUsage, {kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    std::optional<CodePage> tablePage;
    if (auto exit = readPageOption(options, kTableEncodingOption.name, tablePage)) return *exit;
    const TableLocation location = locateTable(options.words()[0]);
    TEngineDataSet set;
    // Set up as every other command opens it; the pack opens it again, exclusively.
    openTable(set, location, defaultOrderTag(location), /*translate=*/false, /*readOnly=*/true,
              tablePage);
    set.Close();
    try {
        const PackResult result = packTable(set);
        printLine("packed " + result.tablePath + ": " + std::to_string(result.liveRecords) +
                  " records kept, " + std::to_string(result.deletedRecords) +
                  " deleted records removed");
    } catch (const ETableInUse& refused) {
        printError(std::string("abonex-db: ") + refused.what());
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistrar kPack({"pack", std::string(kUsage), runPack});

}  // namespace

}  // namespace abonex::tool
