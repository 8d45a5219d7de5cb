// abonex-db calls: the user's call log (directory/call_log.h) as UTF-8 CSV, the newest call
// first: the log of $XDG_DATA_HOME/abonex/ (by default ~/.local/share/abonex/), the folder the
// window logs its calls in. A user who has had no call yet has an empty log: the header alone.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "directory/call_log.h"
#include "tools/csv.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "calls";

// "20261210" as "2026-12-10"; a date of another form as it is stored.
std::string shownDate(const std::string& date) {
    if (date.size() != 8) return date;
    return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
}

int runCalls(const Args& args) {
    ToolOptions options(kUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    if (!options.words().empty()) return options.usageError();
    std::vector<CallLogEntry> calls;
    try {
        calls = CallLog(callLogFolder()).entries();
    } catch (const std::exception& error) {
        printError(error.what());
        return kExitFailed;
    }
    std::string text = csvLine({"DATE", "TIME", "DIRECTION", "NUMBER", "NAME", "RINGS", "LINE"});
    for (const CallLogEntry& call : calls) {
        text += csvLine({shownDate(call.date), call.time,
                         std::string(callDirectionWord(call.direction)), call.number, call.name,
                         std::to_string(call.rings), std::string(callLineWord(call.line))});
    }
    std::cout << text;
    return kExitOk;
}

const CommandRegistrar kCalls({"calls", std::string(kUsage), runCalls});

}  // namespace

}  // namespace abonex::tool
