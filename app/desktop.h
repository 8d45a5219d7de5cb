// Desktop: the desktop's programs that open links for the program (its web pages, the support
// mail, the licence text, a "tel:" number for the desktop phone), behind a small interface of
// our own so that tests can stand in for the desktop.
//
// The real one is QDesktopServices; tests install a recorder that can refuse, and check the
// addresses it was asked to open.
#pragma once

class QUrl;

namespace abonex {

class Desktop {
  public:
    virtual ~Desktop() = default;
    // Asks the desktop to open `url` with its program for it; false when it cannot.
    virtual bool openUrl(const QUrl& url) = 0;

    // The desktop links are opened with.
    static Desktop& current();
    // Tests: `desktop` answers from now on (nullptr: the real desktop again). Not owned.
    static void install(Desktop* desktop);
};

}  // namespace abonex
