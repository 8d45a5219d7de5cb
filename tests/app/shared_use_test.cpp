// The directory window while another copy of the program (or another program) works on the same
// tables: a post that fails because another copy holds the index lock, and a row whose record
// another program has cut away.
#include <QAbstractItemModel>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app/application.h"
#include "app/edit_record_dialog.h"
#include "app/main_window.h"
#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_table.h"
#include "engine/file/byte_order.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/mdx_file.h"
#include "tests/app/directory_fixture.h"
#include "tests/app/window_session.h"
#include "tests/support/test_support.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::persons;
using abonex::test::typeText;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

// The row of the grid that shows `name`.
void selectRow(WindowSession& s, const QString& name) {
    const int row = static_cast<int>(s.gridNames().indexOf(name));
    s.grid()->setCurrentIndex(s.grid()->model()->index(row, 0));
}

// Another copy of the program in the middle of a write: it holds the persons' index lock.
class OtherCopyWriting {
  public:
    explicit OtherCopyWriting(TFMain& window)
        : m_path(window.DSet.handler()->indexFile(0)->path()), m_file(m_path, true, true) {
        QVERIFY(m_file.lock(indexFileLockRegion(TgsLokProtocol::Default)));
    }
    void finish() { m_file.unlock(); }
    // The error a post gets when its wait for the index lock runs out.
    QString lockError() const {
        return QStringLiteral("Error 33 in Lock of ") + QString::fromStdString(m_path);
    }

  private:
    std::string m_path;
    GSO_DiskFile m_file;
};

// Another dBASE program appends rows to the persons table: records and header, nothing of the
// index file.
void appendBehindTheIndex(WindowSession& s, const QStringList& names) {
    GSO_dBaseFld table(
        QFile::encodeName(s.fixture().filePath(QStringLiteral("Phone.DBF"))).toStdString(), true,
        true);
    for (const QString& name : names) {
        table.BlankRecord();
        table.FieldPut("NAME", *utf8ToOem(name.toStdString()));
        table.AppendRecord();
    }
}

}  // namespace

class SharedUseTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    void aFailedPostKeepsTheDialogForAnotherTry() {
        WindowSession s;
        s.start();
        test::ShortLockWait shortWait;
        OtherCopyWriting other(*s.window());
        selectRow(s, QStringLiteral("Сидоров"));
        bool openAfterFailure = false;
        DataSetState stateAfterFailure = DataSetState::Inactive;
        int boxesAfterFailure = 0;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            dialog->dbePhone1->clear();
            typeText(dialog->dbePhone1, QStringLiteral("35-11-11"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            openAfterFailure = dialog->isVisible();
            stateAfterFailure = s.window()->DSet.State();
            boxesAfterFailure = static_cast<int>(MessageBox::shown().size());
            // The other copy is done; the user presses "Применить" again.
            other.finish();
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window()->redRecClick();
        QVERIFY(openAfterFailure);
        QCOMPARE(stateAfterFailure, DataSetState::Edit);
        QCOMPARE(boxesAfterFailure, 1);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, other.lockError());
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(s.window()->DSet.State(), DataSetState::Browse);
        QCOMPARE(
            QString::fromStdString(s.fixture().storedEntries(DirectoryMode::Persons).at(2).phone1),
            QStringLiteral("35-11-11"));
    }

