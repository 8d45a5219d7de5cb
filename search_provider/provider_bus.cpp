#include "search_provider/provider_bus.h"

#include <QDBusError>
#include <QDBusMetaType>
#include <QList>
#include <QVariantMap>

#include "search_provider/gnome_search_provider.h"
#include "search_provider/krunner_runner.h"

namespace abonex {

QString searchBusName() {
    return QStringLiteral(ABONEX_SEARCH_BUS_NAME);
}

QString gnomeSearchPath() {
    return QStringLiteral(ABONEX_GNOME_SEARCH_PATH);
}

QString krunnerPath() {
    return QStringLiteral(ABONEX_KRUNNER_PATH);
}

QString publishProviders(QDBusConnection& bus, DesktopProvider& provider, QObject* owner) {
    qDBusRegisterMetaType<QList<QVariantMap>>();
    KRunnerRunner::registerTypes();
    const auto exported = QDBusConnection::ExportAllSlots;
    if (!bus.registerObject(gnomeSearchPath(), new GnomeSearchProvider(provider, owner),
                            exported)) {
        return QStringLiteral("cannot register ") + gnomeSearchPath() + QStringLiteral(": ") +
               bus.lastError().message();
    }
    if (!bus.registerObject(krunnerPath(), new KRunnerRunner(provider, owner), exported)) {
        return QStringLiteral("cannot register ") + krunnerPath() + QStringLiteral(": ") +
               bus.lastError().message();
    }
    // The objects answer before the name is taken: a caller the bus started this program for
    // is waiting for the name.
    if (!bus.registerService(searchBusName())) {
        return QStringLiteral("cannot take the name ") + searchBusName() + QStringLiteral(": ") +
               bus.lastError().message();
    }
    return {};
}

}  // namespace abonex
