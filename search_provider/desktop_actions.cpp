#include "search_provider/desktop_actions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "directory/directory_tables.h"

namespace abonex {

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

SystemDesktopActions::SystemDesktopActions(QString programFolder, QString directoryFolder)
    : m_programFolder(std::move(programFolder)), m_directoryFolder(std::move(directoryFolder)) {}

QString SystemDesktopActions::windowProgram() const {
    return m_programFolder + QStringLiteral("/abonex");
}

bool SystemDesktopActions::windowAvailable() const {
    return hasDisplay() && QFileInfo(windowProgram()).isExecutable() &&
           holdsProgramFiles(m_directoryFolder.toStdString());
}

bool SystemDesktopActions::openWindow(const QString& tablePath, int record) {
    if (!windowAvailable()) return false;
    QStringList arguments{QStringLiteral("--table"), tablePath};
    if (record > 0) arguments << QStringLiteral("--record") << QString::number(record);
    return QProcess::startDetached(windowProgram(), arguments);
}

bool SystemDesktopActions::copyText(const QString& text) {
    // The clipboard belongs to a program with a display connection, and on most desktops the
    // text is gone when that program ends: a copy of this program holds it (see main.cpp).
    if (!hasDisplay()) return false;
    return QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                   {QString::fromLatin1(kCopyOption), text});
}

}  // namespace abonex
