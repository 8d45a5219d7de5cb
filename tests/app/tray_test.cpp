// Minimising into the notification area and coming back, with a desktop that has a
// notification area and with one that has none.
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "app/application.h"
#include "app/settings_store.h"
#include "app/tray_icon.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::typeText;
using abonex::test::WindowSession;

namespace {

// A notification area that records what the program showed in it.
class FakeTray : public TrayIcon {
  public:
    explicit FakeTray(bool available) : m_available(available) {}
    bool isAvailable() const override { return m_available; }
    void setIcon(const QIcon& picture) override { icon = picture; }
    void setToolTip(const QString& text) override { hint = text; }
    QString toolTip() const override { return hint; }
    void setContextMenu(QMenu* popup) override { menu = popup; }
    void setVisible(bool visible) override {
        shown = visible;
        if (visible) ++timesShown;
    }
    bool isVisible() const override { return shown; }
    void doubleClick() { emit doubleClicked(); }

    QIcon icon;
    QString hint;
    QMenu* menu = nullptr;
    bool shown = false;
    int timesShown = 0;

  private:
    bool m_available;
};

// The tray the next window gets; the session's window is the one made after this.
FakeTray* g_tray = nullptr;

void useFakeTray(bool available) {
    TrayIcon::setFactory([available] {
        auto tray = std::make_unique<FakeTray>(available);
        g_tray = tray.get();
        return tray;
    });
}

// A search typed into both boxes and applied, so that a restore has something to clear.
void searchSomething(WindowSession& s) {
    typeText(s.edFam(), QStringLiteral("Сид"));
    typeText(s.edPhone(), QStringLiteral("35"));
    QTest::keyClick(s.edFam(), Qt::Key_Return);
    QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
}

void expectBackWithEmptySearch(WindowSession& s) {
    QVERIFY(s.window()->isVisible());
    QVERIFY(!s.window()->isMinimized());
    QVERIFY(!g_tray->isVisible());
    QCOMPARE(s.edFam()->text(), QString());
    QCOMPARE(s.edPhone()->text(), QString());
    QCOMPARE(s.gridNames().size(), 7);
    QVERIFY(s.action("mnuUsers")->isChecked());
}

}  // namespace

class TrayTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }
    void cleanup() {
        TrayIcon::setFactory({});
        g_tray = nullptr;
    }

    void iconIsHiddenWhileTheWindowIsShown() {
        useFakeTray(true);
        WindowSession s;
        s.start();
        QVERIFY(!g_tray->isVisible());
        QCOMPARE(g_tray->hint, QStringLiteral("Абонекс (служба 09 после 20:00) v. 4"));
        QCOMPARE(g_tray->icon.cacheKey(), s.window()->windowIcon().cacheKey());
        QVERIFY(!g_tray->icon.isNull());
        // Its menu: the caption item, a separator and the bold default item.
        QMenu* popup = g_tray->menu;
        QVERIFY(popup != nullptr);
        QCOMPARE(popup->objectName(), QStringLiteral("TrayPopup"));
        const QList<QAction*> items = popup->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items.at(0)->objectName(), QStringLiteral("mnuTrayPopAbout"));
        QCOMPARE(items.at(0)->text(), QStringLiteral("Абонекс 4"));
        QVERIFY(items.at(1)->isSeparator());
        QCOMPARE(items.at(2)->objectName(), QStringLiteral("mnuRestore"));
        QCOMPARE(items.at(2)->text(), QStringLiteral("Восстановить"));
        QCOMPARE(popup->defaultAction(), items.at(2));
        QVERIFY(items.at(2)->font().bold());
        // The caption item does nothing.
        items.at(0)->trigger();
        QVERIFY(s.window()->isVisible());
        QVERIFY(!g_tray->isVisible());
    }

    void minimiseHidesIntoTheTrayAndADoubleClickBringsItBack() {
        useFakeTray(true);
        WindowSession s;
        s.start();
        searchSomething(s);
        s.window()->showMinimized();
        QTRY_VERIFY(!s.window()->isVisible());
        QVERIFY(g_tray->isVisible());
        // The settings were written at the minimise.
        QCOMPARE(s.storedValue(QStringLiteral("ShowCmd")), QStringLiteral("2"));
        QCOMPARE(s.storedValue(QStringLiteral("mnuBigIco_Checked")), QStringLiteral("True"));

        QSignalSpy readings(s.window()->settingsStore(), &SettingsStore::restored);
        g_tray->doubleClick();
        expectBackWithEmptySearch(s);
        // The status line counts the persons table, as at every activation of the program.
        QCOMPARE(s.window()->statusText(), QStringLiteral("Всего в таблице 7 записей"));
        // Read at the start of the restore and again before the showing.
        QCOMPARE(readings.size(), 2);
    }

    void restoreFromTheTrayMenuBringsItBackAsLeft() {
        useFakeTray(true);
        WindowSession s;
        s.start();
        s.window()->mnuOrgClick();
        s.action("mnuStatus")->trigger();
        searchSomethingInOrganisations(s);
        s.window()->AppEvents();
        QVERIFY(!s.window()->isVisible());
        QVERIFY(g_tray->isVisible());
        g_tray->menu->actions().at(2)->trigger();
        QVERIFY(s.window()->isVisible());
        QVERIFY(!s.window()->isMinimized());
        QVERIFY(!g_tray->isVisible());
        // The mode is kept and re-selected, the status line still shown.
        QVERIFY(s.action("mnuOrg")->isChecked());
        QCOMPARE(s.edFam()->text(), QString());
        QCOMPARE(s.gridNames().size(), 3);
        QVERIFY(s.action("mnuStatus")->isChecked());
        // Minimised and restored once more: the icon comes and goes again.
        s.window()->showMinimized();
        QTRY_VERIFY(!s.window()->isVisible());
        QCOMPARE(g_tray->timesShown, 2);
        g_tray->doubleClick();
        QVERIFY(s.window()->isVisible());
        QVERIFY(!g_tray->isVisible());
    }

    void withoutANotificationAreaMinimiseOnlyMinimises() {
        useFakeTray(false);
        WindowSession s;
        s.start();
        searchSomething(s);
        s.window()->showMinimized();
        QCoreApplication::processEvents();
        QTest::qWait(20);
        QVERIFY(s.window()->isVisible());
        QVERIFY(s.window()->isMinimized());
        QCOMPARE(g_tray->timesShown, 0);
        // The settings are still written at the minimise.
        QCOMPARE(s.storedValue(QStringLiteral("ShowCmd")), QStringLiteral("2"));
        // The window is reachable as any minimised window: brought back, it is as it was.
        s.window()->showNormal();
        QVERIFY(!s.window()->isMinimized());
        QCOMPARE(s.edFam()->text(), QStringLiteral("Сид"));
    }

    void theSystemIconKnowsWhenThereIsNoNotificationArea() {
        // The test platform has no notification area: the real icon says so, and the window
        // made with it stays minimised in place.
        SystemTrayIcon system;
        QVERIFY(!system.isAvailable());
        WindowSession s;
        s.start();
        QVERIFY(dynamic_cast<SystemTrayIcon*>(s.window()->trayIcon()) != nullptr);
        s.window()->AppEvents();
        QVERIFY(s.window()->isVisible());
        QVERIFY(s.window()->isMinimized());
        QVERIFY(!s.window()->trayIcon()->isVisible());
    }

    void restoreShowsTheSynchronisationWindowAgain() {
        useFakeTray(true);
        WindowSession s;
        s.start();
        auto* sync = new QWidget(nullptr, Qt::Window);
        sync->setWindowTitle(QStringLiteral("Обновление"));
        sync->show();
        TFMain::setSynchronisationWindow(sync);
        QCOMPARE(TFMain::synchronisationWindow(), sync);
        // It hides itself and minimises the program.
        sync->hide();
        sync->setWindowState(Qt::WindowMinimized);
        s.window()->AppEvents();
        QVERIFY(!s.window()->isVisible());
        g_tray->doubleClick();
        QVERIFY(s.window()->isVisible());
        QVERIFY(sync->isVisible());
        QVERIFY(!sync->isMinimized());
        // Destroyed, it is no longer referred to.
        delete sync;
        QCOMPARE(TFMain::synchronisationWindow(), nullptr);
        s.window()->AppEvents();
        g_tray->doubleClick();
        QVERIFY(s.window()->isVisible());
    }

    void theTrayHintCanCarryProgress() {
        useFakeTray(true);
        WindowSession s;
        s.start();
        QCOMPARE(s.window()->trayHint(), s.window()->windowTitle());
        s.window()->setTrayHint(QStringLiteral("Сравнение: 40 из 120"));
        QCOMPARE(g_tray->hint, QStringLiteral("Сравнение: 40 из 120"));
        QCOMPARE(s.window()->trayHint(), QStringLiteral("Сравнение: 40 из 120"));
    }

  private:
    static void searchSomethingInOrganisations(WindowSession& s) {
        typeText(s.edFam(), QStringLiteral("Шк"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Школа №5")});
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    TrayTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tray_test.moc"
