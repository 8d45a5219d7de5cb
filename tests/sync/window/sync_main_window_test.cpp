// The synchronisation window with the main window: the menu item that opens it, hiding into a
// minimised program and coming back, the progress in the notification-area icon's hint, and the
// reload of the main window's table when it closes.
#include <QAction>
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "sync/window/difference_list.h"
#include "sync/window/update_from_table.h"
#include "tests/app/window_session.h"
#include "tests/sync/sync_fixture.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"

using namespace abonex;

namespace {

// A desktop with a notification area: the icon shows and hides as the program says.
class AvailableTray : public TrayIcon {
  public:
    bool isAvailable() const override { return true; }
    void setIcon(const QIcon&) override {}
    void setToolTip(const QString& text) override { m_hint = text; }
    QString toolTip() const override { return m_hint; }
    void setContextMenu(QMenu*) override {}
    void setVisible(bool visible) override { m_shown = visible; }
    bool isVisible() const override { return m_shown; }
    void doubleClick() { emit doubleClicked(); }

  private:
    QString m_hint;
    bool m_shown = false;
};

// The main window on its fixture folder (with settings of its own), and an external copy of
// its organisations that differs in the first phone of "Аптека №1".
struct Session {
    test::WindowSession main;
    QTemporaryDir external;
    TFMain* window = nullptr;

    void start() {
        test::writeSyncTable(external.path().toStdString(), "Org.dbf", DirectoryMode::Organisations,
                             {{"Аптека №1", "2-99-99", "", ""},
                              {"Школа №5", "2-55-55", "", ""},
                              {"Городская больница", "2-03-03", "", ""}});
        main.start();
        window = main.window();
        QVERIFY(window != nullptr && !window->startupFailed());
    }
    ~Session() {
        if (QWidget* sync = TFMain::synchronisationWindow()) sync->close();
    }
    TFUpdateFromTable* sync() const {
        return window->findChild<TFUpdateFromTable*>(QStringLiteral("TFUpdateFromTable"));
    }
    QPushButton* button(const char* name) const {
        return sync()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void openSync() {
        window->findChild<QAction*>(QStringLiteral("mnuUpdateFromTable"))->trigger();
        QVERIFY(sync() != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(sync()));
    }
    // Starts the main window on a desktop with a notification area; its icon.
    AvailableTray* startWithTray() {
        AvailableTray* tray = nullptr;
        TrayIcon::setFactory([&tray] {
            auto made = std::make_unique<AvailableTray>();
            tray = made.get();
            return made;
        });
        start();
        TrayIcon::setFactory({});
        return tray;
    }
    void compareOrganisations() {
        OpenFileDialog::setNextAnswer(external.path() + QStringLiteral("/Org.dbf"));
        QTest::mouseClick(button("btnBrowse"), Qt::LeftButton);
        QTest::mouseClick(button("btnStart"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sync()->busy(), 10000);
    }
};

}  // namespace

class SyncMainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        MessageBox::clearShown();
        OpenFileDialog::clearShown();
    }

    void theMenuItemOpensOneModalWindow() {
        Session s;
        s.start();
        auto* item = s.window->findChild<QAction*>(QStringLiteral("mnuUpdateFromTable"));
        QVERIFY(item != nullptr);
        QCOMPARE(item->text(), QStringLiteral("Обновление базы данных"));
        QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
        s.openSync();
        // Modal for the main window only: the notification-area icon keeps taking clicks.
        QCOMPARE(s.sync()->windowModality(), Qt::WindowModal);
        QCOMPARE(s.sync()->parent(), s.window);
        QCOMPARE(TFMain::synchronisationWindow(), s.sync());
        // The item again brings the same window forward.
        item->trigger();
        QCOMPARE(s.window->findChildren<TFUpdateFromTable*>().size(), 1);
        // Closing destroys it and clears the reference.
        s.sync()->close();
        QTRY_VERIFY(TFMain::synchronisationWindow() == nullptr);
        QTRY_VERIFY(s.sync() == nullptr);
    }

