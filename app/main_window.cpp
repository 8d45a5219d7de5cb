#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/banner.h"
#include "app/directory_model.h"
#include "app/edit_record_dialog.h"
#include "app/hint_switch.h"
#include "app/preview_delegate.h"
#include "app/settings_store.h"
#include "app/tray_icon.h"
#include "dial/tapi_dial.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"
#include "ui/windows_color.h"

// The pictures are compiled into the windows' static library, whose resource registration the
// linker would otherwise drop: nothing refers to it by name.
static void initPictures() {
    Q_INIT_RESOURCE(abonex);
}

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
// The width rule leaves this much beside the columns, the scroll bar and the borders.
constexpr int kWidthRuleSlack = 14;
// How far the grid reads ahead to find the data set's current row after the rows changed.
constexpr int kFollowRowLimit = 5000;
constexpr int kHintPause = 100;
constexpr int kBannerStepMs = 5000;
// "Искать при вводе": the pause after the last key typed in a search box before the search.
constexpr int kLiveSearchPauseMs = 150;

// The check marks the settings store keeps, by the items' object names (the dialing method's
// pair is the dial button's drop-down).
const char* const kStoredCheckMarks[] = {
    "mnuTone",     "mnuPulse",  "mnuBigIco", "mnuComments",   "mnuShowPanel",
    "mnuSmallIco", "mnuStatus", "mnuHint",   "mnuLiveSearch",
};

const char* const kInstallErrorLines[] = {
    "Телефонный справочник установлен неправильно.",
    "Пожалуйста, запустите Setup.exe и не изменяйте",
    "после установки местоположение и содержимое",
    "папки, которую выберите для установки.",
};

const char* const kDatabaseErrorLines[] = {
    "По какой-то причине невозможно открыть базу данных.",
    "Проверьте не испорчены ли файлы:",
    "Phone.dbf;",
    "Org.dbf;",
    "Favor.dbf;",
    "Phone.dbt;",
    "Org.dbt;",
    "Favor.dbt;",
    "Phone.mdx;",
    "Org.mdx;",
    "Favor.mdx...",
};

QIcon picture(const QString& name) {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/32/%1.png").arg(name), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/16/%1.png").arg(name), QSize(16, 16));
    return icon;
}

// A menu caption that shows `text` as it is (an "&" in a name is not an access key).
QString plainCaption(const QString& text) {
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&&"));
}

void setHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

// Runs a user operation; an error ends it with the application's error box.
template <typename Operation>
void userOperation(Operation&& operation) {
    try {
        operation();
    } catch (const std::exception& error) {
        Application::showException(error);
    }
}

}  // namespace

TFMain::TFMain(const QString& programFolder, QWidget* parent)
    : QMainWindow(parent), m_programFolder(programFolder) {
    initPictures();
    buildWindow();
    buildDialer();
    FormCreate();
}

TFMain::~TFMain() {
    // The synchronisation window reports its end to this window: it must go while this window
    // is still whole, not among the children QWidget deletes after the members are gone.
    if (QWidget* sync = synchronisationWindow(); sync != nullptr && sync->parent() == this) {
        delete sync;
    }
    // The settings are written when the window closes; a window destroyed without closing
    // writes them here. One that was never shown has read nothing, and writing its design
    // values would wipe what the user stored.
    if (FormStorage1->restoredOnce() && !FormStorage1->saved()) FormStorage1->save();
    // The model must not read a data set that is being destroyed.
    m_model->setDataSet(nullptr);
    for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) {
        dataSet->AfterClose = nullptr;
        dataSet->OnDataChange = nullptr;
        dataSet->AfterScroll = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// The window's parts

void TFMain::buildWindow() {
    setObjectName(QStringLiteral("TFMain"));
    setWindowTitle(QStringLiteral("Абонекс (служба 09 после 20:00) v. 4"));
    setWindowIcon(Application::programIcon());
    resize(kInitialWidth, kInitialHeight);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), QSize(kInitialWidth, kInitialHeight));
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
    m_banner = new Banner(GroupBox1);
    m_banner->setObjectName(QStringLiteral("Banner"));
    layout->addWidget(m_banner);
    buildGrid();
    layout->addWidget(GxDBGrid1, 1);
    setCentralWidget(GroupBox1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusText = new QLabel(StatusBar1);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    StatusBar1->addWidget(m_statusText, 1);
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
        {DirectoryMode::Persons, btnUser, mnuUsers, &DSet, QStringLiteral("Фамилия И.О.")},
        {DirectoryMode::Organisations, btnOrg, mnuOrg, &DSOrg, QStringLiteral("Организация")},
        {DirectoryMode::Favourites, btnFavorit, mnuFavorit, &DSFavor, QStringLiteral("Контакт")},
    }};
}

