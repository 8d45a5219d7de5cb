// The window's parts on their own: the message-box seam, colours, text conversion, the grid's
// model reading in blocks, and the application-wide error box.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QTest>
#include <stdexcept>

#include "app/application.h"
#include "app/directory_model.h"
#include "engine/dataset/engine_dataset.h"
#include "tests/app/directory_fixture.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"
#include "ui/windows_color.h"

using namespace abonex;
using abonex::test::DirectoryFixture;

namespace {

// An object whose events raise the error it was given.
class Thrower : public QObject {
  public:
    std::function<void()> raise;
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) raise();
        return QObject::event(event);
    }
};

void openPersons(TEngineDataSet& dataSet, const DirectoryFixture& fixture) {
    dataSet.setDatabaseName(fixture.folder().toStdString());
    dataSet.setTableName("Phone.DBF");
    dataSet.Open();
    dataSet.OpenIndexFiles("PHONE.MDX", "NAME");
}

}  // namespace

class WindowPartsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { MessageBox::clearShown(); }

    void lineBreaksInEitherOrderBecomeOne() {
        QCOMPARE(MessageBox::withLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\nb"));
        QCOMPARE(MessageBox::withLineBreaks(QStringLiteral("a\n\rb")), QStringLiteral("a\nb"));
        QCOMPARE(MessageBox::withLineBreaks(QStringLiteral("a\n\r\n\rb")),
                 QStringLiteral("a\n\nb"));
        QCOMPARE(MessageBox::withLineBreaks(QStringLiteral("a\r\n\r\nb")),
                 QStringLiteral("a\n\nb"));
        QCOMPARE(MessageBox::withLineBreaks(QStringLiteral("a\n\nb")), QStringLiteral("a\n\nb"));
    }

    void answersGivenInAdvanceAreUsedInOrder() {
        MessageBox::setNextAnswer(QMessageBox::Yes);
        MessageBox::setNextAnswer(QMessageBox::No);
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("c"), QStringLiteral("1")),
                 QMessageBox::Yes);
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("c"), QStringLiteral("2")),
                 QMessageBox::No);
        // No answer left: the default button.
        QCOMPARE(MessageBox::question(nullptr, QStringLiteral("c"), QStringLiteral("3")),
                 QMessageBox::No);
        QCOMPARE(MessageBox::shown().size(), 3);
        QCOMPARE(MessageBox::shown().at(1).text, QStringLiteral("2"));
    }

    void windowsColoursHaveBlueInTheHighByte() {
        QCOMPARE(windowsColor(kPreviewBackground), QColor(228, 234, 217));
        QCOMPARE(windowsColor(kPreviewText), QColor(75, 89, 49));
        QCOMPARE(windowsColor(kGridBackground), QColor(0xF1, 0xF0, 0xE7));
        QCOMPARE(windowsColor(kHintColour), QColor(0, 255, 255));
    }

    void textCrossesTheCodePageBothWays() {
        const QString text = QStringLiteral("Ёлкин Ё.Ю. №5 «кавычки»");
        const std::string ansi = toAnsi(text);
        QCOMPARE(ansi.size(), size_t(text.size()));
        QCOMPARE(static_cast<unsigned char>(ansi[0]), 0xA8);  // Ё in 1251
        QCOMPARE(fromAnsi(ansi), text);
        // A character the page lacks becomes "?" and the rest survives.
        QCOMPARE(fromAnsi(toAnsi(QStringLiteral("a\u4E2Dб"))), QStringLiteral("a?б"));
    }

    void modelReadsRowsInBlocks() {
        DirectoryFixture fixture;
        std::vector<DirectoryRow> entries;
        for (int i = 0; i < 450; ++i) {
            entries.push_back(
                {QStringLiteral("Имя %1").arg(i, 3, 10, QLatin1Char('0')).toStdString(),
                 std::to_string(i),
                 {},
                 "к" + std::to_string(i)});
        }
        fixture.writeEula();
        fixture.writeTable(DirectoryMode::Persons, entries);
        TEngineDataSet dataSet;
        openPersons(dataSet, fixture);
        DirectoryModel model;
        model.setDataSet(&dataSet);
        QCOMPARE(model.rowCount(), DirectoryModel::kBlockRows);
        QVERIFY(model.canFetchMore({}));
        model.fetchMore({});
        QCOMPARE(model.rowCount(), 2 * DirectoryModel::kBlockRows);
        model.fetchMore({});
        QCOMPARE(model.rowCount(), 450);
        QVERIFY(!model.canFetchMore({}));
        // Every row once, in name order, with the comment in column 3.
        for (int row = 0; row < 450; ++row) {
            QCOMPARE(model.index(row, 0).data().toString(),
                     QStringLiteral("Имя %1").arg(row, 3, 10, QLatin1Char('0')));
            QCOMPARE(model.index(row, 1).data().toString(), QString::number(row));
            QCOMPARE(model.index(row, 2).data().toString(), QString());
            QCOMPARE(model.index(row, DirectoryModel::kCommentColumn).data().toString(),
                     QStringLiteral("к%1").arg(row));
        }
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void modelFindsARecordByReadingAhead() {
        DirectoryFixture fixture;
        std::vector<DirectoryRow> entries;
        for (int i = 0; i < 450; ++i) {
            entries.push_back(
                {QStringLiteral("Имя %1").arg(449 - i, 3, 10, QLatin1Char('0')).toStdString(),
                 {},
                 {},
                 {}});
        }
        fixture.writeEula();
        fixture.writeTable(DirectoryMode::Persons, entries);
        TEngineDataSet dataSet;
        openPersons(dataSet, fixture);
        DirectoryModel model;
        model.setDataSet(&dataSet);
        // Record 1 holds the last name: row 449, beyond the first block.
        QCOMPARE(model.rowOfRecord(1, 1000), 449);
        QCOMPARE(model.rowCount(), 450);
        model.reload();
        QCOMPARE(model.rowOfRecord(1, 300), -1);
        QVERIFY(model.rowCount() <= 400);
    }

    void modelOfAClosedDataSetIsEmpty() {
        TEngineDataSet dataSet;
        DirectoryModel model;
        model.setDataSet(&dataSet);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.canFetchMore({}));
    }

    void escapedErrorsReachTheErrorBox() {
        Thrower thrower;
        thrower.raise = [] { throw std::runtime_error("Cannot find file /x/Phone.DBF"); };
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, QStringLiteral("Cannot find file /x/Phone.DBF"));
        QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
        QCOMPARE(MessageBox::shown().at(0).caption, QStringLiteral("Абонекс 4"));
    }

    void abortIsSilent() {
        Thrower thrower;
        thrower.raise = [] { abortOperation(); };
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void standardButtonsSpeakRussian() {
        QMessageBox box(QMessageBox::Question, QStringLiteral("c"), QStringLiteral("t"),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Нет"));
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    MessageBox::setInteractive(false);
    WindowPartsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_parts_test.moc"
