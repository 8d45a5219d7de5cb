// Who is calling: the notice's texts, and a call rung by the fake modem through the modem line
// into a notification that the desktop's notification service (python3-dbusmock's
// notification daemon on a private session bus) records, or, without a service, into the
// notification-area icon's message.
#include "app/call_notifier.h"

#include <QDBusConnection>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/call_notice.h"
#include "app/desktop_notifications.h"
#include "app/tray_icon.h"
#include "dial/hayes_modem_line.h"
#include "directory/table_writer.h"
#include "tests/app/window_session.h"
#include "tests/support/session_bus.h"
#include "tools/fake_modem/fake_modem.h"

using namespace abonex;
using abonex::test::CallerIdForm;
using abonex::test::FakeModem;
using abonex::test::IncomingRing;
using abonex::test::PrivateSessionBus;
using abonex::test::TempDir;
using abonex::test::WindowSession;

namespace {

// An icon that records the messages shown beside it.
class RecordingTray : public TrayIcon {
  public:
    bool isAvailable() const override { return true; }
    void setIcon(const QIcon&) override {}
    void setToolTip(const QString&) override {}
    QString toolTip() const override { return {}; }
    void setContextMenu(QMenu*) override {}
    void setVisible(bool visible) override { m_visible = visible; }
    bool isVisible() const override { return m_visible; }
    void showMessage(const QString& title, const QString& text) override {
        messages << title + u'|' + text;
    }
    QStringList messages;

  private:
    bool m_visible = false;
};

NumberMatch match(const char* name, const char* phone1, const char* phone2, int field) {
    NumberMatch found;
    found.row = {name, phone1, phone2, ""};
    found.field = field;
    return found;
}

CallerId callerWith(const QString& number) {
    CallerId id;
    id.number = number;
    return id;
}

// A notification daemon on a bus of its own (none when `withService` is false), installed as
// the desktop's service while the object lives.
struct NotificationBus {
    explicit NotificationBus(bool withService) {
        if (withService) {
            const std::string services = share.file("dbus-1/services");
            std::filesystem::create_directories(services);
            const std::string service =
                "[D-BUS Service]\nName=org.freedesktop.Notifications\n"
                "Exec=/usr/bin/python3 -m dbusmock --session --template notification_daemon\n";
            test::writeFileBytes(services + "/org.freedesktop.Notifications.service",
                                 std::vector<uint8_t>(service.begin(), service.end()));
        }
        bus = std::make_unique<PrivateSessionBus>(share.path());
        // A connection of its own: one of an earlier test's name would be to that bus.
        static int made = 0;
        connectionName = QStringLiteral("call-notifier-test-%1").arg(++made);
        QDBusConnection::connectToBus(QString::fromStdString(bus->address()), connectionName);
        notifications = std::make_unique<BusNotifications>(connectionName);
        DesktopNotifications::install(notifications.get());
    }
    ~NotificationBus() {
        DesktopNotifications::install(nullptr);
        notifications.reset();
        QDBusConnection::disconnectFromBus(connectionName);
    }