void TFMain::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("TBToolbar2"));
    bar->setWindowTitle(QStringLiteral("Главное меню"));

    QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
    file->setObjectName(QStringLiteral("mnuFile"));
    buildSyncMenuItem(file);
    mnuExit = file->addAction(QStringLiteral("Выход"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* phones = bar->addMenu(QStringLiteral("&Телефоны"));
    phones->setObjectName(QStringLiteral("mnuPhones"));
    m_modeItems = new QActionGroup(this);
    m_modeItems->setExclusive(true);
    auto addModeItem = [&](const char* name, const QString& caption, Qt::Key key,
                           const QString& icon) {
        QAction* item = phones->addAction(picture(icon), caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(QKeySequence(key));
        item->setCheckable(true);
        m_modeItems->addAction(item);
        return item;
    };
    mnuUsers =
        addModeItem("mnuUsers", QStringLiteral("Частных лиц"), Qt::Key_F2, QStringLiteral("user"));
    mnuOrg =
        addModeItem("mnuOrg", QStringLiteral("Организаций"), Qt::Key_F3, QStringLiteral("org"));
    mnuFavorit = addModeItem("mnuFavorit", QStringLiteral("Фавориты"), Qt::Key_F4,
                             QStringLiteral("favorit"));
    mnuUsers->setChecked(true);
    connect(mnuUsers, &QAction::triggered, this, &TFMain::mnuUsersClick);
    connect(mnuOrg, &QAction::triggered, this, &TFMain::mnuOrgClick);
    connect(mnuFavorit, &QAction::triggered, this, &TFMain::mnuFavoritClick);

    QMenu* view = bar->addMenu(QStringLiteral("&Вид"));
    view->setObjectName(QStringLiteral("mnuView"));
    buildViewMenu(view);
    QMenu* help = bar->addMenu(QStringLiteral("&Помощь"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    buildHelpMenu(help);
}

void TFMain::buildViewMenu(QMenu* menu) {
    auto addItem = [&](const char* name, const QString& caption, bool checked) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setCheckable(true);
        item->setChecked(checked);
        return item;
    };
    mnuBigIco = addItem("mnuBigIco", QStringLiteral("Крупные значки"), true);
    mnuBigIco->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    mnuSmallIco = addItem("mnuSmallIco", QStringLiteral("Мелкие значки"), false);
    mnuSmallIco->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_pictureSizeItems = new QActionGroup(this);
    m_pictureSizeItems->setExclusive(true);
    for (QAction* item : {mnuBigIco, mnuSmallIco}) {
        m_pictureSizeItems->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { mnuBigIcoClick(item); });
    }
    menu->addSeparator();
    mnuHint = addItem("mnuHint", QStringLiteral("Всплывающие подсказки"), true);
    mnuShowPanel = addItem("mnuShowPanel", QStringLiteral("Показывать инструменты"), true);
    mnuComments = addItem("mnuComments", QStringLiteral("Показывать комментарии"), true);
    mnuStatus = addItem("mnuStatus", QStringLiteral("Показывать статус"), false);
    connect(mnuHint, &QAction::triggered, this, &TFMain::mnuHintClick);
    connect(mnuShowPanel, &QAction::triggered, this, &TFMain::mnuShowPanelClick);
    connect(mnuComments, &QAction::triggered, this, &TFMain::mnuCommentsClick);
    connect(mnuStatus, &QAction::triggered, this, &TFMain::mnuStatusClick);
    menu->addSeparator();
    mnuLiveSearch = addItem("mnuLiveSearch", QStringLiteral("Искать при вводе"), false);
    connect(mnuLiveSearch, &QAction::triggered, this, &TFMain::mnuLiveSearchClick);
}

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
        {"mnuHomePage", "TBItem9", "Абонекс HomePage", QKeySequence(Qt::CTRL | Qt::Key_H), "home",
         &TFMain::mnuHomePageClick, &TFMain::mnuHomePage},
        {"mnuUpdate", "TBItem8", "Абонекс обновление", QKeySequence(Qt::CTRL | Qt::Key_U), "update",
         &TFMain::mnuUpdateClick, &TFMain::mnuUpdate},
        {"mnuNews", "TBItem10", "Подписаться на новости", QKeySequence(Qt::CTRL | Qt::Key_N),
         "news", &TFMain::mnuNewsClick, &TFMain::mnuNews},
        {"mnuSupport", "TBItem11", "Написать письмо", QKeySequence(Qt::CTRL | Qt::Key_E), "mail",
         &TFMain::mnuSupportClick, &TFMain::mnuSupport},
        {"mnuAbout", "TBItem12", "О программе", QKeySequence(Qt::Key_F1), "about",
         &TFMain::btnAboutClick, &TFMain::mnuAbout},
        {"mnuLicense", "TBItem13", "Пользовательская лицензия", QKeySequence(), "licence",
         &TFMain::mnuLicenseClick, &TFMain::mnuLicense},
    };
    // The tool bar's drop-down lists the same items with the update page first. Its items show
    // the keys too, but only the menu's items take them: two items of one window on one key
    // would leave the key to neither.
    m_aboutDropDown = new QMenu(this);
    m_aboutDropDown->setObjectName(QStringLiteral("AboutDropDown"));
    QAction* dropDown[std::size(links)] = {};
    for (size_t i = 0; i < std::size(links); ++i) {
        const Link& link = links[i];
        const QString caption = QString::fromUtf8(link.caption);
        QAction* item = menu->addAction(picture(QString::fromLatin1(link.icon)), caption);
        item->setObjectName(QString::fromLatin1(link.menuName));
        item->setShortcut(link.key);
        connect(item, &QAction::triggered, this, link.handler);
        this->*link.item = item;

        QAction* copy = new QAction(picture(QString::fromLatin1(link.icon)), caption, this);
        copy->setObjectName(QString::fromLatin1(link.dropDownName));
        copy->setShortcut(link.key);
        copy->setShortcutContext(Qt::WidgetShortcut);
        connect(copy, &QAction::triggered, this, link.handler);
        dropDown[i] = copy;
    }
    std::swap(dropDown[0], dropDown[1]);
    for (QAction* item : dropDown) m_aboutDropDown->addAction(item);
}

