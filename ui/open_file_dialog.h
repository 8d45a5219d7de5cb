// OpenFileDialog: the open-file dialog through which the synchronisation window chooses the
// external table.
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
    };

    // Shows the dialog for an existing file (resizable); the chosen path, or "" on cancel.
    static QString choose(QWidget* parent, const QString& caption, const QString& filter,
                          const QString& defaultSuffix);

    // Test seam: the answer of the next request (queued in order).
    static void setNextAnswer(const QString& path);
    static const QList<Request>& shown();
    static void clearShown();
};

}  // namespace abonex
