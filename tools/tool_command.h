// The sub-commands of abonex-db. Each command lives in its own cmd_*.cpp file and registers
// itself with a static CommandRegistrar, so adding a command touches no other file.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace abonex::tool {

using Args = std::vector<std::string>;

struct ToolCommand {
    std::string name;   // first word on the command line ("info", "index")
    std::string usage;  // one line shown by "abonex-db help"
    // Runs the command with the words after its name; returns the exit status. Engine errors
    // may propagate: the main routine prints their message on stderr and exits 1.
    std::function<int(const Args&)> run;
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

}  // namespace abonex::tool
