// "Печать…" in the directory window: the preview of the rows shown, printed from it into a PDF
// file, with the search in the heading and every row of the search, also those the grid has not
// read yet.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <random>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "tests/app/directory_fixture.h"
#include "tests/app/pdf_text.h"
#include "tests/app/window_session.h"
#include "tests/support/when_dialog_shown.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::firstOutOfOrder;
using abonex::test::typeText;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

struct Preview {
    QString title;
    int pages = 0;
};

// Presses Ctrl+P in `focus` and, in the preview that opens, prints into the PDF file `path`
// as its print dialog would, then closes the preview.
Preview printToPdf(QWidget* focus, const QString& path) {
    Preview seen;
    bool shown = false;
    whenDialogShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dialog) {
        shown = true;
        seen.title = dialog->windowTitle();
        auto* pages = dialog->findChild<QPrintPreviewWidget*>();
        if (pages != nullptr) {
            seen.pages = pages->pageCount();
            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog->printer()->setOutputFileName(path);
            pages->print();
        }
        dialog->accept();
    });
    // The menu keys act in the active window (the offscreen platform may not give the
    // activation back after a dialog).
    QApplication::setActiveWindow(focus->window());
    if (!QTest::qWaitForWindowActive(focus->window())) qWarning("the window is not active");
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_P, Qt::ControlModifier);
    if (!shown) qWarning("no print preview");
    return seen;
}

}  // namespace

class PrintWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        MessageBox::clearShown();
        if (test::pdfTextReader().isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
    }

    void theSearchShownIsPrintedFromThePreview() {
        WindowSession s;
        s.start();
        typeText(s.edFam(), QStringLiteral("ив"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        const QStringList shown = s.gridNames();
        QCOMPARE(shown.size(), 3);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("shown.pdf"));
        // From the search box, where the focus is after a search.
        const Preview preview = printToPdf(s.edFam(), path);
        QCOMPARE(preview.title, QStringLiteral("Печать: Телефоны частных лиц"));
        QCOMPARE(preview.pages, 1);
        QVERIFY(MessageBox::shown().isEmpty());
        const QString text = test::pdfText(path);
        QVERIFY(!text.isNull());
        QCOMPARE(firstOutOfOrder(text, QStringList{QStringLiteral("Телефоны частных лиц"),
                                                   QStringLiteral("Поиск: «ив» в начале строки"),
                                                   QStringLiteral("Фамилия И.О.")}
                                           << shown),
                 -1);
        // Only the rows found.
        for (const char* other : {"Петров-Иванов", "Сидоров", "Антонов", "Андреев"}) {
            QVERIFY2(!text.contains(QString::fromUtf8(other)), other);
        }
        QVERIFY(text.contains(QStringLiteral("22-33-44")) &&
                text.contains(QStringLiteral("11-11-11")) && text.contains(QStringLiteral("дача")));

        // The favourites, from their mode, and with no search: every one of them.
        s.edFam()->clear();
        s.window()->mnuFavoritClick();
        const QString favourites = out.filePath(QStringLiteral("favourites.pdf"));
        QCOMPARE(printToPdf(s.grid(), favourites).title, QStringLiteral("Печать: Фавориты"));
        QCOMPARE(firstOutOfOrder(test::pdfText(favourites),
                                 {QStringLiteral("Фавориты"), QStringLiteral("Все записи"),
                                  QStringLiteral("Мама"), QStringLiteral("2-22-22")}),
                 -1);
    }

    void aPdfFileThatCannotBeWrittenIsSaid() {
        WindowSession s;
        s.start();
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("no/such/folder/list.pdf"));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        printToPdf(s.edFam(), path);
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text,
                 QStringLiteral("Не удалось напечатать список в файл ") + path);
        QVERIFY(!QFile::exists(path));
    }

    void everyRowOfTheSearchIsPrintedNotOnlyThoseRead() {
        constexpr int kRows = 3 * DirectoryModel::kBlockRows + 50;
        WindowSession s;
        std::vector<DirectoryRow> rows;
        QStringList names;
        for (int i = 1; i <= kRows; ++i) {
            const QString name = QStringLiteral("Абонент %1").arg(i, 4, 10, QLatin1Char('0'));
            names << name;
            rows.push_back({name.toStdString(), "2-" + std::to_string(1000 + i), {}, {}});
        }
        // Stored out of order: the list follows the name index, as the grid does.
        std::shuffle(rows.begin(), rows.end(), std::mt19937(39));
        s.fixture().removeFile(QStringLiteral("Phone.DBF"));
        s.fixture().removeFile(QStringLiteral("Phone.MDX"));
        s.fixture().writeTable(DirectoryMode::Persons, rows);
        s.start();
        typeText(s.edFam(), QStringLiteral("Абонент"));
        QTest::keyClick(s.edFam(), Qt::Key_Return);
        const int held = s.window()->gridModel()->rowCount();
        QVERIFY(held < kRows);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("all.pdf"));
        QVERIFY(printToPdf(s.grid(), path).pages > 1);
        const QString text = test::pdfText(path);
        QCOMPARE(firstOutOfOrder(text, names), -1);
        QCOMPARE(text.count(QStringLiteral("Абонент ")), kRows);
        // The grid is left as it was.
        QCOMPARE(s.window()->gridModel()->rowCount(), held);
    }
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // A box no test answered gives its default button instead of waiting for a click.
    MessageBox::setInteractive(false);
    PrintWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "print_window_test.moc"