void TFMain::buildTray() {
    TrayPopup = new QMenu(this);
    TrayPopup->setObjectName(QStringLiteral("TrayPopup"));
    mnuTrayPopAbout =
        TrayPopup->addAction(Application::programIcon(), QString::fromUtf8(kApplicationTitle));
    mnuTrayPopAbout->setObjectName(QStringLiteral("mnuTrayPopAbout"));
    TrayPopup->addSeparator();
    mnuRestore =
        TrayPopup->addAction(picture(QStringLiteral("restore")), QStringLiteral("Восстановить"));
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    QFont bold = mnuRestore->font();
    bold.setBold(true);
    mnuRestore->setFont(bold);
    TrayPopup->setDefaultAction(mnuRestore);
    connect(mnuRestore, &QAction::triggered, this, &TFMain::mnuRestoreClick);

    Tray = TrayIcon::create();
    Tray->setObjectName(QStringLiteral("Tray"));
    Tray->setIcon(windowIcon());
    Tray->setToolTip(windowTitle());
    Tray->setContextMenu(TrayPopup);
    connect(Tray.get(), &TrayIcon::doubleClicked, this, &TFMain::mnuRestoreClick);
}

void TFMain::buildToolBar() {
    TBToolbar1 = addToolBar(QStringLiteral("Панель управления"));
    TBToolbar1->setObjectName(QStringLiteral("TBToolbar1"));
    TBToolbar1->setMovable(false);
    TBToolbar1->setFloatable(false);
    TBToolbar1->setIconSize(QSize(32, 32));
    // The menu bar is the only place that lists the tool bar; no context menu to hide it.
    TBToolbar1->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    auto makeButton = [&](const char* name, const QString& icon, const QString& hint) {
        auto* button = new QToolButton(TBToolbar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(picture(icon));
        button->setAutoRaise(true);
        setHint(button, hint);
        TBToolbar1->addWidget(button);
        return button;
    };
    btnFiltr =
        makeButton("btnFiltr", QStringLiteral("filter"), QStringLiteral("Показать результат"));
    connect(btnFiltr, &QToolButton::clicked, this, &TFMain::btnFiltrClick);
    TBToolbar1->addSeparator();

    btnUser = makeButton("btnUser", QStringLiteral("user"), QStringLiteral("Телефоны частных лиц"));
    btnOrg = makeButton("btnOrg", QStringLiteral("org"), QStringLiteral("Телефоны организаций"));
    btnFavorit = makeButton("btnFavorit", QStringLiteral("favorit"),
                            QStringLiteral("Фавориты (часто ипользуемые контакты)"));
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
                         QStringLiteral("Набрать текущий номер (Положить трубку)"));
    buildRingMenu();
    TBToolbar1->addSeparator();

    btnAbout = makeButton("btnAbout", QStringLiteral("about"), QStringLiteral("О Программе"));
    // Filled by buildHelpMenu, which runs first.
    btnAbout->setMenu(m_aboutDropDown);
    btnAbout->setPopupMode(QToolButton::MenuButtonPopup);
    connect(btnAbout, &QToolButton::clicked, this, &TFMain::btnAboutClick);
}

