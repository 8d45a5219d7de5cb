// Desktop: the desktop's programs that open links for the program (its web pages, the support
// mail, the licence text, a "tel:" number for the desktop phone), behind a small interface of
// our own so that tests can stand in for the desktop.
//
// Opening is asynchronous: the desktop's launcher (xdg-open) answers with its exit status
// after the link was asked for, through the event loop, and only then is it known whether a
// program took the link. The real desktop runs the launcher and reports its exit; a launcher
// that is still running after kSettleMilliseconds has handed the link on (some wait for the
// program they started). Without a launcher on the path, QDesktopServices is asked instead.
// Tests install a recorder that can refuse, at once or later, and check the addresses it was
// asked to open.
#pragma once

#include <functional>

class QUrl;

namespace abonex {

class Desktop {
  public:
    // Called once with whether the desktop's program for the link took it.
    using Outcome = std::function<void(bool opened)>;

    // How long a launcher may run before the link counts as handed on.
    static constexpr int kSettleMilliseconds = 5000;

    virtual ~Desktop() = default;
    // Asks the desktop to open `url` with its program for it; `outcome` (may be empty) is
    // called once, at once or later from the event loop, never inside a call of its own.
    virtual void openUrl(const QUrl& url, Outcome outcome) = 0;

    // The desktop links are opened with.
    static Desktop& current();
    // Tests: `desktop` answers from now on (nullptr: the real desktop again). Not owned.
    static void install(Desktop* desktop);
};

}  // namespace abonex
