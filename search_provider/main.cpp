// abonex-search-provider: the directory in the desktop's own search box, started by the session
// bus when GNOME Shell or KRunner first asks and ended when nobody has asked for a while.
//
//   abonex-search-provider [--idle-seconds N]   serve the desktop search (N: 60 by default)
//   abonex-search-provider --copy TEXT          hold TEXT on the clipboard until another
//                                               program takes the clipboard (at most an hour)
#include <QClipboard>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "search_provider/desktop_actions.h"
#include "search_provider/desktop_provider.h"
#include "search_provider/desktop_search.h"
#include "search_provider/provider_bus.h"
#include "search_provider/provider_folder.h"

namespace {

constexpr int kDefaultIdleSeconds = 60;
constexpr int kClipboardHoldMilliseconds = 60 * 60 * 1000;

int usage() {
    std::fprintf(stderr,
                 "usage: abonex-search-provider [--idle-seconds N]\n"
                 "       abonex-search-provider --copy TEXT\n");
    return 2;
}

int holdClipboard(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QString::fromUtf8(argv[2]));
    QObject::connect(clipboard, &QClipboard::dataChanged, &app, [&] {
        if (!clipboard->ownsClipboard()) app.quit();
    });
    QTimer::singleShot(kClipboardHoldMilliseconds, &app, &QCoreApplication::quit);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace abonex;
    if (argc >= 2 && std::strcmp(argv[1], SystemDesktopActions::kCopyOption) == 0) {
        return argc == 3 ? holdClipboard(argc, argv) : usage();
    }
    int idleSeconds = kDefaultIdleSeconds;
    if (argc == 3 && std::strcmp(argv[1], "--idle-seconds") == 0) {
        try {
            size_t used = 0;
            idleSeconds = std::stoi(argv[2], &used);
            if (used != std::strlen(argv[2]) || idleSeconds < 1) return usage();
        } catch (const std::exception&) {
            return usage();
        }
    } else if (argc != 1) {
        return usage();
    }

    QCoreApplication app(argc, argv);
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString folder = desktopSearchFolder(programFolder);
    DesktopSearch search(folder.toStdString());
    SystemDesktopActions actions(programFolder, folder);
    DesktopProvider provider(search, actions, idleSeconds * 1000);
    QObject::connect(&provider, &DesktopProvider::idle, &app, &QCoreApplication::quit);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "abonex-search-provider: no session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    const QString error = publishProviders(bus, provider, &app);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "abonex-search-provider: %s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}
