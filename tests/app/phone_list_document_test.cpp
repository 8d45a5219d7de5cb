// The printed phone list written as a PDF file and read back with pdftotext: the heading, every
// row in order and whole, pages that each repeat the captions and are numbered, and a file
// that cannot be written.
#include "app/phone_list_document.h"

#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

#include "tests/app/pdf_text.h"

using namespace abonex;
using abonex::test::firstOutOfOrder;
using abonex::test::pdfText;

namespace {

// Writes `list` into `path` as an A4 PDF; the number of pages.
int writePdf(const PhoneListDocument& list, const QString& path) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    const double margin = PhoneListDocument::kMarginMm;
    writer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    writer.setResolution(300);
    return list.print(writer);
}

PhoneListDocument numberedList(int rows) {
    PhoneListDocument list;
    list.setHeading(QStringLiteral("Телефоны частных лиц"), QStringLiteral("Все записи"));
    for (int i = 1; i <= rows; ++i) {
        const QString n = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        list.addRow({QStringLiteral("Абонент ") + n, QStringLiteral("2-") + n, {}, {}});
    }
    return list;
}

QStringList numberedNames(int rows) {
    QStringList names;
    for (int i = 1; i <= rows; ++i) {
        names << QStringLiteral("Абонент %1").arg(i, 4, 10, QLatin1Char('0'));
    }
    return names;
}

}  // namespace

class PhoneListDocumentTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (test::pdfTextReader().isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
    }

    void theHeadingAndEveryFieldOfEachRowInOrder() {
        PhoneListDocument list;
        list.setHeading(QStringLiteral("Телефоны частных лиц"),
                        QStringLiteral("Поиск: «ив» в начале строки"));
        list.setCaptions({QStringLiteral("Фамилия И.О."), QStringLiteral("телефон 1"),
                          QStringLiteral("телефон 2"), QStringLiteral("Комментарий")});
        list.addRow({QStringLiteral("Иванов И.И."), QStringLiteral("22-33-44"),
                     QStringLiteral("11-11-11"), QStringLiteral("дача")});
        list.addRow({QStringLiteral("ИВАНОВА А.А."), QStringLiteral("41-22-22"), {}, {}});
        list.addRow({QStringLiteral("иванченко"),
                     QStringLiteral("22-50-50"),
                     {},
                     QStringLiteral("после 18:00")});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.pdf"));
        QCOMPARE(writePdf(list, path), 1);
        const QString text = pdfText(path);
        QVERIFY(!text.isNull());
        QCOMPARE(
            firstOutOfOrder(text, {QStringLiteral("Телефоны частных лиц"),
                                   QStringLiteral("Поиск: «ив» в начале строки"),
                                   QStringLiteral("Фамилия И.О."), QStringLiteral("Комментарий"),
                                   QStringLiteral("Иванов И.И."), QStringLiteral("ИВАНОВА А.А."),
                                   QStringLiteral("иванченко"), QStringLiteral("Страница 1")}),
            -1);
        for (const char* field :
             {"22-33-44", "11-11-11", "дача", "41-22-22", "22-50-50", "после 18:00"}) {
            QVERIFY2(text.contains(QString::fromUtf8(field)), field);
        }
    }

    void theWidestNameAndPhonesOfTheTablesKeepToOneLineOnA4() {
        // 30 characters of name, 15 of each phone: the widest the fields hold.
        const QString name = QStringLiteral("Константинопольский-Задун Ж.Ш.");
        const QString phone = QStringLiteral("+7 912 345-67-8");
        QCOMPARE(name.size(), 30);
        PhoneListDocument list;
        list.setCaptions({QStringLiteral("Фамилия И.О."), QStringLiteral("телефон 1"),
                          QStringLiteral("телефон 2"), QStringLiteral("Комментарий")});
        list.addRow({name, phone, phone, {}});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wide.pdf"));
        QCOMPARE(writePdf(list, path), 1);
        const QString text = pdfText(path);
        // A line broken inside a cell would show here as a line break inside the text.
        for (const QString& whole :
             {name, phone, QStringLiteral("телефон 1"), QStringLiteral("телефон 2")}) {
            QVERIFY2(text.contains(whole), qPrintable(whole));
        }
        QCOMPARE(text.count(phone), 2);
    }

    void aLongListGoesOnPagesThatEachRepeatTheCaptions() {
        constexpr int kRows = 300;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.pdf"));
        const int pages = writePdf(numberedList(kRows), path);
        QVERIFY(pages >= 3);
        const QString text = pdfText(path);
        // Each name once, in order: none lost or repeated at a page break.
        QCOMPARE(firstOutOfOrder(text, numberedNames(kRows)), -1);
        QCOMPARE(text.count(QStringLiteral("Абонент 0")), kRows);
        QCOMPARE(text.count(u'\f'), pages);
        QCOMPARE(text.count(QStringLiteral("телефон 1")), pages);
        QCOMPARE(text.count(QStringLiteral("Телефоны частных лиц")), 1 + pages);  // and the feet
        QCOMPARE(text.count(QStringLiteral("Страница ")), pages);
        QCOMPARE(
            firstOutOfOrder(text, {QStringLiteral("Страница 1\n"), QStringLiteral("Страница 2\n"),
                                   QStringLiteral("Страница %1\n").arg(pages)}),
            -1);
    }

    void aCommentWiderThanItsColumnWrapsAndIsPrintedWhole() {
        PhoneListDocument list = numberedList(2);
        QStringList words;
        for (int i = 0; i < 40; ++i) words << QStringLiteral("слово%1").arg(i);
        list.addRow({QStringLiteral("Последний"), QStringLiteral("9-99-99"), {}, words.join(u' ')});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wrap.pdf"));
        QCOMPARE(writePdf(list, path), 1);
        const QString text = pdfText(path);
        for (const QString& word : words) QVERIFY2(text.contains(word), qPrintable(word));
        QCOMPARE(firstOutOfOrder(text, numberedNames(2) << QStringLiteral("Последний")), -1);
    }

    void anEmptyListSaysSo() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.pdf"));
        QCOMPARE(writePdf(numberedList(0), path), 1);
        const QString text = pdfText(path);
        QCOMPARE(
            firstOutOfOrder(text, {QStringLiteral("Телефоны частных лиц"),
                                   QStringLiteral("Нет записей"), QStringLiteral("Страница 1")}),
            -1);
    }

    void aFileThatCannotBeWrittenPrintsNoPage() {
        QTemporaryDir dir;
        QCOMPARE(writePdf(numberedList(3), dir.filePath(QStringLiteral("no/such/folder.pdf"))), 0);
    }
};

QTEST_MAIN(PhoneListDocumentTest)
#include "phone_list_document_test.moc"
