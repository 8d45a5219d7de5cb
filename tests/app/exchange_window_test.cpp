// The directory window's exchange with address books: the rows shown and the favourites written
// as vCard files, a vCard file added to the favourites, and a table in another code page shown
// read-only with a note.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/edit_record_dialog.h"
#include "app/main_window.h"
#include "directory/vcard.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_table.h"
#include "tests/app/directory_fixture.h"
#include "tests/app/window_session.h"
#include "tests/support/test_support.h"
#include "tests/support/when_dialog_shown.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"

using namespace abonex;
using abonex::test::typeText;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

std::string fileText(const QString& path) {
    const auto bytes = test::readFileBytes(path.toStdString());
    return std::string(bytes.begin(), bytes.end());
}

// The names of the cards in a vCard file.
QStringList cardNames(const QString& path) {
    const VcardImport read = readVcards(fileText(path));
    if (read.error) qWarning("%s", read.error->c_str());
    QStringList names;
    for (const Contact& c : read.contacts) names << QString::fromStdString(c.name);
    return names;
}

}  // namespace

class ExchangeWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        MessageBox::clearShown();
        OpenFileDialog::clearShown();
    }

    void theRowsShownGoToAVcardFile() {
        WindowSession s;
        s.start();
        typeText(s.edFam(), QStringLiteral("ив"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        const QStringList shown = s.gridNames();
        QCOMPARE(shown.size(), 3);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("shown.vcf"));
        OpenFileDialog::setNextAnswer(path);
        s.action("mnuExportVcard")->trigger();
        QCOMPARE(OpenFileDialog::shown().size(), 1);
        QVERIFY(OpenFileDialog::shown().at(0).save);
        QCOMPARE(OpenFileDialog::shown().at(0).defaultSuffix, QStringLiteral("vcf"));
        QCOMPARE(cardNames(path), shown);
        // Persons are written with their surname in N, as the tool writes them.
        const std::string cards = fileText(path);
        QVERIFY(cards.find("\r\nN:Иванов;И.И.;;;\r\nFN:Иванов И.И.\r\nTEL;TYPE=VOICE:22-33-44\r\n"
                           "TEL;TYPE=VOICE:11-11-11\r\nNOTE:дача\r\n") != std::string::npos);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("Записано карточек: 3"));
        // A cancelled dialog writes nothing.
        OpenFileDialog::setNextAnswer(QString());
        s.action("mnuExportFavorVcard")->trigger();
        QCOMPARE(MessageBox::shown().size(), 1);
        // Nor is a table written over, whatever name is typed.
        const QString table = s.fixture().filePath(QStringLiteral("Favor.dbf"));
        const auto before = test::readFileBytes(table.toStdString());
        OpenFileDialog::setNextAnswer(table);
        s.action("mnuExportFavorVcard")->trigger();
        QCOMPARE(test::readFileBytes(table.toStdString()), before);
        QCOMPARE(MessageBox::shown().last().text,
                 table + QStringLiteral(": это файл таблицы; карточки записываются в файл vCard "
                                        "(.vcf)"));
    }

    void theFavouritesGoToAVcardFileAndCardsComeIn() {
        WindowSession s;
        s.start();
        QTemporaryDir out;
        const QString exported = out.filePath(QStringLiteral("favourites.vcf"));
        OpenFileDialog::setNextAnswer(exported);
        s.action("mnuExportFavorVcard")->trigger();
        QCOMPARE(cardNames(exported), QStringList{QStringLiteral("Мама")});

        // Cards as a phone's address book writes them.
        OpenFileDialog::setNextAnswer(QString::fromStdString(test::sourceDir()) +
                                      QStringLiteral("/tests/directory/vcards/evolution.vcf"));
        s.action("mnuImportVcard")->trigger();
        QCOMPARE(OpenFileDialog::shown().last().save, false);
        const std::vector<DirectoryRow> stored =
            s.fixture().storedEntries(DirectoryMode::Favourites);
        QCOMPARE(stored.size(), size_t{2});
        QCOMPARE(QString::fromStdString(stored[1].name), QStringLiteral("Петров Пётр Петрович"));
        QCOMPARE(QString::fromStdString(stored[1].phone1), QStringLiteral("22-33-44"));
        QCOMPARE(QString::fromStdString(stored[1].phone2), QStringLiteral("+7 912 000-0000"));
        QCOMPARE(QString::fromStdString(stored[1].comment),
                 QStringLiteral("Звонить после 18:00\nпо будням, кроме пятницы; в отпуске с 1 по "
                                "15 июля"));
        QCOMPARE(MessageBox::shown().last().text,
                 QStringLiteral("Добавлено в избранное: 1\r\nкарточка 1 (строка 1): телефонов 3, "
                                "взяты первые два"));
        s.window()->mnuFavoritClick();
        QVERIFY(s.gridNames().contains(QStringLiteral("Петров Пётр Петрович")));
        // The window's cards are the tool's, UIDs included: an address book that took one
        // file knows the contacts of the other.
        const QString again = out.filePath(QStringLiteral("again.vcf"));
        OpenFileDialog::setNextAnswer(again);
        s.action("mnuExportFavorVcard")->trigger();
        const std::string cards = fileText(again);
        QVERIFY(cards.find("\r\nUID:urn:uuid:") != std::string::npos);
        const auto tool = test::runCommand(
            test::shellQuote(test::toolPath()) + " export " +
            test::shellQuote(s.fixture().filePath(QStringLiteral("Favor.dbf")).toStdString()) +
            " --format vcard");
        QCOMPARE(tool.status, 0);
        QCOMPARE(QString::fromStdString(tool.out), QString::fromStdString(cards));
    }

    void aCardThatDoesNotFitAddsNothing() {
        WindowSession s;
        s.start();
        QTemporaryDir in;
        const QString path = in.filePath(QStringLiteral("long.vcf"));
        const std::string text =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Кто-то\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Кто-то ещё\r\nTEL:+7 (912) 000-00-00 доб. 5\r\n"
            "END:VCARD\r\n";
        test::writeFileBytes(path.toStdString(), std::vector<uint8_t>(text.begin(), text.end()));
        OpenFileDialog::setNextAnswer(path);
        s.action("mnuImportVcard")->trigger();
        QCOMPARE(s.fixture().storedNames(DirectoryMode::Favourites),
                 std::vector<QString>{QStringLiteral("Мама")});
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(MessageBox::shown().at(0).text,
                 path + QStringLiteral(": карточка 2 (строка 5): первый телефон длиннее поля "
                                       "PHON1: 25 символов, поле вмещает 15\r\nНичего не "
                                       "добавлено."));
    }

    void typographicCardsAndInternationalPhonesComeInAsTheFieldsHoldThem() {
        WindowSession s;
        s.start();
        QTemporaryDir in;
        const QString path = in.filePath(QStringLiteral("phone.vcf"));
        // 866 lacks the guillemets but holds the box drawing, which 1251 lacks.
        const std::string text =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Бюро «Ромашка» ╔═╗\r\nTEL:+7 912 345-67-89\r\n"
            "END:VCARD\r\n";
        test::writeFileBytes(path.toStdString(), std::vector<uint8_t>(text.begin(), text.end()));
        OpenFileDialog::setNextAnswer(path);
        s.action("mnuImportVcard")->trigger();
        const std::vector<DirectoryRow> stored =
            s.fixture().storedEntries(DirectoryMode::Favourites);
        QCOMPARE(stored.size(), size_t{2});
        QCOMPARE(QString::fromStdString(stored[1].name), QStringLiteral("Бюро \"Ромашка\" ╔═╗"));
        QCOMPARE(QString::fromStdString(stored[1].phone1), QStringLiteral("+79123456789"));
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Добавлено в избранное: 1\r\nкарточка 1 (строка 1): первый "
                                "телефон \"+7 912 345-67-89\" длиннее поля PHON1 (16 символов, "
                                "поле вмещает 15): записан как +79123456789\r\nЗаменено "
                                "ближайшими символами кодовой страницы 866: 2 (\"«\" (U+00AB) на "
                                "\"\"\": 1, \"»\" (U+00BB) на \"\"\": 1)"));
    }

    void theRecordDialogStoresWhatThePageHoldsAndTheNearestFormOfTheRest() {
        WindowSession s;
        std::vector<DirectoryRow> orgs = test::organisations();
        orgs.push_back({"Бюро ╔═╗ №5 ▀▄ ░", "11-22-33", "", "", false});
        s.fixture().removeFile(QStringLiteral("Org.dbf"));
        s.fixture().removeFile(QStringLiteral("Org.MDX"));
        s.fixture().writeTable(DirectoryMode::Organisations, orgs);
        s.start();
        s.window()->mnuOrgClick();
        // Editing the phone of a name 1251 cannot show keeps the name's every byte.
        typeText(s.edFam(), QStringLiteral("Бюро"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        QCOMPARE(s.gridNames().size(), 1);
        QString shown;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            shown = dialog->dbeName->text();
            dialog->dbePhone1->clear();
            typeText(dialog->dbePhone1, QStringLiteral("44-55-66"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window()->redRecClick();
        QCOMPARE(shown, QStringLiteral("Бюро ╔═╗ №5 ▀▄ ░"));
        std::vector<DirectoryRow> stored = s.fixture().storedEntries(DirectoryMode::Organisations);
        QCOMPARE(QString::fromStdString(stored.back().name), QStringLiteral("Бюро ╔═╗ №5 ▀▄ ░"));
        QCOMPARE(QString::fromStdString(stored.back().phone1), QStringLiteral("44-55-66"));
        // Typographic text goes in in its nearest form; a character without one is refused
        // with the field's name, and the dialog stays open for a correction.
        QString refusal;
        whenDialogShown<TFEditRecord>([&](TFEditRecord* dialog) {
            typeText(dialog->dbeName, QStringLiteral("ООО «Лютик» — №1"));
            typeText(dialog->dbmComment, QStringLiteral("с 9 до 18 ☺"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
            refusal = MessageBox::shown().isEmpty() ? QString() : MessageBox::shown().last().text;
            dialog->dbmComment->clear();
            typeText(dialog->dbmComment, QStringLiteral("с 9 до 18…"));
            QTest::mouseClick(dialog->bbPost, Qt::LeftButton);
        });
        s.window()->insRecClick();
        QCOMPARE(refusal, QStringLiteral("Поле COMMENT содержит символ \"☺\" (U+263A), которого "
                                         "нет в кодовой странице 866"));
        stored = s.fixture().storedEntries(DirectoryMode::Organisations);
        QCOMPARE(QString::fromStdString(stored.back().name), QStringLiteral("ООО \"Лютик\" - №1"));
        QCOMPARE(QString::fromStdString(stored.back().comment), QStringLiteral("с 9 до 18..."));
    }

    void aTableInAnotherCodePageIsShownReadOnlyWithANote() {
        WindowSession s;
        // The organisations' table as another program left it: its text in 1251, its language
        // byte saying so.
        const std::string org = s.fixture().filePath(QStringLiteral("Org.dbf")).toStdString();
        auto bytes = test::readFileBytes(org);
        const size_t headerLength = test::le16(bytes, dbf::kHdrHeaderLength);
        for (size_t i = headerLength; i < bytes.size(); ++i) {
            bytes[i] = oemToAnsiByte(bytes[i]);
        }
        bytes[dbf::kHdrLanguageDriver] = 0xC9;
        test::writeFileBytes(org, bytes);
        const auto index =
            test::readFileBytes(s.fixture().filePath(QStringLiteral("Org.MDX")).toStdString());
        s.start();
        QVERIFY(s.window()->DSOrg.ReadOnly());
        QVERIFY(!s.window()->DSet.ReadOnly());
        auto* note = s.child<QLabel>("lblCodePage");
        QVERIFY(note->isHidden());
        s.window()->mnuOrgClick();
        QVERIFY(!note->isHidden());
        QCOMPARE(note->text(),
                 QStringLiteral("Таблица в кодовой странице 1251, не 866: только просмотр"));
        QVERIFY(s.gridNames().contains(QStringLiteral("Школа №5")));
        s.window()->mnuPopPopup();
        QVERIFY(!s.action("insRec")->isEnabled());
        QVERIFY(!s.action("redRec")->isEnabled());
        QVERIFY(!s.action("delRec")->isEnabled());
        QVERIFY(s.action("addKont")->isEnabled());  // copying to the favourites writes them only
        s.window()->delRecClick();
        s.window()->mnuUsersClick();
        QVERIFY(note->isHidden());
        s.window()->close();
        // Neither the table nor its index was written.
        QCOMPARE(test::readFileBytes(org), bytes);
        QCOMPARE(test::readFileBytes(s.fixture().filePath(QStringLiteral("Org.MDX")).toStdString()),
                 index);
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    ExchangeWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "exchange_window_test.moc"
