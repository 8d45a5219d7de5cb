// The window's dial commands driven as a user drives them, against a fake Hayes modem on a
// pseudo-terminal named by ABONEX_MODEM: what the modem receives for each press, the two
// warnings, the pulse/tone choice, the pop-up's dial item, the modem settings from the menu,
// hanging up at closing, an unplugged modem, and the event loop staying free while a slow
// modem dials.
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <vector>

#include "app/application.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "bench/event_latency.h"
#include "dial/configured_line.h"
#include "dial/modem_settings_dialog.h"
#include "dial/tapi_dial.h"
#include "directory/call_log.h"
#include "tests/app/directory_fixture.h"
#include "tests/app/window_session.h"
#include "tools/fake_modem/fake_modem.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::bench::EventLatency;
using abonex::test::DirectoryFixture;
using abonex::test::FakeModem;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

const QString kNoNumber = QStringLiteral("Нет номера телефона для текущей записи");
const QString kCheckModem = QStringLiteral("Проверьте наличие и правильность подключения модема!");

std::vector<DirectoryRow> dialedPersons() {
    return {
        {"Иванов И.И.", "22-33-44", "11-11-11", {}},
        {"Сидоров", "35-00-00", "22-99-99", {}},
        {"ИВАНОВА А.А.", "41-22-22", {}, {}},
        {"Без телефона", {}, "77-77-77", {}},
        {{}, "8w0-12", {}, {}},
    };
}

// A window on a fixture folder whose dialer goes to `modem` (none: no ABONEX_MODEM), with
// the persons `people`.
struct Session {
    QStringList statuses;  // every LastStatus text after start, in order; outlives the window
    WindowSession session;

    void start(const FakeModem* modem, const std::vector<DirectoryRow>& people = dialedPersons()) {
        if (modem != nullptr) {
            qputenv("ABONEX_MODEM", modem->devicePath().toLocal8Bit());
        } else {
            qunsetenv("ABONEX_MODEM");
        }
        session.fixture().removeFile(QStringLiteral("Phone.DBF"));
        session.fixture().removeFile(QStringLiteral("Phone.MDX"));
        session.fixture().writeTable(DirectoryMode::Persons, people);
        session.start();
        QVERIFY(window() != nullptr && !window()->startupFailed());
        QObject::connect(dialer(), &TTapiDial::statusChanged, window(),
                         [this](const QString& text) { statuses << text; });
    }
    ~Session() { qunsetenv("ABONEX_MODEM"); }

    TFMain* window() const { return session.window(); }
    template <typename T>
    T* child(const char* name) const {
        return session.child<T>(name);
    }
    TTapiDial* dialer() const { return child<TTapiDial>("Dialer3"); }
    QTableView* grid() const { return session.grid(); }
    QAction* action(const char* name) const { return session.action(name); }
    QToolButton* btnRing() const { return child<QToolButton>("btnRing"); }
    // The user's call log, the newest call first.
    std::vector<CallLogEntry> calls() const {
        return CallLog((session.settingsFolder() + QStringLiteral("/data/abonex/")).toStdString())
            .entries();
    }

    int rowOf(const QString& name) const {
        const qsizetype row = session.gridNames().indexOf(name);
        if (row < 0) qFatal("no row %s", qPrintable(name));
        return static_cast<int>(row);
    }
    // A plain click on the cell of `name`'s row in `column`.
    void clickCell(const QString& name, int column) const {
        const QModelIndex cell = grid()->model()->index(rowOf(name), column);
        grid()->scrollTo(cell);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid()->visualRect(cell).center());
    }
    // Presses the dial button's own part (not its arrow).
    void pressRing() const {
        QToolButton* button = btnRing();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
    }
};

bool modemGot(const FakeModem& modem, const QByteArray& command, int times = 1,
              int milliseconds = 5000) {
    return QTest::qWaitFor([&] { return modem.count(command) >= times; }, milliseconds);
}

