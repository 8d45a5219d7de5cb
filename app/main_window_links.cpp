// TFMain's links and About box: the items of "&Помощь" and of btnAbout's drop-down.
#include <QAction>
#include <QMenu>
#include <iterator>
#include <utility>

#include "app/about_box.h"
#include "app/application.h"
#include "app/links.h"
#include "app/main_window.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"

namespace abonex {

void TFMain::buildHelpMenu(QMenu* menu) {
    struct Link {
        const char* menuName;
        const char* dropDownName;
        const char* caption;
        QKeySequence key;
        const char* icon;
        void (TFMain::*handler)();
        QAction* TFMain::*item;
    };
    const Link links[] = {
        {"mnuHomePage", "TBItem9", QT_TRANSLATE_NOOP("abonex::TFMain", "Абонекс HomePage"),
         QKeySequence(Qt::CTRL | Qt::Key_H), "home", &TFMain::mnuHomePageClick,
         &TFMain::mnuHomePage},
        {"mnuUpdate", "TBItem8", QT_TRANSLATE_NOOP("abonex::TFMain", "Абонекс обновление"),
         QKeySequence(Qt::CTRL | Qt::Key_U), "update", &TFMain::mnuUpdateClick, &TFMain::mnuUpdate},
        {"mnuNews", "TBItem10", QT_TRANSLATE_NOOP("abonex::TFMain", "Подписаться на новости"),
         QKeySequence(Qt::CTRL | Qt::Key_N), "news", &TFMain::mnuNewsClick, &TFMain::mnuNews},
        {"mnuSupport", "TBItem11", QT_TRANSLATE_NOOP("abonex::TFMain", "Написать письмо"),
         QKeySequence(Qt::CTRL | Qt::Key_E), "mail", &TFMain::mnuSupportClick, &TFMain::mnuSupport},
        {"mnuAbout", "TBItem12", QT_TRANSLATE_NOOP("abonex::TFMain", "О программе"),
         QKeySequence(Qt::Key_F1), "about", &TFMain::btnAboutClick, &TFMain::mnuAbout},
        {"mnuLicense", "TBItem13", QT_TRANSLATE_NOOP("abonex::TFMain", "Пользовательская лицензия"),
         QKeySequence(), "licence", &TFMain::mnuLicenseClick, &TFMain::mnuLicense},
    };
    // The tool bar's drop-down lists the same items with the update page first. Its items show
    // the keys too, but only the menu's items take them: two items of one window on one key
    // would leave the key to neither.
    m_aboutDropDown = new QMenu(this);
    m_aboutDropDown->setObjectName(QStringLiteral("AboutDropDown"));
    QAction* dropDown[std::size(links)] = {};
    for (size_t i = 0; i < std::size(links); ++i) {
        const Link& link = links[i];
        const QString caption = tr(link.caption);
        QAction* item =
            menu->addAction(Application::picture(QString::fromLatin1(link.icon)), caption);
        item->setObjectName(QString::fromLatin1(link.menuName));
        item->setShortcut(link.key);
        connect(item, &QAction::triggered, this, link.handler);
        this->*link.item = item;

        QAction* copy =
            new QAction(Application::picture(QString::fromLatin1(link.icon)), caption, this);
        copy->setObjectName(QString::fromLatin1(link.dropDownName));
        copy->setShortcut(link.key);
        copy->setShortcutContext(Qt::WidgetShortcut);
        connect(copy, &QAction::triggered, this, link.handler);
        dropDown[i] = copy;
    }
    std::swap(dropDown[0], dropDown[1]);
    for (QAction* item : dropDown) m_aboutDropDown->addAction(item);
}

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
