// TFMain's view options: the tool bar's picture size, hints, the tool bar, the comment preview,
// the status line and "Искать при вводе" (searching as the user types), each a checkable item of
// the menu "&Вид" whose check mark is the option's value; and how the stored view is applied when
// the window is shown.
#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/hint_switch.h"
#include "app/main_window.h"
#include "app/preview_delegate.h"

namespace abonex {

namespace {

constexpr QSize kLargePictures(32, 32);  // ImageList1
constexpr QSize kSmallPictures(16, 16);  // ImageList3

}  // namespace

void TFMain::buildViewMenu(QMenu* menu) {
    auto addItem = [&](const char* name, const QString& caption, bool checked) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setCheckable(true);
        item->setChecked(checked);
        return item;
    };
    mnuBigIco = addItem("mnuBigIco", tr("Крупные значки"), true);
    mnuBigIco->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuSmallIco = addItem("mnuSmallIco", tr("Мелкие значки"), false);
    mnuSmallIco->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_pictureSizeItems = new QActionGroup(this);
    m_pictureSizeItems->setExclusive(true);
    for (QAction* item : {mnuBigIco, mnuSmallIco}) {
        m_pictureSizeItems->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { mnuBigIcoClick(item); });
    }
    menu->addSeparator();
    mnuHint = addItem("mnuHint", tr("Всплывающие подсказки"), true);
    mnuShowPanel = addItem("mnuShowPanel", tr("Показывать инструменты"), true);
    mnuComments = addItem("mnuComments", tr("Показывать комментарии"), true);
    mnuStatus = addItem("mnuStatus", tr("Показывать статус"), false);
    connect(mnuHint, &QAction::triggered, this, &TFMain::mnuHintClick);
    connect(mnuShowPanel, &QAction::triggered, this, &TFMain::mnuShowPanelClick);
    connect(mnuComments, &QAction::triggered, this, &TFMain::mnuCommentsClick);
    connect(mnuStatus, &QAction::triggered, this, &TFMain::mnuStatusClick);
    menu->addSeparator();
    mnuLiveSearch = addItem("mnuLiveSearch", tr("Искать при вводе"), false);
    connect(mnuLiveSearch, &QAction::triggered, this, &TFMain::mnuLiveSearchClick);
}

// The items are checkable: Qt has inverted a toggle's check mark by the time its handler runs,
// and checking a picture-size item has unchecked the other one (they are one exclusive group).

void TFMain::mnuBigIcoClick(QAction* sender) {
    if (sender != mnuBigIco && sender != mnuSmallIco) return;
    sender->setChecked(true);
    const QSize size = sender == mnuBigIco ? kLargePictures : kSmallPictures;
    TBToolbar1->setIconSize(size);
    // Buttons placed on the tool bar as widgets do not follow its picture size by themselves.
    for (QToolButton* button : TBToolbar1->findChildren<QToolButton*>()) button->setIconSize(size);
}

void TFMain::mnuHintClick() {
    m_hints->setOn(mnuHint->isChecked());
}

void TFMain::mnuShowPanelClick() {
    TBToolbar1->setVisible(mnuShowPanel->isChecked());
}

void TFMain::mnuCommentsClick() {
    m_delegate->setPreviewVisible(mnuComments->isChecked());
    GxDBGrid1->verticalHeader()->setDefaultSectionSize(m_delegate->rowHeight(GxDBGrid1->font()));
    GxDBGrid1->viewport()->update();
}

void TFMain::mnuStatusClick() {
    // Where the directory may only be read, the line stays to say so.
    StatusBar1->setVisible(mnuStatus->isChecked() || m_readOnly);
    if (StatusBar1->isVisible()) showPendingCount();
}

void TFMain::mnuLiveSearchClick() {
    if (!mnuLiveSearch->isChecked()) m_liveSearchTimer->stop();
}

bool TFMain::showsHints() const {
    return m_hints->isOn();
}

void TFMain::applyStoredView() {
    TBToolbar1->setVisible(mnuShowPanel->isChecked());
    mnuCommentsClick();
    m_hints->setOn(mnuHint->isChecked());
    mnuStatusClick();
    // A file that unchecks both picture sizes is damaged: the design value, large pictures.
    if (!mnuBigIco->isChecked() && !mnuSmallIco->isChecked()) mnuBigIco->setChecked(true);
    if (mnuBigIco->isChecked()) mnuBigIcoClick(mnuBigIco);
    if (mnuSmallIco->isChecked()) mnuBigIcoClick(mnuSmallIco);
}

}  // namespace abonex