    void hidingMinimisesTheProgramAndRestoringBringsBothBack() {
        Session s;
        s.start();
        s.openSync();
        QTest::mouseClick(s.button("Button1"), Qt::LeftButton);
        QVERIFY(!s.sync()->isVisible());
        QVERIFY(s.window->isMinimized());
        s.window->showNormal();
        QTRY_VERIFY(s.sync()->isVisible());
        QCOMPARE(TFMain::synchronisationWindow(), s.sync());
    }

    void hiddenIntoTheNotificationAreaTheRunGoesOnAndARestoreBringsBothBack() {
        Session s;
        AvailableTray* tray = s.startWithTray();
        s.openSync();
        OpenFileDialog::setNextAnswer(s.external.path() + QStringLiteral("/Org.dbf"));
        QTest::mouseClick(s.button("btnBrowse"), Qt::LeftButton);
        QStringList hints;
        QObject::connect(s.sync()->findChild<QProgressBar*>(QStringLiteral("ProgressBar1")),
                         &QProgressBar::valueChanged, [&](int) { hints << tray->toolTip(); });
        QTest::mouseClick(s.button("btnStart"), Qt::LeftButton);
        QTest::mouseClick(s.button("Button1"), Qt::LeftButton);
        QTRY_VERIFY(!s.window->isVisible());
        QVERIFY(tray->isVisible());
        QVERIFY(!s.sync()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!s.sync()->busy(), 10000);
        QVERIFY(hints.contains(QStringLiteral("Выполнено - 100%")));
        QCOMPARE(tray->toolTip(), s.window->windowTitle());
        tray->doubleClick();
        QVERIFY(s.window->isVisible());
        QVERIFY(s.sync()->isVisible());
        QVERIFY(!tray->isVisible());
        QCOMPARE(s.sync()->differences().rowCount(), 1);
    }

