// The start-up and closing rebuilds that the user does not wait for: rows shown from an index
// that covers the table, the rebuild after the first paint with the search last run and the
// current record kept, an index that does not cover the table rebuilt before any row is shown,
// and the closing rebuild run by a process of its own while the window's process goes on.
#include <sys/stat.h>
#include <sys/wait.h>

#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "directory/index_rebuild.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using abonex::test::typeText;
using abonex::test::WindowSession;

namespace abonex {

namespace {

// The file's change time, to the nanosecond: whether a rebuild has written it since.
timespec changedAt(const QString& path) {
    struct stat info {};
    if (::stat(path.toLocal8Bit().constData(), &info) != 0) return {};
    return info.st_mtim;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Every problem the integrity check finds in the index file of `mode`'s table, one per line.
QStringList indexProblems(WindowSession& s, DirectoryMode mode) {
    const DirectoryTable& table = directoryTable(mode);
    const QString folder = s.fixture().folder();
    GSO_dBaseFld dbf((folder + QString::fromLatin1(table.tableFile)).toStdString(), true, false);
    const IndexCheckReport report =
        checkIndexFile(dbf, (folder + QString::fromLatin1(table.indexFile)).toStdString());
    QStringList problems;
    for (const IndexProblem& problem : report.problems) {
        problems << QString::fromStdString(formatIndexProblem(problem));
    }
    return problems;
}

// Leaves the name tag of `mode`'s index file as a rebuild killed before its tree was written
// leaves it.
void clearNameRoot(WindowSession& s, DirectoryMode mode) {
    const DirectoryTable& table = directoryTable(mode);
    const QString folder = s.fixture().folder();
    const std::string index = (folder + QString::fromLatin1(table.indexFile)).toStdString();
    uint32_t headerBlock = 0;
    {
        GSO_dBaseFld dbf((folder + QString::fromLatin1(table.tableFile)).toStdString(), false,
                         false);
        GSobjMDXFile file(dbf, index);
        headerBlock = file.findTag(table.tagName)->headerBlock();
        file.close();
    }
    GSO_DiskFile file(index, false, true);
    const uint8_t zero[4] = {0, 0, 0, 0};
    file.write(uint64_t{headerBlock} * 512, zero, sizeof zero);
}

}  // namespace

class StartCloseTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { MessageBox::clearShown(); }

    void rowsComeFromAWholeIndexAndTheRebuildFollowsKeepingTheLastSearchAndRecord() {
        WindowSession s;
        const QString persons = s.fixture().filePath(QStringLiteral("Phone.MDX"));
        const timespec before = changedAt(persons);
        // Another copy holds the whole organisations index for a while: the rebuild after the
        // paint does the persons table, then waits for that one. (Its writers' lock lies
        // outside the region held, so the quick look at start-up does not wait.)
        auto other = std::make_unique<GSO_DiskFile>(
            s.fixture().filePath(QStringLiteral("Org.MDX")).toStdString(), true, true);
        QVERIFY(other->lock(kLockAllRegion));
        s.start(false);
        QVERIFY(s.window()->startRebuildPending());
        QCOMPARE(s.gridNames().size(), 7);
        // The persons index is rebuilt behind the rows shown, the window answering meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(!sameTime(changedAt(persons), before), 4000);
        QVERIFY(s.window()->startRebuildPending());
        // A row chosen and a search typed but not run before the rebuild is over.
        const auto row = static_cast<int>(s.gridNames().indexOf(QStringLiteral("Сидоров")));
        QVERIFY(row >= 0);
        s.grid()->setCurrentIndex(s.grid()->model()->index(row, 0));
        const int record = s.window()->DSet.RecNo();
        typeText(s.edFam(), QStringLiteral("Ант"));
        other.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!s.window()->startRebuildPending(), 20000);
        // The reload shows the rows of the search last run (every row), not of the text typed,
        // and the record chosen stays current.
        QCOMPARE(s.gridNames().size(), 7);
        QCOMPARE(s.window()->DSet.RecNo(), record);
        QCOMPARE(s.grid()->currentIndex().row(), row);
        QCOMPARE(s.edFam()->text(), QStringLiteral("Ант"));
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(indexProblems(s, DirectoryMode::Persons), QStringList());
        QCOMPARE(indexProblems(s, DirectoryMode::Organisations), QStringList());
        // Enter runs the typed search on the new index.
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Антонов")});
    }