    void aFailedPostThatIsCancelledIsNeverPostedLater() {
        WindowSession s;
        s.start();
        test::ShortLockWait shortWait;
        OtherCopyWriting other(*s.window());
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("Лишний"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            QTest::mouseClick(dialog->cancelButton, Qt::LeftButton);
        });
        s.window()->insRecClick();
        QCOMPARE(s.window()->DSet.State(), DataSetState::Browse);
        other.finish();
        // The user's next moves: a search, a mode switch. Neither may post the record.
        typeText(s.edFam(), QStringLiteral("Лиш"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        s.window()->mnuUsersClick();
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Persons).size(), persons().size());
        QVERIFY(!s.gridNames().contains(QStringLiteral("Лишний")));
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, other.lockError());
    }

    void aPostAfterAnotherCopyDeletedTheRecordIsRefusedAndTheRecordStaysDeleted() {
        WindowSession s;
        s.start();
        selectRow(s, QStringLiteral("Сидоров"));
        bool openAfterRefusal = false;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            // Meanwhile another copy deletes the row: a delete takes no record lock.
            TEngineDataSet other;
            other.setDatabaseName(QFile::encodeName(s.fixture().folder()).toStdString());
            other.setTableName("Phone.DBF");
            other.setIndexFiles({"Phone.MDX"});
            other.Open();
            other.GotoRecNo(3);
            QVERIFY(other.Delete());
            other.Close();
            dialog->dbePhone1->clear();
            typeText(dialog->dbePhone1, QStringLiteral("35-11-11"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            openAfterRefusal = dialog->isVisible();
            QTest::mouseClick(dialog->cancelButton, Qt::LeftButton);
        });
        s.window()->redRecClick();
        QVERIFY(openAfterRefusal);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QString::fromLatin1(kMsgRecordDeletedElsewhere.data(),
                                     static_cast<int>(kMsgRecordDeletedElsewhere.size())));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(s.window()->DSet.State(), DataSetState::Browse);
        // The row stays deleted: it is not brought back with the image the edit read.
        QVERIFY(!s.fixture().storedNames(DirectoryMode::Persons).empty());
        for (const QString& name : s.fixture().storedNames(DirectoryMode::Persons)) {
            QVERIFY(name != QStringLiteral("Сидоров"));
        }
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QVERIFY(!s.gridNames().contains(QStringLiteral("Сидоров")));
    }

    void rowsAnotherProgramAppendedShowAtTheNextSearch() {
        WindowSession s;
        s.start();
        appendBehindTheIndex(s, {QStringLiteral("Новиков"), QStringLiteral("Абрамов")});
        typeText(s.edFam(), QStringLiteral("Н"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Новиков")});
        s.edFam()->clear();
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames().size(), 9);
        QCOMPARE(s.gridNames().at(0), QStringLiteral("Абрамов"));
        QVERIFY(MessageBox::shown().isEmpty());
        // The index is whole again: the next search has nothing to rebuild.
        QVERIFY(s.window()->DSet.IndexHoldsAppendedRows());
    }

    void aRowAnotherProgramRenamedInPlaceShowsAtTheNextSearch() {
        WindowSession s;
        s.start();
        typeText(s.edFam(), QStringLiteral("Сидоров"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        {
            // Another dBASE program renames record 3 a while after the index was last written
            // and leaves the index as it was.
            test::ageModifiedTime(
                QFile::encodeName(s.fixture().filePath(QStringLiteral("Phone.MDX"))).toStdString(),
                10);
            GSO_dBaseFld table(
                QFile::encodeName(s.fixture().filePath(QStringLiteral("Phone.DBF"))).toStdString(),
                true, true);
            table.GotoRecord(3);
            table.FieldPut("NAME", *utf8ToOem("Перлов"));
            table.ReplaceRecord(3);
        }
        s.edFam()->clear();
        typeText(s.edFam(), QStringLiteral("Перлов"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Перлов")});
        s.edFam()->clear();
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames().size(), 7);
        QVERIFY(!s.gridNames().contains(QStringLiteral("Сидоров")));
        QVERIFY(MessageBox::shown().isEmpty());
        QVERIFY(!s.window()->DSet.IndexDisagreesWithTable(IndexLook::Samples).has_value());
    }

    void startUpRebuildsAnIndexWithoutTheRowsAnotherProgramAdded() {
        // A fresh installation: empty tables, which another program then filled.
        WindowSession s;
        s.fixture().removeFile(QStringLiteral("Phone.DBF"));
        s.fixture().removeFile(QStringLiteral("Phone.MDX"));
        s.fixture().writeTable(DirectoryMode::Persons, {});
        appendBehindTheIndex(s, {QStringLiteral("Яковлев"), QStringLiteral("Борисов")});
        s.start();
        QCOMPARE(s.gridNames(),
                 (QStringList{QStringLiteral("Борисов"), QStringLiteral("Яковлев")}));
    }

    void clickingARowWhoseRecordWasCutAwayShowsTheTableAsItIs() {
        WindowSession s;
        s.start();
        const QStringList before = s.gridNames();
        QCOMPARE(before.size(), 7);
        // Another program packs the table down to its first three records.
        const QString path = s.fixture().filePath(QStringLiteral("Phone.DBF"));
        QFile table(path);
        QVERIFY(table.open(QIODevice::ReadOnly));
        const QByteArray header = table.read(12);
        table.close();
        QCOMPARE(header.size(), 12);
        const auto* bytes = reinterpret_cast<const uint8_t*>(header.constData());
        QVERIFY(QFile::resize(path, getLE16(bytes + dbf::kHdrHeaderLength) +
                                        3 * getLE16(bytes + dbf::kHdrRecordLength)));
        QStringList expected;
        for (const QString& name : before) {
            if (name == QStringLiteral("Петров-Иванов") || name == QStringLiteral("Иванов И.И.") ||
                name == QStringLiteral("Сидоров")) {
                expected << name;
            }
        }
        // The user clicks the row of Антонов (record 6, gone).
        QTableView* grid = s.grid();
        const int row = static_cast<int>(before.indexOf(QStringLiteral("Антонов")));
        QVERIFY(row != grid->currentIndex().row());
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTRY_COMPARE(s.gridNames(), expected);
        QVERIFY(MessageBox::shown().isEmpty());
        // The rows left behave as rows: clicking one makes it current.
        const int kept = static_cast<int>(expected.indexOf(QStringLiteral("Сидоров")));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(kept, 0)).center());
        QCOMPARE(s.window()->DSet.RecNo(), 3);
        QVERIFY(MessageBox::shown().isEmpty());
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    SharedUseTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "shared_use_test.moc"
