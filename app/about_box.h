// TForm2: the About box, 321 x 320 pixels of client area with a fixed frame, centred on the
// screen, shown modally by the main window and destroyed when it closes.
//
// From top to bottom: the title with its shadow; the history panel, whose lines roll upwards
// without end; the bottom panel with the credits, the site's address (labelWWW) and the support
// mail (lblEmail) as link labels, and "Закрыть", the default and the cancel button. A link
// label turns blue and underlined under the mouse and navy again when the mouse moves on to
// the panel around it; clicking it opens the site or starts the mail as the main window's link
// items do, with the same error boxes.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QPixmap>
#include <QStringList>

class QLabel;
class QPushButton;
class QTimer;

namespace abonex {

// The title: text drawn once in grey one pixel down and to the right, then in its own colour.
class ShadowTitle : public QWidget {
    Q_OBJECT
  public:
    ShadowTitle(const QString& text, QWidget* parent = nullptr);
    const QString& text() const { return m_text; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString m_text;
};

// A sunken panel in which a picture and lines of engraved text move up one pixel every `stepMs`
// milliseconds, without end: a few blank lines after the last line the picture follows again.
//
// Invariant: 0 <= offset() < period(); the content's top is drawn offset() pixels above the
// panel's top, and its next round period() pixels below that.
class ScrollingText : public QFrame {
    Q_OBJECT
  public:
    ScrollingText(const QPixmap& picture, const QStringList& lines, int stepMs,
                  QWidget* parent = nullptr);

    // One step up (the timer calls it).
    void advance();
    int offset() const { return m_offset; }
    // The height of the picture and all the lines.
    int contentHeight() const;
    // The content with the gap after it: how many steps one round takes.
    int period() const;
    const QStringList& lines() const { return m_lines; }
    QTimer* timer() const { return m_timer; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int lineHeight() const;
    int pictureHeight() const;

    QPixmap m_picture;
    QStringList m_lines;
    QTimer* m_timer;
    int m_offset = 0;
};

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    ShadowTitle* Title = nullptr;
    ScrollingText* History = nullptr;
    QWidget* Panel1 = nullptr;  // the bottom panel
    QWidget* Panel2 = nullptr;  // the site line inside it
    QLabel* labelWWW = nullptr;
    QLabel* lblEmail = nullptr;
    QPushButton* btnClose = nullptr;

  public slots:
    void labelWWWClick();
    void lblEmailClick();
    // The mouse over a link label: the label looks like a link being pointed at.
    void labelWWWMouseMove(QLabel* label);
    // The mouse over a panel around link labels: its labels look like links at rest.
    void Panel1MouseMove(QWidget* panel);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

}  // namespace abonex
