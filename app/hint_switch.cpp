#include "app/hint_switch.h"

#include <QApplication>
#include <QEvent>
#include <QToolTip>
#include <QWidget>

namespace abonex {

HintSwitch::HintSwitch(QWidget* window) : QObject(window), m_window(window) {}

void HintSwitch::setOn(bool on) {
    if (on == m_on) return;
    m_on = on;
    // Hints reach each control as its own event, so the whole application is watched while
    // they are off, and only then.
    if (on) {
        qApp->removeEventFilter(this);
    } else {
        qApp->installEventFilter(this);
        QToolTip::hideText();
    }
}

bool HintSwitch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == m_window) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace abonex
