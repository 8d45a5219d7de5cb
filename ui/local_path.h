// File names between the windows and the engine.
//
// Qt holds a path as Unicode text; the engine opens files by the bytes the system names them
// with (UTF-8 on Debian). Every path a window hands to a data set or to the engine's file
// helpers, and every path it gets back from them, crosses here.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace abonex {

// The system's name of `path`, as the engine opens it.
std::string localPath(const QString& path);
// `path` as the system names it, back as Qt's text.
QString fromLocalPath(std::string_view path);

}  // namespace abonex
