#include "app/desktop.h"

#include <QDesktopServices>
#include <QUrl>

namespace abonex {

namespace {

class SystemDesktop : public Desktop {
  public:
    bool openUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

Desktop*& installed() {
    static Desktop* desktop = nullptr;
    return desktop;
}

}  // namespace

Desktop& Desktop::current() {
    static SystemDesktop system;
    return installed() != nullptr ? *installed() : system;
}

void Desktop::install(Desktop* desktop) {
    installed() = desktop;
}

}  // namespace abonex
