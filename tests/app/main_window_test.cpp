// The main window driven as a user drives it: start-up checks, searching, modes, the record
// dialog, deleting, favourites, the pop-up menu and the width rule.
#include "app/main_window.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/edit_record_dialog.h"
#include "app/start_request.h"
#include "tests/app/directory_fixture.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

using namespace abonex;
using abonex::test::DirectoryFixture;
using abonex::test::favourites;
using abonex::test::organisations;
using abonex::test::persons;
using abonex::test::typeText;
using abonex::test::whenDialogShown;

namespace {

const QString kInstallError = QStringLiteral(
    "Телефонный справочник установлен неправильно.\r\n"
    "Пожалуйста, переустановите пакет abonex и не изменяйте\r\n"
    "после установки местоположение и содержимое\r\n"
    "папки, которую выберите для установки.");

const QString kDatabaseError = QStringLiteral(
    "По какой-то причине невозможно открыть базу данных.\r\n"
    "Проверьте не испорчены ли файлы:\r\n"
    "Phone.dbf;\r\nOrg.dbf;\r\nFavor.dbf;\r\nPhone.dbt;\r\nOrg.dbt;\r\nFavor.dbt;\r\n"
    "Phone.mdx;\r\nOrg.mdx;\r\nFavor.mdx...");

// A window on a fixture folder, shown and active as after start.
struct Session {
    DirectoryFixture fixture;
    std::unique_ptr<TFMain> window;

    void start() {
        window = std::make_unique<TFMain>(fixture.folder());
        if (window->startupFailed()) return;
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        // What a test does next does not meet the start-up rebuild half-way.
        QTRY_VERIFY_WITH_TIMEOUT(!window->startRebuildPending(), 20000);
    }
    ~Session() {
        if (window && window->isVisible()) window->close();
    }

    template <typename T>
    T* child(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) qFatal("no widget %s", name);
        return found;
    }
    QLineEdit* edFam() const { return child<QLineEdit>("edFam"); }
    QLineEdit* edPhone() const { return child<QLineEdit>("edPhone"); }
    QTableView* grid() const { return child<QTableView>("GxDBGrid1"); }
    QAction* action(const char* name) const { return child<QAction>(name); }

    // Names shown in the grid, reading every row.
    QStringList gridNames() const { return abonex::test::gridNames(grid()); }
    void search(const QString& name, const QString& phone = {}, bool enterInPhone = false) {
        edFam()->clear();
        edPhone()->clear();
        typeText(edFam(), name);
        typeText(edPhone(), phone);
        QTest::keyClick(enterInPhone ? edPhone() : edFam(), Qt::Key_Return);
    }
    void selectRow(int row) const { grid()->setCurrentIndex(grid()->model()->index(row, 0)); }
    int rowOf(const QString& name) const { return static_cast<int>(gridNames().indexOf(name)); }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    // --- Start-up ---

