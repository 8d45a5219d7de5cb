// SyncWindowHost: what the synchronisation window needs of the main window that owns it.
//
// The main window implements it; tests and benchmarks give the window a host of their own. The
// host outlives the window (the window calls it from its destructor).
#pragma once

#include <QSize>
#include <QString>

class QWidget;

namespace abonex {

class TEngineDataSet;

class SyncWindowHost {
  public:
    virtual ~SyncWindowHost() = default;

    // The program folder, with a trailing "/": the own tables are there.
    virtual QString syncDatabaseFolder() const = 0;
    // The hint of the notification-area icon: a running comparison shows its progress there.
    virtual QString trayHint() const = 0;
    virtual void setTrayHint(const QString& hint) = 0;
    // The synchronisation window now open, nullptr once it has gone. Restoring the program from
    // the notification area shows that window again, with the main window.
    virtual void setSyncWindow(QWidget* window) = 0;
    // Minimises the program (the synchronisation window has hidden itself first).
    virtual void minimiseApplication() = 0;
    // The size the user left the synchronisation window at (invalid: none stored yet), and
    // keeping a new one.
    virtual QSize storedSyncWindowSize() const = 0;
    virtual void storeSyncWindowSize(const QSize& size) = 0;
    // The data set the main window's grid shows, or nullptr: closing the synchronisation window
    // rebuilds, closes and reopens it, so that it shows what an apply changed.
    virtual TEngineDataSet* shownDataSet() = 0;
};

}  // namespace abonex
