// The link items of "&Помощь" and of btnAbout's drop-down, the desktop that opens them, and
// the About box.
#include "app/links.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/about_box.h"
#include "app/application.h"
#include "app/desktop.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using namespace abonex;
using abonex::test::whenDialogShown;
using abonex::test::WindowSession;

namespace {

// The desktop as the tests see it: every address the program asked it to open, in order, and
// an answer that may be a refusal.
class RecordingDesktop : public Desktop {
  public:
    void openUrl(const QUrl& url, Outcome outcome) override {
        opened << url.toString(QUrl::FullyEncoded);
        outcome(succeeds);
    }
    QStringList opened;
    bool succeeds = true;
};

const QString kHome = QStringLiteral("https://www.example.org/");
const QString kUpdate = QStringLiteral("https://www.example.org/docs/products/abonex.php");
const QString kNews = QStringLiteral("https://www.example.org/docs/products/subscribe.php");
const QString kMailStart = QStringLiteral("mailto:support@example.org?subj=I%20need%20help&body=");

const QString kNoBrowser = QStringLiteral(
    "Не найдено приложение, отвечающее за просмотр Web страниц.\r\n"
    "Установите одну из известных программ:\r\n"
    "- Firefox;\r\n"
    "- Chromium;\r\n"
    "- GNOME Web;\r\n"
    "- и т.п.");
const QString kNoMail = QStringLiteral(
    "Не найдено приложение, отвечающее за отправку почты.\r\n"
    "Установите одну из известных программ:\r\n"
    "- Thunderbird;\r\n"
    "- Evolution;\r\n"
    "- Claws Mail;\r\n"
    "- и т.п.");
const QString kNoTextViewer = QStringLiteral(
    "Не найдено приложение, отвечающее за просмотр файлов *.txt.\r\n"
    "Установите одну из известных программ:\r\n"
    "- gedit;\r\n"
    "- Mousepad;\r\n"
    "- Kate;\r\n"
    "- и т.п.");

QStringList itemsOf(const QMenu* menu) {
    QStringList items;
    for (const QAction* item : menu->actions()) {
        items << item->objectName() + u' ' + item->text() + u' ' +
                     item->shortcut().toString(QKeySequence::PortableText);
    }
    return items;
}

void moveMouseOver(QWidget* widget) {
    const QPoint at(1, 1);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

bool looksPointedAt(const QLabel* label) {
    return label->font().underline() &&
           label->palette().color(QPalette::WindowText) == QColor(0, 0, 0xFF);
}

bool looksAtRest(const QLabel* label) {
    return !label->font().underline() &&
           label->palette().color(QPalette::WindowText) == QColor(0, 0, 0x80);
}

}  // namespace

class LinksTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        MessageBox::clearShown();
        m_desktop = RecordingDesktop();
        Desktop::install(&m_desktop);
    }
    void cleanup() { Desktop::install(nullptr); }

    void helpMenuAndDropDownListTheItemsInTheirOrders() {
        WindowSession s;
        s.start();
        auto* help = s.child<QMenu>("mnuHelp");
        QCOMPARE(help->title(), QStringLiteral("&Помощь"));
        QCOMPARE(itemsOf(help), (QStringList{
                                    QStringLiteral("mnuHomePage Абонекс HomePage Ctrl+H"),
                                    QStringLiteral("mnuUpdate Абонекс обновление Ctrl+U"),
                                    QStringLiteral("mnuNews Подписаться на новости Ctrl+N"),
                                    QStringLiteral("mnuSupport Написать письмо Ctrl+E"),
                                    QStringLiteral("mnuAbout О программе F1"),
                                    QStringLiteral("mnuLicense Пользовательская лицензия "),
                                }));
        auto* about = s.child<QToolButton>("btnAbout");
        QCOMPARE(about->toolTip(), QStringLiteral("О Программе"));
        QVERIFY(about->menu() != nullptr);
        QCOMPARE(itemsOf(about->menu()),
                 (QStringList{
                     QStringLiteral("TBItem8 Абонекс обновление Ctrl+U"),
                     QStringLiteral("TBItem9 Абонекс HomePage Ctrl+H"),
                     QStringLiteral("TBItem10 Подписаться на новости Ctrl+N"),
                     QStringLiteral("TBItem11 Написать письмо Ctrl+E"),
                     QStringLiteral("TBItem12 О программе F1"),
                     QStringLiteral("TBItem13 Пользовательская лицензия "),
                 }));
    }

    void eachItemOpensItsAddress() {
        WindowSession s;
        s.start();
        const QString licence =
            QUrl::fromLocalFile(s.fixture().filePath(QStringLiteral("EULA.txt")))
                .toString(QUrl::FullyEncoded);
        for (const char* name : {"mnuHomePage", "mnuUpdate", "mnuNews", "mnuLicense"}) {
            s.action(name)->trigger();
        }
        for (const char* name : {"TBItem8", "TBItem9", "TBItem10", "TBItem13"}) {
            s.action(name)->trigger();
        }
        QCOMPARE(m_desktop.opened,
                 (QStringList{kHome, kUpdate, kNews, licence, kUpdate, kHome, kNews, licence}));
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void theSupportMailHasItsSubjectAndAGreeting() {
        WindowSession s;
        s.start();
        s.action("mnuSupport")->trigger();
        s.action("TBItem11")->trigger();
        QCOMPARE(m_desktop.opened.size(), 2);
        QCOMPARE(m_desktop.opened.at(1), m_desktop.opened.at(0));
        const QString mail = m_desktop.opened.at(0);
        QVERIFY2(mail.startsWith(kMailStart), qPrintable(mail));
        // The greeting is percent-encoded text that reads as a greeting again.
        const QString body = mail.mid(kMailStart.size());
        QVERIFY(!body.isEmpty());
        QVERIFY(!body.contains(u' '));
        QVERIFY(
            QUrl::fromPercentEncoding(body.toUtf8()).startsWith(QStringLiteral("Здравствуйте")));
    }

    void theLicenceIsFoundInAnyLetterCase() {
        WindowSession s;
        QVERIFY(QFile::rename(s.fixture().filePath(QStringLiteral("EULA.txt")),
                              s.fixture().filePath(QStringLiteral("eula.TXT"))));
        s.start();
        s.action("mnuLicense")->trigger();
        QCOMPARE(m_desktop.opened,
                 QStringList{QUrl::fromLocalFile(s.fixture().filePath(QStringLiteral("eula.TXT")))
                                 .toString(QUrl::FullyEncoded)});
    }

    void menuKeysWorkFromTheSearchBox() {
        WindowSession s;
        s.start();
        QVERIFY(s.edFam()->hasFocus());
        QTest::keyClick(s.edFam(), Qt::Key_H, Qt::ControlModifier);
        QTest::keyClick(s.edFam(), Qt::Key_U, Qt::ControlModifier);
        QTest::keyClick(s.edFam(), Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(s.edFam(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(m_desktop.opened.size(), 4);
        QCOMPARE(m_desktop.opened.mid(0, 3), (QStringList{kHome, kUpdate, kNews}));
        QVERIFY(m_desktop.opened.at(3).startsWith(kMailStart));
        // The boxes still edit with their own keys.
        abonex::test::typeText(s.edFam(), QStringLiteral("аб"));
        QTest::keyClick(s.edFam(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(s.edFam()->hasSelectedText());
    }

    void failingLinksShowTheirBoxesAndNothingElse() {
        WindowSession s;
        s.start();
        m_desktop.succeeds = false;
        const struct {
            const char* item;
            QString box;
        } cases[] = {
            {"mnuHomePage", kNoBrowser},   {"mnuUpdate", kNoBrowser},   {"mnuNews", kNoBrowser},
            {"TBItem9", kNoBrowser},       {"mnuSupport", kNoMail},     {"TBItem11", kNoMail},
            {"mnuLicense", kNoTextViewer}, {"TBItem13", kNoTextViewer},
        };
        for (const auto& c : cases) {
            MessageBox::clearShown();
            s.action(c.item)->trigger();
            QCOMPARE(MessageBox::shown().size(), 1);
            QCOMPARE(MessageBox::shown().at(0).text, c.box);
            QCOMPARE(MessageBox::shown().at(0).icon, QMessageBox::Critical);
            QCOMPARE(MessageBox::shown().at(0).buttons,
                     QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        QVERIFY(s.window()->isVisible());
    }

    void theRealDesktopReportsALauncherThatFails() {
        // The launcher starts, finds no program for the link and ends with an error: the box
        // is shown once it has answered (before, a launcher that could be started was taken
        // for success and nothing was shown).
        QTemporaryDir bin;
        const QString asked = bin.filePath(QStringLiteral("asked"));
        const auto writeLauncher = [&](int exitStatus) {
            QFile script(bin.filePath(QStringLiteral("xdg-open")));
            QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
            script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\nexit %2\n")
                             .arg(asked)
                             .arg(exitStatus)
                             .toUtf8());
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        const auto askedLines = [&] {
            QFile file(asked);
            if (!file.open(QIODevice::ReadOnly)) return QStringList();
            return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        };
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        Desktop::install(nullptr);
        WindowSession s;
        s.start();

        writeLauncher(3);
        s.action("mnuHomePage")->trigger();
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown().at(0).text, kNoBrowser);
        QCOMPARE(askedLines(), QStringList{kHome});

        writeLauncher(0);
        MessageBox::clearShown();
        s.action("mnuSupport")->trigger();
        QTRY_COMPARE(askedLines().size(), 2);
        QTest::qWait(100);
        QVERIFY(MessageBox::shown().isEmpty());
    }

    void aboutBoxOpensFromTheButtonTheMenuAndF1() {
        WindowSession s;
        s.start();
        int shown = 0;
        auto closeIt = [&](TForm2* box) {
            ++shown;
            QCOMPARE(box->parentWidget(), s.window());
            box->btnClose->click();
        };
        whenDialogShown<TForm2>(closeIt);
        QTest::mouseClick(s.child<QToolButton>("btnAbout"), Qt::LeftButton);
        whenDialogShown<TForm2>(closeIt);
        s.action("TBItem12")->trigger();
        // The window is active again once the box has gone (a window manager's part; the
        // test platform has none).
        QApplication::setActiveWindow(s.window());
        QVERIFY(QTest::qWaitForWindowActive(s.window()));
        whenDialogShown<TForm2>(closeIt);
        QTest::keyClick(s.edFam(), Qt::Key_F1);
        QCOMPARE(shown, 3);
        // Each box is destroyed when it closes.
        QTRY_COMPARE(s.window()->findChildren<TForm2*>().size(), 0);
    }

    void aboutBoxLayoutAndButton() {
        TForm2 box;
        QCOMPARE(box.windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(box.size(), QSize(321, 320));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QVERIFY(!box.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!box.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(box.Title->text(), QStringLiteral("Абонекс \n(служба 09 после 20:00)"));
        QCOMPARE(box.Title->height(), 48);
        QCOMPARE(box.Title->font().pixelSize(), 21);
        QVERIFY(box.Title->font().bold());
        QCOMPARE(box.History->height(), 180);
        QCOMPARE(box.Panel1->height(), 92);
        QCOMPARE(box.Panel1->geometry().bottom(), 319);
        QCOMPARE(box.labelWWW->text(), QStringLiteral("www.example.org"));
        QCOMPARE(box.lblEmail->text(), QStringLiteral("Написать на support"));
        QCOMPARE(box.btnClose->text(), QStringLiteral("Закрыть"));
        QVERIFY(box.btnClose->isDefault());
        for (QLabel* label : {box.labelWWW, box.lblEmail}) {
            QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
            QVERIFY(looksAtRest(label));
        }
        // Everything lies inside the box.
        for (QWidget* part : box.findChildren<QWidget*>()) {
            const QRect inBox(part->mapTo(&box, QPoint()), part->size());
            QVERIFY2(QRect(0, 0, 321, 320).contains(inBox), qPrintable(part->objectName()));
        }
        // Enter closes the box by its default button, Escape as its cancel button.
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::keyClick(&box, Qt::Key_Return);
        QVERIFY(!box.isVisible());
        box.show();
        QTest::keyClick(&box, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    }

    void historyRollsUpWithoutEnd() {
        TForm2 box;
        ScrollingText* history = box.History;
        QVERIFY(history->timer()->isActive());
        QCOMPARE(history->timer()->interval(), 90);
        QVERIFY(history->lines().contains(QStringLiteral("Версия 4 от 14.02.2002")));
        for (const char* version : {"Версия 3.1:", "Версия 3.0:"}) {
            QVERIFY(history->lines().contains(QString::fromUtf8(version)));
        }
        QVERIFY(history->contentHeight() > history->height());
        QCOMPARE(history->offset(), 0);
        history->advance();
        QCOMPARE(history->offset(), 1);
        // The last line leaves the top, then the content comes round again after a gap
        // shorter than the panel, so the panel is never empty.
        QVERIFY(history->period() > history->contentHeight());
        QVERIFY(history->period() - history->contentHeight() < history->contentsRect().height());
        int steps = 1;
        for (; steps < 100000 && history->offset() != 0; ++steps) history->advance();
        QCOMPARE(history->offset(), 0);
        QCOMPARE(steps, history->period());
        const int round = history->period();
        for (int i = 0; i < round + 5; ++i) history->advance();
        QCOMPARE(history->offset(), 5);
        // The lines fit the panel's width.
        for (const QString& line : history->lines()) {
            QVERIFY2(
                history->fontMetrics().horizontalAdvance(line) < history->contentsRect().width(),
                qPrintable(line));
        }
    }

    void linkLabelsLightUpUnderTheMouseAndOpenTheirLinks() {
        TForm2 box;
        box.show();
        moveMouseOver(box.labelWWW);
        QVERIFY(looksPointedAt(box.labelWWW));
        QVERIFY(looksAtRest(box.lblEmail));
        // The bottom panel puts lblEmail to rest, not labelWWW: that one has its own panel.
        moveMouseOver(box.lblEmail);
        QVERIFY(looksPointedAt(box.lblEmail));
        moveMouseOver(box.Panel1);
        QVERIFY(looksAtRest(box.lblEmail));
        QVERIFY(looksPointedAt(box.labelWWW));
        moveMouseOver(box.Panel2);
        QVERIFY(looksAtRest(box.labelWWW));

        QTest::mouseClick(box.labelWWW, Qt::LeftButton);
        QTest::mouseClick(box.lblEmail, Qt::LeftButton);
        QCOMPARE(m_desktop.opened.size(), 2);
        QCOMPARE(m_desktop.opened.at(0), kHome);
        QVERIFY(m_desktop.opened.at(1).startsWith(kMailStart));
        QVERIFY(MessageBox::shown().isEmpty());

        m_desktop.succeeds = false;
        QTest::mouseClick(box.labelWWW, Qt::LeftButton);
        QTest::mouseClick(box.lblEmail, Qt::LeftButton);
        QCOMPARE(MessageBox::shown().size(), 2);
        QCOMPARE(MessageBox::shown().at(0).text, kNoBrowser);
        QCOMPARE(MessageBox::shown().at(1).text, kNoMail);
        QVERIFY(box.isVisible());
    }

  private:
    RecordingDesktop m_desktop;
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MessageBox::setInteractive(false);
    LinksTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "links_test.moc"
