// The view options of "&Вид" with the settings that keep them between runs, the window's
// placement, and the banner.
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "app/application.h"
#include "app/banner.h"
#include "app/preview_delegate.h"
#include "app/settings_store.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::WindowSession;

namespace {

// What the user sees of the view options.
struct View {
    bool large = false;
    bool small = false;
    QSize pictures;
    bool hints = false;
    bool toolBar = false;
    bool preview = false;
    bool status = false;
};

View viewOf(const WindowSession& s) {
    View view;
    view.large = s.action("mnuBigIco")->isChecked();
    view.small = s.action("mnuSmallIco")->isChecked();
    auto* toolBar = s.child<QToolBar>("TBToolbar1");
    view.pictures = toolBar->iconSize();
    // Every button shows the tool bar's picture size.
    for (auto* button : toolBar->findChildren<QToolButton*>()) {
        if (button->iconSize() != view.pictures) view.pictures = QSize();
    }
    view.hints = s.window()->showsHints();
    view.toolBar = toolBar->isVisible();
    auto* delegate = qobject_cast<PreviewDelegate*>(s.grid()->itemDelegate());
    view.preview = delegate->previewVisible() &&
                   s.grid()->rowHeight(0) > PreviewDelegate::fieldLineHeight(s.grid()->font());
    view.status = s.child<QStatusBar>("StatusBar1")->isVisible();
    return view;
}

void expectDesignView(const WindowSession& s) {
    const View view = viewOf(s);
    QVERIFY(view.large);
    QVERIFY(!view.small);
    QCOMPARE(view.pictures, QSize(32, 32));
    QVERIFY(view.hints);
    QVERIFY(view.toolBar);
    QVERIFY(view.preview);
    QVERIFY(!view.status);
}

void writeSettingsFile(const WindowSession& s, const QByteArray& text) {
    QFile file(s.settingsFile());
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Where the window is at design: 350 x 420, its frame's corner where a 350 x 420 rectangle
// centred on the screen would have it.
void expectDesignPlacement(const WindowSession& s) {
    // Centred, 420 high, as wide as the caption and a name beside both phones need (350 at the
    // least, as designed).
    const QSize size = s.window()->size();
    QCOMPARE(size.height(), 420);
    const QFontMetrics metrics(s.window()->font());
    QVERIFY(size.width() >= metrics.horizontalAdvance(s.window()->windowTitle()) + 150);
    QVERIFY(size.width() >= 350);
    QVERIFY(s.grid()->columnWidth(0) >=
            metrics.horizontalAdvance(QStringLiteral("Константинопольский А.А.")));
    QRect rect(QPoint(), size);
    rect.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    QCOMPARE(s.window()->pos(), rect.topLeft());
}

// The hint that a pause over `widget` would pop up now ("" for none).
QString hintOver(QWidget* widget) {
    QToolTip::hideText();
    const QPoint inside(widget->width() / 2, widget->height() / 2);
    QHelpEvent event(QEvent::ToolTip, inside, widget->mapToGlobal(inside));
    QApplication::sendEvent(widget, &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

}  // namespace

class ViewOptionsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    void viewMenuHoldsTheSevenItemsWithTheirKeys() {
        WindowSession s;
        s.start();
        auto* view = s.child<QMenu>("mnuView");
        QCOMPARE(view->title(), QStringLiteral("&Вид"));
        QStringList shown;
        for (QAction* item : view->actions()) {
            if (item->isSeparator()) continue;
            shown << item->objectName() + u' ' + item->text() + u' ' +
                         item->shortcut().toString(QKeySequence::PortableText);
            QVERIFY(item->isCheckable());
        }
        QCOMPARE(shown, (QStringList{
                            QStringLiteral("mnuBigIco Крупные значки Ctrl+B"),
                            QStringLiteral("mnuSmallIco Мелкие значки Ctrl+S"),
                            QStringLiteral("mnuHint Всплывающие подсказки "),
                            QStringLiteral("mnuShowPanel Показывать инструменты "),
                            QStringLiteral("mnuComments Показывать комментарии "),
                            QStringLiteral("mnuStatus Показывать статус "),
                            QStringLiteral("mnuLiveSearch Искать при вводе "),
                        }));
        QVERIFY(!s.action("mnuLiveSearch")->isChecked());
    }

    void firstStartShowsTheDesignView() {
        WindowSession s;
        QVERIFY(!QFile::exists(s.settingsFile()));
        s.start();
        expectDesignView(s);
        expectDesignPlacement(s);
        QCOMPARE(hintOver(s.child<QToolButton>("btnFiltr")), QStringLiteral("Показать результат"));
        // Every showing reads the settings once.
        QSignalSpy readings(s.window()->settingsStore(), &SettingsStore::restored);
        s.window()->hide();
        s.window()->show();
        QCOMPARE(readings.size(), 1);
    }

    void hiddenToolBarSurvivesARestart() {
        WindowSession s;
        s.start();
        s.action("mnuShowPanel")->trigger();
        QVERIFY(!s.child<QToolBar>("TBToolbar1")->isVisible());
        QVERIFY(!s.action("mnuShowPanel")->isChecked());
        s.restart();
        QCOMPARE(s.storedValue(QStringLiteral("mnuShowPanel_Checked")), QStringLiteral("False"));
        QVERIFY(!s.child<QToolBar>("TBToolbar1")->isVisible());
        QVERIFY(!s.action("mnuShowPanel")->isChecked());
        // And back.
        s.action("mnuShowPanel")->trigger();
        s.restart();
        expectDesignView(s);
    }

    void smallPicturesUncheckLargeAndSurviveARestart() {
        WindowSession s;
        s.start();
        // Ctrl+S where the focus is after start, in the name box.
        QVERIFY(s.edFam()->hasFocus());
        QTest::keyClick(s.edFam(), Qt::Key_S, Qt::ControlModifier);
        View view = viewOf(s);
        QVERIFY(view.small);
        QVERIFY(!view.large);
        QCOMPARE(view.pictures, QSize(16, 16));
        QCOMPARE(s.edFam()->text(), QString());
        s.restart();
        QCOMPARE(s.storedValue(QStringLiteral("mnuSmallIco_Checked")), QStringLiteral("True"));
        QCOMPARE(s.storedValue(QStringLiteral("mnuBigIco_Checked")), QStringLiteral("False"));
        view = viewOf(s);
        QVERIFY(view.small);
        QVERIFY(!view.large);
        QCOMPARE(view.pictures, QSize(16, 16));
        // Choosing the checked size again keeps it; Ctrl+B goes back to large pictures.
        s.action("mnuSmallIco")->trigger();
        QVERIFY(s.action("mnuSmallIco")->isChecked());
        QTest::keyClick(s.edFam(), Qt::Key_B, Qt::ControlModifier);
        view = viewOf(s);
        QVERIFY(view.large);
        QVERIFY(!view.small);
        QCOMPARE(view.pictures, QSize(32, 32));
    }

    void togglesApplyAndSurviveARestart() {
        WindowSession s;
        s.start();
        s.action("mnuStatus")->trigger();
        s.action("mnuComments")->trigger();
        s.action("mnuHint")->trigger();
        View view = viewOf(s);
        QVERIFY(view.status);
        QVERIFY(!view.preview);
        QVERIFY(!view.hints);
        QCOMPARE(s.grid()->rowHeight(0), PreviewDelegate::fieldLineHeight(s.grid()->font()));
        // The status line shows the table's count; no hint pops up over the window any more.
        QCOMPARE(s.child<QStatusBar>("StatusBar1")->findChild<QLabel*>("statusText")->text(),
                 QStringLiteral("Всего в таблице 7 записей"));
        QCOMPARE(hintOver(s.child<QToolButton>("btnFiltr")), QString());
        QCOMPARE(hintOver(s.grid()->viewport()), QString());
        s.restart();
        view = viewOf(s);
        QVERIFY(view.status);
        QVERIFY(!view.preview);
        QVERIFY(!view.hints);
        QCOMPARE(hintOver(s.edFam()), QString());
        // Switched on again, hints pop up again.
        s.action("mnuHint")->trigger();
        QCOMPARE(hintOver(s.child<QToolButton>("btnFiltr")), QStringLiteral("Показать результат"));
        s.action("mnuComments")->trigger();
        QVERIFY(viewOf(s).preview);
    }

    void damagedSettingsKeepTheDesignValues() {
        WindowSession s;
        const QString size = SettingsStore::withScreenSize(QStringLiteral("NormPos"))
                                 .replace(u'(', QStringLiteral("%28"))
                                 .replace(u')', QStringLiteral("%29"));
        writeSettingsFile(s, QByteArrayLiteral("[FormProperties]\n"
                                               "mnuShowPanel_Checked=false\n"
                                               "mnuStatus_Checked=1\n"
                                               "mnuComments_Checked=\n"
                                               "mnuHint_Checked=\"True \"\n"
                                               "mnuBigIco_Checked=False\n"
                                               "mnuSmallIco_Checked=False\n"
                                               "NormPos=\"5000,5000,5350,5420\"\n") +
                                 size.toUtf8() + "=\"10,20,abc,40\"\n");
        s.start();
        expectDesignView(s);
        expectDesignPlacement(s);
    }

    void unreadableSettingsFileKeepsTheDesignValues() {
        WindowSession s;
        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i) junk[i] = char((i * 37) % 256);
        writeSettingsFile(s, junk);
        s.start();
        expectDesignView(s);
        expectDesignPlacement(s);
    }

    void placementComesBackAndTheScreenSizeValueWins() {
        WindowSession s;
        s.start();
        const QRect placed(40, 50, 500, 380);
        s.window()->setGeometry(placed);
        QTRY_COMPARE(s.window()->geometry(), placed);
        s.restart();
        QCOMPARE(s.window()->geometry(), placed);
        QCOMPARE(s.storedValue(QStringLiteral("NormPos")), QStringLiteral("40,50,540,430"));
        QCOMPARE(s.storedValue(SettingsStore::withScreenSize(QStringLiteral("NormPos"))),
                 QStringLiteral("40,50,540,430"));
        QCOMPARE(s.storedValue(QStringLiteral("ShowCmd")), QStringLiteral("1"));
        QCOMPARE(s.storedValue(QStringLiteral("FormVersion")), QStringLiteral("0"));

        s.window()->close();
        {
            QSettings settings(s.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("FormProperties/NormPos"),
                              QStringLiteral("10,10,400,300"));
            settings.setValue(QStringLiteral("FormProperties/") +
                                  SettingsStore::withScreenSize(QStringLiteral("NormPos")),
                              QStringLiteral("60,70,460,370"));
        }
        s.restart();
        QCOMPARE(s.window()->geometry(), QRect(60, 70, 400, 300));
        // Without the screen size's own value the plain one is used.
        s.window()->close();
        {
            QSettings settings(s.settingsFile(), QSettings::IniFormat);
            settings.remove(QStringLiteral("FormProperties/") +
                            SettingsStore::withScreenSize(QStringLiteral("NormPos")));
            settings.setValue(QStringLiteral("FormProperties/NormPos"),
                              QStringLiteral("10,10,400,300"));
        }
        s.restart();
        QCOMPARE(s.window()->geometry(), QRect(10, 10, 390, 290));
    }

    void aPlacementComesBackWithinTheScreenItLandsOn() {
        // Stored at a scale of 2 on a larger screen, 1800 x 1600 came back as it was: its phone
        // columns, status line and title buttons off the screen.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(SettingsStore::withinItsScreen(QRect(100, 50, 1800, 1600)), screen);
        QCOMPARE(SettingsStore::withinItsScreen(
                     QRect(screen.right() - 100, screen.top() + 10, 350, 420)),
                 QRect(screen.right() + 1 - 350, screen.top() + 10, 350, 420));
        const QRect inside(screen.left() + 20, screen.top() + 30, 300, 200);
        QCOMPARE(SettingsStore::withinItsScreen(inside), inside);

        WindowSession s;
        {
            QSettings settings(s.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("FormProperties/NormPos"),
                              QStringLiteral("100,50,1900,1650"));
        }
        s.start();
        const auto text = [](const QRect& r) {
            return QStringLiteral("%1,%2 %3x%4")
                .arg(r.x())
                .arg(r.y())
                .arg(r.width())
                .arg(r.height());
        };
        // The frame's few pixels aside (the first showing does not know them yet), the window
        // fits the screen.
        const QRect shown = s.window()->geometry();
        QVERIFY2(shown.width() <= screen.width() && shown.height() <= screen.height() &&
                     screen.contains(shown.topLeft()),
                 qPrintable(text(screen) + QStringLiteral(" / ") + text(shown)));
        // From the second showing on the frame is known and kept on the screen too.
        const QMargins frame(4, 20, 4, 4);
        QCOMPARE(SettingsStore::withinItsScreen(QRect(100, 50, 1800, 1600), frame),
                 screen.marginsRemoved(frame));
    }

    void rectanglesAreCheckedBeforeUse() {
        QCOMPARE(SettingsStore::parseRect(QStringLiteral("1,2,351,422")), QRect(1, 2, 350, 420));
        QCOMPARE(SettingsStore::parseRect(QStringLiteral(" -5 , 0 ,345, 224")),
                 QRect(-5, 0, 350, 224));
        for (const char* damaged : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "10,10,10,20",
                                    "10,10,5,20", "-2147483648,0,2147483647,10"}) {
            QVERIFY2(!SettingsStore::parseRect(QString::fromLatin1(damaged)), damaged);
        }
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(SettingsStore::onSomeScreen(QRect(screen.topLeft(), QSize(350, 420))));
        // Mostly off the right edge but with a corner to grab.
        QVERIFY(SettingsStore::onSomeScreen(QRect(screen.right() - 100, 0, 350, 420)));
        QVERIFY(!SettingsStore::onSomeScreen(QRect(screen.right() + 1, 0, 350, 420)));
        QVERIFY(!SettingsStore::onSomeScreen(QRect(screen.right() - 10, 0, 350, 420)));
        // The title out of reach above the screen, or nothing but a strip at the bottom.
        QVERIFY(!SettingsStore::onSomeScreen(QRect(0, screen.top() - 300, 350, 420)));
        QVERIFY(!SettingsStore::onSomeScreen(QRect(0, screen.bottom() - 20, 350, 420)));
    }

