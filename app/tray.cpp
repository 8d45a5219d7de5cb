#include "app/tray.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <utility>

#include "app/main_window.h"
#include "app/settings_store.h"

namespace abonex {

namespace {

TrayIcon::Factory& factory() {
    static TrayIcon::Factory made;
    return made;
}

}  // namespace

std::unique_ptr<TrayIcon> TrayIcon::create() {
    if (factory()) return factory()();
    return std::make_unique<SystemTrayIcon>();
}

void TrayIcon::setFactory(Factory made) {
    factory() = std::move(made);
}

SystemTrayIcon::SystemTrayIcon() : m_icon(new QSystemTrayIcon(this)) {
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) emit doubleClicked();
            });
}

SystemTrayIcon::~SystemTrayIcon() = default;

bool SystemTrayIcon::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::setIcon(const QIcon& icon) {
    m_icon->setIcon(icon);
}

void SystemTrayIcon::setToolTip(const QString& text) {
    m_icon->setToolTip(text);
}

QString SystemTrayIcon::toolTip() const {
    return m_icon->toolTip();
}

void SystemTrayIcon::setContextMenu(QMenu* menu) {
    m_icon->setContextMenu(menu);
}

void SystemTrayIcon::setVisible(bool visible) {
    m_icon->setVisible(visible);
}

bool SystemTrayIcon::isVisible() const {
    return m_icon->isVisible();
}

// ---------------------------------------------------------------------------------------------
// The main window in and out of the notification area

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
    setWindowState(windowState() | Qt::WindowMinimized);
    if (intoTray) hide();
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
