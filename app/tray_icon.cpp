#include "app/tray_icon.h"

#include <QSystemTrayIcon>
#include <utility>

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

void TrayIcon::showMessage(const QString&, const QString&) {}

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

void SystemTrayIcon::showMessage(const QString& title, const QString& text) {
    m_icon->showMessage(title, text, QSystemTrayIcon::Information);
}

}  // namespace abonex
