// Application: the program's QApplication, with its title, its texts in the user's language
// (window_language.h) and the one application-wide error box.
//
// An exception that escapes an event handler is caught here, at the event loop, and its text is
// shown through MessageBox instead of ending the program; EAbort (a silent cancellation) shows
// nothing. Windows call showException() for errors they catch at the end of a user operation,
// so both reach the same box.
#pragma once

#include <QApplication>
#include <QIcon>
#include <QString>
#include <exception>

namespace abonex {

// The program's name as the application is known by (its settings, the accessibility bus);
// shown to the user as title(), in the window's language.
inline constexpr char kApplicationTitle[] = QT_TRANSLATE_NOOP("abonex::Application", "Абонекс 4");

class Application : public QApplication {
  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // kApplicationTitle in the window's language.
    static QString title();
    // The application's error box for `error` (nothing for EAbort).
    static void showException(const std::exception& error);
    // The program's own icon (windows, the notification area), at 16, 32, 48, 64, 128 and 256
    // pixels.
    static QIcon programIcon();
    // One of the program's pictures (tool bar buttons, menu items) by name, at 32 and 16 pixels
    // and at twice those for a screen at a scale of 2.
    static QIcon picture(const QString& name);
    // Delay before a hint appears, in milliseconds (negative: the style's own).
    static void setHintPause(int milliseconds);
};

// Runs a user operation of a window; an error ends it with the application's error box.
template <typename Operation>
void userOperation(Operation&& operation) {
    try {
        operation();
    } catch (const std::exception& error) {
        Application::showException(error);
    }
}

}  // namespace abonex
