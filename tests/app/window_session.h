// A main window on a fixture folder for the window's tests, with a settings folder of its own
// so that what one test stores never reaches another (nor the user's own settings).
#pragma once

#include <QAction>
#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/main_window.h"
#include "tests/app/directory_fixture.h"
#include "tests/support/when_dialog_shown.h"

class QLineEdit;
class QTableView;

namespace abonex::test {

// Types `text` into `widget` one character at a time, as key presses carrying the character
// (QTest::keyClicks knows only Latin-1 keys).
void typeText(QWidget* widget, const QString& text);

// Names shown in `grid`, reading every row.
QStringList gridNames(const QTableView* grid);

// Seven persons, three organisations and one favourite.
std::vector<DirectoryRow> persons();
std::vector<DirectoryRow> organisations();
std::vector<DirectoryRow> favourites();

class WindowSession {
  public:
    // Points the user scope of the settings at this session's own folder and writes a complete
    // directory folder.
    WindowSession();
    ~WindowSession();

    // Creates the window and shows it, active, as at program start; unless told otherwise, waits
    // for the start-up rebuild that follows the first paint, so that what a test does next does
    // not meet it half-way.
    void start(bool waitForStartRebuild = true);
    // Closes the window as the user does and starts the program again on the same folder and
    // settings.
    void restart();

    TFMain* window() const { return m_window.get(); }
    DirectoryFixture& fixture() { return m_fixture; }
    // The folder the user scope of the settings points to, and the program's file in it; the
    // user's data folder (XDG_DATA_HOME) is its "data".
    QString settingsFolder() const { return m_settings.path(); }
    QString settingsFile() const;
    // A stored value of the group "FormProperties", as text.
    QString storedValue(const QString& name) const;

    template <typename T>
    T* child(const char* name) const {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("no object %s", name);
        return found;
    }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QLineEdit* edFam() const;
    QLineEdit* edPhone() const;
    QTableView* grid() const;
    // Names shown in the grid, reading every row.
    QStringList gridNames() const;

  private:
    QTemporaryDir m_settings;
    DirectoryFixture m_fixture;
    std::unique_ptr<TFMain> m_window;
};

}  // namespace abonex::test
