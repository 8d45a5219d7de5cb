// abonex-db sync OWN_DIR EXTERNAL_TABLE (--import | --export) [--apply mine|theirs]: compares a
// table of the program folder OWN_DIR with another copy of it, as the synchronisation window
// does (both index files rebuilt first). The own table is the file in OWN_DIR with the external
// table's name, in any letter case.
//
// Without --apply it prints the differences as UTF-8 CSV, one line per difference in list order
// after a header line, and exits 0, or 1 when there are none. With --apply it applies every
// difference to the own table (mine) or the external one (theirs), as the window does with every
// row checked, and prints how many rows were changed, added, deleted and skipped.
#include <iostream>

#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"
#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "tools/csv.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "sync OWN_DIR EXTERNAL_TABLE (--import | --export) [--apply mine|theirs]";

struct SyncOptions {
    std::string ownFolder;
    std::string externalTable;
    bool directionGiven = false;
    SyncDirection direction = SyncDirection::Import;
    bool apply = false;
    ChangeSide side = ChangeSide::Own;
};

// False on a usage error.
bool parseOptions(const Args& args, SyncOptions& options) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--import" || word == "--export") {
            const auto direction =
                word == "--import" ? SyncDirection::Import : SyncDirection::Export;
            if (options.directionGiven && options.direction != direction) return false;
            options.directionGiven = true;
            options.direction = direction;
        } else if (word == "--apply") {
            if (options.apply || i + 1 >= args.size()) return false;
            const std::string& side = args[++i];
            if (side != "mine" && side != "theirs") return false;
            options.apply = true;
            options.side = side == "mine" ? ChangeSide::Own : ChangeSide::External;
        } else if (word.size() > 1 && word.front() == '-') {
            return false;
        } else {
            paths.push_back(word);
        }
    }
    if (paths.size() != 2 || !options.directionGiven) return false;
    options.ownFolder = paths[0];
    options.externalTable = paths[1];
    return true;
}

std::vector<std::string> entryTexts(const DifferenceEntry& entry) {
    std::vector<std::string> texts{std::string(kindText(entry.kind))};
    for (const RecordTexts* record : {&entry.target, &entry.source}) {
        for (const std::string* text : {&record->name, &record->phone1, &record->phone2}) {
            texts.push_back(ansiToUtf8(*text));
        }
    }
    return texts;
}

int runSync(const Args& args) {
    for (const std::string& word : args) {
        if (word == "-h" || word == "--help") {
            printLine("usage: abonex-db " + std::string(kUsage));
            return 0;
        }
    }
    SyncOptions options;
    if (!parseOptions(args, options)) return usageError("usage: abonex-db " + std::string(kUsage));
    const std::string external = expandPath(options.externalTable);
    if (!fileExistsAnyCase(external)) {
        printError("abonex-db: no such table: " + external);
        return 1;
    }
    const std::string tableFileName(fileNamePart(external));
    const std::string externalFolder(directoryPart(external));
    const bool import = options.direction == SyncDirection::Import;

    TEngineDataSet source, target;
    openSyncTable(target, import ? options.ownFolder : externalFolder, tableFileName);
    openSyncTable(source, import ? externalFolder : options.ownFolder, tableFileName);
    source.ReindexAll();
    target.ReindexAll();
    TableComparison comparison(source, target);
    comparison.run();
    const std::vector<DifferenceEntry>& entries = comparison.entries();

    if (!options.apply) {
        std::cout << csvLine({"kind", "target_name", "target_phone1", "target_phone2",
                              "source_name", "source_phone1", "source_phone2"});
        for (const DifferenceEntry& entry : entries) std::cout << csvLine(entryTexts(entry));
        return entries.empty() ? 1 : 0;
    }
    TEngineDataSet change;
    openChangeTable(change, options.side == ChangeSide::Own ? options.ownFolder : externalFolder,
                    tableFileName);
    DifferenceApply applying(change, options.direction, options.side);
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
    return 0;
}

const CommandRegistrar kSync({"sync", std::string(kUsage), runSync});

}  // namespace

}  // namespace abonex::tool