    void aSearchAskedForDuringTheStartRebuildRunsWhenItIsOver() {
        WindowSession s;
        auto other = std::make_unique<GSO_DiskFile>(
            s.fixture().filePath(QStringLiteral("Org.MDX")).toStdString(), true, true);
        QVERIFY(other->lock(kLockAllRegion));
        const QString persons = s.fixture().filePath(QStringLiteral("Phone.MDX"));
        const timespec before = changedAt(persons);
        s.start(false);
        // The rebuild has begun: the persons index is done, the organisations one waits.
        QTRY_VERIFY_WITH_TIMEOUT(!sameTime(changedAt(persons), before), 4000);
        QVERIFY(s.window()->startRebuildPending());
        typeText(s.edFam(), QStringLiteral("Сид"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        // Not run against an index being rewritten: the window says it waits.
        QCOMPARE(s.gridNames().size(), 7);
        QCOMPARE(
            s.window()->statusText(),
            QStringLiteral("Индекс таблицы обновляется, поиск будет выполнен по его окончании"));
        other.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!s.window()->startRebuildPending(), 20000);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void anIndexLeftHalfBuiltIsRebuiltBeforeAnyRowIsShown() {
        WindowSession s;
        for (const DirectoryTable& table : kDirectoryTables) clearNameRoot(s, table.mode);
        s.start();
        // Rebuilt during the start-up itself: nothing is left for after the paint.
        QVERIFY(!s.window()->startRebuildPending());
        QCOMPARE(s.gridNames().size(), 7);
        QCOMPARE(s.gridNames().first(), QStringLiteral("Андреев"));
        for (const DirectoryTable& table : kDirectoryTables) {
            QCOMPARE(indexProblems(s, table.mode), QStringList());
        }
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void closingHandsTheRebuildToAProcessOfItsOwn() {
        WindowSession s;
        s.start();
        s.window()->setClosingRebuildProgram(QStringLiteral(ABONEX_PROGRAM));
        std::vector<QString> indexes;
        std::vector<timespec> before;
        for (const DirectoryTable& table : kDirectoryTables) {
            indexes.push_back(s.fixture().filePath(QString::fromLatin1(table.indexFile)));
            before.push_back(changedAt(indexes.back()));
        }
        QTest::keyClick(s.window(), Qt::Key_Q, Qt::ControlModifier);  // "Выход"
        QVERIFY(!s.window()->isVisible());
        QVERIFY(!s.window()->DSet.Active());
        const auto process = static_cast<pid_t>(s.window()->closingRebuildProcess());
        QVERIFY(process > 0);
        int status = -1;
        QCOMPARE(::waitpid(process, &status, 0), process);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        // Every table's index was rebuilt by that process and checks clean.
        for (size_t i = 0; i < indexes.size(); ++i) {
            QVERIFY2(!sameTime(changedAt(indexes[i]), before[i]), qPrintable(indexes[i]));
            QCOMPARE(indexProblems(s, kDirectoryTables[i].mode), QStringList());
        }
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void aClosingRebuildThatCannotStartIsDoneBeforeTheWindowGoes() {
        WindowSession s;
        s.start();
        s.window()->setClosingRebuildProgram(s.fixture().filePath(QStringLiteral("missing")));
        const QString index = s.fixture().filePath(QStringLiteral("Phone.MDX"));
        const timespec before = changedAt(index);
        s.window()->close();
        QCOMPARE(s.window()->closingRebuildProcess(), qint64(-1));
        QVERIFY(!sameTime(changedAt(index), before));
        QCOMPARE(indexProblems(s, DirectoryMode::Persons), QStringList());
        QVERIFY(MessageBox::shown().isEmpty());
    }
};

}  // namespace abonex

int main(int argc, char** argv) {
    abonex::Application app(argc, argv);
    // Each test closes its window; the quit that would follow must not end a later one.
    QApplication::setQuitOnLastWindowClosed(false);
    abonex::MessageBox::setInteractive(false);
    abonex::StartCloseTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "start_close_test.moc"
