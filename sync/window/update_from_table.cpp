#include "sync/window/update_from_table.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
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
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>

#include "engine/expr/ansi_locale.h"
#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

constexpr int kClientWidth = 458;
constexpr int kClientHeight = 295;
constexpr int kNameColumnWidth = 200;
constexpr int kPhoneColumnWidth = 110;

// Multi-line texts of this window are joined by LF CR, line feed first.
const QString kLineBreak = QStringLiteral("\n\r");

const char* const kApplyWarningLines[] = {
    "Эта процедура находится в стадии тестирования.",
    "Прежде, чем воспользоваться ею, сохраните резервные копии файлов базы данных:",
    "- Phone.DBF;",
    "- Phone.MDX;",
    "- Org.DBF;",
    "- Org.MDX.",
    "",
    "Продолжить выполнение?",
};

QString lines(std::initializer_list<QString> parts) {
    return QStringList(parts).join(kLineBreak);
}

// The share of the source visited, with four significant digits and the decimal comma.
QString percentText(int visited, int total) {
    const double percent = total > 0 ? visited * 100.0 / total : 0.0;
    return QString::number(percent, 'g', 4).replace(u'.', QChar::fromLatin1(kDecimalSeparator));
}

QPushButton* makeButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TFUpdateFromTable::TFUpdateFromTable(SyncWindowHost& host, QWidget* parent)
    : QDialog(parent), m_host(host) {
    buildWindow();
    // A run's two rebuilds, and a stopped run's that may still be finishing.
    m_pool.setMaxThreadCount(4);
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setInterval(0);
    connect(&m_stepTimer, &QTimer::timeout, this, &TFUpdateFromTable::comparisonStep);
    m_host.setSyncWindow(this);
}

TFUpdateFromTable::~TFUpdateFromTable() {
    m_activeRun = 0;
    m_rebuild.waitForFinished();
    m_pool.waitForDone();
    m_host.setSyncWindow(nullptr);
}

// ---------------------------------------------------------------------------------------------
// The window's parts

void TFUpdateFromTable::buildWindow() {
    setObjectName(QStringLiteral("TFUpdateFromTable"));
    m_baseCaption = QStringLiteral("Синхронизация с внешней таблицей");
    setWindowTitle(m_baseCaption);
    // A fixed frame with the system menu and the close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
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

    btnImport = makeButton(QStringLiteral("Импорт данных"), "btnImport", page);
    btnExport = makeButton(QStringLiteral("Экспорт данных"), "btnExport", page);
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

    auto* fileGroup = new QGroupBox(QStringLiteral("Файл внешней таблицы"), page);
    auto* fileRow = new QHBoxLayout(fileGroup);
    edSource = new QLabel(fileGroup);
    edSource->setObjectName(QStringLiteral("edSource"));
    edSource->setMinimumWidth(1);
    edSource->installEventFilter(this);
    btnBrowse = makeButton(QStringLiteral("О&бзор"), "btnBrowse", fileGroup);
    connect(btnBrowse, &QPushButton::clicked, this, &TFUpdateFromTable::btnBrowseClick);
    fileRow->addWidget(edSource, 1);
    fileRow->addWidget(btnBrowse);
    layout->addWidget(fileGroup);
    setSourcePath(QStringLiteral("С какой таблицей сравнить? (путь к файлу *.dbf) --->>>"));

    auto* progressGroup = new QGroupBox(QStringLiteral("Прогресс"), page);
    auto* progressRow = new QHBoxLayout(progressGroup);
    ProgressBar1 = new QProgressBar(progressGroup);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);
    btnStart = makeButton(QStringLiteral("С&тарт !"), "btnStart", progressGroup);
    btnStart->setEnabled(false);
    connect(btnStart, &QPushButton::clicked, this, &TFUpdateFromTable::btnStartClick);
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(btnStart);
    layout->addWidget(progressGroup);

    auto* runGroup = new QGroupBox(QStringLiteral("Ход проверки"), page);
    auto* runGrid = new QGridLayout(runGroup);
    Label3 = new QLabel(runGroup);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(runGroup);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setMinimumWidth(1);
    runGrid->addWidget(new QLabel(QStringLiteral("Найдено отличий:"), runGroup), 0, 0);
    runGrid->addWidget(Label3, 0, 1);
    runGrid->addWidget(new QLabel(QStringLiteral("Проверяется:"), runGroup), 1, 0);
    runGrid->addWidget(Label2, 1, 1);
    runGrid->setColumnStretch(1, 1);
    layout->addWidget(runGroup);
    layout->addStretch(1);

    Button1 = makeButton(QStringLiteral("С&прятать"), "Button1", page);
    connect(Button1, &QPushButton::clicked, this, &TFUpdateFromTable::Button1Click);
    btnClose = makeButton(QStringLiteral("З&акрыть"), "btnClose", page);
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

    auto* header = new QLabel(QStringLiteral("Найденные несоответствия"), page);
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

    chShowDetails = new QCheckBox(QStringLiteral("Показывать &дополнительную информацию"), page);
    chShowDetails->setObjectName(QStringLiteral("chShowDetails"));
    chShowDetails->setChecked(true);
    connect(chShowDetails, &QCheckBox::clicked, this, &TFUpdateFromTable::chShowDetailsClick);
    layout->addWidget(chShowDetails);

    chMy = new QRadioButton(QStringLiteral("Изменить в &своей"), page);
    chMy->setObjectName(QStringLiteral("chMy"));
    chHim = new QRadioButton(QStringLiteral("Изменить во &внешней"), page);
    chHim->setObjectName(QStringLiteral("chHim"));
    chMy->setChecked(true);
    auto* sideRow = new QHBoxLayout;
    sideRow->addWidget(chMy);
    sideRow->addWidget(chHim);
    sideRow->addStretch(1);
    layout->addLayout(sideRow);

    btnBack = makeButton(QStringLiteral("<< -- Проверить &еще"), "btnBack", page);
    connect(btnBack, &QPushButton::clicked, this, &TFUpdateFromTable::btnBackClick);
    btnApply = makeButton(QStringLiteral("П&рименить изменения"), "btnApply", page);
    connect(btnApply, &QPushButton::clicked, this, &TFUpdateFromTable::btnApplyClick);
    btnCancel = makeButton(QStringLiteral("З&акрыть"), "btnCancel", page);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(btnBack);
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

