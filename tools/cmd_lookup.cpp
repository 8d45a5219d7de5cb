// abonex-db lookup FOLDER NUMBER [--town-code CODE]: the rows of the directory in FOLDER that a
// call from NUMBER finds, as the window finds the caller (directory/number_lookup.h): both
// phones of the favourites, the organisations and the persons, the longest matches only,
// favourites first. UTF-8 CSV, each row after the name of the table it is in; like grep, the
// exit status tells whether anything was found, and nothing is printed when nothing was.
// A table missing from the folder is passed over; a folder with none of them is an error.
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "directory/number_lookup.h"
#include "engine/file/path_util.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "lookup FOLDER NUMBER [--town-code CODE]";
constexpr int kExitNoneFound = 1;
constexpr int kExitLookupFailed = 3;
constexpr std::string_view kExitStatus = "0 rows found, 1 none found, 2 usage error, 3 error";

int lookup(std::string folder, NumberLookup& number) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    if (number.scanFolder(expandPath(folder)) == 0) {
        throw std::runtime_error(folder + " holds no table of the directory");
    }
    const std::vector<NumberMatch> found = number.matches();
    if (found.empty()) return kExitNoneFound;
    std::cout << csvLine({"TABLE", "NAME", "PHONE1", "PHONE2", "COMMENT"});
    for (const NumberMatch& match : found) {
        std::cout << csvLine({std::string(directoryTable(match.mode).tableFile), match.row.name,
                              match.row.phone1, match.row.phone2, match.row.comment});
    }
    return kExitOk;
}

int runLookup(const Args& args) {
    ToolOptions options(kUsage, {{"--town-code", true}}, kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 2) return options.usageError();
    const std::string townCode = options.value("--town-code").value_or("");
    for (const char c : townCode) {
        if (c < '0' || c > '9') {
            return options.usageError("--town-code needs the digits of a code, not \"" + townCode +
                                      "\"");
        }
    }
    NumberLookup number(options.words()[1], townCode);
    if (!number.valid()) return options.usageError("the number holds no digit");
    try {
        return lookup(options.words()[0], number);
    } catch (const std::exception& error) {
        std::cout.flush();
        printError(errorMessage(error));
        return kExitLookupFailed;
    }
}

const CommandRegistrar kLookup({"lookup", std::string(kUsage), runLookup, std::string(kExitStatus),
                                kExitLookupFailed});

}  // namespace

}  // namespace abonex::tool