    void missingLicenceIsAnInstallationError() {
        Session s;
        s.fixture.writeTable(DirectoryMode::Persons, persons());
        s.start();
        QVERIFY(s.window->startupFailed());
        QVERIFY(!s.window->isVisible());
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kInstallError);
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QVERIFY(!s.window->DSet.Active());
    }

    void personsTableWithoutIndexIsAnInstallationError() {
        Session s;
        s.fixture.writeEula();
        s.fixture.writeTable(DirectoryMode::Persons, persons(), false);
        s.start();
        QVERIFY(s.window->startupFailed());
        QVERIFY(!s.window->isVisible());
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kInstallError);
    }

    void namesAreFoundWhateverTheirLetterCase() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        QVERIFY(QFile::rename(s.fixture.filePath("Phone.DBF"), s.fixture.filePath("PHONE.dbf")));
        QVERIFY(QFile::rename(s.fixture.filePath("Phone.MDX"), s.fixture.filePath("phone.mdx")));
        QVERIFY(QFile::rename(s.fixture.filePath("EULA.txt"), s.fixture.filePath("eula.TXT")));
        s.start();
        QVERIFY(!s.window->startupFailed());
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(s.gridNames().size(), 7);
    }

    void missingOrganisationIndexDisablesItsButtonSilently() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.fixture.removeFile(QStringLiteral("Org.MDX"));
        s.start();
        QVERIFY(!s.window->startupFailed());
        QVERIFY(MessageBox::shown().isEmpty());
        QVERIFY(!s.child<QToolButton>("btnOrg")->isEnabled());
        QVERIFY(s.child<QToolButton>("btnFavorit")->isEnabled());
        QVERIFY(!s.window->DSOrg.Active());
        QCOMPARE(s.gridNames().size(), 7);
    }

    void missingFavouritesDisableCopyToFavourites() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.fixture.removeFile(QStringLiteral("Favor.dbf"));
        s.start();
        QVERIFY(!s.child<QToolButton>("btnFavorit")->isEnabled());
        QVERIFY(!s.action("addKont")->isEnabled());
        s.window->mnuPopPopup();
        QVERIFY(!s.action("addKont")->isEnabled());
        QVERIFY(s.action("insRec")->isEnabled());
    }

    void damagedTableShowsTheDatabaseErrorAndKeepsRunning() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        QFile org(s.fixture.filePath("Org.dbf"));
        QVERIFY(org.open(QIODevice::WriteOnly | QIODevice::Truncate));
        org.write("not a table");
        org.close();
        s.start();
        QVERIFY(!s.window->startupFailed());
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kDatabaseError);
        QVERIFY(!s.window->DSet.Active());
        QVERIFY(!s.window->DSOrg.Active());
        QVERIFY(s.window->isVisible());
        QCOMPARE(s.gridNames().size(), 0);
    }

    void windowStartsInPersonsModeWithTheDesignedGeometry() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        QCOMPARE(s.window->windowTitle(), QStringLiteral("Абонекс (служба 09 после 20:00) v. 4"));
        QCOMPARE(s.window->minimumSize(), QSize(350, 224));
        QVERIFY(s.action("mnuUsers")->isChecked());
        QVERIFY(s.child<QToolButton>("btnUser")->isChecked());
        QCOMPARE(s.grid()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Фамилия И.О."));
        QVERIFY(!s.child<QStatusBar>("StatusBar1")->isVisible());
        // Rows in name order (the index's order, by stored bytes).
        const QStringList names = s.gridNames();
        QCOMPARE(names.size(), 7);
        QCOMPARE(names.first(), QStringLiteral("Андреев"));
        QVERIFY(names.indexOf(QStringLiteral("ИВАНОВА А.А.")) <
                names.indexOf(QStringLiteral("Иванов И.И.")));
        QCOMPARE(s.edFam()->text(), QString());
        QVERIFY(s.edFam()->hasFocus());
    }

    // --- Search ---

    void prefixSearchByTypingAndEnter() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        typeText(s.edFam(), QStringLiteral("иван"));
        QCOMPARE(s.gridNames().size(), 7);  // typing alone does not search
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QStringList names = s.gridNames();
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("ИВАНОВА А.А."), QStringLiteral("Иванов И.И."),
                                     QStringLiteral("иванченко")}));
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"иван\""));

        s.search(QStringLiteral("Ивановский"));
        QVERIFY(s.gridNames().isEmpty());
    }

    void substringSearchFindsTheTextAnywhere() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.child<QRadioButton>("chAny")->click();
        s.search(QStringLiteral("иван"));
        QCOMPARE(s.gridNames().size(), 4);
        QVERIFY(s.gridNames().contains(QStringLiteral("Петров-Иванов")));
    }

    void prefixModeWantsBothTextsSubstringModeEither() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.search(QStringLiteral("А"), QStringLiteral("22"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Антонов")});

        s.child<QRadioButton>("chAny")->click();
        s.search(QStringLiteral("А"), QStringLiteral("22"), true);
        QStringList names = s.gridNames();
        names.sort();
        // Contains "А" (upper-cased) or a phone containing "22"; Сидоров has 22 in his second
        // phone only.
        QStringList expected{QStringLiteral("Андреев"),       QStringLiteral("Антонов"),
                             QStringLiteral("ИВАНОВА А.А."),  QStringLiteral("Иванов И.И."),
                             QStringLiteral("Петров-Иванов"), QStringLiteral("иванченко"),
                             QStringLiteral("Сидоров")};
        expected.sort();
        QCOMPARE(names, expected);
    }

    void phoneSearchLooksAtBothPhones() {
        // A number stored as a person's second phone found nobody.
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.search({}, QStringLiteral("22-99-99"), true);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        s.search({}, QStringLiteral("35-00"), true);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        s.search({}, QStringLiteral("11-11"), true);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Иванов И.И.")});
    }

    void statusLineFollowsTheRule() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        // The mode switch at showing leaves the table unfiltered for a moment and counts it.
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 7 записей"));
        s.search(QStringLiteral("Сид"));
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Сид\""));
        // A phone-only search has no name to show: it says how many rows it found (it left
        // the count of the whole table there, as if nothing was filtered).
        s.search({}, QStringLiteral("41"), true);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("ИВАНОВА А.А.")});
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по телефону \"41\": найдено 1"));
        // In another mode the rule applies to the table shown: unfiltered for a moment, then
        // filtered with an empty name box, which keeps the count.
        s.window->mnuOrgClick();
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 3 записей"));
    }

    void clearButtonEmptiesBothBoxesAndShowsEverything() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.search(QStringLiteral("Сид"), QStringLiteral("35"));
        QCOMPARE(s.gridNames().size(), 1);
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        QCOMPARE(s.edFam()->text(), QString());
        QCOMPARE(s.edPhone()->text(), QString());
        QCOMPARE(s.gridNames().size(), 7);
    }

    void activationEmptiesTheNameBoxAndKeepsThePhoneSearch() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        typeText(s.edFam(), QStringLiteral("Сид"));
        typeText(s.edPhone(), QStringLiteral("22"));
        s.window->FormActivate();
        QCOMPARE(s.edFam()->text(), QString());
        QStringList names = s.gridNames();
        names.sort();
        // The first phone or the second (Сидоров's) begins with 22.
        QCOMPARE(names, (QStringList{QStringLiteral("Антонов"), QStringLiteral("Иванов И.И."),
                                     QStringLiteral("Петров-Иванов"), QStringLiteral("Сидоров"),
                                     QStringLiteral("иванченко")}));
    }

    void searchTriesWhatTheTextWasMeantAsAndTheStatusLineSaysWhich() {
        Session s;
        std::vector<DirectoryRow> people = persons();
        people.push_back({"Ёлкин Е.Е.", "53-87-52", {}, {}});
        s.fixture.writeAll(people, organisations(), favourites());
        s.start();
        s.search(QStringLiteral("елкин"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Ёлкин Е.Е.")});
        QCOMPARE(s.window->statusText(), QStringLiteral("Найдено без учёта Ё"));
        s.search(QStringLiteral("Cbljhjd"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        QCOMPARE(s.window->statusText(), QStringLiteral("Найдено по раскладке: Сидоров"));
        s.search(QStringLiteral("ivanov"));
        QStringList names = s.gridNames();
        names.sort();
        QCOMPARE(names,
                 (QStringList{QStringLiteral("ИВАНОВА А.А."), QStringLiteral("Иванов И.И.")}));
        QCOMPARE(s.window->statusText(), QStringLiteral("Найдено по транслитерации: иванов"));
        s.search({}, QStringLiteral("350000"), true);
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        QCOMPARE(s.window->statusText(), QStringLiteral("Найдено по цифрам номера: 350000"));

        // Found as typed: the rows and the status line of the search as typed.
        s.search(QStringLiteral("Сид"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Сид\""));
        // Found by nothing: no rows, and the status line of the search as typed.
        s.search(QStringLiteral("Щщщ"));
        QVERIFY(s.gridNames().isEmpty());
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Щщщ\""));

        // A variant's note goes with the search it belongs to: the reset counts the table again.
        s.search(QStringLiteral("Cbljhjd"));
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 8 записей"));
        QCOMPARE(s.gridNames().size(), 8);
    }

    void variantsSearchTheTableShownInEveryMode() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->mnuOrgClick();
        s.search(QStringLiteral("irjkf"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Школа №5")});
        QCOMPARE(s.window->statusText(), QStringLiteral("Найдено по раскладке: школа"));
        s.window->mnuFavoritClick();
        s.search(QStringLiteral("vfvf"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Мама")});
    }

    void startsOnTheRowTheDesktopSearchAskedFor() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.window = std::make_unique<TFMain>(s.fixture.folder());
        QVERIFY(!s.window->startupFailed());
        s.window->showRecordAtStart(DirectoryMode::Organisations, 2);
        s.window->show();
        QApplication::setActiveWindow(s.window.get());
        QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
        QTRY_COMPARE(s.window->mode(), DirectoryMode::Organisations);
        QCOMPARE(s.edFam()->text(), QStringLiteral("Школа №5"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Школа №5")});
        QCOMPARE(s.window->DSOrg.RecNo(), 2);
        QCOMPARE(s.window->gridModel()->recordAt(s.grid()->currentIndex().row()), 2);
        // Asked once: a later activation searches as always.
        s.window->FormActivate();
        QCOMPARE(s.edFam()->text(), QString());
        QCOMPARE(s.gridNames().size(), 3);
    }

    void startsOnThePersonAmongItsNamesakesOrOnTheTableWhenTheRowIsGone() {
        Session s;
        std::vector<DirectoryRow> people = persons();
        people.push_back({"Иванов И.И.", "99-99-99", {}, {}});
        s.fixture.writeAll(people, organisations(), favourites());
        s.window = std::make_unique<TFMain>(s.fixture.folder());
        s.window->showRecordAtStart(DirectoryMode::Persons, 8);
        s.window->show();
        QApplication::setActiveWindow(s.window.get());
        QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
        QTRY_COMPARE(s.edFam()->text(), QStringLiteral("Иванов И.И."));
        QCOMPARE(s.gridNames().size(), 2);
        QCOMPARE(s.window->gridModel()->recordAt(s.grid()->currentIndex().row()), 8);

        Session gone;
        gone.fixture.writeAll(persons(), organisations(), favourites());
        gone.window = std::make_unique<TFMain>(gone.fixture.folder());
        gone.window->showRecordAtStart(DirectoryMode::Organisations, 40);
        gone.window->show();
        QApplication::setActiveWindow(gone.window.get());
        QVERIFY(QTest::qWaitForWindowActive(gone.window.get()));
        QTRY_COMPARE(gone.window->mode(), DirectoryMode::Organisations);
        QCOMPARE(gone.edFam()->text(), QString());
        QCOMPARE(gone.gridNames().size(), 3);
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void theStartRowIsShownWithoutWaitingForAnActivation() {
        // A window started by another program may stay behind the active one: here the
        // window's own first activation is over before the row is asked for.
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->showRecordAtStart(DirectoryMode::Organisations, 3);
        QTRY_COMPARE(s.edFam()->text(), QStringLiteral("Городская больница"));
        QCOMPARE(s.window->mode(), DirectoryMode::Organisations);
        QCOMPARE(s.window->gridModel()->recordAt(s.grid()->currentIndex().row()), 3);
    }

    void startArgumentsAreUnderstoodOrRefused() {
        QString error;
        std::optional<StartRequest> request = parseStartArguments({}, &error);
        QVERIFY(request.has_value());
        QCOMPARE(request->folder, QString());
        QCOMPARE(request->record, 0);
        request =
            parseStartArguments({QStringLiteral("--table"), QStringLiteral("/srv/town/ORG.DBF"),
                                 QStringLiteral("--record"), QStringLiteral("12")},
                                &error);
        QVERIFY(request.has_value());
        QCOMPARE(request->folder, QStringLiteral("/srv/town/"));
        QCOMPARE(request->mode, DirectoryMode::Organisations);
        QCOMPARE(request->record, 12);
        request = parseStartArguments({QStringLiteral("--table"), QStringLiteral("/t/favor.dbf")},
                                      &error);
        QVERIFY(request.has_value());
        QCOMPARE(request->mode, DirectoryMode::Favourites);
        QCOMPARE(request->record, 0);
        const std::vector<std::pair<QStringList, QString>> refused = {
            {{QStringLiteral("--record"), QStringLiteral("3")},
             QStringLiteral("--record needs --table")},
            {{QStringLiteral("--table")}, QStringLiteral("option \"--table\" needs a value")},
            {{QStringLiteral("--table"), QStringLiteral("/t/Phone.DBF"), QStringLiteral("--record"),
              QStringLiteral("0")},
             QStringLiteral("--record wants one record number, 1 or more")},
            {{QStringLiteral("--table"), QStringLiteral("/t/Phone.DBF"), QStringLiteral("--record"),
              QStringLiteral("x")},
             QStringLiteral("--record wants one record number, 1 or more")},
            {{QStringLiteral("--table"), QStringLiteral("/t/other.dbf")},
             QStringLiteral("--table wants Phone.DBF, Org.dbf or Favor.dbf, not \"other.dbf\"")},
            {{QStringLiteral("--table"), QStringLiteral("/a/Phone.DBF"), QStringLiteral("--table"),
              QStringLiteral("/b/Phone.DBF")},
             QStringLiteral("--table is given twice")},
            {{QStringLiteral("/t/Phone.DBF")}, QStringLiteral("unknown argument \"/t/Phone.DBF\"")},
        };
        for (const auto& [arguments, message] : refused) {
            error.clear();
            QVERIFY2(!parseStartArguments(arguments, &error), qPrintable(arguments.join(u' ')));
            QCOMPARE(error, message);
        }
    }

    // --- Modes ---

    void switchingModesClearsTheSearchAndChecksOneItem() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.search(QStringLiteral("Сид"), QStringLiteral("35"));
        QTest::keyClick(s.window.get(), Qt::Key_F3);
        QVERIFY(s.action("mnuOrg")->isChecked());
        QVERIFY(!s.action("mnuUsers")->isChecked());
        QVERIFY(!s.action("mnuFavorit")->isChecked());
        QVERIFY(s.child<QToolButton>("btnOrg")->isChecked());
        QCOMPARE(s.edFam()->text(), QString());
        QCOMPARE(s.edPhone()->text(), QString());
        QCOMPARE(s.grid()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Организация"));
        QCOMPARE(s.grid()->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("телефон 1"));
        QCOMPARE(s.gridNames().size(), 3);

        QTest::mouseClick(s.child<QToolButton>("btnUser"), Qt::LeftButton);
        QVERIFY(s.action("mnuUsers")->isChecked());
        QVERIFY(!s.action("mnuOrg")->isChecked());
        QCOMPARE(s.gridNames().size(), 7);
        QVERIFY(!s.window->DSet.Filtered());

        s.window->mnuFavoritClick();
        QCOMPARE(s.grid()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Контакт"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Мама")});
        QVERIFY(!s.action("addKont")->isEnabled());
    }

    void organisationSearchInSubstringMode() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->mnuOrgClick();
        s.child<QRadioButton>("chAny")->click();
        s.search(QStringLiteral("№"));
        QStringList names = s.gridNames();
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("Аптека №1"), QStringLiteral("Школа №5")}));
    }

    // --- Record maintenance ---

    void insertThroughTheDialogAddsTheRecord() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->mnuOrgClick();
        QString caption;
        QString label;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            caption = dialog->windowTitle();
            label = dialog->Label1->text();
            typeText(dialog->dbeName, QStringLiteral("Баня"));
            typeText(dialog->dbePhone1, QStringLiteral("2-44-44"));
            typeText(dialog->dbmComment, QStringLiteral("по субботам"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window->insRecClick();
        QCOMPARE(caption, QStringLiteral("Новая запись"));
        QCOMPARE(label, QStringLiteral("Организация"));
        const auto stored = s.fixture.storedEntries(DirectoryMode::Organisations);
        QCOMPARE(stored.size(), size_t(4));
        QCOMPARE(QString::fromStdString(stored.back().name), QStringLiteral("Баня"));
        QCOMPARE(QString::fromStdString(stored.back().phone1), QStringLiteral("2-44-44"));
        QCOMPARE(QString::fromStdString(stored.back().comment), QStringLiteral("по субботам"));
        // Shown in name order, and current.
        QCOMPARE(s.gridNames(),
                 (QStringList{QStringLiteral("Аптека №1"), QStringLiteral("Баня"),
                              QStringLiteral("Городская больница"), QStringLiteral("Школа №5")}));
        QCOMPARE(s.grid()->currentIndex().row(), 1);
    }

    void recordsInsertedIntoAnEmptyTableAreIndexed() {
        Session s;
        s.fixture.writeAll({}, organisations(), favourites());
        s.start();
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(s.gridNames().size(), 0);
        for (const QString& name : {QStringLiteral("Яковлев"), QStringLiteral("Андреев")}) {
            whenDialogShown<TFEditRecord>([name](TFEditRecord* dialog) {
                typeText(dialog->dbeName, name);
                QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            });
            s.window->insRecClick();
        }
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(s.gridNames(),
                 (QStringList{QStringLiteral("Андреев"), QStringLiteral("Яковлев")}));
        s.window->close();
        // The index file on disk holds both, in name order.
        TEngineDataSet check;
        check.setDatabaseName(s.fixture.folder().toStdString());
        check.setTableName("Phone.DBF");
        check.Open();
        check.OpenIndexFiles("PHONE.MDX", "NAME");
        std::vector<DataSetRow> rows = check.fetchRows(0, 10);
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows.at(0).recordNumber, 2);
        QCOMPARE(rows.at(1).recordNumber, 1);
    }

    void closingTheDialogByItsCloseBoxCancelsTheInsert() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        typeText(s.edFam(), QStringLiteral("Сид"));
        whenDialogShown<TFEditRecord>([](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("Лишний"));
            dialog->close();
        });
        s.window->insRecClick();
        // The window's activation when the dialog hands back the focus empties the name box.
        QTRY_COMPARE(s.edFam()->text(), QString());
        QCOMPARE(s.fixture.storedNames(DirectoryMode::Persons).size(), size_t(7));
        QCOMPARE(s.gridNames().size(), 7);
        QCOMPARE(s.window->DSet.State(), DataSetState::Browse);
    }

    void editChangesTheSelectedRecord() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.selectRow(s.rowOf(QStringLiteral("Сидоров")));
        QString shownName;
        QString caption;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            caption = dialog->windowTitle();
            shownName = dialog->dbeName->text();
            dialog->dbePhone2->clear();
            typeText(dialog->dbePhone2, QStringLiteral("99-00-00"));
            QTest::keyClick(dialog->dbeName, Qt::Key_Return);  // the default button
        });
        s.window->redRecClick();
        QCOMPARE(caption, QStringLiteral("Редактирование записи"));
        QCOMPARE(shownName, QStringLiteral("Сидоров"));
        const auto stored = s.fixture.storedEntries(DirectoryMode::Persons);
        QCOMPARE(QString::fromStdString(stored.at(2).name), QStringLiteral("Сидоров"));
        QCOMPARE(QString::fromStdString(stored.at(2).phone2), QStringLiteral("99-00-00"));
        QCOMPARE(stored.size(), size_t(7));
    }

    void deleteAnsweredYesRemovesTheRecord() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.selectRow(s.rowOf(QStringLiteral("Сидоров")));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        s.window->delRecClick();
        QCOMPARE(MessageBox::shown().size(), 1);
        const MessageBox::Shown& box = MessageBox::shown().at(0);
        QCOMPARE(box.caption, QStringLiteral("Удаление записи?"));
        QCOMPARE(box.text, QStringLiteral("Удалить из базы\n\rСидоров\n\r\n\rВы уверены?"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.defaultButton, QMessageBox::No);
        QVERIFY(!s.gridNames().contains(QStringLiteral("Сидоров")));
        QCOMPARE(s.fixture.storedNames(DirectoryMode::Persons).size(), size_t(6));
    }

    void deleteAnsweredNoKeepsTheRecordSilently() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.selectRow(s.rowOf(QStringLiteral("Сидоров")));
        MessageBox::setNextAnswer(QMessageBox::No);
        s.window->delRecClick();
        QCOMPARE(MessageBox::shown().size(), 1);  // the question and nothing after it
        QVERIFY(s.gridNames().contains(QStringLiteral("Сидоров")));
        QCOMPARE(s.fixture.storedNames(DirectoryMode::Persons).size(), size_t(7));
        QCOMPARE(s.window->DSet.State(), DataSetState::Browse);
    }

    void copyingAnOrganisationKeepsItsWholeNameAndComment() {
        const QString longName =
            QStringLiteral("Государственное ") + QString(84, QChar(u'Я'));  // 100 characters
        QCOMPARE(longName.size(), 100);
        Session s;
        auto orgs = organisations();
        orgs.push_back({longName.toStdString(), "2-99-99", "2-98-98", "ул. Заводская, д. 109"});
        s.fixture.writeAll(persons(), orgs, favourites());
        s.start();
        s.window->mnuOrgClick();
        s.selectRow(s.rowOf(longName));
        s.window->mnuPopPopup();
        QVERIFY(s.action("addKont")->isEnabled());
        s.window->addKontClick();
        const auto stored = s.fixture.storedEntries(DirectoryMode::Favourites);
        QCOMPARE(stored.size(), size_t(2));
        QCOMPARE(QString::fromStdString(stored.back().name), longName);
        QCOMPARE(QString::fromStdString(stored.back().phone1), QStringLiteral("2-99-99"));
        QCOMPARE(QString::fromStdString(stored.back().phone2), QStringLiteral("2-98-98"));
        QCOMPARE(QString::fromStdString(stored.back().comment),
                 QStringLiteral("ул. Заводская, д. 109"));
    }

    void popUpCaptionsNameTheRow() {
        Session s;
        auto people = persons();
        people.push_back({{}, "00-00-00", {}, {}});
        s.fixture.writeAll(people, organisations(), favourites());
        s.start();
        s.selectRow(s.rowOf(QStringLiteral("Иванов И.И.")));
        s.window->mnuPopPopup();
        QCOMPARE(s.action("addKont")->text(),
                 QStringLiteral("Добавить в контакты (Иванов И.И. тел. 22-33-44)"));
        QVERIFY(s.action("delRec")->isEnabled());

        s.selectRow(s.rowOf(QString()));
        s.window->mnuPopPopup();
        QCOMPARE(s.action("addKont")->text(), QStringLiteral("Добавить в контакты"));
    }

    void popUpOnAnEmptyTableDisablesTheRecordItems() {
        Session s;
        s.fixture.writeAll(persons(), {}, favourites());
        s.start();
        s.window->mnuOrgClick();
        s.window->mnuPopPopup();
        // A first record can still be added.
        QVERIFY(s.action("insRec")->isEnabled());
        QVERIFY(!s.action("redRec")->isEnabled());
        QVERIFY(!s.action("delRec")->isEnabled());
        QVERIFY(!s.action("addKont")->isEnabled());
    }

    void aFirstRecordCanBeAddedToAnEmptyTableAndAfterASearchThatFoundNothing() {
        // After a fresh install every table is empty: the record items were disabled while the
        // grid had no row, and nothing else added one.
        Session s;
        s.fixture.writeAll({}, organisations(), favourites());
        s.start();
        QCOMPARE(s.gridNames().size(), 0);
        QMenu* phones = s.child<QMenu>("mnuPhones");
        QVERIFY(phones->actions().contains(s.action("insRec")));
        emit phones->aboutToShow();
        QVERIFY(s.action("insRec")->isEnabled());
        s.window->mnuPopPopup();
        QVERIFY(s.action("insRec")->isEnabled());
        QVERIFY(!s.action("redRec")->isEnabled());
        whenDialogShown<TFEditRecord>([](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("Первый"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.action("insRec")->trigger();
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Первый")});

        // A search that finds nothing says so beside its filter, and the key of the grid adds a
        // record.
        QLabel* nothing = s.child<QLabel>("lblFoundNothing");
        QVERIFY(nothing->isHidden());
        s.search(QStringLiteral("Яблоков"));
        QCOMPARE(s.gridNames().size(), 0);
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Яблоков\""));
        QVERIFY(!nothing->isHidden());
        QCOMPARE(nothing->text(), QStringLiteral("ничего не найдено"));
        s.window->mnuPopPopup();
        QVERIFY(s.action("insRec")->isEnabled());
        whenDialogShown<TFEditRecord>([](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("Яблоков"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        QApplication::setActiveWindow(s.window.get());
        QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
        s.grid()->setFocus();
        QTRY_VERIFY(s.grid()->hasFocus());
        QTest::keyClick(s.grid(), Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(s.fixture.storedNames(DirectoryMode::Persons).size(), size_t(2));
        s.search(QStringLiteral("Ябл"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Яблоков")});
        QCOMPARE(s.window->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Ябл\""));
        QVERIFY(nothing->isHidden());
        // Found by the phone alone, or by nothing: the note follows the rows shown.
        s.search({}, QStringLiteral("999999"), true);
        QCOMPARE(s.gridNames().size(), 0);
        QVERIFY(!nothing->isHidden());
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        QCOMPARE(s.gridNames().size(), 2);
        QVERIFY(nothing->isHidden());
    }

    void statusLineCountsTheTableShownAndNotItsDeletedRecords() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.action("mnuStatus")->trigger();
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 7 записей"));
        // Right after a switch the count is the new table's, not the last one moved.
        QTest::keyClick(s.window.get(), Qt::Key_F3);
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 3 записей"));
        // The program coming back to the front counts the table shown, not the persons.
        s.window->ShowTableStatus();
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 3 записей"));
        s.window->mnuFavoritClick();
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 1 записей"));
        // A deleted record is not shown, so not counted; the file still holds it.
        s.window->mnuUsersClick();
        s.selectRow(s.rowOf(QStringLiteral("Сидоров")));
        MessageBox::setNextAnswer(QMessageBox::Yes);
        s.window->delRecClick();
        QCOMPARE(s.window->DSet.RecordCount(), 7);
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        s.window->mnuUsersClick();
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 6 записей"));
        // Another program's delete counts once the table is looked at again.
        {
            TEngineDataSet other;
            other.setDatabaseName(s.fixture.folder().toStdString());
            other.setTableName("Phone.DBF");
            other.Open();
            other.First();
            while (!other.Eof() &&
                   other.Fields(0).AsString() != toAnsi(QStringLiteral("Иванов И.И."))) {
                other.Next();
            }
            QVERIFY(!other.Eof());
            QVERIFY(other.Delete());
        }
        s.window->mnuUsersClick();
        QCOMPARE(s.window->statusText(), QStringLiteral("Всего в таблице 5 записей"));
    }

    void aDirectoryThatMayOnlyBeReadOpensForSearchingAndDialing() {
        // A user outside the folder's group got the database box (the rebuilds at start-up
        // write) and an empty window.
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        QMap<QString, QByteArray> before;
        for (const QString& name : QDir(s.fixture.folder()).entryList(QDir::Files)) {
            QFile file(s.fixture.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            before[name] = file.readAll();
            file.close();
            if (name != QStringLiteral("EULA.txt")) {
                QVERIFY(
                    file.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            }
        }
        s.start();
        QVERIFY(!s.window->startupFailed());
        QVERIFY(MessageBox::shown().isEmpty());
        QVERIFY(s.window->readOnly());
        QVERIFY(s.window->DSet.ReadOnly());
        // Searching works in every mode.
        QCOMPARE(s.gridNames().size(), 7);
        s.search(QStringLiteral("Сид"));
        QCOMPARE(s.gridNames(), QStringList{QStringLiteral("Сидоров")});
        s.window->mnuOrgClick();
        QCOMPARE(s.gridNames().size(), 3);
        // The status line is shown and says why nothing can be changed.
        QVERIFY(s.child<QStatusBar>("StatusBar1")->isVisible());
        QLabel* note = s.child<QLabel>("readOnlyNote");
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("Только чтение"));
        QCOMPARE(note->toolTip(),
                 QStringLiteral("Только чтение: нет прав на запись в файлы справочника"));
        // The commands that write are disabled; dialing is not.
        s.window->mnuUsersClick();
        s.selectRow(0);
        s.window->mnuPopPopup();
        for (const char* item : {"insRec", "redRec", "delRec", "addKont"}) {
            QVERIFY2(!s.action(item)->isEnabled(), item);
        }
        QVERIFY(s.action("mnuRing")->isEnabled());
        QVERIFY(!s.action("mnuUpdateFromTable")->isEnabled());
        s.window->mnuOrgClick();
        QVERIFY(!s.action("addKont")->isEnabled());
        // Closing writes nothing either: no rebuild, no box, every file as it was.
        s.window->close();
        QVERIFY(MessageBox::shown().isEmpty());
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            QFile file(s.fixture.filePath(it.key()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(file.readAll() == it.value(), qPrintable(it.key()));
        }
    }

    void closingTheOrganisationsTableReturnsToPersons() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->mnuOrgClick();
        s.window->DSOrg.Close();
        QVERIFY(!s.child<QToolButton>("btnOrg")->isEnabled());
        QVERIFY(s.action("mnuUsers")->isChecked());
        QCOMPARE(s.gridNames().size(), 7);
        s.window->DSOrg.Open();
        QVERIFY(s.child<QToolButton>("btnOrg")->isEnabled());
    }

    void editingARecordLockedElsewhereShowsTheErrorAndChangesNothing() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        // Another copy of the program edits Сидоров (record 3) and holds its lock.
        TEngineDataSet other;
        other.setDatabaseName(s.fixture.folder().toStdString());
        other.setTableName("Phone.DBF");
        other.setIndexName("NAME");
        other.setIndexFiles({"Phone.MDX"});
        other.Open();
        other.GotoRecNo(3);
        other.Edit();
        s.selectRow(s.rowOf(QStringLiteral("Сидоров")));
        bool dialogShown = false;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            dialogShown = true;
            dialog->reject();
        });
        s.window->redRecClick();
        QVERIFY(!dialogShown);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Record is locked by another user"));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(s.window->DSet.State(), DataSetState::Browse);
        other.Cancel();
        // Once the lock is gone the same command edits.
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            dialogShown = true;
            dialog->reject();
        });
        s.window->redRecClick();
        QVERIFY(dialogShown);
    }

    void closingRebuildsAndClosesWithoutSwitchingModes() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->mnuOrgClick();
        QTest::keyClick(s.window.get(), Qt::Key_Q, Qt::ControlModifier);  // "Выход"
        QVERIFY(!s.window->isVisible());
        QVERIFY(!s.window->ReturnToPersonsOnClose());
        QVERIFY(!s.window->DSet.Active());
        QVERIFY(!s.window->DSOrg.Active());
        QVERIFY(!s.window->DSFavor.Active());
        // The organisations table closing during shutdown leaves the mode alone.
        QVERIFY(s.action("mnuOrg")->isChecked());
        QVERIFY(MessageBox::shown().isEmpty());
        // The rebuilt index still opens and orders the table.
        TEngineDataSet check;
        check.setDatabaseName(s.fixture.folder().toStdString());
        check.setTableName("Org.dbf");
        check.Open();
        check.OpenIndexFiles("ORG.MDX", "ORG_NAME");
        std::vector<DataSetRow> rows = check.fetchRows(0, 10);
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows.front().recordNumber, 1);  // Аптека №1 sorts first
    }

    // --- Width rule ---

    void widthRuleGivesColumnZeroTheRest() {
        Session s;
        s.fixture.writeAll(persons(), organisations(), favourites());
        s.start();
        s.window->resize(500, 420);
        QTRY_COMPARE(s.window->width(), 500);
        QTRY_VERIFY(s.grid()->width() > 400);
        // One large step, as when a maximised window is restored: the rule follows the
        // grid's width after the change, so both phone columns stay in sight.
        s.window->resize(350, 420);
        QTRY_COMPARE(s.window->width(), 350);
        const int after = s.grid()->width();
        const int scrollBar = s.grid()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        QCOMPARE(s.grid()->columnWidth(1), 80);
        QCOMPARE(s.grid()->columnWidth(2), 80);
        QCOMPARE(s.grid()->columnWidth(0),
                 after - 80 - 80 - scrollBar - 2 * s.grid()->frameWidth() - 14);
        QVERIFY(s.grid()->columnWidth(0) + 80 + 80 <= s.grid()->viewport()->width());
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    // The stored settings go to a folder of the run's own, never to the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    // Each test closes its window; the quit that would follow must not end a later dialog.
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
