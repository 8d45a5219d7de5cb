// TFUpdateFromTable: the comparison as page 1 shows it (start and stop, progress, the end of a
// run), and hiding the window while it runs.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include "engine/expr/ansi_locale.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

// The share of the source visited, with four significant digits and the decimal comma.
QString percentText(int visited, int total) {
    const double percent = total > 0 ? visited * 100.0 / total : 0.0;
    return QString::number(percent, 'g', 4).replace(u'.', QChar::fromLatin1(kDecimalSeparator));
}

}  // namespace

void TFUpdateFromTable::connectComparisonRun() {
    connect(&m_comparisonRun, &ComparisonRun::rebuilt, this, &TFUpdateFromTable::comparisonRebuilt);
    connect(&m_comparisonRun, &ComparisonRun::progressed, this, &TFUpdateFromTable::showProgress);
    connect(&m_comparisonRun, &ComparisonRun::finished, this, &TFUpdateFromTable::finishComparison);
    connect(&m_comparisonRun, &ComparisonRun::failed, this, &TFUpdateFromTable::comparisonFailed);
}

void TFUpdateFromTable::btnStartClick() {
    if (ComparisonRunning()) {
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
    btnStart->setText(tr("&Стоп !"));
    m_runDirection = direction();
    // The maximum comes once the rebuilds are done: a stopped run's rebuild may still be at work
    // on the data sets, and only its worker touches them until then. Meanwhile the bar shows
    // that work goes on, and the line below says which.
    ProgressBar1->setRange(0, 0);
    ProgressBar1->setValue(0);
    Label2->setText(tr("перестраиваются индексы"));
    // Both index files are rebuilt from their tables first, away from the event loop.
    m_comparisonRun.start(dsSource, dsTarget);
}

void TFUpdateFromTable::comparisonRebuilt(int total) {
    // A table without records is compared at once: the bar stays still, not busy.
    ProgressBar1->setRange(0, std::max(1, total));
    Label2->clear();
}

void TFUpdateFromTable::showProgress() {
    const std::vector<DifferenceEntry>& entries = m_comparisonRun.entries();
    const int visited = m_comparisonRun.visited();
    const QString name = fromAnsi(m_comparisonRun.currentName());
    const int found = m_comparisonRun.found();
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
        m_host.setTrayHint(tr("Выполнено - ") + percentText(visited, ProgressBar1->maximum()) +
                           u'%');
    }
    ProgressBar1->setValue(std::min(visited, ProgressBar1->maximum()));
}

void TFUpdateFromTable::ResetControls() {
    showRunEnded(tr("Старт!"));
}

void TFUpdateFromTable::showRunEnded(const QString& startText) {
    // A run stopped during the rebuilds leaves no busy bar behind.
    if (ProgressBar1->maximum() == 0) ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    for (QWidget* control :
         std::initializer_list<QWidget*>{btnClose, edSource, btnBrowse, btnExport, btnImport}) {
        control->setEnabled(true);
    }
    btnStart->setText(startText);
    Label2->clear();
    Label3->clear();
}

// A stopped run ends silently: page 1 stays with its title, and the rows found so far stay in
// the list without being shown.
void TFUpdateFromTable::endStopped() {
    m_comparisonRun.keepFoundSoFar();
    showProgress();
    m_comparisonRun.stop();
    ResetControls();
    m_host.setTrayHint(m_savedHint);
}

void TFUpdateFromTable::comparisonFailed(std::exception_ptr error) {
    ResetControls();
    m_host.setTrayHint(m_savedHint);
    setWindowTitle(m_baseCaption);
    // The application's error box shows it, from the event loop.
    QMetaObject::invokeMethod(
        this, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}

void TFUpdateFromTable::finishComparison() {
    showRunEnded(tr("&Старт !"));
    m_host.setTrayHint(m_savedHint);
    setWindowTitle(m_baseCaption);

    if (m_differences->rowCount() >= 1) {
        PageControl1->setCurrentIndex(1);
        TabSheet2Show();
        return;
    }
    const QString text = m_runDirection == SyncDirection::Import
                             ? lines({tr("Внешняя таблица не содержит записей отличных от Ваших!"),
                                      {},
                                      tr("Попробуйте сделать \"Экспорт\".")})
                             : lines({tr("Ваша таблица не содержит записей отличных от внешней!"),
                                      {},
                                      tr("Попробуйте сделать \"Импорт\".")});
    MessageBox::information(this, tr("Проверка закончена"), text);
}

void TFUpdateFromTable::Button1Click() {
    hide();
    m_host.minimiseApplication();
}

}  // namespace abonex
