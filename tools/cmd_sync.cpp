// abonex-db sync OWN_DIR EXTERNAL_TABLE (--import | --export) [--apply mine|theirs]: compares a
// table of the program folder OWN_DIR with another copy of it, as the synchronisation window
// does (both index files rebuilt first). The own table is the file in OWN_DIR with the external
// table's name, in any letter case.
//
// Without --apply it prints the differences as UTF-8 CSV, one line per difference in list order
// after a header line, and exits 0, or 1 when there are none. With --apply it applies every
// difference to the own table (mine) or the external one (theirs), as the window does with every
// row checked, and prints how many rows were changed, added, deleted and skipped. Like search,
// the exit status tells whether anything was found; an error exits 3. --table-encoding takes the
// external table's text in the page it names, as the other commands do.
#include <exception>
#include <iostream>
#include <optional>

#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"
#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "sync OWN_DIR EXTERNAL_TABLE (--import | --export) [--apply mine|theirs] "
    "[--table-encoding PAGE]";
constexpr int kExitNoDifference = 1;
constexpr int kExitSyncFailed = 3;
constexpr std::string_view kExitStatus =
    "0 differences found (or applied), 1 none found, 2 usage error, 3 error";

std::vector<std::string> entryTexts(const DifferenceEntry& entry) {
    std::vector<std::string> texts{std::string(kindText(entry.kind))};
    for (const RecordTexts* record : {&entry.target, &entry.source}) {
        for (const std::string* text : {&record->name, &record->phone1, &record->phone2}) {
            texts.push_back(ansiToUtf8(*text));
        }
    }
    return texts;
}

int synchronise(const std::string& ownFolder, const std::string& externalTable,
                SyncDirection direction, std::optional<ChangeSide> side,
                std::optional<CodePage> externalPage) {
    const std::string external = expandPath(externalTable);
    if (!fileExistsAnyCase(external)) {
        printError("abonex-db: no such table: " + external);
        return kExitSyncFailed;
    }
    const std::string tableFileName(fileNamePart(external));
    const std::string externalFolder(directoryPart(external));
    const bool import = direction == SyncDirection::Import;

    TEngineDataSet source, target;
    openSyncTable(target, import ? ownFolder : externalFolder, tableFileName,
                  import ? std::nullopt : externalPage);
    openSyncTable(source, import ? externalFolder : ownFolder, tableFileName,
                  import ? externalPage : std::nullopt);
    reindexSyncTables(source, target);
    TableComparison comparison(source, target);
    comparison.run();
    const std::vector<DifferenceEntry>& entries = comparison.entries();

    if (!side) {
        std::cout << csvLine({"kind", "target_name", "target_phone1", "target_phone2",
                              "source_name", "source_phone1", "source_phone2"});
        for (const DifferenceEntry& entry : entries) std::cout << csvLine(entryTexts(entry));
        return entries.empty() ? kExitNoDifference : kExitOk;
    }
    TEngineDataSet change;
    const bool own = *side == ChangeSide::Own;
    openChangeTable(change, own ? ownFolder : externalFolder, tableFileName,
                    own ? std::nullopt : externalPage);
    requireIndexMatchesTable(change, IndexLook::EveryKey);
    DifferenceApply applying(change, direction, *side);
    const auto printCounts = [&] {
        const ApplyCounts& counts = applying.counts();
        printLine("changed " + std::to_string(counts.changed) + ", added " +
                  std::to_string(counts.added) + ", deleted " + std::to_string(counts.deleted) +
                  ", skipped " + std::to_string(counts.skipped));
    };
    try {
        applying.run(entries, std::vector<bool>(entries.size(), true));
    } catch (...) {
        printCounts();  // what was applied before the error stays applied
        throw;
    }
    printCounts();
    return kExitOk;
}

int runSync(const Args& args) {
    ToolOptions options(
        kUsage, {{"--import", false}, {"--export", false}, {"--apply", true}, kTableEncodingOption},
        kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    std::optional<CodePage> externalPage;
    if (auto exit = readPageOption(options, kTableEncodingOption.name, externalPage)) return *exit;
    if (options.words().size() != 2) return options.usageError();
    if (options.has("--import") == options.has("--export")) {
        return options.usageError("give one of --import and --export");
    }
    std::optional<ChangeSide> side;
    if (const std::optional<std::string> apply = options.value("--apply")) {
        if (*apply != "mine" && *apply != "theirs") {
            return options.usageError("--apply takes mine or theirs");
        }
        side = *apply == "mine" ? ChangeSide::Own : ChangeSide::External;
    }
    try {
        return synchronise(options.words()[0], options.words()[1],
                           options.has("--import") ? SyncDirection::Import : SyncDirection::Export,
                           side, externalPage);
    } catch (const std::exception& error) {
        std::cout.flush();
        printError(errorMessage(error));
        return kExitSyncFailed;
    }
}

const CommandRegistrar kSync({"sync", std::string(kUsage), runSync, std::string(kExitStatus),
                              kExitSyncFailed});

}  // namespace

}  // namespace abonex::tool
