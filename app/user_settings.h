// The per-user settings file of the program: the window placement and check marks (group
// "FormProperties") and the modem's settings live in it.
//
// The file is an INI file in the user's configuration folder, named after the program file:
// $XDG_CONFIG_HOME/<name>/<name>.ini (normally ~/.config/abonex/abonex.ini), where <name> is the
// running program file's base name. Tests point the whole user scope at a folder of their own
// with QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder).
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace abonex {

// The running program file's name without its folder and extension ("abonex").
QString programBaseName();

// A settings object on the program's per-user file. Every part of the program that stores a
// setting goes through this, so all of them share one file.
std::unique_ptr<QSettings> openUserSettings();

}  // namespace abonex