    void searchingAsTheUserTypesIsOffAtFirstAndSurvivesARestart() {
        WindowSession s;
        s.start();
        auto* pause = s.child<QTimer>("tmLiveSearch");
        const QStringList everyone = s.gridNames();
        QCOMPARE(everyone.size(), 7);
        // Off: typing only records the search text.
        test::typeText(s.edFam(), QStringLiteral("ив"));
        QVERIFY(!pause->isActive());
        QApplication::processEvents();
        QCOMPARE(s.gridNames(), everyone);

        s.action("mnuLiveSearch")->trigger();
        QVERIFY(s.action("mnuLiveSearch")->isChecked());
        test::typeText(s.edFam(), QStringLiteral("а"));
        QVERIFY(pause->isActive());
        QCOMPARE(pause->interval(), 150);
        QVERIFY(pause->isSingleShot());
        QTRY_COMPARE(s.gridNames(),
                     (QStringList{QStringLiteral("ИВАНОВА А.А."), QStringLiteral("Иванов И.И."),
                                  QStringLiteral("иванченко")}));
        QVERIFY(!pause->isActive());
        // The phone box too; Enter searches at once and nothing is left pending.
        test::typeText(s.edPhone(), QStringLiteral("22-3"));
        QVERIFY(pause->isActive());
        QTest::keyClick(s.edPhone(), Qt::Key_Return);
        QVERIFY(!pause->isActive());
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Иванов И.И.")});
        // The window emptying the boxes is no typing.
        s.child<QToolButton>("sbClear")->click();
        QVERIFY(!pause->isActive());
        QCOMPARE(s.gridNames(), everyone);
        // Unchecking drops a pending search.
        test::typeText(s.edFam(), QStringLiteral("с"));
        s.action("mnuLiveSearch")->trigger();
        QVERIFY(!pause->isActive());

        s.action("mnuLiveSearch")->trigger();
        s.restart();
        QCOMPARE(s.storedValue(QStringLiteral("mnuLiveSearch_Checked")), QStringLiteral("True"));
        QVERIFY(s.action("mnuLiveSearch")->isChecked());
    }

