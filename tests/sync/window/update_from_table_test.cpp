// The synchronisation window driven as a user drives it: choosing the external table, both
// directions, the comparison with its progress, stopping and hiding it, the list of differences
// and applying it, and closing.
#include "sync/window/update_from_table.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "app/application.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/index_check.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "tests/support/test_support.h"
#include "tests/sync/sync_fixture.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"

using namespace abonex;

namespace {

const QString kBaseCaption = QStringLiteral("Синхронизация с внешней таблицей");
const QString kProgramHint = QStringLiteral("Абонекс (служба 09 после 20:00) v. 4");

// The main window as the synchronisation window sees it, recording what it was asked.
struct FakeHost : SyncWindowHost {
    QString folder;
    QString hint = kProgramHint;
    QStringList hints;  // every hint set, in order
    QWidget* registered = nullptr;
    int registrations = 0;
    int minimised = 0;
    TEngineDataSet* shown = nullptr;

    QString syncDatabaseFolder() const override { return folder; }
    QString trayHint() const override { return hint; }
    void setTrayHint(const QString& text) override {
        hint = text;
        hints << text;
    }
    void setSyncWindow(QWidget* window) override {
        registered = window;
        ++registrations;
    }
    void minimiseApplication() override { ++minimised; }
    TEngineDataSet* shownDataSet() override { return shown; }
    QSize storedSyncWindowSize() const override { return storedSize; }
    void storeSyncWindowSize(const QSize& size) override { storedSize = size; }
    QSize storedSize;
};

// A program folder and a folder with the external copy, and the window over them.
struct Session : test::TwoFolders {
    FakeHost host;
    TEngineDataSet shown;  // the main window's table, for the tests that give the host one
    std::unique_ptr<TFUpdateFromTable> window;

    Session() { host.folder = QString::fromStdString(own()) + u'/'; }
    ~Session() {
        if (window) window->close();
    }

    void write(const std::vector<DirectoryRow>& ownRows,
               const std::vector<DirectoryRow>& externalRows,
               const std::string& fileName = "Phone.DBF") {
        test::writeSyncTable(own(), fileName, DirectoryMode::Persons, ownRows);
        test::writeSyncTable(external(), fileName, DirectoryMode::Persons, externalRows);
    }
    void open() {
        window = std::make_unique<TFUpdateFromTable>(host);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    // Chooses the external table through the open-file dialog.
    void choose(const std::string& fileName = "Phone.DBF") {
        OpenFileDialog::setNextAnswer(QString::fromStdString(external() + "/" + fileName));
        QTest::mouseClick(button("btnBrowse"), Qt::LeftButton);
    }
    void start() { QTest::mouseClick(button("btnStart"), Qt::LeftButton); }
    void waitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 20000); }
    // Presses "Применить изменения" (the question answered Yes) and waits for the apply's end.
    void apply() {
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(button("btnApply"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window->applying(), 20000);
    }
    // Opens, chooses, runs a comparison in the given direction and waits for its end.
    void compare(bool import = true) {
        open();
        if (!import) QTest::mouseClick(button("btnExport"), Qt::LeftButton);
        choose();
        start();
        waitForEnd();
    }

    template <typename T>
    T* child(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("no widget %s", name);
        return found;
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    int page() const { return child<QStackedWidget>("PageControl1")->currentIndex(); }
    QTreeView* list() const { return child<QTreeView>("changesList"); }
    QAbstractItemModel* rows() const { return list()->model(); }
    QString cell(int row, int column) const { return rows()->index(row, column).data().toString(); }
};

std::vector<DirectoryRow> numberedRows(int count, const std::string& phone) {
    std::vector<DirectoryRow> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back({"Абонент " + std::to_string(i), phone, "", ""});
    }
    return rows;
}

}  // namespace

class UpdateFromTableTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        MessageBox::clearShown();
        OpenFileDialog::clearShown();
    }

    // --- Page 1 ---

    void opensOnThePageOfTheComparison() {
        Session s;
        s.open();
        QCOMPARE(s.window->windowTitle(), kBaseCaption);
        QCOMPARE(s.window->size(), QSize(458, 295));
        QCOMPARE(s.page(), 0);
        QVERIFY(s.button("btnImport")->isChecked());
        QVERIFY(!s.button("btnExport")->isChecked());
        QVERIFY(!s.button("btnStart")->isEnabled());
        QCOMPARE(s.button("btnStart")->text(), QStringLiteral("С&тарт !"));
        QCOMPARE(s.button("btnBrowse")->text(), QStringLiteral("О&бзор"));
        QCOMPARE(s.button("btnClose")->text(), QStringLiteral("З&акрыть"));
        QCOMPARE(s.button("Button1")->text(), QStringLiteral("С&прятать"));
        QVERIFY(s.button("btnClose")->isDefault());
        QCOMPARE(s.window->sourcePath(),
                 QStringLiteral("С какой таблицей сравнить? (путь к файлу *.dbf) --->>>"));
        QCOMPARE(s.host.registered, s.window.get());
    }

    void choosingATableOpensBothInTheDirection() {
        Session s;
        s.write({{"Иванов", "1", "", ""}}, {{"Петров", "2", "", ""}});
        s.open();
        s.choose();
        QCOMPARE(OpenFileDialog::shown().size(), 1);
        QCOMPARE(OpenFileDialog::shown().at(0).filter,
                 QStringLiteral("Файлы таблиц Абонекс (Phone.dbf Org.dbf)"));
        QCOMPARE(OpenFileDialog::shown().at(0).defaultSuffix, QStringLiteral("dbf"));
        QCOMPARE(s.window->sourcePath(), QString::fromStdString(s.external() + "/Phone.DBF"));
        QCOMPARE(s.window->TableFileName(), QStringLiteral("Phone.DBF"));
        QCOMPARE(s.window->ExternalFolder(), QString::fromStdString(s.external()));
        QCOMPARE(s.window->windowTitle(), kBaseCaption + QStringLiteral(" (импорт)"));
        QVERIFY(s.button("btnStart")->isEnabled());
        QCOMPARE(s.window->dsSource.DatabaseName(), s.external());
        QCOMPARE(s.window->dsTarget.DatabaseName(), s.own());

        QTest::mouseClick(s.button("btnExport"), Qt::LeftButton);
        QCOMPARE(s.window->windowTitle(), kBaseCaption + QStringLiteral(" (экспорт)"));
        QCOMPARE(s.window->dsSource.DatabaseName(), s.own());
        QCOMPARE(s.window->dsTarget.DatabaseName(), s.external());
        QVERIFY(s.window->dsSource.Active() && s.window->dsTarget.Active());

        // A cancelled dialog keeps the table chosen before and opens it again.
        OpenFileDialog::setNextAnswer(QString());
        QTest::mouseClick(s.button("btnBrowse"), Qt::LeftButton);
        QCOMPARE(s.window->sourcePath(), QString::fromStdString(s.external() + "/Phone.DBF"));
        QVERIFY(s.window->dsSource.Active() && s.window->dsTarget.Active());
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void organisationsAreLockedAsTheMainWindowLocksThem() {
        Session s;
        test::writeSyncTable(s.own(), "Org.dbf", DirectoryMode::Organisations, {});
        test::writeSyncTable(s.external(), "Org.dbf", DirectoryMode::Organisations, {});
        s.open();
        s.choose("Org.dbf");
        QVERIFY(s.window->dsSource.Active());
        QCOMPARE(s.window->dsSource.LockProtocol(), TgsLokProtocol::DB4Lock);
        QCOMPARE(s.window->dsTarget.LockProtocol(), TgsLokProtocol::DB4Lock);
        QCOMPARE(s.window->dsTarget.IndexName(), std::string("ORG_NAME"));
    }

    void aTableThatCannotBeOpenedIsReported() {
        Session s;
        s.write({{"Иванов", "1", "", ""}}, {{"Иванов", "1", "", ""}});
        s.open();
        s.choose();
        QVERIFY(s.button("btnStart")->isEnabled());
        std::filesystem::remove(s.external() + "/Phone.MDX");
        QTest::mouseClick(s.button("btnExport"), Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Error"));
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Не могу открыть выбранную таблицу."));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(s.window->windowTitle(), kBaseCaption);
        // Both tables are closed: there is nothing left to start.
        QVERIFY(!s.button("btnStart")->isEnabled());
        QVERIFY(!s.window->dsSource.Active() && !s.window->dsTarget.Active());

        // A path that is no longer a file: nothing is shown, nothing stays open.
        std::filesystem::remove(s.external() + "/Phone.DBF");
        QTest::mouseClick(s.button("btnImport"), Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), 1);
        QVERIFY(!s.button("btnStart")->isEnabled());
    }

    void findingNothingShowsTheMessageOfTheDirection() {
        for (const bool import : {true, false}) {
            Session s;
            s.write({{"Иванов", "1", "", ""}}, {{"ИВАНОВ", "1", "", ""}});
            MessageBox::clearShown();
            s.compare(import);
            QCOMPARE(MessageBox::shown().size(), 1);
            QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Проверка закончена"));
            QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Information);
            QCOMPARE(MessageBox::shown().at(0).text,
                     import ? QStringLiteral("Внешняя таблица не содержит записей отличных от "
                                             "Ваших!\n\r\n\rПопробуйте сделать \"Экспорт\".")
                            : QStringLiteral("Ваша таблица не содержит записей отличных от "
                                             "внешней!\n\r\n\rПопробуйте сделать \"Импорт\"."));
            QCOMPARE(s.page(), 0);
            QCOMPARE(s.button("btnStart")->text(), QStringLiteral("&Старт !"));
            QCOMPARE(s.window->windowTitle(), kBaseCaption);
            QCOMPARE(s.host.hint, kProgramHint);
            for (const char* name : {"btnClose", "btnBrowse", "btnImport", "btnExport"}) {
                QVERIFY2(s.button(name)->isEnabled(), name);
            }
        }
    }

    void theOwnTableChosenAsTheExternalOneIsComparedWithItself() {
        Session s;
        s.write(numberedRows(2000, "1"), {});
        s.open();
        OpenFileDialog::setNextAnswer(QString::fromStdString(s.own() + "/Phone.DBF"));
        QTest::mouseClick(s.button("btnBrowse"), Qt::LeftButton);
        s.start();
        s.waitForEnd();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Проверка закончена"));
        // One index file rebuilt twice, one rebuild after the other: it is whole.
        GSO_dBaseFld table(s.own() + "/Phone.DBF", true, false);
        const IndexCheckReport report = checkIndexFile(table, s.own() + "/Phone.MDX");
        QVERIFY(report.problems.empty());
    }

    void progressGoesToTheTrayHintAndBack() {
        Session s;
        // Three records of which one differs; one blank name still counts in the progress.
        s.write({{"Иванов", "1", "", ""}},
                {{"", "5", "", ""}, {"Иванов", "1", "", ""}, {"Петров", "2", "", ""}});
        s.compare();
        QVERIFY(!s.host.hints.isEmpty());
        QCOMPARE(s.host.hints.constLast(), kProgramHint);
        QCOMPARE(s.host.hints.at(s.host.hints.size() - 2), QStringLiteral("Выполнено - 100%"));
        QCOMPARE(s.child<QLabel>("Label2")->text(), QString());
        QCOMPARE(s.child<QLabel>("Label3")->text(), QString());
        QCOMPARE(s.child<QProgressBar>("ProgressBar1")->value(), 0);
    }

    void aPartOfTheSourceIsShownWithFourDigitsAndTheDecimalComma() {
        Session s;
        s.write(numberedRows(3, "1"), numberedRows(30000, "1"));
        s.open();
        s.choose();
        QStringList seen;
        QObject::connect(s.child<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged,
                         [&](int) { seen << s.host.hint; });
        s.start();
        s.waitForEnd();
        // Every hint in the run is a share of the 30000 records, as 4 significant digits (a hint
        // shown before the first 1 % has them all after the comma: "0,2133").
        const QRegularExpression share(QStringLiteral("^Выполнено - \\d{1,3}(,\\d{1,4})?%$"));
        int partial = 0;
        for (const QString& hint : s.host.hints.mid(0, s.host.hints.size() - 1)) {
            QVERIFY2(share.match(hint).hasMatch(), qPrintable(hint));
            if (hint != QStringLiteral("Выполнено - 100%")) ++partial;
            QString digits = hint.mid(12).chopped(1).remove(u',');
            while (digits.size() > 1 && digits.startsWith(u'0')) digits.remove(0, 1);
            QVERIFY2(digits.size() <= 4, qPrintable(hint));
        }
        QVERIFY(partial > 0);
    }

    // --- Stopping, hiding, closing ---

    void aStopDuringTheRunLeavesStartAndNoMessage() {
        Session s;
        s.write(numberedRows(10, "1"), numberedRows(40000, "2"));
        s.open();
        s.choose();
        bool pressed = false;
        // Stops at the first progress the run shows, in the middle of the source.
        QObject::connect(s.child<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged,
                         [&](int value) {
                             if (value > 0 && !pressed) {
                                 pressed = true;
                                 QTest::mouseClick(s.button("btnStart"), Qt::LeftButton);
                             }
                         });
        s.start();
        QCOMPARE(s.button("btnStart")->text(), QStringLiteral("&Стоп !"));
        s.waitForEnd();
        QVERIFY(pressed);
        QCOMPARE(s.button("btnStart")->text(), QStringLiteral("Старт!"));
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(s.page(), 0);
        QCOMPARE(s.window->windowTitle(), kBaseCaption + QStringLiteral(" (импорт)"));
        QCOMPARE(s.host.hint, kProgramHint);
        QVERIFY(!s.window->ComparisonRunning());
        // The rows found so far stay, unseen.
        QVERIFY(s.rows()->rowCount() > 0);
        QVERIFY(s.rows()->rowCount() < 40000);
        for (const char* name : {"btnClose", "btnBrowse", "btnImport", "btnExport", "btnStart"}) {
            QVERIFY2(s.button(name)->isEnabled(), name);
        }

        // A stop while the index files are still being rebuilt; then a full run again. The
        // rebuilds keep the bar busy and say so; the stop leaves it still and the line empty.
        s.start();
        auto* bar = s.child<QProgressBar>("ProgressBar1");
        QCOMPARE(bar->maximum(), 0);
        QCOMPARE(s.child<QLabel>("Label2")->text(), QStringLiteral("перестраиваются индексы"));
        QTest::mouseClick(s.button("btnStart"), Qt::LeftButton);
        QCOMPARE(s.button("btnStart")->text(), QStringLiteral("Старт!"));
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(s.child<QLabel>("Label2")->text(), QString());
        s.start();
        s.waitForEnd();
        QCOMPARE(s.page(), 1);
        QCOMPARE(s.rows()->rowCount(), 40000);
    }

    void aRebuildThatFailsEndsTheRunInTheApplicationsErrorBox() {
        Session s;
        s.write(numberedRows(10, "1"), numberedRows(10, "2"));
        s.open();
        s.choose();
        // Another copy holds a lock in the own index file: the rebuild is refused.
        const std::string index = s.own() + "/Phone.MDX";
        GSO_DiskFile other(index, true, true);
        QVERIFY(other.lock(indexFileLockRegion(TgsLokProtocol::Default)));
        s.start();
        s.waitForEnd();
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Абонекс 4"));
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("File access denied - ") + QString::fromStdString(index));
        QCOMPARE(s.button("btnStart")->text(), QStringLiteral("Старт!"));
        QCOMPARE(s.window->windowTitle(), kBaseCaption);
        QCOMPARE(s.host.hint, kProgramHint);
        QCOMPARE(s.page(), 0);
        for (const char* name : {"btnClose", "btnBrowse", "btnImport", "btnExport", "btnStart"}) {
            QVERIFY2(s.button(name)->isEnabled(), name);
        }

        // With the lock free again, the same tables are compared.
        other.unlock();
        s.start();
        s.waitForEnd();
        QCOMPARE(s.page(), 1);
        QCOMPARE(s.rows()->rowCount(), 10);
    }

    void closingDuringTheRunStopsItFirst() {
        Session s;
        s.write(numberedRows(10, "1"), numberedRows(40000, "2"));
        TEngineDataSet& shown = s.shown;
        shown.setDatabaseName(s.own());
        shown.setTableName("Phone.DBF");
        shown.Open();
        s.host.shown = &shown;
        int reopened = 0;
        shown.AfterOpen = [&](TEngineDataSet&) { ++reopened; };
        s.open();
        s.choose();
        QObject::connect(s.child<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged,
                         [&](int value) {
                             if (value > 0 && s.window->isVisible()) s.window->close();
                         });
        s.start();
        QTRY_VERIFY_WITH_TIMEOUT(!s.window->isVisible(), 20000);
        QVERIFY(!s.window->busy());
        QCOMPARE(s.host.hint, kProgramHint);
        QVERIFY(MessageBox::shown().isEmpty());
        // The main window's table was rebuilt and opened again.
        QCOMPARE(reopened, 1);
        QVERIFY(shown.Active());
        shown.AfterOpen = nullptr;
        s.window.reset();
        QCOMPARE(s.host.registered, nullptr);
    }

    void hidingKeepsTheRunGoingAndMinimisesTheProgram() {
        Session s;
        s.write(numberedRows(10, "1"), numberedRows(20000, "2"));
        s.open();
        s.choose();
        s.start();
        QTest::mouseClick(s.button("Button1"), Qt::LeftButton);
        QVERIFY(!s.window->isVisible());
        QCOMPARE(s.host.minimised, 1);
        QVERIFY(s.window->ComparisonRunning());
        s.waitForEnd();
        QCOMPARE(s.rows()->rowCount(), 20000);
        QCOMPARE(s.page(), 1);
        QVERIFY(s.host.hints.contains(QStringLiteral("Выполнено - 100%")));
        QCOMPARE(s.host.hint, kProgramHint);
    }

    // --- Page 2 ---

    void theDifferencesAreListedWithTheirDetails() {
        Session s;
        s.write({{"Иванов И.И.", "11-11-11", "", ""}, {"Козлов", "1", "2", ""}},
                {{"Иванов И.И.", " 22-22-22 ", "", ""},
                 {"Козлов", "1", "3", ""},
                 {"Новиков", "5", "6", ""}});
        s.compare();
        QCOMPARE(s.page(), 1);
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(s.rows()->rowCount(), 3);
        QCOMPARE(s.cell(0, 0), QStringLiteral("Иванов И.И."));
        QCOMPARE(s.cell(0, 1), QStringLiteral("22-22-22"));  // trimmed at both ends
        QCOMPARE(s.cell(0, 3), QStringLiteral("Номер телефона 1 во внешней таблице не совпадает "
                                              "с номером, имеющимся в базе.>>>>><b>11-11-11</b>"));
        QCOMPARE(s.cell(1, 3), QStringLiteral("Номер телефона 2 во внешней таблице не совпадает "
                                              "с номером, имеющимся в базе.>>>>><b>2</b>"));
        QCOMPARE(s.cell(2, 0), QStringLiteral("Новиков"));
        QCOMPARE(s.cell(2, 2), QStringLiteral("6"));
        QCOMPARE(s.cell(2, 3),
                 QStringLiteral("Данная запись в Вашей базе отсутствует.>>>>><b> (пусто) </b>"));
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(s.rows()->index(row, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        }
        QCOMPARE(s.rows()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Фамилия И.О."));
        QVERIFY(s.rows()->headerData(1, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
        QCOMPARE(s.rows()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QCOMPARE(s.list()->columnWidth(0), 200);
        QCOMPARE(s.list()->columnWidth(1), 110);
        QVERIFY(s.list()->isColumnHidden(3));
        QCOMPARE(s.list()->currentIndex().row(), 0);
        QVERIFY(s.child<QRadioButton>("chMy")->isChecked());
        QVERIFY(s.button("btnApply")->isDefault());

        // Details shown: 52-pixel rows; hidden: 18.
        QCOMPARE(s.list()->visualRect(s.rows()->index(1, 0)).height(), 52);
        QTest::mouseClick(s.child<QCheckBox>("chShowDetails"), Qt::LeftButton);
        QCOMPARE(s.list()->visualRect(s.rows()->index(1, 0)).height(), 18);
        QTest::mouseClick(s.child<QCheckBox>("chShowDetails"), Qt::LeftButton);
        QCOMPARE(s.list()->visualRect(s.rows()->index(1, 0)).height(), 52);

        // A click on a row's check box (on its field line) unchecks it.
        const QRect first = s.list()->visualRect(s.rows()->index(0, 0));
        QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, {},
                          QPoint(first.left() + 10, first.top() + 9));
        QCOMPARE(s.rows()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

        // Back to page 1: nothing is applied, and the list stays.
        QTest::mouseClick(s.button("btnBack"), Qt::LeftButton);
        QCOMPARE(s.page(), 0);
        QCOMPARE(s.rows()->rowCount(), 3);
    }

    void exportListsTheOwnRecordsWithTheExportTexts() {
        Session s;
        s.write({{"Иванов", "1", "", ""}, {"Только свой", "2", "", ""}}, {{"Иванов", "3", "", ""}});
        s.compare(/*import=*/false);
        QCOMPARE(s.rows()->rowCount(), 2);
        QCOMPARE(s.cell(0, 3), QStringLiteral("Номер телефона 1 в Вашей базе не совпадает с "
                                              "номером во внешней таблице.>>>>><b>3</b>"));
        QCOMPARE(s.cell(1, 3), QStringLiteral("Данная запись во внешней таблице отсутствует."
                                              ">>>>><b> (пусто) </b>"));
        QVERIFY(s.child<QRadioButton>("chHim")->isChecked());
    }

    void applyAsksFirstAndDeclinedChangesNothing() {
        Session s;
        s.write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}});
        s.compare();
        const auto before = test::readFileBytes(s.own() + "/Phone.DBF");
        MessageBox::setNextAnswer(QMessageBox::No);
        QTest::mouseClick(s.button("btnApply"), Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Внимание!!!"));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Warning);
        QCOMPARE(MessageBox::shown().at(0).defaultButton, QMessageBox::No);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Эта процедура находится в стадии тестирования.\n\r"
                                "Прежде, чем воспользоваться ею, сохраните резервные копии "
                                "файлов базы данных:\n\r- Phone.DBF;\n\r- Phone.MDX;\n\r"
                                "- Org.DBF;\n\r- Org.MDX.\n\r\n\rПродолжить выполнение?"));
        QCOMPARE(s.page(), 1);
        QVERIFY(s.button("btnApply")->isEnabled());
        QCOMPARE(test::readFileBytes(s.own() + "/Phone.DBF"), before);
    }

    void importIntoTheOwnTableOverwritesTheFirstPhone() {
        Session s;
        s.write({{"Иванов", "11", "12", "сосед"}}, {{"Иванов", "22", "", ""}});
        s.compare();
        s.apply();
        QCOMPARE(s.page(), 0);
        // The warning, then what was done.
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).caption, QStringLiteral("Изменения применены"));
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("Изменено телефонов: 1.\n\rДобавлено записей: 0.\n\r"
                                "Удалено записей: 0."));
        QCOMPARE(readDirectoryTable(s.own() + "/Phone.DBF"),
                 (std::vector<DirectoryRow>{{"Иванов", "22", "12", "сосед"}}));
        // The same list cannot be applied twice.
        for (const char* name : {"btnBack", "btnApply", "btnCancel"}) {
            QVERIFY2(!s.button(name)->isEnabled(), name);
        }
    }

    void importIntoTheExternalTableDeletesItsFirstRecordOfTheName() {
        Session s;
        s.write({}, {{"петров", "5", "", ""}, {"Петров", "6", "", ""}});
        s.compare();
        QCOMPARE(s.rows()->rowCount(), 2);
        s.rows()->setData(s.rows()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
        QTest::mouseClick(s.child<QRadioButton>("chHim"), Qt::LeftButton);
        s.apply();
        const auto rows = readDirectoryTable(s.external() + "/Phone.DBF");
        QCOMPARE(rows.size(), size_t(2));
        QVERIFY(rows[0].deleted);  // "петров": the first of the name in file order
        QVERIFY(!rows[1].deleted);
    }

    void exportIntoTheExternalTableAddsTheOwnRecordWithItsComment() {
        Session s;
        s.write({{"Новиков", "33", "44", "сосед"}}, {});
        s.compare(/*import=*/false);
        s.apply();
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("Изменено телефонов: 0.\n\rДобавлено записей: 1.\n\r"
                                "Удалено записей: 0."));
        QCOMPARE(readDirectoryTable(s.external() + "/Phone.DBF"),
                 (std::vector<DirectoryRow>{{"Новиков", "33", "44", "сосед"}}));
    }

    void rowsWhoseRecordIsGoneAreCountedForTheUser() {
        Session s;
        // Both external records point at the one own record: the second row finds it changed.
        s.write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}, {"Иванов", "33", "", ""}});
        s.compare();
        QCOMPARE(s.rows()->rowCount(), 2);
        s.apply();
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).icon, QMessageBox::Information);
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("Изменено телефонов: 1.\n\rДобавлено записей: 0.\n\r"
                                "Удалено записей: 0.\n\r"
                                "Не применено отличий: 1.\n\rЗаписи, к которым они относятся, "
                                "изменены или удалены после проверки."));
        QCOMPARE(readDirectoryTable(s.own() + "/Phone.DBF"),
                 (std::vector<DirectoryRow>{{"Иванов", "22", "", ""}}));
        QCOMPARE(s.page(), 0);
    }

    void withEveryRowUncheckedApplyChangesNothing() {
        Session s;
        s.write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}, {"Петров", "1", "", ""}});
        s.compare();
        for (int row = 0; row < s.rows()->rowCount(); ++row) {
            s.rows()->setData(s.rows()->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
        }
        const auto before = test::readFileBytes(s.own() + "/Phone.DBF");
        s.apply();
        QCOMPARE(s.page(), 0);
        QCOMPARE(test::readFileBytes(s.own() + "/Phone.DBF"), before);
    }

    void theListCountsItsRowsChecksThemAllAndNamesItsFirstColumnAfterTheTable() {
        Session s;
        s.write({{"Иванов", "11", "", ""}},
                {{"Иванов", "22", "", ""}, {"Петров", "1", "", ""}, {"Сидоров", "2", "", ""}});
        s.compare();
        auto* counts = s.child<QLabel>("lblCounts");
        QCOMPARE(counts->text(), QStringLiteral("Отличий: 3, отмечено: 3"));
        QVERIFY(!s.button("btnCheckAll")->isEnabled());
        s.rows()->setData(s.rows()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(counts->text(), QStringLiteral("Отличий: 3, отмечено: 2"));
        QTest::mouseClick(s.button("btnUncheckAll"), Qt::LeftButton);
        QCOMPARE(counts->text(), QStringLiteral("Отличий: 3, отмечено: 0"));
        QCOMPARE(s.window->differences().checked(), (std::vector<bool>{false, false, false}));
        QVERIFY(!s.button("btnUncheckAll")->isEnabled());
        QTest::mouseClick(s.button("btnCheckAll"), Qt::LeftButton);
        QCOMPARE(s.window->differences().checked(), (std::vector<bool>{true, true, true}));
        QCOMPARE(counts->text(), QStringLiteral("Отличий: 3, отмечено: 3"));
        // The persons' list is headed by the person's name.
        QCOMPARE(s.rows()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Фамилия И.О."));
    }

    void organisationsAreListedUnderTheirOwnHeading() {
        Session s;
        const std::string own = s.own();
        const std::string external = s.external();
        test::writeSyncTable(own, "Org.dbf", DirectoryMode::Organisations, {{"Баня", "1", "", ""}});
        test::writeSyncTable(external, "Org.dbf", DirectoryMode::Organisations,
                             {{"Баня", "1", "7", ""}});
        s.open();
        s.choose("Org.dbf");
        s.start();
        s.waitForEnd();
        QCOMPARE(s.rows()->rowCount(), 1);
        QCOMPARE(s.rows()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Организация"));
        // The own record has no second phone: the detail says so instead of ending in arrows.
        QCOMPARE(s.rows()->index(0, DifferenceListModel::kDetailColumn).data().toString(),
                 QStringLiteral("Номер телефона 2 во внешней таблице не совпадает с номером, "
                                "имеющимся в базе.>>>>><b> (пусто) </b>"));
    }

    void escapeOnTheListAsksBeforeThrowingItAway() {
        Session s;
        s.write({{"Иванов", "11", "", ""}}, {{"Иванов", "22", "", ""}});
        s.compare();
        QCOMPARE(s.page(), 1);
        MessageBox::clearShown();
        MessageBox::setNextAnswer(QMessageBox::No);
        QTest::keyClick(s.window.get(), Qt::Key_Escape);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).defaultButton, QMessageBox::No);
        QVERIFY(s.window->isVisible());
        QCOMPARE(s.rows()->rowCount(), 1);
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::keyClick(s.window.get(), Qt::Key_Escape);
        QVERIFY(!s.window->isVisible());
    }

    void aLongApplyLetsTheWindowHandleItsEventsAndEndsWithItsSummary() {
        // 3000 differing rows: applied in one go, the window froze for the whole apply.
        std::vector<DirectoryRow> own;
        std::vector<DirectoryRow> external;
        for (int i = 0; i < 3000; ++i) {
            const std::string name = "Абонент " + std::to_string(i);
            own.push_back({name, "1", "", ""});
            external.push_back({name, "2", "", ""});
        }
        Session s;
        s.write(own, external);
        s.compare();
        QCOMPARE(s.rows()->rowCount(), 3000);
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(s.button("btnApply"), Qt::LeftButton);
        QVERIFY(s.window->applying());
        QVERIFY(s.child<QProgressBar>("pbApply")->isVisible());
        // Escape and the close box do nothing while it runs.
        QTest::keyClick(s.window.get(), Qt::Key_Escape);
        s.window->close();
        QVERIFY(s.window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!s.window->applying(), 60000);
        ticker.stop();
        QVERIFY2(ticks > 1, qPrintable(QString::number(ticks)));
        QCOMPARE(MessageBox::shown().last().text,
                 QStringLiteral("Изменено телефонов: 3000.\n\rДобавлено записей: 0.\n\r"
                                "Удалено записей: 0."));
        QCOMPARE(s.page(), 0);
        const auto rows = readDirectoryTable(s.own() + "/Phone.DBF");
        QCOMPARE(rows.size(), size_t(3000));
        QCOMPARE(rows.back().phone1, std::string("2"));
    }

    void aLockedRecordEndsTheApplyWithTheApplicationsErrorBox() {
        Session s;
        s.write({{"Аптека", "1", "", ""}, {"Школа", "2", "", ""}},
                {{"Аптека", "3", "", ""}, {"Школа", "4", "", ""}});
        s.compare();
        QCOMPARE(s.rows()->rowCount(), 2);
        test::ProcessSignal locked, done;
        const std::string own = s.own();
        // Another copy's main window, editing the second record.
        const int child = test::forkChild([&] {
            TEngineDataSet other;
            other.setDatabaseName(own);
            other.setTableName("Phone.DBF");
            other.setIndexFiles({"Phone.MDX"});
            other.setIndexName("NAME");
            other.Open();
            other.GotoRecNo(2);
            other.Edit();
            locked.notify();
            done.wait();
            return 0;
        });
        QVERIFY(locked.wait());
        s.apply();
        done.notify();
        QCOMPARE(test::waitChild(child), 0);
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("Record is locked by another user"));
        // The row before the locked one stays applied; page 2 stays, its buttons disabled.
        QCOMPARE(readDirectoryTable(own + "/Phone.DBF"),
                 (std::vector<DirectoryRow>{{"Аптека", "3", "", ""}, {"Школа", "2", "", ""}}));
        QCOMPARE(s.page(), 1);
        QVERIFY(!s.button("btnApply")->isEnabled());
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    UpdateFromTableTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "update_from_table_test.moc"
