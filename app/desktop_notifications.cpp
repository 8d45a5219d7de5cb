#include "app/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <utility>

namespace abonex {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
// The program's name and icon, as its desktop entry gives them.
constexpr char kAppName[] = "Абонекс";
constexpr char kAppIcon[] = "abonex";
// The service decides how long a notification stays.
constexpr int kServerTimeout = -1;

DesktopNotifications* g_installed = nullptr;

}  // namespace

DesktopNotifications& DesktopNotifications::current() {
    if (g_installed != nullptr) return *g_installed;
    static BusNotifications session;
    return session;
}

void DesktopNotifications::install(DesktopNotifications* notifications) {
    g_installed = notifications;
}

BusNotifications::BusNotifications(QString connectionName)
    : m_connectionName(std::move(connectionName)) {}

QString BusNotifications::sessionConnectionName() {
    return QDBusConnection::sessionBus().name();
}

void BusNotifications::notify(const QString& summary, const QString& body, Shown shown) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kInterface), QStringLiteral("Notify"));
    call << QString::fromUtf8(kAppName) << 0u << QString::fromLatin1(kAppIcon) << summary << body
         << QStringList() << QVariantMap() << kServerTimeout;
    // Not connected (no session bus at all): the answer is an error at once, through the loop.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection(m_connectionName).asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [shown = std::move(shown)](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<uint> reply = *finished;
                         finished->deleteLater();
                         if (shown) shown(!reply.isError());
                     });
}

}  // namespace abonex
