// OpenFileDialog: the file dialogs through which the windows choose a file: an existing one to
// open (the synchronisation window's external table, a vCard file to import) or one to save
// into (a vCard file to export to).
//
// Every request is recorded (caption, filter, default suffix) so tests can check it, and a test
// can answer the next requests in advance with setNextAnswer(): an answered request never shows
// a dialog. An empty answer is a cancel.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace abonex {

class OpenFileDialog {
  public:
    struct Request {
        QString caption;
        QString filter;         // "Description (pattern pattern)"
        QString defaultSuffix;  // without the dot
        QString answer;         // the chosen path; empty on cancel
        bool save = false;      // a file to save into, not an existing one to open
    };

    // Shows the dialog for an existing file (resizable); the chosen path, or "" on cancel.
    static QString choose(QWidget* parent, const QString& caption, const QString& filter,
                          const QString& defaultSuffix);

    // Shows the dialog for a file to save into (asking before an existing one is replaced);
    // the chosen path, with `defaultSuffix` when the name has none, or "" on cancel.
    static QString chooseToSave(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& defaultSuffix);

    // Test seam: the answer of the next request of either kind (queued in order).
    static void setNextAnswer(const QString& path);
    static const QList<Request>& shown();
    static void clearShown();
};

}  // namespace abonex
