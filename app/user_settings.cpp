#include "app/user_settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace abonex {

QString programBaseName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

std::unique_ptr<QSettings> openUserSettings() {
    const QString name = programBaseName();
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, name, name);
}

}  // namespace abonex
