// "Удалённые записи" and "Сжать таблицу…" in the menu "Телефоны": a row deleted in the window
// listed and brought back, the table packed after the question that counts the rows going for
// good, and a pack refused while another copy has the table open.
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/deleted_rows_dialog.h"
#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "tests/app/window_session.h"
#include "tests/support/test_support.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

using namespace abonex;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

// Deletes the row named `name` through the window, answering its question with Yes.
void deleteInWindow(WindowSession& session, const QString& name) {
    const int row = static_cast<int>(session.gridNames().indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    session.grid()->setCurrentIndex(session.grid()->model()->index(row, 0));
    MessageBox::setNextAnswer(QMessageBox::Yes);
    session.window()->delRecClick();
    QVERIFY(!session.gridNames().contains(name));
    MessageBox::clearShown();
}

std::string phoneTable(WindowSession& session) {
    return localPath(session.fixture().filePath(QStringLiteral("Phone.DBF")));
}

uint32_t recordCountOnDisk(const std::string& table) {
    return test::le32(test::readFileBytes(table), 4);
}

}  // namespace

class TableMaintenanceTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    void aDeletedRowIsListedAndRecalled() {
        WindowSession session;
        session.start();
        deleteInWindow(session, QStringLiteral("Сидоров"));
        deleteInWindow(session, QStringLiteral("Антонов"));
        QAction* item = session.action("mnuDeleted");
        QCOMPARE(item->text(), QStringLiteral("Удалённые записи"));
        bool seen = false;
        whenDialogShown<DeletedRowsDialog>([&](DeletedRowsDialog* dialog) {
            seen = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Удалённые записи"));
            auto* list = dialog->findChild<QTableWidget*>(QStringLiteral("lstDeleted"));
            auto* recall = dialog->findChild<QPushButton*>(QStringLiteral("btnRecall"));
            QCOMPARE(recall->text(), QStringLiteral("Восстановить"));
            QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Фамилия И.О."));
            QCOMPARE(list->rowCount(), 2);
            // Record order: Сидоров is the third row written, Антонов the sixth.
            QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Сидоров"));
            QCOMPARE(list->item(0, 1)->text(), QStringLiteral("35-00-00"));
            QCOMPARE(list->item(0, 2)->text(), QStringLiteral("22-99-99"));
            QCOMPARE(list->item(1, 0)->text(), QStringLiteral("Антонов"));
            QVERIFY(!recall->isEnabled());
            list->selectRow(0);
            QVERIFY(recall->isEnabled());
            recall->click();
            QCOMPARE(list->rowCount(), 1);
            QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Антонов"));
            dialog->reject();
        });
        item->trigger();
        QVERIFY(seen);
        QVERIFY(session.gridNames().contains(QStringLiteral("Сидоров")));
        QVERIFY(!session.gridNames().contains(QStringLiteral("Антонов")));
        // Live on disk, with its key: another reader finds it in name order.
        TEngineDataSet reader;
        reader.setDatabaseName(localPath(session.fixture().folder()));
        reader.setTableName("Phone.DBF");
        reader.setIndexFiles({"Phone.MDX"});
        reader.setIndexName("NAME");
        reader.setReadOnly(true);
        reader.Open();
        QStringList names;
        for (reader.First(); !reader.Eof(); reader.Next()) {
            names << fromAnsi(reader.Fields(0).AsString());
        }
        QCOMPARE(names.size(), 6);
        QVERIFY(names.contains(QStringLiteral("Сидоров")));
    }

    void packAsksHowManyRowsGoAndKeepsTheRest() {
        WindowSession session;
        session.start();
        deleteInWindow(session, QStringLiteral("Сидоров"));
        deleteInWindow(session, QStringLiteral("Антонов"));
        const QStringList live = session.gridNames();
        const std::string table = phoneTable(session);
        const std::vector<uint8_t> before = test::readFileBytes(table);
        QAction* item = session.action("mnuPack");
        QCOMPARE(item->text(), QStringLiteral("Сжать таблицу…"));

        MessageBox::setNextAnswer(QMessageBox::No);
        item->trigger();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Сжатие таблицы"));
        QVERIFY2(MessageBox::shown().at(0).text.startsWith(QStringLiteral("Удалённых записей: 2.")),
                 qPrintable(MessageBox::shown().at(0).text));
        QVERIFY(MessageBox::shown().at(0).text.contains(QStringLiteral("навсегда")));
        QCOMPARE(test::readFileBytes(table), before);

        MessageBox::clearShown();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        item->trigger();
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("Таблица сжата: записей 5, удалено 2."));
        QCOMPARE(recordCountOnDisk(table), 5u);
        QCOMPARE(session.gridNames(), live);
        QVERIFY(session.window()->gridDataSet().Active());
        QCOMPARE(session.window()->gridDataSet().RecordCount(), 5);

        // Nothing left to pack: said so, no question.
        MessageBox::clearShown();
        MessageBox::setNextAnswer(QMessageBox::Ok);
        item->trigger();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("В таблице нет удалённых записей."));
    }

    void packIsRefusedWhileAnotherCopyHasTheTableOpen() {
        WindowSession session;
        session.start();
        deleteInWindow(session, QStringLiteral("Сидоров"));
        const std::string table = phoneTable(session);
        const std::vector<uint8_t> before = test::readFileBytes(table);
        const QStringList live = session.gridNames();
        // Another copy: its own open of the table (a handle of its own, as another process has).
        TEngineDataSet other;
        other.setDatabaseName(localPath(session.fixture().folder()));
        other.setTableName("Phone.DBF");
        other.setReadOnly(true);
        other.Open();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        session.action("mnuPack")->trigger();
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).icon, QMessageBox::Warning);
        QVERIFY2(MessageBox::shown().at(1).text.startsWith(
                     QStringLiteral("Таблица открыта в другой копии программы")),
                 qPrintable(MessageBox::shown().at(1).text));
        QCOMPARE(test::readFileBytes(table), before);
        QCOMPARE(session.gridNames(), live);
        QVERIFY(!session.window()->gridDataSet().ReadOnly());
    }
};

QTEST_MAIN(TableMaintenanceTest)
#include "table_maintenance_test.moc"