SyncDirection TFUpdateFromTable::direction() const {
    return btnImport->isChecked() ? SyncDirection::Import : SyncDirection::Export;
}

std::string TFUpdateFromTable::ownFolder() const {
    return localPath(m_host.syncDatabaseFolder());
}

bool TFUpdateFromTable::busy() const {
    return m_comparisonRunning || m_rebuild.isRunning();
}

// ---------------------------------------------------------------------------------------------
// Opening

void TFUpdateFromTable::TryToOpen() {
    waitForRebuild();
    dsSource.Close();
    dsTarget.Close();
    // Without both tables there is nothing to compare: the start button would only fail.
    btnStart->setEnabled(false);
    const QFileInfo file(m_sourcePath);
    if (!file.isFile()) return;
    try {
        m_tableFileName = file.fileName();
        m_externalFolder = file.absolutePath();
        const std::string external = localPath(m_externalFolder);
        const std::string own = ownFolder();
        const bool import = direction() == SyncDirection::Import;
        setWindowTitle(m_baseCaption +
                       (import ? QStringLiteral(" (импорт)") : QStringLiteral(" (экспорт)")));
        const std::string name = localPath(m_tableFileName);
        openSyncTable(dsTarget, import ? own : external, name);
        openSyncTable(dsSource, import ? external : own, name);
        std::error_code ignored;
        m_oneFile =
            std::filesystem::equivalent(dsSource.tablePath(), dsTarget.tablePath(), ignored);
        btnStart->setEnabled(true);
    } catch (const std::exception&) {
        dsSource.Close();
        dsTarget.Close();
        MessageBox::error(this, QStringLiteral("Error"),
                          QStringLiteral("Не могу открыть выбранную таблицу."));
        setWindowTitle(m_baseCaption);
    }
}

void TFUpdateFromTable::btnBrowseClick() {
    waitForRebuild();
    dsSource.Close();
    dsTarget.Close();
    const QString chosen = OpenFileDialog::choose(
        this, QString(), QStringLiteral("Файлы таблиц Абонекс (Phone.dbf Org.dbf)"),
        QStringLiteral("dbf"));
    if (!chosen.isEmpty()) setSourcePath(chosen);
    TryToOpen();
}

// ---------------------------------------------------------------------------------------------
// The comparison