QWidget* TFMain::buildSearchPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(kSearchPanelHeight);

    auto* caption = new QLabel(QStringLiteral("Поиск"), panel);
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
    setHint(edFam, QStringLiteral("Наберите нужную фамилию (часть фамилии) и нажмите Enter"));
    edPhone = new QLineEdit(panel);
    edPhone->setObjectName(QStringLiteral("edPhone"));
    setHint(edPhone, QStringLiteral("Наберите номер телефона (или часть номера), включая "
                                    "\" - \", и нажмите Enter"));
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
    setHint(sbClear, QStringLiteral("Сброс"));
    connect(sbClear, &QToolButton::clicked, this, &TFMain::sbClearClick);

    chStart = new QRadioButton(QStringLiteral("В &начале строки"), panel);
    chStart->setObjectName(QStringLiteral("chStart"));
    setHint(chStart, QStringLiteral("Ищем записи с вхождением искомого текста только в начале "
                                    "строки (удобнее для фамилий)"));
    chAny = new QRadioButton(QStringLiteral("В &любом месте строки"), panel);
    chAny->setObjectName(QStringLiteral("chAny"));
    setHint(chAny, QStringLiteral("Ищем записи с вхождением искомого текста в любом месте "
                                  "строки (удобнее для организаций)"));
    chStart->setChecked(true);
    connect(chStart, &QRadioButton::toggled, this, [this](bool on) { m_search.atStart = on; });

    // Two rows in 40 pixels: the boxes above, the position switches below them.
    const int boxHeight = kClearButtonSize;
    const int left = 4;
    caption->setGeometry(left, 1, 44, boxHeight);
    const int boxLeft = left + 44;
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
    setHint(GxDBGrid1, QStringLiteral("Пользуйтесь правой кнопкой мыши"));
    GxDBGrid1->installEventFilter(this);

    GxDBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GxDBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = GxDBGrid1->indexAt(pos);
        if (index.isValid()) GxDBGrid1->setCurrentIndex(index);
        GridPopUp->popup(GxDBGrid1->viewport()->mapToGlobal(pos));
    });
    connect(GxDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { gridRowChanged(current.row()); });
    // The pop-up's keys act while the grid has the focus.
    for (QAction* item : {addKont, insRec, redRec, delRec, mnuRing}) {
        item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        GxDBGrid1->addAction(item);
    }
}

void TFMain::buildPopUp() {
    GridPopUp = new QMenu(this);
    GridPopUp->setObjectName(QStringLiteral("GridPopUp"));
    auto addItem = [&](const char* name, const QString& caption, const QKeySequence& key,
                       const QString& icon) {
        QAction* item = GridPopUp->addAction(picture(icon), caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(key);
        return item;
    };
    addKont = addItem("addKont", QStringLiteral("Добавить в контакты"),
                      QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), QStringLiteral("add_contact"));
    GridPopUp->addSeparator();
    insRec = addItem("insRec", QStringLiteral("Вставить запись"),
                     QKeySequence(Qt::CTRL | Qt::Key_Insert), QStringLiteral("insert"));
    redRec = addItem("redRec", QStringLiteral("Редактировать"),
                     QKeySequence(Qt::ALT | Qt::Key_Backspace), QStringLiteral("edit"));
    delRec = addItem("delRec", QStringLiteral("Удалить"), QKeySequence(Qt::CTRL | Qt::Key_Delete),
                     QStringLiteral("delete"));
    GridPopUp->addSeparator();
    mnuRing = addItem("mnuRing", QStringLiteral("Набрать номер"),
                      QKeySequence(Qt::CTRL | Qt::Key_D), QStringLiteral("ring"));
    connect(mnuRing, &QAction::triggered, this, &TFMain::btnRingClick);
    connect(addKont, &QAction::triggered, this, &TFMain::addKontClick);
    connect(insRec, &QAction::triggered, this, &TFMain::insRecClick);
    connect(redRec, &QAction::triggered, this, &TFMain::redRecClick);
    connect(delRec, &QAction::triggered, this, &TFMain::delRecClick);
    connect(GridPopUp, &QMenu::aboutToShow, this, &TFMain::mnuPopPopup);
}

// ---------------------------------------------------------------------------------------------
// Start-up and closing