    // What the notification daemon was asked to show, as gdbus prints its record.
    std::string notified() const {
        return bus
            ->call("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                   "org.freedesktop.DBus.Mock.GetCalls")
            .out;
    }

    TempDir share;
    QString connectionName;
    std::unique_ptr<PrivateSessionBus> bus;
    std::unique_ptr<BusNotifications> notifications;
};

// Rings `call` on `modem` and waits until `line` says the rings have stopped.
void ringOn(FakeModem& modem, QObject* line, IncomingRing call) {
    call.rings = 2;
    call.intervalMs = 300;
    QSignalSpy ended(line, SIGNAL(incomingCallEnded(abonex::IncomingCall)));
    modem.ring(call);
    QVERIFY(ended.wait(5000));
}

// Rings `call` on `modem` twice, as a line does, and goes on at once.
void ringTwice(FakeModem& modem, IncomingRing call) {
    call.rings = 2;
    call.intervalMs = 300;
    modem.ring(call);
}

// A directory, a line on a fake modem, a notifier on it and the notification bus.
struct Rig : NotificationBus {
    explicit Rig(bool withService) : NotificationBus(withService) {
        const DirectoryTable& persons = directoryTable(DirectoryMode::Persons);
        writeDirectoryTable(
            tables.file(persons.tableFile), persons,
            {{"Иванов И.И.", "22-33-44", "", ""}, {"Петров А.Ж.", "35-96-27", "53-87-52", ""}});
        HayesModemLine::Options options;
        options.device = modem.devicePath();
        options.ringGapMs = 700;
        line = std::make_unique<HayesModemLine>(options);
        notifier = std::make_unique<CallNotifier>(
            CallNotifier::Sources{[this] { return QString::fromStdString(tables.path() + "/"); },
                                  [] { return QStringLiteral("8172"); }, [this] { return &tray; },
                                  [this](const CallLogEntry& call) { logged.push_back(call); }});
        QObject::connect(line.get(), &LineProvider::incomingCall, notifier.get(),
                         &CallNotifier::callComingIn);
        QObject::connect(line.get(), &LineProvider::incomingCallEnded, notifier.get(),
                         &CallNotifier::callOver);
        std::uint32_t devices = 0, version = 0;
        LINEEXTENSIONID extension{};
        const auto callback = [](std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t, std::uint32_t) {};
        QCOMPARE(line->lineInitialize(app, callback, "abonex-test", devices), 0);
        QCOMPARE(devices, 1u);
        QCOMPARE(line->lineNegotiateAPIVersion(app, 0, kLineApiVersionLow, kLineApiVersionHigh,
                                               version, extension),
                 0);
        QCOMPARE(line->lineOpen(app, 0, handle, version, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr),
                 0);
        QVERIFY(QTest::qWaitFor([&] { return modem.callerIdOn(); }, 5000));
    }

    void ring(const IncomingRing& call) { ringOn(modem, line.get(), call); }

    TempDir tables;
    FakeModem modem;
    RecordingTray tray;
    std::unique_ptr<HayesModemLine> line;
    std::unique_ptr<CallNotifier> notifier;
    std::vector<CallLogEntry> logged;
    HLINEAPP app = 0;
    HLINE handle = 0;
};

// The window on a directory whose person has the caller's number as the second phone, its
// line on `modem`, the town's code 8172 in its settings.
void startWindow(WindowSession& session, const FakeModem& modem) {
    qputenv("ABONEX_MODEM", modem.devicePath().toLocal8Bit());
    session.fixture().removeFile(QStringLiteral("Phone.DBF"));
    session.fixture().removeFile(QStringLiteral("Phone.MDX"));
    session.fixture().writeTable(
        DirectoryMode::Persons,
        {{"Иванов И.И.", "22-33-44", "", ""}, {"Петров А.Ж.", "35-96-27", "53-87-52", ""}});
    {
        QSettings settings(session.settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Modem/TownCode"), QStringLiteral("8172"));
    }
    session.start();
    QVERIFY(session.window() != nullptr && !session.window()->startupFailed());
    QVERIFY(QTest::qWaitFor([&] { return modem.callerIdOn(); }, 5000));
}

}  // namespace

class CallNotifierTest : public QObject {
    Q_OBJECT
  private slots:
    void numbersAreShownAsPeopleWriteThem() {
        QCOMPARE(displayNumber(QStringLiteral("88172538752")), QStringLiteral("8 817 253-87-52"));
        QCOMPARE(displayNumber(QStringLiteral("8172538752")), QStringLiteral("817 253-87-52"));
        QCOMPARE(displayNumber(QStringLiteral("538752")), QStringLiteral("53-87-52"));
        QCOMPARE(displayNumber(QStringLiteral("5387520")), QStringLiteral("538-75-20"));
        QCOMPARE(displayNumber(QStringLiteral("53875")), QStringLiteral("538-75"));
        QCOMPARE(displayNumber(QStringLiteral("0912")), QStringLiteral("0912"));
        QCOMPARE(displayNumber(QStringLiteral("+44 20 7946 0000")),
                 QStringLiteral("+44 20 7946 0000"));
    }

