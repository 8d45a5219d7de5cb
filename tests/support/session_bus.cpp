#include "tests/support/session_bus.h"

#include <signal.h>

#include <sstream>

namespace abonex::test {

PrivateSessionBus::PrivateSessionBus(const std::string& dataHome,
                                     const std::vector<std::string>& environment) {
    std::string command =
        "env XDG_DATA_HOME=" + shellQuote(dataHome) + " XDG_DATA_DIRS=" + shellQuote(dataHome);
    for (const std::string& setting : environment) command += " " + shellQuote(setting);
    command += " dbus-daemon --session --fork --print-address=1 --print-pid=1 --address=" +
               shellQuote("unix:dir=" + m_socketDir.path());
    const CommandResult started = runCommand(command);
    std::istringstream lines(started.out);
    std::string address, pid;
    std::getline(lines, address);
    std::getline(lines, pid);
    if (started.status != 0 || address.empty() || pid.empty()) {
        m_error = "dbus-daemon did not start (" + std::to_string(started.status) +
                  "): " + started.out + started.err;
        return;
    }
    m_address = address;
    m_pid = std::stoi(pid);
}

PrivateSessionBus::~PrivateSessionBus() {
    if (m_pid > 0) ::kill(m_pid, SIGTERM);
}

CommandResult PrivateSessionBus::call(const std::string& destination, const std::string& path,
                                      const std::string& interfaceMethod,
                                      const std::vector<std::string>& arguments) const {
    std::string command = "gdbus call --timeout 60 --address " + shellQuote(m_address) +
                          " --dest " + shellQuote(destination) + " --object-path " +
                          shellQuote(path) + " --method " + shellQuote(interfaceMethod);
    for (const std::string& argument : arguments) command += " " + shellQuote(argument);
    return runCommand(command);
}

bool PrivateSessionBus::nameHasOwner(const std::string& name) const {
    const CommandResult result = call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus.NameHasOwner", {name});
    return result.out.find("true") != std::string::npos;
}

}  // namespace abonex::test
