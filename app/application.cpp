#include "app/application.h"

#include <QIcon>
#include <QProxyStyle>

#include "app/window_language.h"
#include "engine/dataset/engine_dataset.h"
#include "ui/message_box.h"

// The pictures are compiled into the windows' static library, whose resource registration the
// linker would otherwise drop: nothing refers to it by name.
static void initProgramPictures() {
    Q_INIT_RESOURCE(abonex);
}

namespace abonex {

namespace {

int g_hintPause = -1;

// Gives hints the pause the main window asks for; everything else is the platform style's.
class HintTimingStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay && g_hintPause >= 0) return g_hintPause;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString exceptionText(const char* what) {
    const QByteArray bytes(what);
    // Engine messages are UTF-8 (English texts and file paths); anything else is shown as the
    // system's local encoding would show it.
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLocal8Bit(bytes);
    return text;
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8(kApplicationTitle));
    setWindowIcon(programIcon());
    setStyle(new HintTimingStyle);
    installWindowTexts(*this, windowLanguage());
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& error) {
        showException(error);
        return false;
    }
}

QString Application::title() {
    return QCoreApplication::translate("abonex::Application", kApplicationTitle);
}

void Application::showException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error)) return;
    MessageBox::error(QApplication::activeWindow(), title(), exceptionText(error.what()));
}

QIcon Application::programIcon() {
    initProgramPictures();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/abonex.png").arg(size), QSize(size, size));
    return icon;
}

QIcon Application::picture(const QString& name) {
    initProgramPictures();
    QIcon icon;
    // 64 pixels: the 32-pixel pictures of a screen at twice the scale (the 16-pixel ones take
    // the 32), drawn from the same picture rather than blown up.
    for (int size : {64, 32, 16})
        icon.addFile(QStringLiteral(":/icons/%1/%2.png").arg(size).arg(name), QSize(size, size));
    return icon;
}

void Application::setHintPause(int milliseconds) {
    g_hintPause = milliseconds;
}

}  // namespace abonex
