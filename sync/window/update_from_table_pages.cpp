// TFUpdateFromTable: its two pages, built and switched.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"

namespace abonex {

namespace {

constexpr int kClientWidth = 458;
constexpr int kClientHeight = 295;
constexpr int kNameColumnWidth = 200;
constexpr int kPhoneColumnWidth = 110;

// A button with its hint, which a screen reader reads as its description.
QPushButton* makeButton(const QString& text, const char* name, QWidget* parent,
                        const QString& hint) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

void TFUpdateFromTable::buildWindow() {
    setObjectName(QStringLiteral("TFUpdateFromTable"));
    m_baseCaption = tr("Синхронизация с внешней таблицей");
    setWindowTitle(m_baseCaption);
    // A frame that can be resized and maximised (a list of thousands of differences wants
    // room), no smaller than the design size, at the size the user left it last time.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setMinimumSize(kClientWidth, kClientHeight);
    const QSize stored = m_host.storedSyncWindowSize();
    resize(stored.isValid() ? stored.expandedTo(minimumSize()) : minimumSize());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addWidget(buildComparisonPage());
    PageControl1->addWidget(buildDifferencesPage());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);
    // FormCreate: the first page, with no table chosen.
    showComparisonPage();
}

QWidget* TFUpdateFromTable::buildComparisonPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    btnImport = makeButton(tr("Импорт данных"), "btnImport", page,
                           tr("Перенести в свою таблицу то, чем от неё отличается внешняя"));
    btnExport = makeButton(tr("Экспорт данных"), "btnExport", page,
                           tr("Перенести во внешнюю таблицу то, чем от неё отличается своя"));
    auto* directions = new QButtonGroup(page);
    for (QPushButton* button : {btnImport, btnExport}) {
        button->setCheckable(true);
        directions->addButton(button);
        connect(button, &QPushButton::clicked, this, &TFUpdateFromTable::TryToOpen);
    }
    btnImport->setChecked(true);
    auto* directionRow = new QHBoxLayout;
    directionRow->addWidget(btnImport);
    directionRow->addWidget(btnExport);
    layout->addLayout(directionRow);

    auto* fileGroup = new QGroupBox(tr("Файл внешней таблицы"), page);
    auto* fileRow = new QHBoxLayout(fileGroup);
    edSource = new QLabel(fileGroup);
    edSource->setObjectName(QStringLiteral("edSource"));
    edSource->setMinimumWidth(1);
    edSource->installEventFilter(this);
    btnBrowse =
        makeButton(tr("О&бзор"), "btnBrowse", fileGroup, tr("Выбрать файл внешней таблицы"));
    connect(btnBrowse, &QPushButton::clicked, this, &TFUpdateFromTable::btnBrowseClick);
    fileRow->addWidget(edSource, 1);
    fileRow->addWidget(btnBrowse);
    layout->addWidget(fileGroup);
    setSourcePath(tr("С какой таблицей сравнить? (путь к файлу *.dbf) --->>>"));

    auto* progressGroup = new QGroupBox(tr("Прогресс"), page);
    auto* progressRow = new QHBoxLayout(progressGroup);
    ProgressBar1 = new QProgressBar(progressGroup);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);
    ProgressBar1->setToolTip(tr("Какая часть таблиц уже сравнена"));
    btnStart = makeButton(tr("С&тарт !"), "btnStart", progressGroup,
                          tr("Сравнить свою таблицу с внешней"));
    btnStart->setEnabled(false);
    connect(btnStart, &QPushButton::clicked, this, &TFUpdateFromTable::btnStartClick);
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(btnStart);
    layout->addWidget(progressGroup);

    auto* runGroup = new QGroupBox(tr("Ход проверки"), page);
    auto* runGrid = new QGridLayout(runGroup);
    Label3 = new QLabel(runGroup);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(runGroup);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setMinimumWidth(1);
    runGrid->addWidget(new QLabel(tr("Найдено отличий:"), runGroup), 0, 0);
    runGrid->addWidget(Label3, 0, 1);
    runGrid->addWidget(new QLabel(tr("Проверяется:"), runGroup), 1, 0);
    runGrid->addWidget(Label2, 1, 1);
    runGrid->setColumnStretch(1, 1);
    layout->addWidget(runGroup);
    layout->addStretch(1);

    Button1 = makeButton(tr("С&прятать"), "Button1", page,
                         tr("Убрать программу в область уведомлений, пока идёт сравнение"));
    connect(Button1, &QPushButton::clicked, this, &TFUpdateFromTable::Button1Click);
    btnClose = makeButton(tr("З&акрыть"), "btnClose", page, tr("Закрыть окно синхронизации"));
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(Button1);
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnClose);
    layout->addLayout(buttonRow);
    return page;
}

