#include "app/links.h"

#include <QCoreApplication>
#include <QPointer>

#include "app/desktop.h"
#include "ui/message_box.h"

// Both addresses are set in the build configuration (app/CMakeLists.txt).
#if !defined(ABONEX_SITE_URL) || !defined(ABONEX_SUPPORT_MAIL)
#error "ABONEX_SITE_URL and ABONEX_SUPPORT_MAIL come from the build configuration"
#endif

namespace abonex {

namespace {

const char kUpdatePath[] = "/docs/products/abonex.php";
const char kNewsPath[] = "/docs/products/subscribe.php";
const char kMailSubject[] = "I%20need%20help";
const char kMailGreeting[] =
    QT_TRANSLATE_NOOP("abonex::Links", "Здравствуйте! У меня вопрос о программе Абонекс.");

const char* const kNoBrowserLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox",
                      "Не найдено приложение, отвечающее за просмотр Web страниц."),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Установите одну из известных программ:"),
    "- Firefox;",
    "- Chromium;",
    "- GNOME Web;",
    QT_TRANSLATE_NOOP("abonex::MessageBox", "- и т.п."),
};

const char* const kNoMailLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Не найдено приложение, отвечающее за отправку почты."),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Установите одну из известных программ:"),
    "- Thunderbird;",
    "- Evolution;",
    "- Claws Mail;",
    QT_TRANSLATE_NOOP("abonex::MessageBox", "- и т.п."),
};

const char* const kNoTextViewerLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox",
                      "Не найдено приложение, отвечающее за просмотр файлов *.txt."),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Установите одну из известных программ:"),
    "- gedit;",
    "- Mousepad;",
    "- Kate;",
    QT_TRANSLATE_NOOP("abonex::MessageBox", "- и т.п."),
};

// Opens `url` on the desktop; when its program for it does not take it, the error box with
// `lines` over `owner` (if it is still there).
void openOrShow(QWidget* owner, const QUrl& url, std::span<const char* const> lines) {
    QPointer<QWidget> guarded(owner);
    Desktop::current().openUrl(url, [guarded, lines](bool opened) {
        if (opened) return;
        MessageBox::error(guarded.data(), QStringLiteral("Error"), MessageBox::crLfLines(lines));
    });
}

QString siteAddress() {
    QString site = QString::fromUtf8(ABONEX_SITE_URL);
    while (site.endsWith(u'/')) site.chop(1);
    return site;
}

}  // namespace

QString homePageAddress() {
    return siteAddress() + u'/';
}

QString updatePageAddress() {
    return siteAddress() + QString::fromLatin1(kUpdatePath);
}

QString newsPageAddress() {
    return siteAddress() + QString::fromLatin1(kNewsPath);
}

QUrl supportMailUrl() {
    const QByteArray greeting =
        QUrl::toPercentEncoding(QCoreApplication::translate("abonex::Links", kMailGreeting));
    return QUrl::fromEncoded(QByteArrayLiteral("mailto:") + QByteArray(ABONEX_SUPPORT_MAIL) +
                                 "?subj=" + kMailSubject + "&body=" + greeting,
                             QUrl::StrictMode);
}

void OpenLink(QWidget* owner, const QString& address) {
    openOrShow(owner, QUrl(address), kNoBrowserLines);
}

void openSupportMail(QWidget* owner) {
    openOrShow(owner, supportMailUrl(), kNoMailLines);
}

void openLicence(QWidget* owner, const QString& path) {
    openOrShow(owner, QUrl::fromLocalFile(path), kNoTextViewerLines);
}

}  // namespace abonex