    void theNoticeNamesTheCallerOrSaysPlainlyWhatIsNotKnown() {
        const CallerId caller = callerWith(QStringLiteral("88172538752"));
        QCOMPARE(callNotice(caller, {match("Петров А.Ж.", "35-96-27", "53-87-52", kFieldPhone1)}),
                 (CallNotice{QStringLiteral("Звонит: Петров А.Ж., 35-96-27"), QString()}));
        // The phone shown is the one the number matched.
        QCOMPARE(callNotice(caller, {match("Петров А.Ж.", "35-96-27", "53-87-52", kFieldPhone2)})
                     .summary,
                 QStringLiteral("Звонит: Петров А.Ж., 53-87-52"));
        QCOMPARE(
            callNotice(caller, {}),
            (CallNotice{QStringLiteral("Звонит 8 817 253-87-52 — нет в справочнике"), QString()}));
        const CallNotice several =
            callNotice(caller, {match("Аптека", "53-87-52", "", kFieldPhone1),
                                match("Петров А.Ж.", "35-96-27", "53-87-52", kFieldPhone2)});
        QCOMPARE(several.summary, QStringLiteral("Звонит: Аптека, 53-87-52"));
        QCOMPARE(several.body,
                 QStringLiteral("Этот номер есть у 2 записей справочника: Аптека; Петров А.Ж."));

        CallerId withheld;
        withheld.numberAbsence = CallerIdAbsence::Withheld;
        withheld.name = QStringLiteral("PETROV");
        QCOMPARE(callNotice(withheld, {}), (CallNotice{QStringLiteral("Звонит: номер скрыт"),
                                                       QStringLiteral("Имя по линии: PETROV")}));
        CallerId unavailable;
        unavailable.numberAbsence = CallerIdAbsence::Unavailable;
        QCOMPARE(callNotice(unavailable, {}).summary, QStringLiteral("Звонит: номер не определён"));
        QCOMPARE(
            callNoticeUnread(caller, QStringLiteral("Cannot find file Phone.DBF")),
            (CallNotice{QStringLiteral("Звонит 8 817 253-87-52"),
                        QStringLiteral("Справочник не прочитан: Cannot find file Phone.DBF")}));
    }

    void aRingingCallerIsNotifiedThroughTheDesktopsService() {
        Rig rig(true);
        QVERIFY2(!rig.bus->address().empty(), rig.bus->error().c_str());
        QSignalSpy shown(rig.notifier.get(), &CallNotifier::noticeShown);
        rig.ring({"88172538752", "", "12101405", CallerIdForm::Formatted});
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 10000);
        QCOMPARE(shown.at(0).at(1).toBool(), true);
        QVERIFY2(rig.notified().find("'Звонит: Петров А.Ж., 53-87-52'") != std::string::npos,
                 rig.notified().c_str());

        // The same caller as a data message; then one whose checksum is wrong shows nothing.
        rig.ring({"88172538752", "PETROV A ZH", "12101405", CallerIdForm::Mdmf});
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 10000);
        QCOMPARE(shown.at(1).at(0).value<CallNotice>(),
                 (CallNotice{QStringLiteral("Звонит: Петров А.Ж., 53-87-52"),
                             QStringLiteral("Имя по линии: PETROV A ZH")}));
        IncomingRing bad{"88172999999", "", "12101405", CallerIdForm::Mdmf};
        bad.badChecksum = true;
        rig.ring(bad);
        QTest::qWait(300);
        QCOMPARE(shown.size(), 2);
        QVERIFY(rig.notified().find("299-99-99") == std::string::npos);

