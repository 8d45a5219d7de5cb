// The synchronisation window's host for the benchmarks: the program folder given, nothing
// stored, the notification area's hint kept.
#pragma once

#include <QPushButton>
#include <QSize>
#include <QString>
#include <cstdio>
#include <string>

#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"
#include "ui/open_file_dialog.h"

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

// Shows the window and chooses DIR/external/Phone.DBF on page 1; its start button, or nullptr
// (said on stderr) when the tables could not be opened.
inline QPushButton* chooseExternalCopy(TFUpdateFromTable& window, const std::string& dir) {
    window.show();
    OpenFileDialog::setNextAnswer(QString::fromStdString(dir + "/external/Phone.DBF"));
    window.btnBrowseClick();
    auto* start = window.findChild<QPushButton*>(QStringLiteral("btnStart"));
    if (start == nullptr || !start->isEnabled()) {
        std::fprintf(stderr, "the tables could not be opened\n");
        return nullptr;
    }
    return start;
}

}  // namespace abonex::bench
