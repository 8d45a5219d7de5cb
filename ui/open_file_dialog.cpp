#include "ui/open_file_dialog.h"

#include <QFileDialog>
#include <QQueue>

namespace abonex {

namespace {

QQueue<QString>& answers() {
    static QQueue<QString> queue;
    return queue;
}

QList<OpenFileDialog::Request>& shownList() {
    static QList<OpenFileDialog::Request> list;
    return list;
}

}  // namespace

namespace {

QString ask(QWidget* parent, const QString& caption, const QString& filter,
            const QString& defaultSuffix, bool save) {
    OpenFileDialog::Request request{caption, filter, defaultSuffix, {}, save};
    if (!answers().isEmpty()) {
        request.answer = answers().dequeue();
    } else {
        QFileDialog dialog(parent, caption, QString(), filter);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setDefaultSuffix(defaultSuffix);
        dialog.setSizeGripEnabled(true);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            request.answer = dialog.selectedFiles().constFirst();
        }
    }
    shownList().append(request);
    return request.answer;
}

}  // namespace

QString OpenFileDialog::choose(QWidget* parent, const QString& caption, const QString& filter,
                               const QString& defaultSuffix) {
    return ask(parent, caption, filter, defaultSuffix, false);
}

QString OpenFileDialog::chooseToSave(QWidget* parent, const QString& caption, const QString& filter,
                                     const QString& defaultSuffix) {
    return ask(parent, caption, filter, defaultSuffix, true);
}

void OpenFileDialog::setNextAnswer(const QString& path) {
    answers().enqueue(path);
}

const QList<OpenFileDialog::Request>& OpenFileDialog::shown() {
    return shownList();
}

void OpenFileDialog::clearShown() {
    shownList().clear();
    answers().clear();
}

}  // namespace abonex