QWidget* TFUpdateFromTable::buildDifferencesPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);

    auto* header = new QLabel(tr("Найденные несоответствия"), page);
    header->setObjectName(QStringLiteral("Panel1"));
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    header->setAlignment(Qt::AlignCenter);
    header->setFrameShape(QFrame::StyledPanel);
    header->setMargin(2);
    layout->addWidget(header);

    changesList = new QTreeView(page);
    changesList->setObjectName(QStringLiteral("changesList"));
    changesList->setAccessibleName(header->text());
    changesList->setToolTip(tr("Отмеченные строки будут применены"));
    m_differences = new DifferenceListModel(this);
    m_delegate = new DifferenceListDelegate(this);
    changesList->setModel(m_differences);
    changesList->setItemDelegate(m_delegate);
    changesList->setRootIsDecorated(false);
    changesList->setItemsExpandable(false);
    changesList->setUniformRowHeights(true);
    changesList->setAllColumnsShowFocus(true);
    changesList->setSelectionBehavior(QAbstractItemView::SelectRows);
    changesList->setSelectionMode(QAbstractItemView::SingleSelection);
    changesList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    changesList->setColumnHidden(DifferenceListModel::kDetailColumn, true);
    changesList->setColumnWidth(0, kNameColumnWidth);
    changesList->setColumnWidth(1, kPhoneColumnWidth);
    changesList->setColumnWidth(2, kPhoneColumnWidth);
    changesList->header()->setStretchLastSection(false);
    changesList->header()->setSectionsMovable(false);
    // The selected row stays marked when the list loses the focus.
    QPalette palette = changesList->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    changesList->setPalette(palette);
    layout->addWidget(changesList, 1);

    chShowDetails = new QCheckBox(tr("Показывать &дополнительную информацию"), page);
    chShowDetails->setObjectName(QStringLiteral("chShowDetails"));
    chShowDetails->setChecked(true);
    chShowDetails->setToolTip(tr("Показывать под строкой, чем записи различаются"));
    connect(chShowDetails, &QCheckBox::clicked, this, &TFUpdateFromTable::chShowDetailsClick);
    // How many rows there are and how many will be applied, and both marks at once.
    lblCounts = new QLabel(page);
    lblCounts->setObjectName(QStringLiteral("lblCounts"));
    btnCheckAll =
        makeButton(tr("Отметить все"), "btnCheckAll", page, tr("Отметить все строки списка"));
    btnUncheckAll = makeButton(tr("Снять все"), "btnUncheckAll", page,
                               tr("Снять отметки со всех строк списка"));
    connect(btnCheckAll, &QPushButton::clicked, this,
            [this] { m_differences->setAllChecked(true); });
    connect(btnUncheckAll, &QPushButton::clicked, this,
            [this] { m_differences->setAllChecked(false); });
    connect(m_differences, &DifferenceListModel::checkedCountChanged, this,
            &TFUpdateFromTable::showCounts);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(lblCounts, 1);
    countRow->addWidget(btnCheckAll);
    countRow->addWidget(btnUncheckAll);
    layout->addLayout(countRow);
    layout->addWidget(chShowDetails);
    pbApply = new QProgressBar(page);
    pbApply->setObjectName(QStringLiteral("pbApply"));
    pbApply->setTextVisible(false);
    pbApply->setToolTip(tr("Какая часть отмеченных строк уже применена"));
    pbApply->hide();

    chMy = new QRadioButton(tr("Изменить в &своей"), page);
    chMy->setObjectName(QStringLiteral("chMy"));
    chHim = new QRadioButton(tr("Изменить во &внешней"), page);
    chHim->setObjectName(QStringLiteral("chHim"));
    chMy->setToolTip(tr("Отмеченные отличия вносятся в свою таблицу"));
    chHim->setToolTip(tr("Отмеченные отличия вносятся во внешнюю таблицу"));
    chMy->setChecked(true);
    auto* sideRow = new QHBoxLayout;
    sideRow->addWidget(chMy);
    sideRow->addWidget(chHim);
    sideRow->addStretch(1);
    layout->addLayout(sideRow);

    btnBack =
        makeButton(tr("<< -- Проверить &еще"), "btnBack", page, tr("Вернуться к выбору таблицы"));
    connect(btnBack, &QPushButton::clicked, this, &TFUpdateFromTable::btnBackClick);
    btnApply = makeButton(tr("П&рименить изменения"), "btnApply", page,
                          tr("Внести отмеченные отличия в таблицу"));
    connect(btnApply, &QPushButton::clicked, this, &TFUpdateFromTable::btnApplyClick);
    btnCancel = makeButton(tr("З&акрыть"), "btnCancel", page, tr("Закрыть окно синхронизации"));
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(btnBack);
    buttonRow->addWidget(pbApply, 1);
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnApply);
    buttonRow->addWidget(btnCancel);
    layout->addLayout(buttonRow);
    return page;
}

