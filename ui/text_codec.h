// The one crossing between the engine's ANSI texts (Windows code page 1251) and Qt's Unicode.
//
// The data sets hand out and take field texts in 1251; every window text goes through these two
// functions and nowhere else.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace abonex {

QString fromAnsi(std::string_view ansi);
// Characters that code page 1251 cannot hold become "?".
std::string toAnsi(const QString& text);

}  // namespace abonex