// Waits until the line opened last has sent what it sends when it opens: after its reset, the
// switch of caller ID.
bool lineOpened(const FakeModem& modem) {
    return QTest::qWaitFor([&] {
        const QList<QByteArray> sent = modem.commands();
        return sent.lastIndexOf("AT+VCID=1") > sent.lastIndexOf("ATZ");
    });
}

}  // namespace

class DialCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    // --- What the modem receives ---

    void pulseAndToneDialTheStoredTextAndASecondPressHangsUpFirst() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(MessageBox::shown().isEmpty());
        QVERIFY(modemGot(modem, "ATZ"));
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        QTRY_VERIFY(s.statuses.contains(QStringLiteral("Connected: P22-33-44 Абонекс 4")));
        // The first press had no call to drop: the modem got no hang-up.
        QCOMPARE(modem.count("ATH"), 0);

        s.action("mnuTone")->trigger();
        QVERIFY(s.action("mnuTone")->isChecked());
        QVERIFY(!s.action("mnuPulse")->isChecked());
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDT22-33-44;"));
        const QList<QByteArray> sent = modem.commands();
        const qsizetype hangUp = sent.indexOf("ATH");
        QVERIFY(hangUp > sent.indexOf("ATDP22-33-44;"));
        QVERIFY(hangUp < sent.indexOf("ATDT22-33-44;"));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void theFocusedColumnChoosesTheNumber() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        // The second phone's cell with a number: that number.
        s.clickCell(QStringLiteral("Сидоров"), 2);
        QCOMPARE(s.grid()->selectionModel()->selectedRows().size(), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-99-99;"));
        // An empty second-phone cell: the first phone.
        s.clickCell(QStringLiteral("ИВАНОВА А.А."), 2);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP41-22-22;"));
        // The name column holds no number: the first phone, never the name's text.
        s.clickCell(QStringLiteral("Сидоров"), 0);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP35-00-00;"));
        // No selected row: the first phone whatever the column.
        s.clickCell(QStringLiteral("Иванов И.И."), 2);
        s.grid()->selectionModel()->clearSelection();
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        // The pause letter goes to the modem as stored.
        s.clickCell(QString(), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP8w0-12;"));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void aRowWithoutAFirstPhoneWarnsAndSendsNothing() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(modemGot(modem, "ATZ", 2));  // the line is opened twice at start
        QVERIFY(lineOpened(modem));
        QTest::qWait(50);
        const qsizetype before = modem.commands().size();
        s.clickCell(QStringLiteral("Без телефона"), 2);  // a second phone is no excuse
        s.pressRing();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kNoNumber);
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Warning);
        QCOMPARE(MessageBox::shown().at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QTest::qWait(100);
        QCOMPARE(modem.commands().size(), before);
        QVERIFY(!s.statuses.contains(QStringLiteral("Line Dropped")));
        QVERIFY(!s.statuses.contains(QStringLiteral("Error in lineDrop")));
    }

    void anEmptyTableWarnsToo() {
        FakeModem modem;
        Session s;
        s.start(&modem, {});
        s.pressRing();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kNoNumber);
    }

    void withoutAModemStartIsSilentAndTheFirstDialSaysSo() {
        Session s;
        s.start(nullptr);
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("No TAPI devices"));
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();
        QCOMPARE(MessageBox::shown().size(), 1);
        const MessageBox::Shown& box = MessageBox::shown().at(0);
        QCOMPARE(box.text, kCheckModem);
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.caption, QStringLiteral("Абонекс 4"));
    }

    void busyAndNoCarrierGiveTheirTexts() {
        struct Case {
            QByteArray answer;
            QStringList texts;
        };
        const Case cases[] = {
            {"BUSY",
             {QStringLiteral("Busy"), QStringLiteral("Disconnected: busy"),
              QStringLiteral("Idle - call deallocated")}},
            {"NO CARRIER",
             {QStringLiteral("Disconnected: normal"), QStringLiteral("Idle - call deallocated")}},
        };
        for (const Case& c : cases) {
            FakeModem modem;
            modem.setReply("ATD", c.answer, 50);
            Session s;
            s.start(&modem);
            s.clickCell(QStringLiteral("Иванов И.И."), 1);
            s.statuses.clear();
            s.pressRing();
            QTRY_COMPARE(TTapiDial::LastStatus(), QStringLiteral("Idle - call deallocated"));
            const QStringList expected =
                QStringList{
                    QStringLiteral("Error in lineDrop"),  QStringLiteral("Error in lineDrop"),
                    QStringLiteral("Error in lineDrop"),  QStringLiteral("LINE_REPLY ok"),
                    QStringLiteral("Dialing: P22-33-44"), QStringLiteral("Proceeding")} +
                c.texts;
            QVERIFY2(s.statuses == expected, qPrintable(s.statuses.join(u'|')));
            QVERIFY(MessageBox::shown().isEmpty());
        }
    }

    void assigningTheCurrentCallDialogNeitherLogsNorRestarts() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(modemGot(modem, "ATZ", 2));  // the line was opened twice at start
        QVERIFY(lineOpened(modem));
        QTest::qWait(50);
        const QList<QByteArray> before = modem.commands();
        s.statuses.clear();
        s.dialer()->setCallDialog(CallDialogKind::Win95);
        QTest::qWait(100);
        QVERIFY(s.statuses.isEmpty());
        QCOMPARE(modem.commands(), before);
        QCOMPARE(s.dialer()->CallDialog(), CallDialogKind::Win95);
    }

    void anAddressLongerThanThirtyCharactersIsRefused() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(modemGot(modem, "ATZ", 2));
        s.dialer()->setTelephonNo(QString(31, u'1'));
        s.dialer()->Dial();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kCheckModem);
        QTest::qWait(100);
        QCOMPARE(modem.count("ATD"), 0);
        // As the dial command does, a hang-up first (it leaves its own last status).
        s.dialer()->HangUp();
        s.dialer()->setTelephonNo(QString(30, u'1'));
        s.dialer()->Dial();
        QVERIFY(modemGot(modem, "ATD" + QByteArray(30, '1') + ';'));
        QCOMPARE(MessageBox::shown().size(), 1);
    }

    void anUnpluggedModemEndsTheCallWithoutAHang() {
        FakeModem modem;
        modem.setReply("ATD", "OK", 30000);
        Session s;
        s.start(&modem);
        s.clickCell(QStringLiteral("Сидоров"), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP35-00-00;"));
        QTRY_COMPARE(TTapiDial::LastStatus(), QStringLiteral("Proceeding"));
        s.statuses.clear();
        modem.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(TTapiDial::LastStatus(),
                                  QStringLiteral("Idle - call deallocated"), 3000);
        QCOMPARE(s.statuses, (QStringList{QStringLiteral("Disconnected: "),
                                          QStringLiteral("Idle - call deallocated")}));
        // The window goes on; the next dial says the modem is not there.
        s.pressRing();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kCheckModem);
    }

    void closingTheWindowHangsUp() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        s.clickCell(QStringLiteral("Сидоров"), 1);
        s.pressRing();
        QTRY_VERIFY(s.statuses.contains(QStringLiteral("Connected: P35-00-00 Абонекс 4")));
        s.window()->close();
        QVERIFY(modemGot(modem, "ATH"));
    }

    // --- The menus ---

    void thePopUpItemIsCaptionedByTheRowAndDials() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QMenu* popUp = s.child<QMenu>("GridPopUp");
        QAction* ring = s.action("mnuRing");
        // The last of the record items, in a group of its own; the copy items follow it.
        const QList<QAction*> items = popUp->actions();
        const qsizetype at = items.indexOf(ring);
        QVERIFY(at > 0 && at + 1 < items.size());
        QVERIFY(items.at(at - 1)->isSeparator());
        QVERIFY(items.at(at + 1)->isSeparator());
        QCOMPARE(items.at(at + 2), s.action("mnuCopyPhone"));
        QCOMPARE(ring->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
        s.clickCell(QStringLiteral("Иванов И.И."), 0);
        s.window()->mnuPopPopup();
        QVERIFY(ring->isEnabled());
        QCOMPARE(ring->text(), QStringLiteral("Набрать номер (22-33-44)"));
        // A row whose name is blank keeps the plain caption.
        s.clickCell(QString(), 0);
        s.window()->mnuPopPopup();
        QCOMPARE(ring->text(), QStringLiteral("Набрать номер"));
        // Ctrl+D on the grid dials the current row.
        s.clickCell(QStringLiteral("Иванов И.И."), 0);
        QTest::keyClick(s.grid(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
    }

    void theButtonShowsACallInProgressAndItsDropDownHangsUp() {
        // Nothing showed that a call was up, and only dialing again dropped it.
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(modemGot(modem, "ATZ"));
        QVERIFY(!s.btnRing()->isChecked());
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        QTRY_VERIFY(s.window()->findChild<TTapiDial*>()->callInProgress());
        QVERIFY(s.btnRing()->isChecked());
        QVERIFY(s.action("mnuHangUp")->isEnabled());
        QCOMPARE(s.btnRing()->toolTip(),
                 QStringLiteral("Идёт вызов: 22-33-44. Набрать текущий номер (Положить трубку)"));
        s.action("mnuHangUp")->trigger();
        QVERIFY(modemGot(modem, "ATH"));
        QTRY_VERIFY(!s.btnRing()->isChecked());
        QVERIFY(!s.action("mnuHangUp")->isEnabled());
        QCOMPARE(s.btnRing()->toolTip(), QStringLiteral("Набрать текущий номер (Положить трубку)"));
        QCOMPARE(modem.count("ATDP22-33-44;"), 1);  // hanging up dialed nothing
        // Dialing again shows the new call; the second press dropped the first one.
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;", 2));
        QTRY_VERIFY(s.btnRing()->isChecked());
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void thePopUpItemIsDisabledOnAnEmptyTable() {
        Session s;
        s.start(nullptr, {});
        s.window()->mnuPopPopup();
        QVERIFY(!s.action("mnuRing")->isEnabled());
        QCOMPARE(s.action("mnuRing")->text(), QStringLiteral("Набрать номер"));
    }

    void theDialButtonCarriesTheDialingChoiceAndTheModemSettings() {
        Session s;
        s.start(nullptr);
        QToolButton* ring = s.btnRing();
        QCOMPARE(ring->toolTip(), QStringLiteral("Набрать текущий номер (Положить трубку)"));
        QCOMPARE(ring->popupMode(), QToolButton::MenuButtonPopup);
        const QList<QAction*> items = ring->menu()->actions();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items.at(0)->text(), QStringLiteral("Набор номера"));
        QCOMPARE(items.at(1), s.action("mnuConfig"));
        QCOMPARE(items.at(1)->text(), QStringLiteral("Настройка модема"));
        QVERIFY(items.at(2)->isSeparator());
        QCOMPARE(items.at(3), s.action("mnuHangUp"));
        QCOMPARE(items.at(3)->text(), QStringLiteral("Положить трубку"));
        QVERIFY(!items.at(3)->isEnabled());  // no call yet
        const QList<QAction*> dialing = items.at(0)->menu()->actions();
        QCOMPARE(dialing, (QList<QAction*>{s.action("mnuPulse"), s.action("mnuTone")}));
        QCOMPARE(dialing.at(0)->text(), QStringLiteral("Импульсный"));
        QCOMPARE(dialing.at(1)->text(), QStringLiteral("Тоновый"));
        QVERIFY(s.action("mnuPulse")->isChecked());  // as designed
        QVERIFY(!s.action("mnuTone")->isChecked());

        // Clicking the checked item keeps it checked; re-pressing with neither checked
        // checks pulse, with tone checked keeps tone.
        s.action("mnuPulse")->trigger();
        QVERIFY(s.action("mnuPulse")->isChecked());
        s.action("mnuPulse")->setChecked(false);
        QVERIFY(!s.action("mnuTone")->isChecked());
        s.window()->pressCheckedDialingItem();
        QVERIFY(s.action("mnuPulse")->isChecked());
        s.action("mnuTone")->trigger();
        s.window()->pressCheckedDialingItem();
        QVERIFY(s.action("mnuTone")->isChecked());
        QVERIFY(!s.action("mnuPulse")->isChecked());
    }

    void theToneChoiceIsStoredAndDialsAfterARestart() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        s.action("mnuTone")->trigger();
        s.session.restart();
        QCOMPARE(s.session.storedValue(QStringLiteral("mnuTone_Checked")), QStringLiteral("True"));
        QCOMPARE(s.session.storedValue(QStringLiteral("mnuPulse_Checked")),
                 QStringLiteral("False"));
        QVERIFY(s.action("mnuTone")->isChecked());
        QVERIFY(!s.action("mnuPulse")->isChecked());
        s.clickCell(QStringLiteral("Сидоров"), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDT35-00-00;"));
    }

    void theModemSettingsItemSwitchesToTheDesktopPhone() {
        Session s;
        s.start(nullptr);
        // The window hands the number to the desktop that its links use.
        struct RecordingDesktop : Desktop {
            QList<QUrl> opened;
            bool accept = true;
            void openUrl(const QUrl& url, Outcome outcome) override {
                opened << url;
                outcome(accept);
            }
        } desktop;
        Desktop::install(&desktop);
        const auto uninstall = qScopeGuard([] { Desktop::install(nullptr); });
        QList<QUrl>& opened = desktop.opened;
        bool shown = false;
        whenDialogShown<ModemSettingsDialog>([&](ModemSettingsDialog* dialog) {
            shown = true;
            dialog->rbDesktop->click();
            dialog->buttons->button(QDialogButtonBox::Ok)->click();
        });
        s.action("mnuConfig")->trigger();
        QVERIFY(shown);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("TAPI successfully initialized"));
        // Stored in the program's settings file, in a group of their own.
        const auto settings =
            std::make_unique<QSettings>(s.session.settingsFile(), QSettings::IniFormat);
        QCOMPARE(settings->value(QStringLiteral("Modem/Line")).toString(),
                 QStringLiteral("desktop"));
        QVERIFY(!settings->childGroups().contains(QStringLiteral("FormProperties")));

        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.action("mnuTone")->trigger();
        s.pressRing();
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("tel:223344"))});
        QTest::qWait(20);
        QVERIFY(MessageBox::shown().isEmpty());
        // Handed on, the call is the phone application's: the button is not left pressed as
        // for a call of the modem's, and there is nothing to hang up.
        QTRY_VERIFY(s.dialer()->callInProgress());
        QVERIFY(!s.btnRing()->isChecked());
        QVERIFY(!s.action("mnuHangUp")->isEnabled());
        QCOMPARE(s.btnRing()->toolTip(), QStringLiteral("Набрать текущий номер (Положить трубку)"));

        // No program takes tel: links: the box says so, not that a modem is missing.
        desktop.accept = false;
        s.pressRing();
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Не найдено приложение, отвечающее за звонки по ссылкам tel:.\r\n"
                                "Установите одну из известных программ:\r\n"
                                "- GNOME Calls;\r\n- KDE Connect;\r\n- Linphone;\r\n- и т.п."));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        // Both were handed to the desktop's phone, and logged as such.
        const std::vector<CallLogEntry> calls = s.calls();
        QCOMPARE(calls.size(), size_t(2));
        for (const CallLogEntry& call : calls) {
            QCOMPARE(call.direction, CallDirection::Outgoing);
            QCOMPARE(call.line, CallLine::Desktop);
            QCOMPARE(call.number, std::string("22-33-44"));
        }
    }

    // --- The call log ---

    void everyDialIsLoggedWithTheRowsNameTheNewestFirst() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        QVERIFY(s.calls().empty());
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        s.clickCell(QStringLiteral("Сидоров"), 2);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-99-99;"));
        const std::vector<CallLogEntry> calls = s.calls();
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(calls[0].number, std::string("22-99-99"));
        QCOMPARE(calls[0].name, std::string("Сидоров"));
        QCOMPARE(calls[1].number, std::string("22-33-44"));
        QCOMPARE(calls[1].name, std::string("Иванов И.И."));
        for (const CallLogEntry& call : calls) {
            QCOMPARE(call.direction, CallDirection::Outgoing);
            QCOMPARE(call.line, CallLine::Modem);
            QCOMPARE(call.rings, 0);
            QCOMPARE(call.date.size(), size_t(8));
        }
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void aLogThatCannotBeWrittenIsSaidAndTheCallGoesInLater() {
        FakeModem modem;
        Session s;
        s.start(&modem);
        // A file where the log's folder should be.
        const QString data = s.session.settingsFolder() + QStringLiteral("/data");
        QVERIFY(QDir().mkpath(data));
        {
            QFile blocker(data + QStringLiteral("/abonex"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("the call log %1/abonex/Calls.dbf could not be written: %1/abonex/ "
                                "is not a folder")
                     .arg(data));
        QVERIFY(QFile::remove(data + QStringLiteral("/abonex")));
        s.clickCell(QStringLiteral("Сидоров"), 1);
        s.pressRing();
        QVERIFY(modemGot(modem, "ATDP35-00-00;"));
        const std::vector<CallLogEntry> calls = s.calls();
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(calls[0].name, std::string("Сидоров"));
        QCOMPARE(calls[1].name, std::string("Иванов И.И."));
        QCOMPARE(MessageBox::shown().size(), 1);
    }

    // --- The event loop stays free ---

    void aSlowModemNeverHoldsTheWindow() {
        // The far end answers only after 30 s. A press that waited for the modem would return
        // with the call already answered; every press here returns while the modem still
        // dials, and the window's thread goes on handling events meanwhile. (How long events
        // wait is a figure of bench/dial_latency_bench.)
        FakeModem modem;
        modem.setReply("ATD", "OK", 30000);
        Session s;
        s.start(&modem);
        QVERIFY(modemGot(modem, "ATZ", 2));
        const auto answered = [&] {
            return s.statuses.filter(QStringLiteral("Connected")).size() +
                   s.statuses.filter(QStringLiteral("Disconnected")).size();
        };
        EventLatency events;
        s.clickCell(QStringLiteral("Иванов И.И."), 1);
        s.pressRing();  // dials; the modem answers in 30 s
        QCOMPARE(answered(), 0);
        QVERIFY(modemGot(modem, "ATDP22-33-44;"));
        QVERIFY(QTest::qWaitFor([&] { return events.handled() >= 50; }, 10000));
        QCOMPARE(answered(), 0);
        s.clickCell(QStringLiteral("Сидоров"), 1);
        s.pressRing();  // drops the dial still in progress, then dials again
        QVERIFY(modemGot(modem, "ATDP35-00-00;"));
        const int handledBefore = events.handled();
        QTest::keyClicks(s.child<QLineEdit>("edPhone"), "35");
        QTest::keyClick(s.child<QLineEdit>("edPhone"), Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return events.handled() >= handledBefore + 50; }, 10000));
        QCOMPARE(s.statuses.filter(QStringLiteral("Connected")).size(), 0);
        s.window()->close();  // hangs up the dial in progress
        QVERIFY(QTest::qWaitFor([&] { return modem.count("ATH") >= 1; }, 5000));
        events.stop();
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    DialCommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dial_commands_test.moc"
