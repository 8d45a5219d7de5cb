#include "app/links.h"

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
const char kMailGreeting[] = "Здравствуйте! У меня вопрос о программе Абонекс.";

const char* const kNoBrowserLines[] = {
    "Не найдено приложение, отвечающее за просмотр Web страниц.",
    "Установите одну из известных программ:",
    "- Microsoft Internet Explorer;",
    "- Netscape Navigator;",
    "- Opera;",
    "- и т.п.",
};

const char* const kNoMailLines[] = {
    "Не найдено приложение, отвечающее за отправку почты.",
    "Установите одну из известных программ:",
    "- Microsoft Outlook Express;",
    "- The Bat;",
    "- Eudora;",
    "- и т.п.",
};

const char* const kNoTextViewerLines[] = {
    "Не найдено приложение, отвечающее за просмотр файлов *.txt.",
    "Установите одну из известных программ:",
    "- Microsoft Word;",
    "- Notepad;",
    "- WordPad;",
    "- и т.п.",
};

void showFailure(QWidget* owner, std::span<const char* const> lines) {
    MessageBox::error(owner, QStringLiteral("Error"), MessageBox::crLfLines(lines));
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
    const QByteArray greeting = QUrl::toPercentEncoding(QString::fromUtf8(kMailGreeting));
    return QUrl::fromEncoded(QByteArrayLiteral("mailto:") + QByteArray(ABONEX_SUPPORT_MAIL) +
                                 "?subj=" + kMailSubject + "&body=" + greeting,
                             QUrl::StrictMode);
}

bool OpenLink(QWidget* owner, const QString& address) {
    if (Desktop::current().openUrl(QUrl(address))) return true;
    showFailure(owner, kNoBrowserLines);
    return false;
}

bool openSupportMail(QWidget* owner) {
    if (Desktop::current().openUrl(supportMailUrl())) return true;
    showFailure(owner, kNoMailLines);
    return false;
}

bool openLicence(QWidget* owner, const QString& path) {
    if (Desktop::current().openUrl(QUrl::fromLocalFile(path))) return true;
    showFailure(owner, kNoTextViewerLines);
    return false;
}

}  // namespace abonex
