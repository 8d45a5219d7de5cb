// The synchronisation window's host for the benchmarks: the program folder given, nothing
// stored, the notification area's hint kept.
#pragma once

#include <QSize>
#include <QString>

#include "sync/window/sync_window_host.h"

namespace abonex::bench {

struct BenchSyncHost : SyncWindowHost {
    QString folder;
    QString hint;
    QString syncDatabaseFolder() const override { return folder; }
    QString trayHint() const override { return hint; }
    void setTrayHint(const QString& text) override { hint = text; }
    void setSyncWindow(QWidget*) override {}
    void minimiseApplication() override {}
    TEngineDataSet* shownDataSet() override { return nullptr; }
    QSize storedSyncWindowSize() const override { return {}; }
    void storeSyncWindowSize(const QSize&) override {}
};

}  // namespace abonex::bench
