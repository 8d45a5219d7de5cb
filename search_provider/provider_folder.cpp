#include "search_provider/provider_folder.h"

#include <QSettings>

namespace abonex {

QString desktopSearchFolder(const QString& programFolder) {
    QString folder = qEnvironmentVariable("ABONEX_DIRECTORY");
    if (folder.isEmpty()) {
        // The window's settings file: it is named after the window's program, not this one.
        const QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                                 QStringLiteral("abonex"), QStringLiteral("abonex"));
        folder = settings.value(QStringLiteral("DesktopSearch/Folder")).toString();
    }
    if (folder.isEmpty()) folder = programFolder;
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder;
}

}  // namespace abonex
