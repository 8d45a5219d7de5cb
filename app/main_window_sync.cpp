// TFMain's side of table synchronisation: the menu item that opens the synchronisation window,
// the open one's registration, and what that window asks of the main window.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>

#include "app/directory_model.h"
#include "app/main_window.h"
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
    mnuUpdateFromTable = file->addAction(QStringLiteral("Обновление базы данных"));
    mnuUpdateFromTable->setObjectName(QStringLiteral("mnuUpdateFromTable"));
    mnuUpdateFromTable->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mnuUpdateFromTable, &QAction::triggered, this, &TFMain::mnuUpdateFromTableClick);
}

void TFMain::mnuUpdateFromTableClick() {
    if (synchronisationWindow() != nullptr) {
        showSyncWindow();
        return;
    }
    // Modal for the whole program, destroyed when it closes; it registers itself with
    // setSyncWindow() while it lives.
    auto* window = new TFUpdateFromTable(*this, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
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
    showMinimized();
}

TEngineDataSet* TFMain::shownDataSet() {
    return m_model->dataSet();
}

}  // namespace abonex
