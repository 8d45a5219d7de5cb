// TFMain's side of table synchronisation: the menu item that opens the synchronisation window,
// the open one's registration, and what that window asks of the main window.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QSettings>

#include "app/directory_model.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "app/user_settings.h"
#include "sync/window/update_from_table.h"

namespace abonex {

namespace {

QPointer<QWidget>& openSynchronisationWindow() {
    static QPointer<QWidget> window;
    return window;
}

}  // namespace

void TFMain::setSynchronisationWindow(QWidget* window) {
    openSynchronisationWindow() = window;
}

QWidget* TFMain::synchronisationWindow() {
    return openSynchronisationWindow().data();
}

void TFMain::buildSyncMenuItem(QMenu* file) {
    mnuUpdateFromTable = file->addAction(tr("Обновление базы данных"));
    mnuUpdateFromTable->setObjectName(QStringLiteral("mnuUpdateFromTable"));
    mnuUpdateFromTable->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mnuUpdateFromTable, &QAction::triggered, this, &TFMain::mnuUpdateFromTableClick);
}

void TFMain::mnuUpdateFromTableClick() {
    if (synchronisationWindow() != nullptr) {
        showSyncWindow();
        return;
    }
    // Modal for the main window, destroyed when it closes; it registers itself with
    // setSyncWindow() while it lives. Not modal for the whole program: the notification-area
    // icon must take clicks while it is open, or a program hidden there could not come back.
    auto* window = new TFUpdateFromTable(*this, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::WindowModal);
    window->show();
}

void TFMain::showSyncWindow() {
    QWidget* window = synchronisationWindow();
    if (window == nullptr) return;
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void TFMain::minimiseApplication() {
    // Into the notification area directly where there is one: asking the window manager to
    // minimise first would leave the outcome to its timing.
    if (Tray->isAvailable()) {
        if (isVisible()) AppEvents();
        return;
    }
    showMinimized();
}

TEngineDataSet* TFMain::shownDataSet() {
    return m_model->dataSet();
}

// The synchronisation window's size lives in the program's settings file, in a group of its
// own.
QSize TFMain::storedSyncWindowSize() const {
    return openUserSettings()->value(QStringLiteral("SyncWindow/Size")).toSize();
}

void TFMain::storeSyncWindowSize(const QSize& size) {
    openUserSettings()->setValue(QStringLiteral("SyncWindow/Size"), size);
}

}  // namespace abonex
