// "Журнал звонков": the user's call log listed the newest first, a call dialed back from it
// (through the window to the fake modem, and logged in turn), clearing after the question, and
// a log that cannot be read.
#include "app/call_log_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/app/window_session.h"
#include "tests/support/test_support.h"
#include "tools/fake_modem/fake_modem.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::FakeModem;
using abonex::test::TempDir;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

std::vector<CallLogEntry> threeCalls() {
    return {{"20261210", "14:05:00", CallDirection::Incoming, "88172538752", "Петров А.Ж.", 3,
             CallLine::None},
            {"20261210", "14:07:10", CallDirection::Outgoing, "53-87-52", "Аптека", 0,
             CallLine::Desktop},
            {"20261211", "09:00:00", CallDirection::Incoming, "", "", 1, CallLine::None}};
}

QStringList rowOf(QTableWidget* list, int row) {
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column) {
        texts << list->item(row, column)->text();
    }
    return texts;
}

struct Dialed {
    QString number;
    QString name;
    int times = 0;
};

}  // namespace

class CallLogDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    void theLogIsListedTheNewestFirst() {
        TempDir dir;
        CallLog(dir.path()).add(threeCalls());
        CallLogDialog dialog(dir.path(), {});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Журнал звонков"));
        auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("lstCalls"));
        QVERIFY(list != nullptr);
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(
            rowOf(list, 0),
            (QStringList{QStringLiteral("11.12.2026 09:00:00"), QStringLiteral("Входящий"),
                         QStringLiteral("номер не определён"), QString(), QStringLiteral("1")}));
        QCOMPARE(rowOf(list, 1),
                 (QStringList{QStringLiteral("10.12.2026 14:07:10"),
                              QStringLiteral("Исходящий (телефон)"), QStringLiteral("53-87-52"),
                              QStringLiteral("Аптека"), QString()}));
        QCOMPARE(rowOf(list, 2),
                 (QStringList{QStringLiteral("10.12.2026 14:05:00"), QStringLiteral("Входящий"),
                              QStringLiteral("88172538752"), QStringLiteral("Петров А.Ж."),
                              QStringLiteral("3")}));
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lblCallLogError"))->isHidden());
        // "Закрыть" only closes it.
        auto* close = dialog.findChild<QPushButton*>(QStringLiteral("btnClose"));
        QCOMPARE(close->text(), QStringLiteral("Закрыть"));
        dialog.show();
        close->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(CallLog(dir.path()).entries().size(), size_t(3));
    }

    void aCallWithANumberIsDialedBackAndOneWithoutCannotBe() {
        TempDir dir;
        CallLog(dir.path()).add(threeCalls());
        Dialed dialed;
        CallLogDialog dialog(dir.path(), [&](const QString& number, const QString& name) {
            dialed.number = number;
            dialed.name = name;
            ++dialed.times;
        });
        auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("lstCalls"));
        auto* callBack = dialog.findChild<QPushButton*>(QStringLiteral("btnCallBack"));
        QCOMPARE(callBack->text(), QStringLiteral("Перезвонить"));
        // The newest call, selected first, came without a number.
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(!callBack->isEnabled());
        list->selectRow(2);
        QVERIFY(callBack->isEnabled());
        callBack->click();
        QCOMPARE(dialed.times, 1);
        QCOMPARE(dialed.number, QStringLiteral("88172538752"));
        QCOMPARE(dialed.name, QStringLiteral("Петров А.Ж."));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void clearingAsksFirstAndThenEmptiesTheLog() {
        TempDir dir;
        CallLog log(dir.path());
        log.add(threeCalls());
        CallLogDialog dialog(dir.path(), {});
        auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("lstCalls"));
        auto* clear = dialog.findChild<QPushButton*>(QStringLiteral("btnClearLog"));
        QCOMPARE(clear->text(), QStringLiteral("Очистить"));
        MessageBox::setNextAnswer(QMessageBox::No);
        clear->click();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("Очистить журнал звонков?"));
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(log.entries().size(), size_t(3));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        clear->click();
        QCOMPARE(list->rowCount(), 0);
        QVERIFY(log.entries().empty());
        QVERIFY(!clear->isEnabled());
    }

    void aDamagedLogShowsItsErrorAndNothingElse() {
        TempDir dir;
        CallLog log(dir.path());
        log.add(threeCalls());
        std::vector<uint8_t> bytes = test::readFileBytes(log.path());
        test::putLe16(bytes, 8, 0xFFF0);
        test::writeFileBytes(log.path(), bytes);
        CallLogDialog dialog(dir.path(), {});
        auto* error = dialog.findChild<QLabel*>(QStringLiteral("lblCallLogError"));
        QVERIFY(!error->isHidden());
        QVERIFY2(error->text().startsWith(QStringLiteral("the call log %1 could not be read: ")
                                              .arg(QString::fromStdString(log.path()))),
                 qPrintable(error->text()));
        QCOMPARE(dialog.findChild<QTableWidget*>(QStringLiteral("lstCalls"))->rowCount(), 0);
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("btnClearLog"))->isEnabled());
        QCOMPARE(test::readFileBytes(log.path()), bytes);
    }

    void theWindowsMenuItemDialsBackThroughTheModemAndLogsIt() {
        FakeModem modem;
        qputenv("ABONEX_MODEM", modem.devicePath().toLocal8Bit());
        WindowSession session;
        session.start();
        QVERIFY(session.window() != nullptr && !session.window()->startupFailed());
        CallLog log((session.settingsFolder() + QStringLiteral("/data/abonex/")).toStdString());
        log.add(threeCalls());
        QAction* item = session.action("mnuCallLog");
        QCOMPARE(item->text(), QStringLiteral("Журнал звонков"));
        bool shown = false;
        whenDialogShown<CallLogDialog>([&](CallLogDialog* dialog) {
            shown = true;
            QCOMPARE(dialog->calls().size(), size_t(3));
            dialog->findChild<QTableWidget*>(QStringLiteral("lstCalls"))->selectRow(2);
            dialog->findChild<QPushButton*>(QStringLiteral("btnCallBack"))->click();
        });
        item->trigger();
        QVERIFY(shown);
        QVERIFY(QTest::qWaitFor([&] { return modem.count("ATDP88172538752;") >= 1; }, 5000));
        const std::vector<CallLogEntry> calls = log.entries();
        QCOMPARE(calls.size(), size_t(4));
        QCOMPARE(calls[0].direction, CallDirection::Outgoing);
        QCOMPARE(calls[0].number, std::string("88172538752"));
        QCOMPARE(calls[0].name, std::string("Петров А.Ж."));
        QCOMPARE(calls[0].line, CallLine::Modem);
        QVERIFY(MessageBox::shown().isEmpty());
        qunsetenv("ABONEX_MODEM");
    }
};

QTEST_MAIN(CallLogDialogTest)
#include "call_log_dialog_test.moc"