        rig.ring({"88172999999", "", "12101405", CallerIdForm::Sdmf});
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 3, 10000);
        QVERIFY2(rig.notified().find("'Звонит 8 817 299-99-99 — нет в справочнике'") !=
                     std::string::npos,
                 rig.notified().c_str());
        QVERIFY(rig.tray.messages.isEmpty());
    }

    void everyCallIsLoggedWhenOverWithTheNameFoundAndItsRings() {
        Rig rig(false);
        QVERIFY2(!rig.bus->address().empty(), rig.bus->error().c_str());
        rig.ring({"88172538752", "", "12101405", CallerIdForm::Formatted});
        QTRY_COMPARE_WITH_TIMEOUT(rig.logged.size(), size_t(1), 10000);
        CallLogEntry call = rig.logged[0];
        QCOMPARE(call.direction, CallDirection::Incoming);
        QCOMPARE(call.number, std::string("88172538752"));
        QCOMPARE(call.name, std::string("Петров А.Ж."));
        QCOMPARE(call.rings, 2);
        QCOMPARE(call.line, CallLine::None);
        QCOMPARE(call.time.size(), size_t(8));

        // Not in the directory: the number without a name.
        rig.ring({"88172999999", "", "12101405", CallerIdForm::Mdmf});
        QTRY_COMPARE_WITH_TIMEOUT(rig.logged.size(), size_t(2), 10000);
        QCOMPARE(rig.logged[1].number, std::string("88172999999"));
        QCOMPARE(rig.logged[1].name, std::string());

        // A message that failed its checks leaves a call without a number.
        IncomingRing bad{"88172538752", "", "12101405", CallerIdForm::Mdmf};
        bad.badChecksum = true;
        rig.ring(bad);
        QTRY_COMPARE_WITH_TIMEOUT(rig.logged.size(), size_t(3), 10000);
        QCOMPARE(rig.logged[2].number, std::string());
        QCOMPARE(rig.logged[2].name, std::string());
        QCOMPARE(rig.logged[2].rings, 2);
        QTest::qWait(300);
        QCOMPARE(rig.logged.size(), size_t(3));  // one entry per call
    }

    void withoutAServiceTheIconShowsTheMessage() {
        Rig rig(false);
        QVERIFY2(!rig.bus->address().empty(), rig.bus->error().c_str());
        QSignalSpy shown(rig.notifier.get(), &CallNotifier::noticeShown);
        rig.ring({"88172538752", "", "12101405", CallerIdForm::Formatted});
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 10000);
        QCOMPARE(shown.at(0).at(1).toBool(), false);
        QCOMPARE(rig.tray.messages, QStringList{QStringLiteral("Звонит: Петров А.Ж., 53-87-52|")});
        // The icon came up for the message.
        QVERIFY(rig.tray.isVisible());
    }

    // The window's line waits for the rings to stop as long as a telephone line's do: one
    // call each.
    void theWindowNamesThePersonWhoseSecondPhoneRings() {
        NotificationBus bus(true);
        QVERIFY2(!bus.bus->address().empty(), bus.bus->error().c_str());
        FakeModem modem;
        WindowSession session;
        startWindow(session, modem);
        ringTwice(modem, {"88172538752", "", "12101405", CallerIdForm::Formatted});
        QTRY_VERIFY_WITH_TIMEOUT(
            bus.notified().find("'Звонит: Петров А.Ж., 53-87-52'") != std::string::npos, 10000);
        // Over, the call is in the user's log, not in the directory's folder.
        const CallLog log(
            (session.settingsFolder() + QStringLiteral("/data/abonex/")).toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(log.entries().size(), size_t(1), 10000);
        QCOMPARE(log.entries()[0].number, std::string("88172538752"));
        QCOMPARE(log.entries()[0].name, std::string("Петров А.Ж."));
        QVERIFY(!QFile::exists(session.fixture().folder() + QStringLiteral("Calls.dbf")));
        qunsetenv("ABONEX_MODEM");
    }

    void withoutAServiceTheWindowsIconShowsTheCallerOfADataMessage() {
        NotificationBus bus(false);
        RecordingTray* tray = nullptr;
        TrayIcon::setFactory([&tray] {
            auto made = std::make_unique<RecordingTray>();
            tray = made.get();
            return made;
        });
        const auto restore = qScopeGuard([] { TrayIcon::setFactory({}); });
        FakeModem modem;
        WindowSession session;
        startWindow(session, modem);
        QVERIFY(tray != nullptr);
        ringTwice(modem, {"88172538752", "", "12101405", CallerIdForm::Mdmf});
        QTRY_COMPARE_WITH_TIMEOUT(
            tray->messages, QStringList{QStringLiteral("Звонит: Петров А.Ж., 53-87-52|")}, 10000);
        qunsetenv("ABONEX_MODEM");
    }
};

QTEST_MAIN(CallNotifierTest)
#include "call_notifier_test.moc"
