// TFMain's keyboard: the window used without a mouse. Down goes from a search box into the
// rows found; in the grid Enter dials the current row, Shift+Enter edits it, Escape goes back
// to the name box and Ctrl+Home / Ctrl+End go to the first and the last row of the search
// (Ctrl+End reads the rows up to the real end, not only those read so far). The menus' keys
// work wherever the focus is (see eventFilter and buildGrid).
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"

namespace abonex {

bool TFMain::searchBoxKeyPressed(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Down || key.modifiers() != Qt::NoModifier) return false;
    if (m_model->rowCount() == 0) return false;
    GxDBGrid1->setFocus(Qt::TabFocusReason);
    if (!GxDBGrid1->currentIndex().isValid()) {
        GxDBGrid1->setCurrentIndex(m_model->index(0, 0));
    }
    return true;
}

bool TFMain::gridKeyPressed(const QKeyEvent& key) {
    // The grid's own Ctrl+C copied the one cell under the focus: the row is copied instead.
    if (key.matches(QKeySequence::Copy)) {
        mnuCopyRowClick();
        return true;
    }
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (modifiers == Qt::NoModifier) {
                btnRingClick();
                return true;
            }
            if (modifiers == Qt::ShiftModifier) {
                if (redRec->isEnabled()) redRecClick();
                return true;
            }
            return false;
        case Qt::Key_Escape:
            if (modifiers != Qt::NoModifier) return false;
            edFam->setFocus(Qt::ShortcutFocusReason);
            edFam->selectAll();
            return true;
        case Qt::Key_End:
            if (modifiers != Qt::ControlModifier) return false;
            goToLastRow();
            return true;
        default:
            return false;
    }
}

void TFMain::goToLastRow() {
    GxDBGrid1->setCursor(Qt::WaitCursor);
    userOperation([&] {
        while (m_model->canFetchMore({})) m_model->fetchMore({});
    });
    GxDBGrid1->unsetCursor();
    const int rows = m_model->rowCount();
    if (rows > 0) GxDBGrid1->setCurrentIndex(m_model->index(rows - 1, 0));
}

}  // namespace abonex