void TFMain::setUpDataSets() {
    std::array<TEngineDataSet*, 3> dataSets{&DSet, &DSOrg, &DSFavor};
    for (size_t i = 0; i < dataSets.size(); ++i) {
        TEngineDataSet& dataSet = *dataSets[i];
        const DirectoryTable& table = kDirectoryTables[i];
        dataSet.BeforeOpen = [this](TEngineDataSet& d) { DSetBeforeOpen(d); };
        dataSet.setTranslateASCII(true);
        dataSet.setExclusive(false);
        dataSet.setAutoFlush(false);
        dataSet.setUseDeleted(false);
        dataSet.setLockProtocol(table.protocol);
        dataSet.setTableName(table.tableFile);
        dataSet.setIndexName(table.tagName);
        dataSet.setIndexFiles({std::string(table.indexFile)});
        dataSet.setFiltered(true);
        dataSet.OnFilterRecord = [this](TEngineDataSet& d, bool& accept) {
            DSetFilterRecord(m_search, d, accept);
        };
        dataSet.OnFilterKey = [this](TEngineDataSet& d) {
            return searchKeyFilter(m_search, d.TranslateASCII());
        };
        dataSet.AfterPost = [this](TEngineDataSet& d) { DSOrgAfterInsert(d); };
        dataSet.BeforeDelete = [this](TEngineDataSet& d) { DSetBeforeDelete(d); };
        dataSet.AfterScroll = [this](TEngineDataSet& d) { DSetAfterScroll(d); };
        dataSet.OnDataChange = [this](TEngineDataSet& d) { dataSetChanged(d); };
    }
    DSet.AfterOpen = [this](TEngineDataSet& d) { DSetAfterOpen(d); };
    DSOrg.AfterOpen = [this](TEngineDataSet& d) { DSOrgAfterOpen(d); };
    DSFavor.AfterOpen = [this](TEngineDataSet& d) { DSFavorAfterOpen(d); };
    DSOrg.AfterClose = [this](TEngineDataSet& d) { DSOrgAfterClose(d); };
    DSFavor.AfterClose = [this](TEngineDataSet& d) { DSFavorAfterClose(d); };
}

void TFMain::FormCreate() {
    // The program folder, kept as found; upper case is used only to compare names.
    QString folder =
        m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
    if (!folder.isEmpty() && !folder.endsWith(u'/')) folder += u'/';
    m_databaseFolder = folder;
    if (folder.isEmpty()) {
        ShowInstallError();
        return;
    }
    QDir::setCurrent(folder);  // a failure is ignored: every path below is absolute
    const auto exists = [&](const char* name) {
        return fileExistsAnyCase(localPath(folder + QString::fromLatin1(name)));
    };
    if (!exists("EULA.txt") || !exists("phone.dbf") || !exists("phone.mdx")) {
        ShowInstallError();
        return;
    }

    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, windowsColor(kHintColour));
    hints.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hints);
    Application::setHintPause(kHintPause);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) ShowTableStatus();
            });

    setUpDataSets();
    openTables();
}

void TFMain::openTables() {
    const auto exists = [&](std::string_view name) {
        return fileExistsAnyCase(localPath(m_databaseFolder + QString::fromLatin1(name)));
    };
    try {
        if (DSet.Active()) DSet.Close();
        for (const DirectoryTable& table : kDirectoryTables) {
            ModeView& view = modeView(table.mode);
            // The persons table is there (the installation check found it); the others are
            // opened, and their buttons enabled, only where both their files are.
            if (table.mode != DirectoryMode::Persons) {
                view.button->setEnabled(exists(table.tableFile) && exists(table.indexFile));
                if (!view.button->isEnabled()) continue;
            }
            TEngineDataSet& dataSet = *view.dataSet;
            dataSet.setTableName(table.tableFile);
            dataSet.Open();
            if (!dataSet.IsEmpty()) {
                dataSet.ReindexAll();
                dataSet.OpenIndexFiles(table.indexFile, table.tagName);
            }
        }
        if (!btnFavorit->isEnabled()) addKont->setEnabled(false);
    } catch (const std::exception&) {
        for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) {
            try {
                dataSet->Close();
            } catch (const std::exception&) {
                // Closing what failed to open must not hide the message below.
            }
        }
        MessageBox::error(this, QStringLiteral("Error"),
                          MessageBox::crLfLines(kDatabaseErrorLines));
    }
}

void TFMain::ShowInstallError() {
    m_startupFailed = true;
    hide();
    MessageBox::error(nullptr, QStringLiteral("Error"), MessageBox::crLfLines(kInstallErrorLines));
    // At start-up the event loop does not run yet, and the entry ends the program on
    // startupFailed(); a quit asked for now would end the first loop that runs later instead.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(1);
}

void TFMain::setVisible(bool visible) {
    // Before every showing the stored placement and check marks are read, so the window
    // appears where it was left and FormShow applies the stored view.
    if (visible && !isVisible() && !m_startupFailed) FormStorage1->restore();
    QMainWindow::setVisible(visible);
}

void TFMain::FormStorage1RestorePlacement() {
    QApplication::beep();
}

void TFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFMain::FormShow() {
    if (mnuUsers->isChecked()) {
        btnUserClick(btnUser);
    } else if (mnuOrg->isChecked()) {
        btnUserClick(btnOrg);
    } else if (mnuFavorit->isChecked()) {
        btnUserClick(btnFavorit);
    }
    applyStoredView();
    pressCheckedDialingItem();
}

void TFMain::Timer1Timer() {
    m_banner->advance();
}

void TFMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        // The minimise handler runs once the window system has finished minimising: hiding the
        // window in the middle of its state change would leave the two out of step.
        if (isMinimized() && !change->oldState().testFlag(Qt::WindowMinimized)) {
            QTimer::singleShot(0, this, [this] {
                if (isMinimized() && isVisible()) AppEvents();
            });
        }
        // Coming back from a minimise without the notification area (the desktop has none)
        // brings back the synchronisation window that hid itself.
        QWidget* sync = synchronisationWindow();
        if (!isMinimized() && sync != nullptr && sync->isHidden()) showSyncWindow();
        return;
    }
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        // Behind a modal dialog, or while a record dialog is on its way, the window only looks
        // active (its activation was asked for before the dialog opened): re-applying the
        // filter now would drop the record being edited. It counts once the dialog has gone.
        const DataSetState state = gridDataSet().State();
        if (QApplication::activeModalWidget() != nullptr || state == DataSetState::Edit ||
            state == DataSetState::Insert) {
            return;
        }
        // The window's own activation: at start, and when a dialog of the program hands the
        // focus back; coming back from another program is not one.
        if (!m_activatedOnce || m_lostToOwnWindow) {
            m_activatedOnce = true;
            m_lostToOwnWindow = false;
            FormActivate();
        }
    } else {
        // Message boxes hand the focus back without counting as a dialog of the program.
        QWidget* now = QApplication::activeWindow();
        m_lostToOwnWindow = now != nullptr && now != this && !qobject_cast<QMessageBox*>(now);
    }
}

void TFMain::FormActivate() {
    edFam->clear();
    edFam->setFocus();
    btnFiltrClick();
}

void TFMain::closeEvent(QCloseEvent* event) {
    FormStorage1->save();
    FormClose();
    event->accept();
}

void TFMain::FormClose() {
    m_returnToPersonsOnClose = false;
    if (DSet.Active()) {
        m_model->setDataSet(nullptr);
        try {
            DSet.setFiltered(false);
            if (btnOrg->isEnabled()) {
                DSOrg.setFiltered(false);
                DSOrg.ReindexAll();
            }
            if (btnFavorit->isEnabled()) {
                DSFavor.setFiltered(false);
                DSFavor.ReindexAll();
            }
            QCoreApplication::processEvents();
            DSet.ReindexAll();
            Dialer3->HangUp();
        } catch (const std::exception& error) {
            for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
            Application::showException(error);
        }
        for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
    }
    QToolTip::setPalette(QApplication::style()->standardPalette());
}

// ---------------------------------------------------------------------------------------------
// Status line and width rule

QString TFMain::statusText() const {
    return m_statusText->text();
}

void TFMain::setDataSetStatus(TEngineDataSet& dataSet) {
    // A closed table has no count; its status is left as it was.
    if (!dataSet.Active()) return;
    if (!dataSet.Filtered()) {
        m_statusText->setText(QStringLiteral("Всего в таблице ") +
                              QString::number(dataSet.RecordCount()) + QStringLiteral(" записей"));
    } else if (!edFam->text().isEmpty()) {
        m_statusText->setText(QStringLiteral("Таблица отфильтрована по фильтру \"") +
                              edFam->text() + u'"');
    }
}

void TFMain::ShowTableStatus() {
    userOperation([&] { setDataSetStatus(DSet); });
}

void TFMain::DSetAfterScroll(TEngineDataSet& dataSet) {
    setDataSetStatus(dataSet);
}

