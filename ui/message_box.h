// MessageBox: the one place where the directory window shows message boxes.
//
// Callers pass their texts as the program composes them, line breaks included in either order
// (CR LF or LF CR); the box shows each such pair as one line break. Every box shown is recorded
// (caption, the text as passed, icon) so tests can check the exact text, and a test can answer
// the next boxes in advance with setNextAnswer(): an answered box is recorded but never shown.
// With windows switched off (setInteractive(false)) an unanswered box gives its default button.
// A box shown is at least as wide as its caption needs.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <span>

class QWidget;

namespace abonex {

class MessageBox {
  public:
    struct Shown {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString caption;
        QString text;  // as the caller passed it
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };

    // Error icon and one OK button.
    static void error(QWidget* parent, const QString& caption, const QString& text);
    // Warning icon and one OK button.
    static void warning(QWidget* parent, const QString& caption, const QString& text);
    // No icon and one OK button; returns the button the box was closed with (OK also when it
    // was closed from its title bar).
    static QMessageBox::StandardButton notice(QWidget* parent, const QString& caption,
                                              const QString& text);
    // Information icon and one OK button.
    static void information(QWidget* parent, const QString& caption, const QString& text);
    // Yes and No with the question icon (or `icon`); `defaultButton` is the one Enter chooses.
    // Returns the button chosen; closing the box without a choice gives No.
    static QMessageBox::StandardButton question(
        QWidget* parent, const QString& caption, const QString& text,
        QMessageBox::StandardButton defaultButton = QMessageBox::No,
        QMessageBox::Icon icon = QMessageBox::Question);

    // Test seam: the answer of the next box (queued in order).
    static void setNextAnswer(QMessageBox::StandardButton answer);
    // False: boxes without a queued answer are not shown and give their default button.
    static void setInteractive(bool on);
    static const QList<Shown>& shown();
    static void clearShown();

    // The text with every CR LF, LF CR, lone CR or lone LF turned into one "\n".
    static QString withLineBreaks(const QString& text);
    // UTF-8 lines joined by CR LF, as the directory window composes its messages, each in the
    // window's language (its source text marked with the context "abonex::MessageBox").
    static QString crLfLines(std::span<const char* const> lines);

  private:
    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon,
                                            const QString& caption, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton);
};

}  // namespace abonex
