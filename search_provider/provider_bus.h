// The desktop search on the session bus: its name and the paths of its two objects, which the
// packaged files (the D-Bus service file, GNOME Shell's .ini, KRunner's desktop file) name too.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace abonex {

class DesktopProvider;

QString searchBusName();
QString gnomeSearchPath();
QString krunnerPath();

// Registers the GNOME Shell and the KRunner interfaces of `provider` on `bus` (their objects
// owned by `owner`) and takes the bus name. Returns "" when done, else what failed.
QString publishProviders(QDBusConnection& bus, DesktopProvider& provider, QObject* owner);

}  // namespace abonex
