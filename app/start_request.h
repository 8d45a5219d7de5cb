// What the program is asked to show when it starts. Without arguments: the directory in its own
// folder, as always. The desktop search starts it on a row it found:
//
//   abonex --table PATH [--record N]
//
// PATH is a directory table (Phone.DBF, Org.dbf or Favor.dbf, in any letter case) of a folder
// that holds the program's files; the window then works on that folder, shows that table and,
// with --record, stands on its record N.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "directory/directory_tables.h"

namespace abonex {

struct StartRequest {
    QString folder;  // the folder to work on, ending in "/"; empty: the program's own
    QString table;   // the table's path as given (empty: none)
    DirectoryMode mode = DirectoryMode::Persons;
    int record = 0;  // 0: no record in particular
};

// The request the arguments (without the program's name) make; std::nullopt with `error` set
// when they make none.
std::optional<StartRequest> parseStartArguments(const QStringList& arguments, QString* error);

// True when `arguments` may hold options of the toolkit's own ("-platform offscreen", "-style
// fusion": a word of one dash), which only the application takes away: the arguments are then
// understood once it exists. Any other command line is understood before, where no display is
// needed for a usage text.
bool mayHoldToolkitOptions(const QStringList& arguments);

// Why the program cannot start on the folder `request` names, naming the path; empty when it
// can (or when the request names none: the program's own folder is checked by the window).
QString startFolderProblem(const StartRequest& request);

}  // namespace abonex
