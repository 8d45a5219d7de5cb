// The program's links: its web pages, the support mail and the licence text, opened by the
// desktop's programs for them.
//
// The web site's address and the support mailbox are set once, in the build configuration
// (ABONEX_SITE_URL, ABONEX_SUPPORT_MAIL); the update and news pages are paths on the site.
// Opening goes through Desktop::current() (app/desktop.h), QDesktopServices by default; tests
// install a recorder that can refuse. When the desktop cannot open a link, the matching error box
// is shown and nothing else changes.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace abonex {

// The program's addresses.
QString homePageAddress();
QString updatePageAddress();
QString newsPageAddress();
// "mailto:" the support mailbox, with a subject and a short greeting.
QUrl supportMailUrl();

// Opens a web page; when the desktop cannot (now or once its launcher has answered), the
// web-browser error box, owned by `owner`.
void OpenLink(QWidget* owner, const QString& address);
// Starts a mail to the support mailbox; when the desktop cannot, the mail error box.
void openSupportMail(QWidget* owner);
// Opens the licence text `path`; when the desktop cannot, the text-viewer error box.
void openLicence(QWidget* owner, const QString& path);

}  // namespace abonex
