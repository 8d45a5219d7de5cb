// The language of the windows and of `abonex --help`: Russian, the texts as the program is
// written, unless the user's locale asks for English, which a translation (Qt Linguist's
// translations/abonex_en.ts, compiled into the program) gives.
#pragma once

#include <QString>

#include "directory/message_language.h"

class QCoreApplication;

namespace abonex {

enum class WindowLanguage { Russian, English };

// The language the user's locale asks for: the first of LANGUAGE's list (a colon-separated list
// of languages, honoured unless the locale is C or POSIX) that is Russian or English, else
// that of LC_ALL, LC_MESSAGES or LANG, the first of them set; Russian when none names either.
WindowLanguage windowLanguage();

// The language of the directory's messages shown in the windows.
MessageLanguage windowMessageLanguage();

// Installs the window's texts in `language` into `app`: the program's translation and Qt's own
// texts of its standard buttons and dialogs (for Russian, only Qt's). False when a part is
// missing.
bool installWindowTexts(QCoreApplication& app, WindowLanguage language);

// `source` of `context` in `language` without an application (for texts printed before one
// exists): the translation's text, or `source` itself where there is none.
QString windowText(WindowLanguage language, const char* context, const char* source);

}  // namespace abonex