    void windowsOutsideTheMainOneTakeClicksWhileItIsOpen() {
        // The notification-area icon is a window of the program of its own: a window modal for
        // the whole program kept every click from it, so a program hidden there with the
        // synchronisation window on the screen could never come back.
        Session s;
        s.start();
        QWidget icon(nullptr, Qt::Window);
        icon.resize(22, 22);
        int clicks = 0;
        struct Counter : QObject {
            int* count;
            explicit Counter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::MouseButtonPress) ++*count;
                return false;
            }
        } counter(&clicks);
        icon.installEventFilter(&counter);
        icon.show();
        QVERIFY(QTest::qWaitForWindowExposed(&icon));
        s.openSync();
        QTest::mouseClick(icon.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks, 1);
        // The main window itself stays blocked while the synchronisation window is open.
        QVERIFY(s.sync()->isModal());
        QCOMPARE(QApplication::activeModalWidget(), s.sync());
    }

    void hiddenIntoTheTrayBothStayHiddenUntilTheIconBringsThemBack() {
        Session s;
        AvailableTray* tray = s.startWithTray();
        s.openSync();
        for (int round = 0; round < 3; ++round) {
            QTest::mouseClick(s.button("Button1"), Qt::LeftButton);
            QTRY_VERIFY(!s.window->isVisible());
            QVERIFY(!s.sync()->isVisible());
            QVERIFY(tray->isVisible());
            // A window manager tidies the state of windows it no longer shows; that brought the
            // synchronisation window back alone, over a main window that stayed in the icon.
            s.window->setWindowState(Qt::WindowNoState);
            s.window->setWindowState(Qt::WindowMinimized);
            QTest::qWait(20);
            QVERIFY(!s.sync()->isVisible());
            QVERIFY(!s.window->isVisible());
            QVERIFY(tray->isVisible());
            tray->doubleClick();
            QVERIFY(s.window->isVisible());
            QVERIFY(!s.window->isMinimized());
            QVERIFY(s.sync()->isVisible());
            QVERIFY(!tray->isVisible());
        }
        // Minimised by the user, the program goes into the icon with both windows.
        s.window->showMinimized();
        QTRY_VERIFY(!s.window->isVisible());
        QVERIFY(!s.sync()->isVisible());
        tray->doubleClick();
        QVERIFY(s.window->isVisible());
        QVERIFY(s.sync()->isVisible());
        // Closing the synchronisation window leaves the main window on the screen.
        s.button("btnClose")->click();
        QTRY_VERIFY(s.sync() == nullptr);
        QVERIFY(s.window->isVisible());
        QVERIFY(!tray->isVisible());
    }

    void theWindowKeepsTheSizeTheUserGaveIt() {
        // It was fixed at its design size, whatever the number of differences.
        Session s;
        s.start();
        s.openSync();
        QVERIFY(s.sync()->minimumSize() != s.sync()->maximumSize());
        QCOMPARE(s.sync()->size(), QSize(458, 295));
        s.sync()->resize(700, 500);
        // The names of the list take the width added; the phones keep theirs.
        auto* list = s.sync()->findChild<QTreeView*>(QStringLiteral("changesList"));
        QCOMPARE(list->columnWidth(0), 200 + 700 - 458);
        QCOMPARE(list->columnWidth(1), 110);
        s.sync()->close();
        QTRY_VERIFY(s.sync() == nullptr);
        s.openSync();
        QCOMPARE(s.sync()->size(), QSize(700, 500));
        // Never smaller than the design size, whatever was stored.
        s.sync()->close();
        QTRY_VERIFY(s.sync() == nullptr);
        s.window->storeSyncWindowSize(QSize(100, 80));
        s.openSync();
        QCOMPARE(s.sync()->size(), QSize(458, 295));
    }

    void theRunShowsInTheTrayHintAndClosingReloadsTheShownTable() {
        Session s;
        s.start();
        QTest::mouseClick(s.window->findChild<QToolButton*>(QStringLiteral("btnOrg")),
                          Qt::LeftButton);
        QCOMPARE(s.window->mode(), DirectoryMode::Organisations);
        s.openSync();
        QStringList hints;
        QObject::connect(s.sync()->findChild<QProgressBar*>(QStringLiteral("ProgressBar1")),
                         &QProgressBar::valueChanged, [&](int) { hints << s.window->trayHint(); });
        s.compareOrganisations();
        QVERIFY(hints.contains(QStringLiteral("Выполнено - 100%")));
        QCOMPARE(s.window->trayHint(), s.window->windowTitle());
        QCOMPARE(s.sync()->differences().rowCount(), 1);

        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(s.button("btnApply"), Qt::LeftButton);
        QTRY_VERIFY(!s.sync()->applying());
        QCOMPARE(QString::fromStdString(
                     s.main.fixture().storedEntries(DirectoryMode::Organisations).at(0).phone1),
                 QStringLiteral("2-99-99"));
        s.sync()->close();
        QTRY_VERIFY(s.sync() == nullptr);
        // The organisations table was rebuilt and reopened; closing it took the window back to
        // persons, and its button is enabled again.
        QCOMPARE(s.window->mode(), DirectoryMode::Persons);
        QVERIFY(s.window->DSOrg.Active());
        QVERIFY(s.window->findChild<QToolButton*>(QStringLiteral("btnOrg"))->isEnabled());
        QTest::mouseClick(s.window->findChild<QToolButton*>(QStringLiteral("btnOrg")),
                          Qt::LeftButton);
        QAbstractItemModel* grid =
            s.window->findChild<QTableView*>(QStringLiteral("GxDBGrid1"))->model();
        QCOMPARE(grid->index(0, 1).data().toString(), QStringLiteral("2-99-99"));
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    SyncMainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sync_main_window_test.moc"
