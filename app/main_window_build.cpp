// TFMain's widgets, built once when the window is created: the menu bar, the tool bar, the
// search panel, the banner, the grid with its pop-up menu, the status line and the timers. The
// items of "&Вид", "&Помощь" and "Обновление базы данных", the dial button's drop-down and the
// notification-area icon are built in the files of their concerns.
#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/application.h"
#include "app/banner.h"
#include "app/directory_model.h"
#include "app/hint_switch.h"
#include "app/main_window.h"
#include "app/preview_delegate.h"
#include "app/settings_store.h"
#include "ui/windows_color.h"

namespace abonex {

namespace {

constexpr int kInitialWidth = 350;
constexpr int kInitialHeight = 420;
constexpr int kMinimumWidth = 350;
constexpr int kMinimumHeight = 224;
constexpr int kSearchPanelHeight = 40;
constexpr int kNameBoxWidth = 180;
constexpr int kPhoneBoxWidth = 89;
constexpr int kClearButtonSize = 21;
constexpr std::array<int, 3> kDesignColumnWidths{150, 80, 80};
constexpr int kBannerStepMs = 5000;
// "Искать при вводе": the pause after the last key typed in a search box before the search.
constexpr int kLiveSearchPauseMs = 150;

// The check marks the settings store keeps, by the items' object names (the dialing method's
// pair is the dial button's drop-down).
const char* const kStoredCheckMarks[] = {
    "mnuTone",     "mnuPulse",  "mnuBigIco", "mnuComments",   "mnuShowPanel",
    "mnuSmallIco", "mnuStatus", "mnuHint",   "mnuLiveSearch",
};

void setHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

}  // namespace

void TFMain::buildWindow() {
    setObjectName(QStringLiteral("TFMain"));
    setWindowTitle(tr("Абонекс (служба 09 после 20:00) v. 4"));
    setWindowIcon(Application::programIcon());
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    const QSize initial = firstStartSize(QSize(kInitialWidth, kInitialHeight));
    resize(initial);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), initial);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    buildPopUp();
    buildMenus();
    buildToolBar();

    GroupBox1 = new QWidget(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* layout = new QVBoxLayout(GroupBox1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildSearchPanel());
    // The grid's band: one row over all the columns, right above their headers.
    layout->addWidget(buildBand(GroupBox1));
    buildGrid();
    buildNothingFoundNote();
    layout->addWidget(GxDBGrid1, 1);
    setCentralWidget(GroupBox1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusText = new QLabel(StatusBar1);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    // The note that a search found nothing comes first, whole; the filter beside it may be cut
    // at the design width.
    m_foundNothingNote = new QLabel(tr("ничего не найдено"), StatusBar1);
    m_foundNothingNote->setObjectName(QStringLiteral("lblFoundNothing"));
    m_foundNothingNote->hide();
    StatusBar1->addWidget(m_foundNothingNote);
    m_statusText->setMinimumWidth(1);
    StatusBar1->addWidget(m_statusText, 1);
    m_codePageNote = new QLabel(StatusBar1);
    m_codePageNote->setObjectName(QStringLiteral("lblCodePage"));
    m_codePageNote->hide();
    StatusBar1->addPermanentWidget(m_codePageNote);
    m_readOnlyNote = new QLabel(StatusBar1);
    m_readOnlyNote->setObjectName(QStringLiteral("readOnlyNote"));
    m_readOnlyNote->hide();
    StatusBar1->addPermanentWidget(m_readOnlyNote);
    setStatusBar(StatusBar1);
    StatusBar1->hide();

    m_hints = new HintSwitch(this);
    QStringList stored;
    for (const char* name : kStoredCheckMarks) stored << QString::fromLatin1(name);
    FormStorage1 = new SettingsStore(this, stored, this);
    connect(FormStorage1, &SettingsStore::restored, this, &TFMain::FormStorage1RestorePlacement);
    buildTray();
    m_liveSearchTimer = new QTimer(this);
    m_liveSearchTimer->setObjectName(QStringLiteral("tmLiveSearch"));
    m_liveSearchTimer->setSingleShot(true);
    m_liveSearchTimer->setInterval(kLiveSearchPauseMs);
    connect(m_liveSearchTimer, &QTimer::timeout, this, &TFMain::btnFiltrClick);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kBannerStepMs);
    connect(Timer1, &QTimer::timeout, this, &TFMain::Timer1Timer);
    Timer1->start();

    m_modes = {{
        {DirectoryMode::Persons, btnUser, mnuUsers, &DSet, tr("Фамилия И.О.")},
        {DirectoryMode::Organisations, btnOrg, mnuOrg, &DSOrg, tr("Организация")},
        {DirectoryMode::Favourites, btnFavorit, mnuFavorit, &DSFavor, tr("Контакт")},
    }};
}

