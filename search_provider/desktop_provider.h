// DesktopProvider: the desktop search as both desktops ask for it, behind their D-Bus
// interfaces (gnome_search_provider.h, krunner_runner.h): find rows for the words typed, tell
// what a row shows, open the window on a row or copy its number, and say when nobody has asked
// for a while, so the program, started on demand by the bus, can end.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <optional>
#include <vector>

#include "search_provider/desktop_search.h"

namespace abonex {

class DesktopActions;

class DesktopProvider : public QObject {
    Q_OBJECT
  public:
    // `idleMilliseconds` after the last request idle() is raised; 0: never.
    DesktopProvider(DesktopSearch& search, DesktopActions& actions, int idleMilliseconds,
                    QObject* parent = nullptr);

    std::vector<DesktopRow> find(const QStringList& words);
    std::optional<DesktopRow> row(const QString& id);
    // Opens the window on the row; when the window cannot be opened, copies the row's number.
    void activate(const QString& id);
    // Copies the row's number.
    void copyNumber(const QString& id);
    // Opens the window on the persons, for the desktop's "show all in the program".
    void launch();
    bool windowAvailable() const;

  signals:
    void idle();

  private:
    void touch();

    DesktopSearch& m_search;
    DesktopActions& m_actions;
    QTimer m_idle;
};

}  // namespace abonex
