// The sub-commands of abonex-db. Each command lives in its own cmd_*.cpp file and registers
// itself with a static CommandRegistrar, so adding a command touches no other file. A command
// reads its words through ToolOptions (tools/tool_options.h), which gives every command the
// same --help, the same usage errors and the same rule for words that begin with "-".
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace abonex::tool {

using Args = std::vector<std::string>;

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an error: the message is on stderr
inline constexpr int kExitUsage = 2;   // a wrong command line: the usage is on stderr

// What most commands' exit statuses mean, as "abonex-db help" and --help print it.
inline constexpr std::string_view kCommonExitStatus = "0 done, 1 error, 2 usage error";

struct ToolCommand {
    std::string name;   // first word on the command line ("info", "index")
    std::string usage;  // one line shown by "abonex-db help"
    // Runs the command with the words after its name; returns the exit status. Engine errors
    // may propagate: the main routine prints their message on stderr and exits 1.
    std::function<int(const Args&)> run;
    // The meaning of the command's exit statuses, shown by "abonex-db help".
    std::string exitStatus = std::string(kCommonExitStatus);
    // The status of an error, among them output that could not be written.
    int errorStatus = kExitFailed;
};

class CommandRegistrar {
  public:
    explicit CommandRegistrar(ToolCommand command);
};

const std::vector<ToolCommand>& registeredCommands();

// Reports a usage error on stderr and returns exit status 2.
int usageError(std::string_view message);

// Prints a UTF-8 line on stdout.
void printLine(std::string_view line);
// Prints a UTF-8 line on stderr.
void printError(std::string_view line);
// The message for output that could not be written (`error`: the errno of the failed write,
// 0 when unknown).
std::string outputWriteError(int error);

}  // namespace abonex::tool