void TFMain::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("TBToolbar2"));
    bar->setWindowTitle(tr("Главное меню"));
    bar->setAccessibleName(bar->windowTitle());

    QMenu* file = bar->addMenu(tr("&Файл"));
    file->setObjectName(QStringLiteral("mnuFile"));
    buildSyncMenuItem(file);
    buildExchangeMenuItems(file);
    mnuPrint = file->addAction(tr("Печать…"));
    mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
    mnuPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(mnuPrint, &QAction::triggered, this, &TFMain::mnuPrintClick);
    file->addSeparator();
    mnuExit = file->addAction(tr("Выход"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* phones = bar->addMenu(tr("&Телефоны"));
    phones->setObjectName(QStringLiteral("mnuPhones"));
    m_modeItems = new QActionGroup(this);
    m_modeItems->setExclusive(true);
    auto addModeItem = [&](const char* name, const QString& caption, Qt::Key key,
                           const QString& icon) {
        QAction* item = phones->addAction(Application::picture(icon), caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(QKeySequence(key));
        item->setCheckable(true);
        m_modeItems->addAction(item);
        return item;
    };
    mnuUsers = addModeItem("mnuUsers", tr("Частных лиц"), Qt::Key_F2, QStringLiteral("user"));
    mnuOrg = addModeItem("mnuOrg", tr("Организаций"), Qt::Key_F3, QStringLiteral("org"));
    mnuFavorit = addModeItem("mnuFavorit", tr("Фавориты"), Qt::Key_F4, QStringLiteral("favorit"));
    mnuUsers->setChecked(true);
    connect(mnuUsers, &QAction::triggered, this, &TFMain::mnuUsersClick);
    connect(mnuOrg, &QAction::triggered, this, &TFMain::mnuOrgClick);
    connect(mnuFavorit, &QAction::triggered, this, &TFMain::mnuFavoritClick);
    // Adding a record is found here too: the grid's pop-up is not where a first record of an
    // empty table is looked for.
    phones->addSeparator();
    phones->addAction(insRec);
    phones->addSeparator();
    mnuCallLog = phones->addAction(tr("Журнал звонков"));
    mnuCallLog->setObjectName(QStringLiteral("mnuCallLog"));
    connect(mnuCallLog, &QAction::triggered, this, &TFMain::mnuCallLogClick);
    phones->addSeparator();
    buildMaintenanceItems(phones);
    connect(phones, &QMenu::aboutToShow, this, &TFMain::updateRecordItems);

    QMenu* view = bar->addMenu(tr("&Вид"));
    view->setObjectName(QStringLiteral("mnuView"));
    buildViewMenu(view);
    QMenu* help = bar->addMenu(tr("&Помощь"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    buildHelpMenu(help);
}

void TFMain::buildToolBar() {
    TBToolbar1 = addToolBar(tr("Панель управления"));
    TBToolbar1->setObjectName(QStringLiteral("TBToolbar1"));
    TBToolbar1->setMovable(false);
    TBToolbar1->setFloatable(false);
    TBToolbar1->setIconSize(QSize(32, 32));
    // The menu bar is the only place that lists the tool bar; no context menu to hide it.
    TBToolbar1->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    // The buttons are pictures only: a screen reader reads their hints as their names.
    auto makeButton = [&](const char* name, const QString& icon, const QString& hint) {
        auto* button = new QToolButton(TBToolbar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(Application::picture(icon));
        button->setAutoRaise(true);
        button->setAccessibleName(hint);
        setHint(button, hint);
        TBToolbar1->addWidget(button);
        return button;
    };
    btnFiltr = makeButton("btnFiltr", QStringLiteral("filter"), tr("Показать результат"));
    connect(btnFiltr, &QToolButton::clicked, this, &TFMain::btnFiltrClick);
    TBToolbar1->addSeparator();

    btnUser = makeButton("btnUser", QStringLiteral("user"), tr("Телефоны частных лиц"));
    btnOrg = makeButton("btnOrg", QStringLiteral("org"), tr("Телефоны организаций"));
    btnFavorit = makeButton("btnFavorit", QStringLiteral("favorit"),
                            tr("Фавориты (часто ипользуемые контакты)"));
    m_modeButtons = new QButtonGroup(this);
    m_modeButtons->setExclusive(true);
    for (QToolButton* button : {btnUser, btnOrg, btnFavorit}) {
        button->setCheckable(true);
        m_modeButtons->addButton(button);
    }
    btnUser->setChecked(true);
    connect(m_modeButtons, &QButtonGroup::buttonClicked, this, &TFMain::btnUserClick);
    TBToolbar1->addSeparator();

    btnRing = makeButton("btnRing", QStringLiteral("ring"),
                         tr("Набрать текущий номер (Положить трубку)"));
    buildRingMenu();
    TBToolbar1->addSeparator();

    btnAbout = makeButton("btnAbout", QStringLiteral("about"), tr("О Программе"));
    // Filled by buildHelpMenu, which runs first.
    btnAbout->setMenu(m_aboutDropDown);
    btnAbout->setPopupMode(QToolButton::MenuButtonPopup);
    connect(btnAbout, &QToolButton::clicked, this, &TFMain::btnAboutClick);
    // The button that shows what a narrow window has no room for.
    if (auto* more = TBToolbar1->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("Другие кнопки панели"));
}

QWidget* TFMain::buildSearchPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(kSearchPanelHeight);

    auto* caption = new QLabel(tr("Поиск"), panel);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    caption->setEnabled(false);

    const QString editStyle = QStringLiteral(
                                  "QLineEdit { background: %1; border: 1px solid #7A7A7A; "
                                  "padding: 0 2px; }")
                                  .arg(windowsColor(kGridBackground).name());
    edFam = new QLineEdit(panel);
    edFam->setObjectName(QStringLiteral("edFam"));
    edPhone = new QLineEdit(panel);
    edPhone->setObjectName(QStringLiteral("edPhone"));
    // Their hints, which say what to type, are their descriptions.
    edFam->setAccessibleName(tr("Поиск по фамилии"));
    edPhone->setAccessibleName(tr("Поиск по телефону"));
    showSearchHints();
    connect(mnuLiveSearch, &QAction::toggled, this, &TFMain::showSearchHints);
    for (QLineEdit* box : {edFam, edPhone}) {
        box->setStyleSheet(editStyle);
        box->installEventFilter(this);
    }
    connect(edFam, &QLineEdit::textChanged, this, &TFMain::edFamChange);
    connect(edPhone, &QLineEdit::textChanged, this, &TFMain::edPhoneChange);
    // Only what the user types counts for "Искать при вводе", not the boxes being emptied.
    connect(edFam, &QLineEdit::textEdited, this, &TFMain::searchTextTyped);
    connect(edPhone, &QLineEdit::textEdited, this, &TFMain::searchTextTyped);

    sbClear = new QToolButton(panel);
    sbClear->setObjectName(QStringLiteral("sbClear"));
    sbClear->setText(QStringLiteral("X"));
    sbClear->setFont(bold);
    sbClear->setAutoRaise(true);
    setHint(sbClear, tr("Сброс"));
    sbClear->setAccessibleName(tr("Сброс"));
    connect(sbClear, &QToolButton::clicked, this, &TFMain::sbClearClick);

    chStart = new QRadioButton(tr("В &начале строки"), panel);
    chStart->setObjectName(QStringLiteral("chStart"));
    setHint(chStart, tr("Ищем записи с вхождением искомого текста только в начале "
                        "строки (удобнее для фамилий)"));
    chAny = new QRadioButton(tr("В &любом месте строки"), panel);
    chAny->setObjectName(QStringLiteral("chAny"));
    setHint(chAny, tr("Ищем записи с вхождением искомого текста в любом месте "
                      "строки (удобнее для организаций)"));
    chStart->setChecked(true);
    connect(chStart, &QRadioButton::toggled, this, [this](bool on) {
        m_typed.atStart = on;
        searchTextsChanged();
    });

    // Two rows in 40 pixels: the boxes above, the position switches below them.
    const int boxHeight = kClearButtonSize;
    const int left = 4;
    // The design's 44 pixels, or what a translated caption needs.
    const int captionWidth = std::max(44, caption->sizeHint().width() + 4);
    caption->setGeometry(left, 1, captionWidth, boxHeight);
    const int boxLeft = left + captionWidth;
    edFam->setGeometry(boxLeft, 1, kNameBoxWidth, boxHeight);
    edPhone->setGeometry(boxLeft + kNameBoxWidth + 2, 1, kPhoneBoxWidth, boxHeight);
    sbClear->setGeometry(boxLeft + kNameBoxWidth + kPhoneBoxWidth + 4, 1, kClearButtonSize,
                         kClearButtonSize);
    QFont small = chStart->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    for (QRadioButton* button : {chStart, chAny}) button->setFont(small);
    const int switchTop = boxHeight + 2;
    const int switchHeight = kSearchPanelHeight - switchTop;
    chStart->setGeometry(boxLeft, switchTop, chStart->sizeHint().width(), switchHeight);
    chAny->setGeometry(boxLeft + chStart->sizeHint().width() + 8, switchTop,
                       chAny->sizeHint().width(), switchHeight);
    return panel;
}

void TFMain::buildGrid() {
    GxDBGrid1 = new QTableView(this);
    GxDBGrid1->setObjectName(QStringLiteral("GxDBGrid1"));
    m_model = new DirectoryModel(this);
    m_delegate = new PreviewDelegate(this);
    GxDBGrid1->setModel(m_model);
    GxDBGrid1->setItemDelegate(m_delegate);
    GxDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GxDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    GxDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    GxDBGrid1->setShowGrid(false);
    GxDBGrid1->setWordWrap(false);
    GxDBGrid1->setCornerButtonEnabled(false);
    GxDBGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    GxDBGrid1->verticalHeader()->hide();
    GxDBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    GxDBGrid1->verticalHeader()->setDefaultSectionSize(m_delegate->rowHeight(GxDBGrid1->font()));
    GxDBGrid1->horizontalHeader()->setHighlightSections(false);
    GxDBGrid1->horizontalHeader()->setSectionsClickable(false);
    GxDBGrid1->horizontalHeader()->setStretchLastSection(false);
    GxDBGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < 3; ++column) {
        GxDBGrid1->setColumnWidth(column, kDesignColumnWidths[column]);
    }
    GxDBGrid1->setColumnHidden(DirectoryModel::kCommentColumn, true);
    QPalette palette = GxDBGrid1->palette();
    palette.setColor(QPalette::Base, windowsColor(kGridBackground));
    GxDBGrid1->setPalette(palette);
    setHint(GxDBGrid1, tr("Пользуйтесь правой кнопкой мыши"));
    GxDBGrid1->setAccessibleName(tr("Записи справочника"));
    // A table does not read its hint as a description of its own.
    GxDBGrid1->setAccessibleDescription(GxDBGrid1->toolTip());
    GxDBGrid1->installEventFilter(this);
    GxDBGrid1->viewport()->installEventFilter(this);

    GxDBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GxDBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = GxDBGrid1->indexAt(pos);
        if (index.isValid()) GxDBGrid1->setCurrentIndex(index);
        GridPopUp->popup(GxDBGrid1->viewport()->mapToGlobal(pos));
    });
    connect(GxDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { gridRowChanged(current.row()); });
    // The pop-up's keys act wherever the focus is in the window, a search box included (its
    // own editing keys give way to them there, see eventFilter).
    for (QAction* item : {addKont, insRec, redRec, delRec, mnuRing}) {
        item->setShortcutContext(Qt::WindowShortcut);
        GxDBGrid1->addAction(item);
    }
    GxDBGrid1->addActions({mnuCopyPhone, mnuCopyRow});
}

void TFMain::buildPopUp() {
    GridPopUp = new QMenu(this);
    GridPopUp->setObjectName(QStringLiteral("GridPopUp"));
    auto addItem = [&](const char* name, const QString& caption, const QKeySequence& key,
                       const QString& icon) {
        QAction* item = GridPopUp->addAction(Application::picture(icon), caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(key);
        return item;
    };
    addKont = addItem("addKont", tr("Добавить в контакты"),
                      QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), QStringLiteral("add_contact"));
    GridPopUp->addSeparator();
    insRec = addItem("insRec", tr("Вставить запись"), QKeySequence(Qt::CTRL | Qt::Key_Insert),
                     QStringLiteral("insert"));
    redRec = addItem("redRec", tr("Редактировать"), QKeySequence(Qt::ALT | Qt::Key_Backspace),
                     QStringLiteral("edit"));
    delRec = addItem("delRec", tr("Удалить"), QKeySequence(Qt::CTRL | Qt::Key_Delete),
                     QStringLiteral("delete"));
    GridPopUp->addSeparator();
    mnuRing = addItem("mnuRing", tr("Набрать номер"), QKeySequence(Qt::CTRL | Qt::Key_D),
                      QStringLiteral("ring"));
    connect(mnuRing, &QAction::triggered, this, &TFMain::btnRingClick);
    connect(addKont, &QAction::triggered, this, &TFMain::addKontClick);
    connect(insRec, &QAction::triggered, this, &TFMain::insRecClick);
    connect(redRec, &QAction::triggered, this, &TFMain::redRecClick);
    connect(delRec, &QAction::triggered, this, &TFMain::delRecClick);
    buildCopyItems();
    connect(GridPopUp, &QMenu::aboutToShow, this, &TFMain::mnuPopPopup);
}

}  // namespace abonex
