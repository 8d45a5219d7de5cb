// HintSwitch: the pop-up hints of one window and all its controls, on or off (the main window's
// "Всплывающие подсказки").
#pragma once

#include <QObject>

class QWidget;

namespace abonex {

// Switches the pop-up hints of one window and all its controls on or off. While off, no hint
// pops up over them; the status line still shows the hint of the control under the mouse.
class HintSwitch : public QObject {
    Q_OBJECT
  public:
    explicit HintSwitch(QWidget* window);

    void setOn(bool on);
    bool isOn() const { return m_on; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* m_window;
    bool m_on = true;
};

}  // namespace abonex
