// abonex-db: the command-line tool over the storage engine and the directory logic.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>

#include "directory/program_version.h"
#include "directory/shared_folder.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

std::vector<ToolCommand>& commandList() {
    static std::vector<ToolCommand> commands;
    return commands;
}

void printUsage(std::ostream& out) {
    out << "usage: abonex-db COMMAND [ARGUMENTS]\n"
           "       abonex-db COMMAND --help\n\n"
           "A word that begins with \"-\" is an option; after \"--\" every word is taken as\n"
           "it is. Every command takes -h and --help; abonex-db --version shows the version.\n"
           "\ncommands:\n";
    std::vector<ToolCommand> sorted = commandList();
    std::sort(sorted.begin(), sorted.end(),
              [](const ToolCommand& a, const ToolCommand& b) { return a.usage < b.usage; });
    for (const auto& command : sorted) {
        out << "  abonex-db " << command.usage << "\n      exit status: " << command.exitStatus
            << '\n';
    }
}

}  // namespace

CommandRegistrar::CommandRegistrar(ToolCommand command) {
    commandList().push_back(std::move(command));
}

const std::vector<ToolCommand>& registeredCommands() {
    return commandList();
}

int usageError(std::string_view message) {
    std::cerr << "abonex-db: " << message << '\n';
    return 2;
}

void printLine(std::string_view line) {
    std::cout << line << '\n';
}

void printError(std::string_view line) {
    std::cout.flush();
    std::cerr << line << '\n';
}

std::string outputWriteError(int error) {
    std::string message = "abonex-db: cannot write to standard output";
    if (error != 0) message += std::string(": ") + std::strerror(error);
    return message;
}

}  // namespace abonex::tool

int main(int argc, char** argv) {
    using namespace abonex::tool;
    abonex::shareNewFilesWithGroup(abonex::programFolder());
    const std::string_view first = argc < 2 ? std::string_view() : std::string_view(argv[1]);
    if (argc < 2 || first == "help" || first == "--help" || first == "-h") {
        printUsage(argc < 2 ? std::cerr : std::cout);
        return argc < 2 ? 2 : 0;
    }
    if (first == "--version") {
        std::cout << "abonex-db (Абонекс) " << abonex::kProgramVersion << '\n';
        return 0;
    }
    std::string_view name = argv[1];
    Args args(argv + 2, argv + argc);
    for (const auto& command : registeredCommands()) {
        if (command.name != name) continue;
        int status = kExitOk;
        try {
            status = command.run(args);
        } catch (const std::exception& error) {
            std::cout.flush();
            std::cerr << errorMessage(error) << '\n';
            return 1;
        }
        // What the command printed may not have reached its file (a full disk): that is no
        // success.
        errno = 0;
        std::cout.flush();
        if (!std::cout) {
            std::cerr << outputWriteError(errno) << '\n';
            return command.errorStatus;
        }
        return status;
    }
    std::cerr << "abonex-db: unknown command \"" << name << "\"\n";
    printUsage(std::cerr);
    return 2;
}
