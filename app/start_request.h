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
    DirectoryMode mode = DirectoryMode::Persons;
    int record = 0;  // 0: no record in particular
};

// The request the arguments (without the program's name) make; std::nullopt with `error` set
// when they make none.
std::optional<StartRequest> parseStartArguments(const QStringList& arguments, QString* error);

}  // namespace abonex