void TFMain::FormCanResize(int gridWidth) {
    const int scrollBar =
        GxDBGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, GxDBGrid1);
    const int width = gridWidth - GxDBGrid1->columnWidth(1) - GxDBGrid1->columnWidth(2) -
                      scrollBar - 2 * GxDBGrid1->frameWidth() - kWidthRuleSlack;
    GxDBGrid1->setColumnWidth(0,
                              std::max(width, GxDBGrid1->horizontalHeader()->minimumSectionSize()));
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == edFam || watched == edPhone) && event->type() == QEvent::ShortcutOverride) {
        // The boxes would keep some Ctrl keys of the menus for their own editing (Ctrl+E, Ctrl+U
        // and others): the window's menu keys win, as the search boxes are nearly always where
        // the focus is.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::NoModifier) {
            const QKeySequence pressed(key->keyCombination());
            for (const QAction* action : findChildren<QAction*>()) {
                if (action->isEnabled() && action->shortcutContext() == Qt::WindowShortcut &&
                    action->shortcut() == pressed) {
                    return true;
                }
            }
        }
    } else if ((watched == edFam || watched == edPhone) && event->type() == QEvent::KeyPress) {
        // edFamKeyDown: Enter re-applies the filter; the key goes on to the box as usual.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) btnFiltr->click();
    } else if (watched == GxDBGrid1 && event->type() == QEvent::Resize) {
        // The rule is applied to the grid's new width: applied to the width before the change,
        // one large step (a maximised window restored) left column 0 as wide as the old grid
        // and pushed both phone columns out of sight until the next resize.
        FormCanResize(static_cast<QResizeEvent*>(event)->size().width());
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Search

void TFMain::edFamChange(const QString& text) {
    m_search.name = toAnsi(text);
}

void TFMain::edPhoneChange(const QString& text) {
    m_search.phone = toAnsi(text);
}

void TFMain::searchTextTyped() {
    if (mnuLiveSearch->isChecked()) m_liveSearchTimer->start();  // from the last key on
}

void TFMain::btnFiltrClick() {
    // The search runs now; a pending one of "Искать при вводе" would only run it again.
    m_liveSearchTimer->stop();
    TEngineDataSet& dataSet = gridDataSet();
    dataSet.DisableControls();
    const std::array<QWidget*, 4> busy{GxDBGrid1, GroupBox1, edFam, edPhone};
    for (QWidget* widget : busy) widget->setCursor(Qt::WaitCursor);
    try {
        dataSet.setFiltered(false);
        dataSet.setFiltered(true);
        m_atFirstRow = true;
    } catch (const std::exception&) {
        // A failed search shows what the data set has; it is not worth a message.
    }
    for (QWidget* widget : busy) widget->unsetCursor();
    userOperation([&] { dataSet.EnableControls(); });
    m_atFirstRow = false;
}

void TFMain::sbClearClick() {
    edFam->clear();
    edPhone->clear();
    btnFiltr->click();
}

// ---------------------------------------------------------------------------------------------
// Modes

TFMain::ModeView& TFMain::modeView(DirectoryMode mode) {
    return m_modes[static_cast<size_t>(mode)];
}

TEngineDataSet& TFMain::gridDataSet() {
    return *modeView(m_mode).dataSet;
}

std::array<std::string, 4> TFMain::gridFieldNames() const {
    const DirectoryTable& table = directoryTable(m_mode);
    return {std::string(table.fieldNames[0]), std::string(table.fieldNames[1]),
            std::string(table.fieldNames[2]), std::string(table.fieldNames[3])};
}

void TFMain::btnUserClick(QAbstractButton* sender) {
    if (!sender->isChecked()) sender->setChecked(true);
    const DirectoryMode mode = btnUser->isChecked()  ? DirectoryMode::Persons
                               : btnOrg->isChecked() ? DirectoryMode::Organisations
                                                     : DirectoryMode::Favourites;
    ModeView& view = modeView(mode);
    m_model->setColumnCaptions(
        {view.nameCaption, QStringLiteral("телефон 1"), QStringLiteral("телефон 2")});
    m_mode = mode;
    showDataSet(*view.dataSet);
    view.menuItem->setChecked(true);
    addKont->setEnabled(mode != DirectoryMode::Favourites && DSFavor.Active());
    userOperation([&] {
        if (DSOrg.Active()) DSOrg.setFiltered(false);
        DSet.setFiltered(false);
        if (DSFavor.Active()) DSFavor.setFiltered(false);
    });
    edFam->clear();
    edPhone->clear();
}

void TFMain::mnuUsersClick() {
    btnUserClick(btnUser);
}
void TFMain::mnuOrgClick() {
    btnUserClick(btnOrg);
}
void TFMain::mnuFavoritClick() {
    btnUserClick(btnFavorit);
}

void TFMain::showDataSet(TEngineDataSet& dataSet) {
    m_model->setDataSet(&dataSet);
    followCurrentRecord();
}

void TFMain::dataSetChanged(TEngineDataSet& dataSet) {
    if (&dataSet != m_model->dataSet()) return;
    m_model->reload(m_atFirstRow);
    followCurrentRecord();
}

void TFMain::followCurrentRecord() {
    TEngineDataSet* dataSet = m_model->dataSet();
    if (dataSet == nullptr || !dataSet->Active() || m_model->rowCount() == 0) return;
    const int row = m_model->rowOfRecord(dataSet->RecNo(), kFollowRowLimit);
    if (row >= 0) {
        m_followingRecord = true;
        GxDBGrid1->setCurrentIndex(m_model->index(row, 0));
        m_followingRecord = false;
    } else {
        // The current record lies beyond what the grid reads ahead: the grid's first row
        // becomes current instead.
        GxDBGrid1->setCurrentIndex(m_model->index(0, 0));
    }
}

void TFMain::gridRowChanged(int row) {
    if (m_followingRecord || row < 0) return;
    TEngineDataSet* dataSet = m_model->dataSet();
    const int record = m_model->recordAt(row);
    if (dataSet == nullptr || !dataSet->Active() || record <= 0) return;
    userOperation([&] {
        if (dataSet->RecNo() == record) return;
        try {
            dataSet->GotoRecNo(record);
        } catch (const std::exception&) {
            // Another program cut the table shorter since the grid read this row: its record is
            // gone. Once the click is handled, the grid reads the table again as it is now.
            if (record <= dataSet->RecordCount()) throw;
            QMetaObject::invokeMethod(
                this,
                [this, dataSet] {
                    userOperation([&] {
                        if (m_model->dataSet() == dataSet && dataSet->Active()) dataSet->First();
                    });
                },
                Qt::QueuedConnection);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Record maintenance

void TFMain::EditCurrentRecord() {
    TEngineDataSet& dataSet = gridDataSet();
    TFEditRecord dialog(this);
    try {
        if (dataSet.State() == DataSetState::Insert) {
            dialog.setWindowTitle(QStringLiteral("Новая запись"));
        }
        dialog.bindFields(dataSet, gridFieldNames());
        dialog.Label1->setText(m_model->columnCaption(0));
    } catch (...) {
        dataSet.Cancel();
        throw;
    }
    // The record is posted by "Применить" while the dialog is still open: a post that fails
    // (a lock time-out, a write error) keeps it open for another try or a cancel, and the record
    // never stays in edit or insert state for the next command to post unseen.
    dialog.setApplyAction([&] {
        dialog.storeFields();
        dataSet.Post();
    });
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The window takes the focus back from its dialog, after the record is written, even where
    // no window manager hands it over; that activation empties the name box and re-applies the
    // filter.
    struct Reactivate {
        QWidget* window;
        ~Reactivate() { window->activateWindow(); }
    } reactivate{this};
    if (!accepted) dataSet.Cancel();
}

void TFMain::insRecClick() {
    userOperation([&] {
        gridDataSet().Insert();
        EditCurrentRecord();
    });
}

void TFMain::redRecClick() {
    userOperation([&] {
        gridDataSet().Edit();
        EditCurrentRecord();
    });
}

void TFMain::delRecClick() {
    userOperation([&] { gridDataSet().Delete(); });
}

void TFMain::DSetBeforeDelete(TEngineDataSet& dataSet) {
    const QString question = QStringLiteral("Удалить из базы\n\r") +
                             fromAnsi(dataSet.Fields(kFieldName).AsString()) +
                             QStringLiteral("\n\r\n\rВы уверены?");
    if (MessageBox::question(this, QStringLiteral("Удаление записи?"), question, QMessageBox::No) !=
        QMessageBox::Yes) {
        if (dataSet.State() == DataSetState::Edit || dataSet.State() == DataSetState::Insert) {
            dataSet.Cancel();
        }
        abortOperation();
    }
}

void TFMain::DSOrgAfterInsert(TEngineDataSet& dataSet) {
    dataSet.Refresh();
}

void TFMain::addKontClick() {
    userOperation([&] {
        TEngineDataSet& source = gridDataSet();
        DSFavor.Append();
        for (int field : {kFieldName, kFieldPhone1, kFieldPhone2}) {
            DSFavor.Fields(field).SetAsString(source.Fields(field).AsString());
        }
        DSFavor.Post();
    });
}

void TFMain::mnuPopPopup() {
    userOperation([&] {
        TEngineDataSet& dataSet = gridDataSet();
        const bool hasRows = dataSet.Active() && !dataSet.IsEmpty();
        for (QAction* item : {insRec, redRec, delRec, mnuRing}) item->setEnabled(hasRows);
        addKont->setEnabled(hasRows && m_mode != DirectoryMode::Favourites && DSFavor.Active());
        addKont->setText(QStringLiteral("Добавить в контакты"));
        mnuRing->setText(QStringLiteral("Набрать номер"));
        if (hasRows && !dataSet.Fields(kFieldName).IsNull()) {
            addKont->setText(plainCaption(
                QStringLiteral("Добавить в контакты (") +
                fromAnsi(dataSet.Fields(kFieldName).AsString()) + QStringLiteral(" тел. ") +
                fromAnsi(dataSet.Fields(kFieldPhone1).AsString()) + u')'));
            mnuRing->setText(plainCaption(QStringLiteral("Набрать номер (") +
                                          fromAnsi(dataSet.Fields(kFieldPhone1).AsString()) +
                                          u')'));
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Data-set events

void TFMain::DSetBeforeOpen(TEngineDataSet& dataSet) {
    dataSet.setDatabaseName(localPath(m_databaseFolder));
}

void TFMain::DSetAfterOpen(TEngineDataSet&) {
    btnUser->setEnabled(true);
}

void TFMain::DSOrgAfterOpen(TEngineDataSet&) {
    btnOrg->setEnabled(true);
}

void TFMain::DSFavorAfterOpen(TEngineDataSet&) {
    btnFavorit->setEnabled(true);
    if (m_mode != DirectoryMode::Favourites) addKont->setEnabled(true);
}

void TFMain::DSOrgAfterClose(TEngineDataSet&) {
    btnOrg->setEnabled(false);
    if (m_returnToPersonsOnClose) btnUserClick(btnUser);
}

void TFMain::DSFavorAfterClose(TEngineDataSet&) {
    btnFavorit->setEnabled(false);
    addKont->setEnabled(false);
    if (m_returnToPersonsOnClose) btnUserClick(btnUser);
}

}  // namespace abonex
