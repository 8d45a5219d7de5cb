// abonex-db demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]: a demo town
// directory — persons with Russian surnames and initials, organisations with their kinds and
// names, favourites taken from both — with the index files, the same for the same seed.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>

#include "app/directory_tables.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/production_index.h"
#include "tools/persons_generator.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "demo DIR [--persons N] [--orgs N] [--favourites N] [--seed S]";

bool parseCount(const std::string& text, long& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

void indexTable(const std::string& path, const DirectoryTable& table) {
    GSO_dBaseFld dbf(path, false, true);
    createProductionIndex(dbf, table.tagName, nameTagExpression(table));
}

int runDemo(const Args& args) {
    if (args.empty()) return usageError("usage: abonex-db " + std::string(kUsage));
    long persons = 5000, orgs = 800, favourites = 25, seed = 2026;
    for (size_t i = 1; i < args.size(); ++i) {
        long* target = args[i] == "--persons"      ? &persons
                       : args[i] == "--orgs"       ? &orgs
                       : args[i] == "--favourites" ? &favourites
                       : args[i] == "--seed"       ? &seed
                                                   : nullptr;
        if (target == nullptr || i + 1 >= args.size() || !parseCount(args[i + 1], *target)) {
            return usageError("usage: abonex-db " + std::string(kUsage));
        }
        ++i;
    }
    std::string dir = args[0];
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        raiseEngineError(errnoToEngineCode(errno, true), sub::kCreate, dir);
    }
    if (dir.back() != '/') dir += '/';

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
    return 0;
}

const CommandRegistrar kDemo({"demo", std::string(kUsage), runDemo});

}  // namespace

}  // namespace abonex::tool
