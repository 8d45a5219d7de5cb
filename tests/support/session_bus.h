// A private session bus for one test: `dbus-daemon --session` on a socket in a folder of its
// own, never the user's bus. The programs it starts on demand come from the service files under
// `dataHome`/dbus-1/services and get the daemon's environment plus `environment` (NAME=VALUE).
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace abonex::test {

class PrivateSessionBus {
  public:
    explicit PrivateSessionBus(const std::string& dataHome,
                               const std::vector<std::string>& environment = {});
    // Ends the daemon (by its process id); the programs it started see the bus go.
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // The bus address ("unix:path=...,guid=..."); empty when the daemon did not start, and
    // then error() says why.
    const std::string& address() const { return m_address; }
    const std::string& error() const { return m_error; }

    // `gdbus call` on this bus: the method `interfaceMethod` ("org.x.Y.Method") of `path` at
    // `destination`, with `arguments` in GVariant text form (each word given as it is).
    CommandResult call(const std::string& destination, const std::string& path,
                       const std::string& interfaceMethod,
                       const std::vector<std::string>& arguments = {}) const;
    // Whether a program holds `name` on the bus now.
    bool nameHasOwner(const std::string& name) const;

  private:
    TempDir m_socketDir;
    std::string m_address;
    std::string m_error;
    int m_pid = 0;
};

}  // namespace abonex::test
