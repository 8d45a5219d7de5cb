#include "app/links.h"

#include "app/about_box.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"
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

// ---------------------------------------------------------------------------------------------
// The main window's link items and the About box

void TFMain::mnuHomePageClick() {
    OpenLink(this, homePageAddress());
}

void TFMain::mnuUpdateClick() {
    OpenLink(this, updatePageAddress());
}

void TFMain::mnuNewsClick() {
    OpenLink(this, newsPageAddress());
}

void TFMain::mnuSupportClick() {
    openSupportMail(this);
}

void TFMain::mnuLicenseClick() {
    // Found as the start-up check found it, in whatever letter case it is spelled.
    const QString named = m_databaseFolder + QStringLiteral("EULA.txt");
    openLicence(this, fromLocalPath(resolveCaseInsensitive(localPath(named))));
}

void TFMain::btnAboutClick() {
    TForm2 box(this);
    box.exec();
}

}  // namespace abonex
