// The window's pictures on a screen at a scale of 2 (QT_SCALE_FACTOR=2, set before the
// application exists): every tool-bar and menu picture, large and small, and the program's own
// icon are drawn from pictures of twice the size, not blown up from the 1x ones.
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "app/application.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using namespace abonex;
using namespace abonex::test;

namespace {

// The pixels the icon gives for `size` logical pixels at `scale`, as premultiplied ARGB (as a
// pixmap holds them).
QImage drawn(const QIcon& icon, int size, qreal scale) {
    QImage image = icon.pixmap(QSize(size, size), scale)
                       .toImage()
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1.0);
    return image;
}

QImage resource(const QString& path) {
    QImage image(path);
    if (image.isNull()) qFatal("no picture %s", qPrintable(path));
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

class ScaledPicturesTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { MessageBox::clearShown(); }

    void theScreenIsAtTwiceTheScale() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    void everyToolBarButtonHasItsPictureAtTwiceTheSize() {
        WindowSession s;
        s.start();
        const qreal scale = s.window()->devicePixelRatioF();
        QCOMPARE(scale, 2.0);
        auto* toolBar = s.child<QToolBar>("TBToolbar1");
        const QList<QToolButton*> buttons = toolBar->findChildren<QToolButton*>();
        int checked = 0;
        for (QToolButton* button : buttons) {
            // The extension arrow is the style's own.
            if (button->objectName() == QStringLiteral("qt_toolbar_ext_button")) continue;
            for (int size : {32, 16}) {
                const QImage image = drawn(button->icon(), size, scale);
                QVERIFY2(image.size() == QSize(size * 2, size * 2),
                         qPrintable(button->objectName()));
                // The picture at 2x is not the 1x picture made bigger.
                const QImage blownUp = drawn(button->icon(), size, 1.0)
                                           .scaled(size * 2, size * 2, Qt::IgnoreAspectRatio,
                                                   Qt::SmoothTransformation);
                QVERIFY2(image != blownUp, qPrintable(button->objectName()));
            }
            ++checked;
        }
        QCOMPARE(checked, 6);
    }

    void largeAndSmallPicturesComeFromTheirOwnFiles() {
        const QStringList names{
            QStringLiteral("filter"),  QStringLiteral("user"),        QStringLiteral("org"),
            QStringLiteral("favorit"), QStringLiteral("add_contact"), QStringLiteral("insert"),
            QStringLiteral("edit"),    QStringLiteral("delete"),      QStringLiteral("ring"),
            QStringLiteral("about"),   QStringLiteral("home"),        QStringLiteral("update"),
            QStringLiteral("news"),    QStringLiteral("mail"),        QStringLiteral("licence"),
            QStringLiteral("restore"),
        };
        for (const QString& name : names) {
            const QIcon icon = Application::picture(name);
            QVERIFY2(icon.availableSizes().contains(QSize(64, 64)), qPrintable(name));
            // A large picture at 2x is the 64-pixel file, a small one the 32-pixel file.
            QCOMPARE(drawn(icon, 32, 2.0), resource(QStringLiteral(":/icons/64/%1.png").arg(name)));
            QCOMPARE(drawn(icon, 16, 2.0), resource(QStringLiteral(":/icons/32/%1.png").arg(name)));
            QCOMPARE(drawn(icon, 32, 1.0), resource(QStringLiteral(":/icons/32/%1.png").arg(name)));
        }
    }

    void theProgramIconHasEverySizeTwice() {
        const QIcon icon = Application::programIcon();
        for (int size : {16, 32, 64, 128}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size * 2, size * 2)),
                     qPrintable(QString::number(size)));
            QCOMPARE(drawn(icon, size, 2.0),
                     resource(QStringLiteral(":/icons/%1/abonex.png").arg(size * 2)));
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    Application app(argc, argv);
    MessageBox::setInteractive(false);
    ScaledPicturesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "scaled_pictures_test.moc"
