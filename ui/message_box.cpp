#include "ui/message_box.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGridLayout>
#include <QQueue>
#include <QSpacerItem>
#include <QStringList>
#include <utility>

namespace abonex {

namespace {

// The translation context of the boxes' texts (the lines given to crLfLines are marked with it).
constexpr char kTextContext[] = "abonex::MessageBox";

QQueue<QMessageBox::StandardButton>& answers() {
    static QQueue<QMessageBox::StandardButton> queue;
    return queue;
}

QList<MessageBox::Shown>& shownList() {
    static QList<MessageBox::Shown> list;
    return list;
}

bool& interactive() {
    static bool on = true;
    return on;
}

// What a title bar takes beside the caption: its margins and the close box.
constexpr int kCaptionAllowance = 80;

}  // namespace

void MessageBox::error(QWidget* parent, const QString& caption, const QString& text) {
    show(parent, QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::warning(QWidget* parent, const QString& caption, const QString& text) {
    show(parent, QMessageBox::Warning, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton MessageBox::notice(QWidget* parent, const QString& caption,
                                               const QString& text) {
    return show(parent, QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::information(QWidget* parent, const QString& caption, const QString& text) {
    show(parent, QMessageBox::Information, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton MessageBox::question(QWidget* parent, const QString& caption,
                                                 const QString& text,
                                                 QMessageBox::StandardButton defaultButton,
                                                 QMessageBox::Icon icon) {
    return show(parent, icon, caption, text, QMessageBox::Yes | QMessageBox::No, defaultButton);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) {
    answers().enqueue(answer);
}

void MessageBox::setInteractive(bool on) {
    interactive() = on;
}

const QList<MessageBox::Shown>& MessageBox::shown() {
    return shownList();
}

void MessageBox::clearShown() {
    shownList().clear();
    answers().clear();
}

QString MessageBox::withLineBreaks(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            // A break written as a pair, in either order, is one break.
            if (i + 1 < text.size()) {
                const QChar next = text.at(i + 1);
                if ((next == u'\r' || next == u'\n') && next != c) ++i;
            }
            result.append(u'\n');
        } else {
            result.append(c);
        }
    }
    return result;
}

QString MessageBox::crLfLines(std::span<const char* const> lines) {
    QStringList list;
    for (const char* line : lines) list << QCoreApplication::translate(kTextContext, line);
    return list.join(QStringLiteral("\r\n"));
}

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& caption, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton) {
    Shown record{icon, caption, text, buttons, defaultButton, QMessageBox::NoButton};
    if (!answers().isEmpty()) {
        record.answer = answers().dequeue();
    } else if (!interactive()) {
        record.answer = defaultButton;
    } else {
        QMessageBox box(icon, caption, withLineBreaks(text), buttons, parent);
        // The standard buttons speak the window's language whether or not Qt's translation is
        // installed: Russian as written, or the program's translation of it.
        const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
            {QMessageBox::Yes, QT_TRANSLATE_NOOP("abonex::MessageBox", "Да")},
            {QMessageBox::No, QT_TRANSLATE_NOOP("abonex::MessageBox", "Нет")},
            {QMessageBox::Ok, QT_TRANSLATE_NOOP("abonex::MessageBox", "ОК")},
            {QMessageBox::Cancel, QT_TRANSLATE_NOOP("abonex::MessageBox", "Отмена")}};
        for (const auto& [button, russian] : captions) {
            if (QAbstractButton* shown = box.button(button)) {
                shown->setText(QCoreApplication::translate(kTextContext, russian));
            }
        }
        box.setDefaultButton(defaultButton);
        if (buttons.testFlag(QMessageBox::No)) box.setEscapeButton(QMessageBox::No);
        // The box is as wide as its text; a caption longer than that was cut ("Удал… иси?").
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
            const int width = box.fontMetrics().horizontalAdvance(caption) + kCaptionAllowance;
            grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
        }
        const int result = box.exec();
        record.answer = static_cast<QMessageBox::StandardButton>(result);
        if (record.answer == QMessageBox::NoButton || record.answer == QMessageBox::Cancel) {
            record.answer = buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
        }
    }
    shownList().append(record);
    return record.answer;
}

}  // namespace abonex
