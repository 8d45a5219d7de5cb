// abonex-db demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]: a demo town
// directory — persons with Russian surnames and initials, organisations with their kinds and
// names, favourites taken from both — with the index files, the same for the same seed, in a
// folder that holds none of the directory's files yet.
#include <cstdint>
#include <limits>
#include <tuple>

#include "directory/directory_tables.h"
#include "directory/persons_generator.h"
#include "engine/index/production_index.h"
#include "tools/new_directory.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]";

void indexTable(const std::string& path, const DirectoryTable& table) {
    GSO_dBaseFld dbf(path, false, true);
    createProductionIndex(dbf, table.tagName, nameTagExpression(table));
}

int runDemo(const Args& args) {
    ToolOptions options(
        kUsage, {{"--persons", true}, {"--orgs", true}, {"--favourites", true}, {"--seed", true}});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    long persons = 5000, orgs = 800, favourites = 25, seed = 2026;
    // A table holds at most as many records as a 32-bit count says.
    constexpr long kMostRows = std::numeric_limits<int32_t>::max();
    for (auto [name, target, most] : {std::tuple{"--persons", &persons, kMostRows},
                                      {"--orgs", &orgs, kMostRows},
                                      {"--favourites", &favourites, kMostRows},
                                      {"--seed", &seed, std::numeric_limits<long>::max()}}) {
        if (auto exit = options.readNumber(name, "a count", 0, most, *target)) return *exit;
    }
    const std::optional<std::string> folder = newDirectoryFolder(options.words()[0]);
    if (!folder) return kExitFailed;
    const std::string& dir = *folder;

    demo::PersonsGenerator generator(static_cast<uint64_t>(seed));
    const DirectoryTable& personsTable = directoryTable(DirectoryMode::Persons);
    std::string phonePath = dir + std::string(personsTable.tableFile);
    demo::writePersonsTable(phonePath, static_cast<int>(persons), static_cast<uint64_t>(seed));
    indexTable(phonePath, personsTable);

    std::vector<demo::PersonRow> orgRows;
    for (long i = 0; i < orgs; ++i) orgRows.push_back(generator.nextOrganisation());
    const DirectoryTable& orgTable = directoryTable(DirectoryMode::Organisations);
    std::string orgPath = dir + std::string(orgTable.tableFile);
    demo::writeRows(orgPath, directoryFieldSpecs(orgTable), orgRows);
    indexTable(orgPath, orgTable);

    std::vector<demo::PersonRow> favouriteRows;
    for (long i = 0; i < favourites; ++i) {
        demo::PersonRow row = i % 3 == 2 && !orgRows.empty()
                                  ? orgRows[static_cast<size_t>(i) % orgRows.size()]
                                  : generator.next();
        row.comment.clear();
        favouriteRows.push_back(row);
    }
    const DirectoryTable& favouriteTable = directoryTable(DirectoryMode::Favourites);
    std::string favouritePath = dir + std::string(favouriteTable.tableFile);
    demo::writeRows(favouritePath, directoryFieldSpecs(favouriteTable), favouriteRows);
    indexTable(favouritePath, favouriteTable);

    printLine("demo directory " + dir + ": " + std::to_string(persons) + " persons, " +
              std::to_string(orgs) + " organisations, " + std::to_string(favourites) +
              " favourites");
    return kExitOk;
}

const CommandRegistrar kDemo({"demo", std::string(kUsage), runDemo});

}  // namespace

}  // namespace abonex::tool
