// DesktopActions: what the desktop search does with a row the user picks — open the program's
// window on it, or put its number on the clipboard when the window cannot be opened.
//
// SystemDesktopActions starts the program beside this one (`abonex --table PATH --record N`)
// and copies through a helper copy of this program that holds the clipboard (see main.cpp);
// tests put a recorder in its place.
#pragma once

#include <QString>

namespace abonex {

class DesktopActions {
  public:
    virtual ~DesktopActions() = default;
    // Whether the window can be opened at all: the program is there, the folder holds what it
    // needs to start, and there is a display to show it on.
    virtual bool windowAvailable() const = 0;
    // Starts the window on record `record` of the table file `tablePath` (0: on no record in
    // particular); false when it could not be started.
    virtual bool openWindow(const QString& tablePath, int record) = 0;
    // Puts `text` on the clipboard; false when it could not.
    virtual bool copyText(const QString& text) = 0;
};

class SystemDesktopActions : public DesktopActions {
  public:
    // `programFolder`: where the window's program lies; `directoryFolder`: the folder searched.
    SystemDesktopActions(QString programFolder, QString directoryFolder);

    bool windowAvailable() const override;
    bool openWindow(const QString& tablePath, int record) override;
    bool copyText(const QString& text) override;

    // The option that makes this program a clipboard holder instead of a search provider.
    static constexpr const char* kCopyOption = "--copy";

  private:
    QString windowProgram() const;

    QString m_programFolder;
    QString m_directoryFolder;
};

}  // namespace abonex