void TFUpdateFromTable::setSourcePath(const QString& path) {
    m_sourcePath = path;
    edSource->setToolTip(path);
    showSourcePath();
}

void TFUpdateFromTable::showSourcePath() {
    // A long path keeps its start and its file name; the whole of it is in the hint. The
    // question shown before a choice is read whole, on two lines where one is too short.
    const bool question = !QFileInfo(m_sourcePath).isAbsolute();
    edSource->setWordWrap(question);
    edSource->setText(question ? m_sourcePath
                               : edSource->fontMetrics().elidedText(m_sourcePath, Qt::ElideMiddle,
                                                                    edSource->width()));
}

bool TFUpdateFromTable::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edSource && event->type() == QEvent::Resize) showSourcePath();
    return QDialog::eventFilter(watched, event);
}

void TFUpdateFromTable::showComparisonPage() {
    PageControl1->setCurrentIndex(0);
    btnClose->setDefault(true);
}

void TFUpdateFromTable::showCounts() {
    const int rows = m_differences->rowCount();
    const int checked = m_differences->checkedCount();
    lblCounts->setText(tr("Отличий: %1, отмечено: %2").arg(rows).arg(checked));
    btnCheckAll->setEnabled(checked < rows);
    btnUncheckAll->setEnabled(checked > 0);
}

void TFUpdateFromTable::fitNameColumn() {
    if (changesList == nullptr) return;
    changesList->setColumnWidth(0, kNameColumnWidth + std::max(0, width() - kClientWidth));
}

void TFUpdateFromTable::TabSheet2Show() {
    btnApply->setDefault(true);
    pbApply->hide();
    showCounts();
    // The first column holds what the compared table lists by.
    const QString table = m_tableFileName.toUpper();
    m_differences->setNameCaption(table == QStringLiteral("ORG.DBF") ? tr("Организация")
                                  : table == QStringLiteral("FAVOR.DBF") ? tr("Контакт")
                                                                         : tr("Фамилия И.О."));
    if (m_differences->rowCount() > 0) {
        const QModelIndex first = m_differences->index(0, 0);
        changesList->setCurrentIndex(first);
        changesList->scrollTo(first);
        changesList->setFocus();
    }
    chMy->setChecked(m_runDirection == SyncDirection::Import);
    chHim->setChecked(m_runDirection == SyncDirection::Export);
    for (QPushButton* button : {btnBack, btnApply, btnCancel}) button->setEnabled(true);
}

void TFUpdateFromTable::chShowDetailsClick() {
    m_delegate->setDetailsVisible(chShowDetails->isChecked());
    changesList->doItemsLayout();
}

void TFUpdateFromTable::btnBackClick() {
    showComparisonPage();
}

}  // namespace abonex
