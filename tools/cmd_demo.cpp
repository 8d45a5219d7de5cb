// abonex-db demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]: a demo town
// directory — persons with Russian surnames and initials, organisations with their kinds and
// names, favourites taken from both — with the index files, the same for the same seed, in a
// folder that holds none of the directory's files yet.
#include <cstdint>
#include <limits>
#include <tuple>

#include "directory/directory_tables.h"
#include "directory/persons_generator.h"
#include "directory/table_writer.h"
#include "tools/new_directory.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]";

int runDemo(const Args& args) {
    ToolOptions options(
        kUsage, {{"--persons", true}, {"--orgs", true}, {"--favourites", true}, {"--seed", true}});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    long persons = 5000, orgs = 800, favouriteCount = 25, seed = 2026;
    // A table holds at most as many records as a 32-bit count says.
    constexpr long kMostRows = std::numeric_limits<int32_t>::max();
    for (auto [name, target, most] : {std::tuple{"--persons", &persons, kMostRows},
                                      {"--orgs", &orgs, kMostRows},
                                      {"--favourites", &favouriteCount, kMostRows},
                                      {"--seed", &seed, std::numeric_limits<long>::max()}}) {
        if (auto exit = options.readNumber(name, "a count", 0, most, *target)) return *exit;
    }
    const std::optional<std::string> folder = newDirectoryFolder(options.words()[0]);
    if (!folder) return kExitFailed;

    demo::PersonsGenerator generator(static_cast<uint64_t>(seed));
    const std::string& dir = *folder;
    demo::writePersonsTable(dir + std::string(directoryTable(DirectoryMode::Persons).tableFile),
                            static_cast<int>(persons), static_cast<uint64_t>(seed));

    std::vector<DirectoryRow> orgRows;
    for (long i = 0; i < orgs; ++i) orgRows.push_back(generator.nextOrganisation());
    const DirectoryTable& orgTable = directoryTable(DirectoryMode::Organisations);
    writeDirectoryTable(dir + std::string(orgTable.tableFile), orgTable, orgRows);

    // Favourites: persons, with every third an organisation; the user's own notes are empty.
    DirectoryTableWriter favourites(
        dir + std::string(directoryTable(DirectoryMode::Favourites).tableFile),
        directoryTable(DirectoryMode::Favourites));
    for (long i = 0; i < favouriteCount; ++i) {
        DirectoryRow row = i % 3 == 2 && !orgRows.empty()
                               ? orgRows[static_cast<size_t>(i) % orgRows.size()]
                               : generator.next();
        row.comment.clear();
        favourites.add(row);
    }
    favourites.finish();

    printLine("demo directory " + dir + ": " + std::to_string(persons) + " persons, " +
              std::to_string(orgs) + " organisations, " + std::to_string(favouriteCount) +
              " favourites");
    return kExitOk;
}

const CommandRegistrar kDemo({"demo", std::string(kUsage), runDemo});

}  // namespace

}  // namespace abonex::tool