    void aWindowNeverShownStoresNothing() {
        WindowSession s;
        {
            QSettings settings(s.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("FormProperties/mnuStatus_Checked"),
                              QStringLiteral("True"));
        }
        { TFMain neverShown(s.fixture().folder()); }
        QCOMPARE(s.storedValue(QStringLiteral("mnuStatus_Checked")), QStringLiteral("True"));
        QCOMPARE(s.storedValue(QStringLiteral("NormPos")), QString());
        // A window destroyed without closing writes what it shows.
        auto window = std::make_unique<TFMain>(s.fixture().folder());
        window->show();
        window->findChild<QAction*>(QStringLiteral("mnuStatus"))->trigger();
        window->hide();
        window.reset();
        QCOMPARE(s.storedValue(QStringLiteral("mnuStatus_Checked")), QStringLiteral("False"));
    }

    void bannerShowsStepsTwoThreeOneInTheirColours() {
        WindowSession s;
        s.start();
        Banner* banner = s.window()->banner();
        QCOMPARE(banner->BannerStep(), 1);
        QCOMPARE(banner->text(), banner->BannerLines().at(0));
        QCOMPARE(banner->textColor(), QColor(Qt::red));
        QCOMPARE(banner->palette().color(QPalette::Window), QColor(0xF0, 0xEE, 0xD0));
        QCOMPARE(banner->BannerLines().size(), 3);
        QCOMPARE(banner->width(), s.grid()->width());
        const struct {
            int step;
            QColor colour;
        } expected[] = {{2, Qt::blue}, {3, Qt::black}, {1, Qt::red}, {2, Qt::blue}};
        for (const auto& next : expected) {
            s.window()->Timer1Timer();
            QCOMPARE(banner->BannerStep(), next.step);
            QCOMPARE(banner->text(), banner->BannerLines().at(next.step - 1));
            QCOMPARE(banner->textColor(), next.colour);
        }
        // Three different lines.
        QStringList lines = banner->BannerLines();
        lines.removeDuplicates();
        QCOMPARE(lines.size(), 3);
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    ViewOptionsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "view_options_test.moc"