void TFUpdateFromTable::btnStartClick() {
    m_stopRequested = m_comparisonRunning;
    if (m_comparisonRunning) {
        // A stop: the run ends with this press.
        endStopped();
        return;
    }
    if (!dsSource.Active() || !dsTarget.Active()) return;
    btnClose->setEnabled(false);
    m_differences->clear();
    m_entriesShown = 0;
    m_savedHint = m_host.trayHint();
    for (QWidget* control :
         std::initializer_list<QWidget*>{edSource, btnBrowse, btnExport, btnImport}) {
        control->setEnabled(false);
    }
    btnStart->setText(QStringLiteral("&Стоп !"));
    m_comparisonRunning = true;
    m_runDirection = direction();
    // The maximum comes once the rebuilds are done: a stopped run's rebuild may still be at work
    // on the data sets, and only its worker touches them until then.
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);

    // Both index files are rebuilt from their tables first, away from the event loop.
    const int run = ++m_run;
    m_activeRun = run;
    startRebuild(run);
}

void TFUpdateFromTable::startRebuild(int run) {
    // The rebuild of a run stopped earlier may still be at work on these data sets: this one
    // waits for it on the worker thread, so the event loop never does.
    QFuture<void> previous = m_rebuild;
    m_rebuild = QtConcurrent::run(&m_pool, [this, run, previous, oneFile = m_oneFile]() mutable {
        previous.waitForFinished();
        const auto rebuild = [this, run](TEngineDataSet& dataSet) -> std::exception_ptr {
            if (m_activeRun != run) return nullptr;  // stopped meanwhile
            try {
                dataSet.ReindexAll();
            } catch (...) {
                return std::current_exception();
            }
            return nullptr;
        };
        std::exception_ptr error;
        if (oneFile) {
            // Two rebuilds of one index file must not overlap.
            error = rebuild(dsSource);
            if (!error) error = rebuild(dsTarget);
        } else {
            QFuture<std::exception_ptr> target =
                QtConcurrent::run(&m_pool, [&rebuild, this] { return rebuild(dsTarget); });
            error = rebuild(dsSource);
            const std::exception_ptr targetError = target.result();
            if (!error) error = targetError;
        }
        QMetaObject::invokeMethod(
            this, [this, run, error] { rebuildFinished(run, error); }, Qt::QueuedConnection);
    });
}

void TFUpdateFromTable::waitForRebuild() {
    m_rebuild.waitForFinished();
}

void TFUpdateFromTable::rebuildFinished(int run, std::exception_ptr error) {
    if (run != m_run || !m_comparisonRunning) return;  // a stopped run
    if (error) {
        endStopped();
        setWindowTitle(m_baseCaption);
        std::rethrow_exception(error);  // the application's error box shows it
    }
    ProgressBar1->setRange(0, std::max(0, dsSource.RecordCount()));
    m_comparison = std::make_unique<TableComparison>(dsSource, dsTarget);
    m_stepTimer.start();
}

void TFUpdateFromTable::comparisonStep() {
    if (!m_comparisonRunning || !m_comparison) return;
    bool more = false;
    try {
        more = m_comparison->step(TableComparison::Clock::now() +
                                  std::chrono::milliseconds(kStepMilliseconds));
    } catch (...) {
        endStopped();
        setWindowTitle(m_baseCaption);
        throw;  // the application's error box shows it
    }
    showProgress();
    // What the progress showed may have run a stop or a close.
    if (!m_comparisonRunning || !m_comparison) return;
    if (more) {
        m_stepTimer.start();
    } else {
        finishComparison();
    }
}

void TFUpdateFromTable::showProgress() {
    const std::vector<DifferenceEntry>& entries = m_comparison->entries();
    const int visited = m_comparison->visited();
    const QString name = fromAnsi(m_comparison->currentName());
    const int found = static_cast<int>(entries.size());
    if (entries.size() > m_entriesShown) {
        m_differences->append(
            std::vector<DifferenceEntry>(entries.begin() + m_entriesShown, entries.end()),
            m_runDirection);
        m_entriesShown = entries.size();
    }
    if (!name.isEmpty()) {
        Label2->setText(name);
        Label3->setText(QString::number(found));
    }
    if (visited > 0) {
        m_host.setTrayHint(QStringLiteral("Выполнено - ") +
                           percentText(visited, ProgressBar1->maximum()) + u'%');
    }
    ProgressBar1->setValue(std::min(visited, ProgressBar1->maximum()));
}

