// Drives a program's modal dialog from a test: the action runs once the dialog is the active
// modal widget, from the event loop of its exec().
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

namespace abonex::test {

// Runs `action` on the next modal dialog of type T once it is shown, looking for it every
// 10 ms for at most 5 seconds.
template <typename T>
void whenDialogShown(std::function<void(T*)> action, int attemptsLeft = 500) {
    QTimer::singleShot(attemptsLeft == 500 ? 0 : 10, [action, attemptsLeft] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            action(dialog);
        } else if (attemptsLeft > 0) {
            whenDialogShown<T>(action, attemptsLeft - 1);
        }
    });
}

}  // namespace abonex::test
