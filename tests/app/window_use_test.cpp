// The main window as people use it: the row they stood on stays current after a dialog, the
// keyboard reaches every command from wherever the focus is, and the window itself says what a
// search found.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/desktop.h"
#include "app/directory_model.h"
#include "app/edit_record_dialog.h"
#include "app/main_window.h"
#include "dial/modem_settings_dialog.h"
#include "dial/tapi_dial.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

using namespace abonex;
using abonex::test::typeText;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

// `count` persons "Житель 0001" … in name order, with phones of their own.
std::vector<DirectoryRow> manyPersons(int count) {
    std::vector<DirectoryRow> rows;
    for (int i = 1; i <= count; ++i) {
        const std::string number = QStringLiteral("%1").arg(i, 4, 10, QChar(u'0')).toStdString();
        rows.push_back({"Житель " + number, "5-" + number, {}, {}});
    }
    return rows;
}

// The desktop's phone application, in place of a modem: records the numbers handed to it.
struct RecordingDesktop : Desktop {
    QList<QUrl> opened;
    RecordingDesktop() { Desktop::install(this); }
    ~RecordingDesktop() override { Desktop::install(nullptr); }
    void openUrl(const QUrl& url, Outcome outcome) override {
        opened << url;
        if (outcome) outcome(true);
    }
};

struct Session : WindowSession {
    explicit Session(const std::vector<DirectoryRow>& people = {}) {
        if (people.empty()) return;
        fixture().removeFile(QStringLiteral("Phone.DBF"));
        fixture().removeFile(QStringLiteral("Phone.MDX"));
        fixture().writeTable(DirectoryMode::Persons, people);
    }
    void search(const QString& name, const QString& phone = {}) const {
        edFam()->clear();
        edPhone()->clear();
        typeText(edFam(), name);
        typeText(edPhone(), phone);
        QTest::keyClick(phone.isEmpty() ? edFam() : edPhone(), Qt::Key_Return);
    }
    QModelIndex current() const { return grid()->currentIndex(); }
    // The record of the grid's current row.
    int currentRecord() const { return window()->gridModel()->recordAt(current().row()); }
    QString currentName() const { return current().siblingAtColumn(0).data().toString(); }
    void selectRow(int row) const {
        QAbstractItemModel* model = grid()->model();
        while (row >= model->rowCount() && model->canFetchMore({})) model->fetchMore({});
        grid()->setCurrentIndex(model->index(row, 0));
    }
    // Calls go to the desktop's phone application from the next start on.
    void dialThroughTheDesktop() const {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Modem/Line"), QStringLiteral("desktop"));
    }
    // Waits for the activation a dialog of the program hands back: it empties the name box,
    // here holding text that was never searched.
    void markNameBox() const { typeText(edFam(), QStringLiteral("не искали")); }
    bool activatedAgain() const {
        // The window manager gives the focus back; offscreen nobody does.
        if (!window()->isActiveWindow()) QApplication::setActiveWindow(window());
        return QTest::qWaitFor([&] { return edFam()->text().isEmpty() && edFam()->hasFocus(); },
                               5000);
    }
};

}  // namespace

class WindowUseTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    // --- The row stays current ---

    void theModemSettingsLeaveTheRowWhereItWas() {
        // Back from "Настройка модема" the search ran again and stood on the first row: the
        // next press of the dial button called somebody else.
        Session s(manyPersons(450));
        s.start();
        s.selectRow(420);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0421"));
        s.markNameBox();
        whenDialogShown<ModemSettingsDialog>([](ModemSettingsDialog* dialog) {
            dialog->buttons->button(QDialogButtonBox::Ok)->click();
        });
        s.action("mnuConfig")->trigger();
        QVERIFY(s.activatedAgain());
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0421"));
        QCOMPARE(s.window()->DSet.RecNo(), 421);
        QCOMPARE(s.currentRecord(), 421);
    }

    void anInsertAndAnEditStayOnTheirRecord() {
        Session s(manyPersons(300));
        s.start();
        s.markNameBox();
        whenDialogShown<TFEditRecord>([](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("Житель 0250а"));
            typeText(dialog->dbePhone1, QStringLiteral("5-9999"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window()->insRecClick();
        QVERIFY(s.activatedAgain());
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0250а"));
        QCOMPARE(s.currentRecord(), 301);
        QCOMPARE(s.window()->DSet.RecNo(), 301);

        // An edit that moves the record in name order follows it there.
        s.selectRow(10);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0011"));
        s.markNameBox();
        whenDialogShown<TFEditRecord>([](TFEditRecord* dialog) {
            dialog->dbeName->setText(QStringLiteral("Житель 0280б"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window()->redRecClick();
        QVERIFY(s.activatedAgain());
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0280б"));
        QCOMPARE(s.currentRecord(), 11);

        // A record the search no longer shows leaves the first row current, as before.
        s.search(QStringLiteral("Житель 01"));
        s.selectRow(3);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0103"));
        typeText(s.edPhone(), QStringLiteral("5-015"));
        s.window()->FormActivate();
        QCOMPARE(s.window()->gridModel()->rowCount(), 10);
        QCOMPARE(s.current().row(), 0);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0150"));
    }

    // --- The record dialog ---

    void anEmptyRecordAndTooLongTextsAreRefusedWithAMessage() {
        // "Применить" on an empty "Новая запись" added a blank row; a name of 31 characters or a
        // phone of 16 lost their ends unseen.
        Session s;
        s.start();
        QStringList refusals;
        bool stillOpen = false;
        auto tryApply = [&](TFEditRecord* dialog) {
            const qsizetype before = MessageBox::shown().size();
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            stillOpen = dialog->isVisible();
            if (MessageBox::shown().size() > before) refusals << MessageBox::shown().last().text;
        };
        int width = 0;
        int captionWidth = 0;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            width = dialog->width();
            captionWidth =
                dialog->fontMetrics().horizontalAdvance(QStringLiteral("Редактирование записи"));
            tryApply(dialog);
            dialog->reject();
        });
        s.window()->insRecClick();
        // As wide as its longer caption, with room for the title bar's close box.
        QVERIFY2(width >= captionWidth + 80, qPrintable(QString::number(width)));
        QVERIFY(stillOpen);
        QCOMPARE(refusals,
                 QStringList{QStringLiteral("Запись пуста: введите имя или номер телефона.")});
        QCOMPARE(MessageBox::shown().last().icon, QMessageBox::Warning);
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Persons).size(), size_t(7));

        const QString name31 = QStringLiteral("Александров-Константинопольский");
        QCOMPARE(name31.size(), 31);
        refusals.clear();
        QList<QWidget*> focused;  // the editor to mend after each refusal
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            dialog->dbeName->setText(name31);  // as pasted
            dialog->dbePhone1->setText(QStringLiteral("8-812-555-12-345"));
            tryApply(dialog);
            focused << dialog->focusWidget();
            dialog->dbeName->setText(name31.left(30));
            tryApply(dialog);
            focused << dialog->focusWidget();
            dialog->dbePhone1->setText(QStringLiteral("8-812-555-12-34"));
            focused << dialog->dbeName << dialog->dbePhone1;
            tryApply(dialog);
        });
        s.window()->insRecClick();
        QCOMPARE(focused.size(), 4);
        QCOMPARE(focused.at(0), focused.at(2));
        QCOMPARE(focused.at(1), focused.at(3));
        QCOMPARE(
            refusals,
            (QStringList{QStringLiteral("Поле «Фамилия И.О.» длиннее 30 знаков (набрано 31): "
                                        "сократите его, иначе оно не поместится в таблицу."),
                         QStringLiteral("Поле «Телефон 1» длиннее 15 знаков (набрано 16): "
                                        "сократите его, иначе оно не поместится в таблицу.")}));
        QVERIFY(!stillOpen);
        const auto stored = s.fixture().storedEntries(DirectoryMode::Persons);
        QCOMPARE(stored.size(), size_t(8));
        QCOMPARE(QString::fromStdString(stored.back().name), name31.left(30));
        QCOMPARE(QString::fromStdString(stored.back().phone1), QStringLiteral("8-812-555-12-34"));
        QCOMPARE(s.window()->findChild<TFEditRecord*>(), nullptr);

        // An organisation's name holds 100 characters; a comment 250, a line break two of them.
        QVERIFY(s.activatedAgain());
        s.window()->mnuOrgClick();
        refusals.clear();
        QString hint;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            hint = dialog->dbeName->toolTip();
            dialog->dbeName->setText(QString(100, QChar(u'Я')));
            dialog->dbmComment->setPlainText(QString(124, u'к') + u'\n' + QString(125, u'к'));
            tryApply(dialog);
            dialog->reject();
        });
        s.window()->insRecClick();
        QCOMPARE(hint, QStringLiteral("Не более 100 знаков"));
        QCOMPARE(refusals, QStringList{QStringLiteral(
                               "Поле «Комментарии» длиннее 250 знаков (набрано 251): сократите "
                               "его, иначе оно не поместится в таблицу.")});
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Organisations).size(), size_t(3));
    }

    void aContactIsCopiedToTheFavouritesOnceAndEachCopySaysWhatItDid() {
        // Twice made two rows and said nothing either time.
        Session s;
        s.start();
        s.search(QStringLiteral("Сидоров"));
        s.window()->addKontClick();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("«Сидоров» добавлен в фавориты."));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Information);
        s.window()->addKontClick();
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(1).text,
                 QStringLiteral("«Сидоров» уже есть в фаворитах: вторая копия не добавлена."));
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Favourites),
                 (std::vector<QString>{QStringLiteral("Мама"), QStringLiteral("Сидоров")}));
        // The same name with other phones is another contact.
        {
            TEngineDataSet other;
            other.setDatabaseName(s.fixture().folder().toStdString());
            other.setTableName("Phone.DBF");
            other.Open();
            other.Append();
            other.Fields(0).SetAsString(toAnsi(QStringLiteral("Сидоров")));
            other.Fields(1).SetAsString("35-00-01");
            other.Post();
        }
        s.window()->DSet.ReindexAll();
        s.search(QStringLiteral("Сидоров"));
        s.selectRow(s.window()->gridModel()->recordAt(0) == 8 ? 0 : 1);
        QCOMPARE(s.currentRecord(), 8);
        s.window()->addKontClick();
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("«Сидоров» добавлен в фавориты."));
        QCOMPARE(s.fixture().storedEntries(DirectoryMode::Favourites).size(), size_t(3));
    }

    // --- What the search found, in the window ---

    void theWindowSaysWhatASearchFoundWithoutTheStatusLine() {
        Session s;
        s.start();
        QVERIFY(!s.child<QStatusBar>("StatusBar1")->isVisible());
        QLabel* nothing = s.child<QLabel>("lblNothingFound");
        QLabel* count = s.child<QLabel>("lblFoundCount");
        QVERIFY(!nothing->isVisible());
        QVERIFY(!count->isVisible());
        s.search(QStringLiteral("иван"));
        QVERIFY(count->isVisible());
        QCOMPARE(count->text(), QStringLiteral("Найдено: 3"));
        QVERIFY(!nothing->isVisible());
        // A row deleted from the rows found is counted out.
        MessageBox::setNextAnswer(QMessageBox::Yes);
        s.window()->delRecClick();
        QCOMPARE(count->text(), QStringLiteral("Найдено: 2"));

        // Nothing found: the grid says so, and which other searches were tried.
        s.search(QStringLiteral("Щукин"));
        QVERIFY(nothing->isVisible());
        QCOMPARE(nothing->text(), QStringLiteral("Ничего не найдено\nИскали также по раскладке: "
                                                 "Oerby"));
        QCOMPARE(count->text(), QStringLiteral("Найдено: 0"));
        // ABONEX_SCREENSHOTS names a folder for a picture of the window as it is now.
        if (const QString folder = qEnvironmentVariable("ABONEX_SCREENSHOTS"); !folder.isEmpty()) {
            s.window()->resize(520, 420);
            QTest::qWait(50);
            QVERIFY(s.window()->grab().save(folder + QStringLiteral("/nothing_found.png")));
        }
        s.search({}, QStringLiteral("99-99-9"));
        QCOMPARE(nothing->text(),
                 QStringLiteral("Ничего не найдено\nИскали также по цифрам номера: 99999"));
        s.child<QRadioButton>("chAny")->click();
        s.search(QStringLiteral("Ё"));
        QCOMPARE(nothing->text(), QStringLiteral("Ничего не найдено\nИскали также без учёта Ё, "
                                                 "по раскладке: ~"));
        s.child<QRadioButton>("chStart")->click();
        QTest::mouseClick(s.child<QToolButton>("sbClear"), Qt::LeftButton);
        QVERIFY(!nothing->isVisible());
        QVERIFY(!count->isVisible());
        QCOMPARE(s.gridNames().size(), 6);

        // A search by the phone alone: the status line says how many it found.
        s.search({}, QStringLiteral("22-"));
        QCOMPARE(count->text(), QStringLiteral("Найдено: 5"));
        QCOMPARE(s.window()->statusText(),
                 QStringLiteral("Таблица отфильтрована по телефону \"22-\": найдено 5"));
        s.search(QStringLiteral("Сид"));
        QCOMPARE(s.window()->statusText(),
                 QStringLiteral("Таблица отфильтрована по фильтру \"Сид\""));
    }

    void theCountTakesTheRowsNotReadYet() {
        Session s(manyPersons(450));
        s.start();
        s.search(QStringLiteral("Житель"));
        QCOMPARE(s.window()->gridModel()->rowCount(), DirectoryModel::kBlockRows);
        QCOMPARE(s.child<QLabel>("lblFoundCount")->text(), QStringLiteral("Найдено: 450"));
        QCOMPARE(s.window()->gridModel()->rowCount(), DirectoryModel::kBlockRows);

        // Counted up to ten thousand: a search that finds more does not walk on to its end.
        Session large(manyPersons(10050));
        large.start();
        large.search(QStringLiteral("Жит"));
        QCOMPARE(large.child<QLabel>("lblFoundCount")->text(),
                 QStringLiteral("Найдено: более 10000"));
        large.search(QStringLiteral("Житель 1004"));
        QCOMPARE(large.child<QLabel>("lblFoundCount")->text(), QStringLiteral("Найдено: 11"));
    }

    void searchingAsYouTypeDoesNotAskForEnter() {
        Session s;
        s.start();
        QVERIFY(s.edFam()->statusTip().endsWith(QStringLiteral(" и нажмите Enter")));
        s.action("mnuLiveSearch")->trigger();
        QCOMPARE(s.edFam()->statusTip(), QStringLiteral("Наберите нужную фамилию (часть фамилии)"));
        QCOMPARE(s.edPhone()->statusTip(),
                 QStringLiteral("Наберите номер телефона (или часть номера), включая \" - \""));
        QCOMPARE(s.edFam()->toolTip(), s.edFam()->statusTip());
        // Kept with the check mark: after a restart too.
        s.restart();
        QCOMPARE(s.edFam()->statusTip(), QStringLiteral("Наберите нужную фамилию (часть фамилии)"));
        s.action("mnuLiveSearch")->trigger();
        QCOMPARE(s.edFam()->statusTip(),
                 QStringLiteral("Наберите нужную фамилию (часть фамилии) и нажмите Enter"));
    }

    void aQuestionBoxIsAsWideAsItsCaption() {
        // "Удаление записи?" over a short question came out as "Удал… иси?".
        Session s;
        s.start();
        s.search(QStringLiteral("Сид"));
        int width = 0;
        int captionWidth = 0;
        whenDialogShown<QMessageBox>([&](QMessageBox* box) {
            width = box->width();
            captionWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            box->button(QMessageBox::No)->click();
        });
        MessageBox::setInteractive(true);
        s.window()->delRecClick();
        MessageBox::setInteractive(false);
        QCOMPARE(MessageBox::shown().last().caption, QStringLiteral("Удаление записи?"));
        QVERIFY2(width >= captionWidth + 80,
                 qPrintable(QStringLiteral("%1 < %2 + 80").arg(width).arg(captionWidth)));
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Persons).size(), size_t(7));
    }

    // --- Copying ---

    void theNumberOrTheWholeRowIsCopied() {
        // There was no "Копировать номер", and Ctrl+C copied the one cell under the focus.
        Session s;
        s.start();
        QClipboard* clipboard = QGuiApplication::clipboard();
        const QList<QAction*> items = s.child<QMenu>("GridPopUp")->actions();
        QVERIFY(items.contains(s.action("mnuCopyPhone")));
        QCOMPARE(s.action("mnuCopyPhone")->text(), QStringLiteral("Копировать номер"));
        QCOMPARE(s.action("mnuCopyPhone")->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+Shift+C")));
        QVERIFY(items.contains(s.action("mnuCopyRow")));
        QCOMPARE(s.action("mnuCopyRow")->text(),
                 QStringLiteral("Копировать запись (имя, телефоны, комментарий)"));
        QCOMPARE(s.action("mnuCopyRow")->shortcut(), QKeySequence(QKeySequence::Copy));

        s.search(QStringLiteral("Иванов И"));
        QCOMPARE(s.currentName(), QStringLiteral("Иванов И.И."));
        QTest::keyClick(s.edFam(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("22-33-44"));
        // The number the dial command would call: the second phone's column is focused.
        s.grid()->setCurrentIndex(s.current().siblingAtColumn(2));
        s.action("mnuCopyPhone")->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("11-11-11"));

        s.grid()->setFocus();
        QTest::keyClick(s.grid(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("Иванов И.И.\t22-33-44\t11-11-11\tдача"));
        // In a search box Ctrl+C copies the box's text, as everywhere.
        s.edFam()->setFocus();
        s.edFam()->selectAll();
        QTest::keyClick(s.edFam(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("Иванов И"));
    }

    // --- The keyboard ---

    void theMenuKeysWorkFromTheSearchBox() {
        // Typing leaves the focus in a search box: the keys the menus show did nothing there.
        Session s(manyPersons(5));
        RecordingDesktop desktop;
        s.dialThroughTheDesktop();
        s.start();
        s.search(QStringLiteral("Житель 0003"));
        QVERIFY(s.edFam()->hasFocus());

        QString caption;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            caption = dialog->windowTitle();
            dialog->reject();
        });
        QTest::keyClick(s.edFam(), Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(caption, QStringLiteral("Новая запись"));

        QVERIFY(s.activatedAgain());
        QString edited;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            edited = dialog->dbeName->text();
            dialog->reject();
        });
        QTest::keyClick(s.edFam(), Qt::Key_Backspace, Qt::AltModifier);
        QCOMPARE(edited, QStringLiteral("Житель 0003"));

        QVERIFY(s.activatedAgain());
        s.search(QStringLiteral("Житель 0003"));
        QTest::keyClick(s.edFam(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(desktop.opened, QList<QUrl>{QUrl(QStringLiteral("tel:50003"))});

        s.search(QStringLiteral("Житель 0003"));
        QTest::keyClick(s.edFam(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Favourites).back(),
                 QStringLiteral("Житель 0003"));

        s.search(QStringLiteral("Житель 0003"));
        MessageBox::clearShown();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        QTest::keyClick(s.edPhone(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Удаление записи?"));
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Persons).size(), size_t(4));
    }

    void downEnterShiftEnterAndEscape() {
        Session s(manyPersons(5));
        RecordingDesktop desktop;
        s.dialThroughTheDesktop();
        s.start();
        s.search(QStringLiteral("Житель 000"));
        // Down goes from the search box into the rows found, on the first of them.
        QTest::keyClick(s.edFam(), Qt::Key_Down);
        QVERIFY(s.grid()->hasFocus());
        QCOMPARE(s.current().row(), 0);
        QTest::keyClick(s.grid(), Qt::Key_Down);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0002"));
        // Enter dials the row, Shift+Enter edits it.
        QTest::keyClick(s.grid(), Qt::Key_Return);
        QCOMPARE(desktop.opened, QList<QUrl>{QUrl(QStringLiteral("tel:50002"))});
        QString edited;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            edited = dialog->dbeName->text();
            dialog->reject();
        });
        QTest::keyClick(s.grid(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(edited, QStringLiteral("Житель 0002"));
        // Escape goes back to the name box, its text selected for the next search.
        QVERIFY(s.activatedAgain());
        s.grid()->setFocus();
        QTRY_VERIFY(s.grid()->hasFocus());
        typeText(s.edFam(), QStringLiteral("Жит"));
        QTest::keyClick(s.grid(), Qt::Key_Escape);
        QVERIFY(s.edFam()->hasFocus());
        QCOMPARE(s.edFam()->selectedText(), QStringLiteral("Жит"));
    }

    void ctrlEndGoesToTheRealLastRow() {
        // It stopped at the rows read so far: the 200th of 450.
        Session s(manyPersons(450));
        s.start();
        QTest::keyClick(s.edFam(), Qt::Key_Down);
        QVERIFY(s.grid()->hasFocus());
        QTest::keyClick(s.grid(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0450"));
        QCOMPARE(s.window()->DSet.RecNo(), 450);
        QTest::keyClick(s.grid(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0001"));
        QCOMPARE(s.window()->DSet.RecNo(), 1);
        // The search's last row, not the table's.
        s.search(QStringLiteral("Житель 01"));
        QTest::keyClick(s.edFam(), Qt::Key_Down);
        QTest::keyClick(s.grid(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(s.currentName(), QStringLiteral("Житель 0199"));
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    WindowUseTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_use_test.moc"
