// TFMain in and out of the notification area: the icon with its menu, minimising into it and
// coming back, and the hint over the icon.
#include <QAction>
#include <QFont>
#include <QMenu>

#include "app/application.h"
#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/tray_icon.h"

namespace abonex {

void TFMain::buildTray() {
    TrayPopup = new QMenu(this);
    TrayPopup->setObjectName(QStringLiteral("TrayPopup"));
    mnuTrayPopAbout = TrayPopup->addAction(Application::programIcon(), Application::title());
    mnuTrayPopAbout->setObjectName(QStringLiteral("mnuTrayPopAbout"));
    TrayPopup->addSeparator();
    mnuRestore =
        TrayPopup->addAction(Application::picture(QStringLiteral("restore")), tr("Восстановить"));
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    QFont bold = mnuRestore->font();
    bold.setBold(true);
    mnuRestore->setFont(bold);
    TrayPopup->setDefaultAction(mnuRestore);
    connect(mnuRestore, &QAction::triggered, this, &TFMain::mnuRestoreClick);

    Tray = TrayIcon::create();
    Tray->setObjectName(QStringLiteral("Tray"));
    Tray->setIcon(windowIcon());
    Tray->setToolTip(windowTitle());
    Tray->setContextMenu(TrayPopup);
    connect(Tray.get(), &TrayIcon::doubleClicked, this, &TFMain::mnuRestoreClick);
}

void TFMain::setTrayHint(const QString& text) {
    Tray->setToolTip(text);
}

QString TFMain::trayHint() const {
    return Tray->toolTip();
}

void TFMain::AppEvents() {
    const bool intoTray = Tray->isAvailable();
    if (intoTray) Tray->setVisible(true);
    FormStorage1->save();
    if (!intoTray) {
        setWindowState(windowState() | Qt::WindowMinimized);
        return;
    }
    // Into the notification area the window is only withdrawn. Asking the window manager to
    // minimise it as well would race with the withdrawal: a manager that finishes minimising
    // after it maps the window minimised again when it is shown, straight back into the icon.
    // The synchronisation window goes with it: left on the screen, it would be alone there.
    if (QWidget* sync = synchronisationWindow(); sync != nullptr && sync->isVisible()) sync->hide();
    hide();
}

void TFMain::mnuRestoreClick() {
    FormStorage1->restore();
    // The state goes back to normal before the window is shown again, so that it appears as a
    // window and not as an icon. Showing it runs FormShow, which re-selects the mode: the
    // search is cleared and the whole table shown.
    setWindowState(Qt::WindowNoState);
    show();
    // The program comes back as the active one, and its activation handler runs: where the
    // window was left for the tray menu, the desktop would not tell it so.
    ShowTableStatus();
    Tray->setVisible(false);
    if (QWidget* sync = synchronisationWindow()) {
        sync->setWindowState(sync->windowState() & ~Qt::WindowMinimized);
        sync->show();
        sync->raise();
        sync->activateWindow();
    }
    raise();
    activateWindow();
}

}  // namespace abonex