void TFUpdateFromTable::ResetControls() {
    ProgressBar1->setValue(0);
    for (QWidget* control :
         std::initializer_list<QWidget*>{btnClose, edSource, btnBrowse, btnExport, btnImport}) {
        control->setEnabled(true);
    }
    btnStart->setText(QStringLiteral("Старт!"));
    Label2->clear();
    Label3->clear();
    m_comparisonRunning = false;
}

// A stopped run ends silently: page 1 stays with its title, and the rows found so far stay in
// the list without being shown.
void TFUpdateFromTable::endStopped() {
    m_activeRun = 0;
    m_stepTimer.stop();
    m_comparison.reset();
    ResetControls();
    m_host.setTrayHint(m_savedHint);
}

void TFUpdateFromTable::finishComparison() {
    m_comparison.reset();
    ProgressBar1->setValue(0);
    for (QWidget* control :
         std::initializer_list<QWidget*>{btnClose, edSource, btnBrowse, btnExport, btnImport}) {
        control->setEnabled(true);
    }
    btnStart->setText(QStringLiteral("&Старт !"));
    Label3->clear();
    Label2->clear();
    m_host.setTrayHint(m_savedHint);
    setWindowTitle(m_baseCaption);
    m_comparisonRunning = false;

    if (m_differences->rowCount() >= 1) {
        PageControl1->setCurrentIndex(1);
        TabSheet2Show();
        return;
    }
    const QString text =
        m_runDirection == SyncDirection::Import
            ? lines({QStringLiteral("Внешняя таблица не содержит записей отличных от Ваших!"),
                     {},
                     QStringLiteral("Попробуйте сделать \"Экспорт\".")})
            : lines({QStringLiteral("Ваша таблица не содержит записей отличных от внешней!"),
                     {},
                     QStringLiteral("Попробуйте сделать \"Импорт\".")});
    MessageBox::information(this, QStringLiteral("Проверка закончена"), text);
}

void TFUpdateFromTable::Button1Click() {
    hide();
    m_host.minimiseApplication();
}

// ---------------------------------------------------------------------------------------------
// Pages

void TFUpdateFromTable::showComparisonPage() {
    PageControl1->setCurrentIndex(0);
    btnClose->setDefault(true);
}

void TFUpdateFromTable::TabSheet2Show() {
    btnApply->setDefault(true);
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

// ---------------------------------------------------------------------------------------------
// Applying

void TFUpdateFromTable::btnApplyClick() {
    QStringList warning;
    for (const char* line : kApplyWarningLines) warning << QString::fromUtf8(line);
    if (MessageBox::question(this, QStringLiteral("Внимание!!!"), warning.join(kLineBreak),
                             QMessageBox::No, QMessageBox::Warning) != QMessageBox::Yes) {
        return;
    }
    for (QPushButton* button : {btnBack, btnApply, btnCancel}) button->setEnabled(false);
    const ChangeSide side = chMy->isChecked() ? ChangeSide::Own : ChangeSide::External;
    dsChange.Close();
    openChangeTable(dsChange, side == ChangeSide::Own ? ownFolder() : localPath(m_externalFolder),
                    localPath(m_tableFileName));
    // An error ends the apply at its row and reaches the application's error box; the rows
    // before it stay applied, and page 2 stays with its buttons disabled.
    DifferenceApply applying(dsChange, direction(), side);
    applying.run(m_differences->entries(), m_differences->checked());
    if (const int skipped = applying.counts().skipped; skipped > 0) {
        MessageBox::information(
            this, QStringLiteral("Изменения применены"),
            lines({QStringLiteral("Не применено отличий: %1.").arg(skipped),
                   QStringLiteral("Записи, к которым они относятся, изменены или удалены после "
                                  "проверки.")}));
    }
    showComparisonPage();
}

// ---------------------------------------------------------------------------------------------
// Closing

void TFUpdateFromTable::reject() {
    close();
}

void TFUpdateFromTable::closeEvent(QCloseEvent* event) {
    if (m_comparisonRunning) {
        m_stopRequested = true;
        endStopped();
    }
    waitForRebuild();
    m_differences->clear();
    TEngineDataSet* shown = m_host.shownDataSet();
    if (shown != nullptr && shown->Active()) {
        try {
            shown->ReindexAll();
            shown->Close();
            shown->Open();
        } catch (const std::exception& error) {
            MessageBox::error(this, QStringLiteral("Error"), QString::fromUtf8(error.what()));
        }
    }
    event->accept();
}

}  // namespace abonex
