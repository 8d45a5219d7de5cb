// TFMain, the window itself: created and destroyed, shown, activated, minimised and closed,
// and the events of its own controls that it watches (keys in the search boxes, the grid's size).
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QWindowStateChangeEvent>

#include "app/banner.h"
#include "app/directory_model.h"
#include "app/settings_store.h"
#include "app/tray_icon.h"
#include "dial/tapi_dial.h"

namespace abonex {

namespace {

// How long after showing a window that is not made active its start-up rebuild waits, in
// milliseconds.
constexpr int kUnactivatedRebuildDelay = 1000;

}  // namespace

TFMain::TFMain(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent), m_programFolder(programFolder) {
    buildWindow();
    buildDialer();
    FormCreate();
}

TFMain::~TFMain() {
    stopDeferredRebuild();
    // The synchronisation window reports its end to this window: it must go while this window
    // is still whole, not among the children QWidget deletes after the members are gone.
    if (QWidget* sync = synchronisationWindow(); sync != nullptr && sync->parent() == this) {
        delete sync;
    }
    // The settings are written when the window closes; a window destroyed without closing
    // writes them here. One that was never shown has read nothing, and writing its design
    // values would wipe what the user stored.
    if (FormStorage1->restoredOnce() && !FormStorage1->saved()) FormStorage1->save();
    // The dialer goes with the children, after this window's own parts: it must not report
    // the end of its calls to them.
    Dialer3->disconnect(this);
    // The model must not read a data set that is being destroyed.
    m_model->setDataSet(nullptr);
    for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) {
        dataSet->AfterClose = nullptr;
        dataSet->OnDataChange = nullptr;
        dataSet->AfterScroll = nullptr;
    }
}

void TFMain::setVisible(bool visible) {
    // Before every showing the stored placement and check marks are read, so the window
    // appears where it was left and FormShow applies the stored view.
    if (visible && !isVisible() && !m_startupFailed) FormStorage1->restore();
    QMainWindow::setVisible(visible);
}

void TFMain::FormStorage1RestorePlacement() {
    QApplication::beep();
}

void TFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
    // A window that is never made active (started behind another program's) paints its rows
    // without the first activation's search: its start-up rebuild begins a while later.
    if (!m_deferredRebuilds.empty() && !m_deferredRebuildStarted) {
        QTimer::singleShot(kUnactivatedRebuildDelay, this, &TFMain::startDeferredRebuild);
    }
}

void TFMain::FormShow() {
    if (mnuUsers->isChecked()) {
        btnUserClick(btnUser);
    } else if (mnuOrg->isChecked()) {
        btnUserClick(btnOrg);
    } else if (mnuFavorit->isChecked()) {
        btnUserClick(btnFavorit);
    }
    applyStoredView();
    pressCheckedDialingItem();
}

void TFMain::Timer1Timer() {
    m_banner->advance();
}

void TFMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        // A window manager tidies the state of a window it no longer shows (one hidden into
        // the notification area loses its minimised mark, and may get it back): that is no
        // minimise by the user and no coming back.
        if (!isVisible()) return;
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool wasMinimized = change->oldState().testFlag(Qt::WindowMinimized);
        // The minimise handler runs once the window system has finished minimising: hiding the
        // window in the middle of its state change would leave the two out of step.
        if (isMinimized() && !wasMinimized) {
            QTimer::singleShot(0, this, [this] {
                if (isMinimized() && isVisible()) AppEvents();
            });
        }
        // Coming back from a minimise without the notification area (the desktop has none)
        // brings back the synchronisation window that hid itself.
        QWidget* sync = synchronisationWindow();
        if (wasMinimized && !isMinimized() && sync != nullptr && sync->isHidden()) {
            showSyncWindow();
        }
        return;
    }
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        // Behind a modal dialog, or while a record dialog is on its way, the window only looks
        // active (its activation was asked for before the dialog opened): re-applying the
        // filter now would drop the record being edited. It counts once the dialog has gone.
        const DataSetState state = gridDataSet().State();
        if (QApplication::activeModalWidget() != nullptr || state == DataSetState::Edit ||
            state == DataSetState::Insert) {
            return;
        }
        // The window's own activation: at start, and when a dialog of the program hands the
        // focus back; coming back from another program is not one.
        if (!m_activatedOnce || m_lostToOwnWindow) {
            m_activatedOnce = true;
            m_lostToOwnWindow = false;
            FormActivate();
        }
    } else {
        // Message boxes hand the focus back without counting as a dialog of the program.
        QWidget* now = QApplication::activeWindow();
        m_lostToOwnWindow = now != nullptr && now != this && !qobject_cast<QMessageBox*>(now);
    }
}

void TFMain::closeEvent(QCloseEvent* event) {
    FormStorage1->save();
    FormClose();
    event->accept();
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == edFam || watched == edPhone) && event->type() == QEvent::ShortcutOverride) {
        // The boxes would keep some Ctrl keys of the menus for their own editing (Ctrl+E, Ctrl+U
        // and others): the window's menu keys win, as the search boxes are nearly always where
        // the focus is.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::NoModifier) {
            const QKeySequence pressed(key->keyCombination());
            for (const QAction* action : findChildren<QAction*>()) {
                if (action->isEnabled() && action->shortcutContext() == Qt::WindowShortcut &&
                    action->shortcut() == pressed) {
                    return true;
                }
            }
        }
    } else if ((watched == edFam || watched == edPhone) && event->type() == QEvent::KeyPress) {
        // edFamKeyDown: Enter re-applies the filter; the key goes on to the box as usual.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) btnFiltr->click();
        if (searchBoxKeyPressed(*key)) return true;
    } else if (watched == GxDBGrid1 && event->type() == QEvent::KeyPress) {
        if (gridKeyPressed(*static_cast<QKeyEvent*>(event))) return true;
    } else if (GxDBGrid1 != nullptr && watched == GxDBGrid1->viewport() &&
               event->type() == QEvent::Paint) {
        // The start-up rebuild begins once the rows of the first activation's search are on
        // the screen: the event loop runs it after this paint is done.
        if (m_activatedOnce && !m_deferredRebuildStarted && !m_deferredRebuilds.empty()) {
            QTimer::singleShot(0, this, &TFMain::startDeferredRebuild);
        }
    } else if (watched == GxDBGrid1 && event->type() == QEvent::Resize) {
        // The rule is applied to the grid's new width: applied to the width before the change,
        // one large step (a maximised window restored) left column 0 as wide as the old grid
        // and pushed both phone columns out of sight until the next resize.
        FormCanResize(static_cast<QResizeEvent*>(event)->size().width());
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace abonex
