#include "sync/window/update_from_table.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QStackedWidget>

#include "sync/sync_tables.h"
#include "sync/window/difference_list.h"
#include "sync/window/sync_window_host.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/open_file_dialog.h"

namespace abonex {

namespace {

// Multi-line texts of this window are joined by LF CR, line feed first.
const QString kLineBreak = QStringLiteral("\n\r");

}  // namespace

QString TFUpdateFromTable::lines(const QStringList& parts) {
    return parts.join(kLineBreak);
}

TFUpdateFromTable::TFUpdateFromTable(SyncWindowHost& host, QWidget* parent)
    : QDialog(parent), m_host(host) {
    buildWindow();
    connectComparisonRun();
    connect(&m_applyRun, &ApplyRun::progressed, this, &TFUpdateFromTable::applyProgressed);
    connect(&m_applyRun, &ApplyRun::finished, this, &TFUpdateFromTable::applyFinished);
    connect(&m_applyRun, &ApplyRun::failed, this, &TFUpdateFromTable::applyFailed);
    m_host.setSyncWindow(this);
}

TFUpdateFromTable::~TFUpdateFromTable() {
    m_comparisonRun.stop();
    m_comparisonRun.waitForRebuild();
    m_host.setSyncWindow(nullptr);
}

SyncDirection TFUpdateFromTable::direction() const {
    return btnImport->isChecked() ? SyncDirection::Import : SyncDirection::Export;
}

std::string TFUpdateFromTable::ownFolder() const {
    return localPath(m_host.syncDatabaseFolder());
}

std::string TFUpdateFromTable::externalFolder() const {
    return localPath(m_externalFolder);
}

std::string TFUpdateFromTable::tableFileName() const {
    return localPath(m_tableFileName);
}

bool TFUpdateFromTable::busy() const {
    return m_comparisonRun.busy();
}

// ---------------------------------------------------------------------------------------------
// Opening

void TFUpdateFromTable::TryToOpen() {
    m_comparisonRun.waitForRebuild();
    dsSource.Close();
    dsTarget.Close();
    // Without both tables there is nothing to compare: the start button would only fail.
    btnStart->setEnabled(false);
    const QFileInfo file(m_sourcePath);
    if (!file.isFile()) return;
    try {
        m_tableFileName = file.fileName();
        m_externalFolder = file.absolutePath();
        const std::string external = externalFolder();
        const std::string own = ownFolder();
        const bool import = direction() == SyncDirection::Import;
        setWindowTitle(m_baseCaption + (import ? tr(" (импорт)") : tr(" (экспорт)")));
        const std::string name = tableFileName();
        openSyncTable(dsTarget, import ? own : external, name);
        openSyncTable(dsSource, import ? external : own, name);
        btnStart->setEnabled(true);
    } catch (const std::exception&) {
        dsSource.Close();
        dsTarget.Close();
        MessageBox::error(this, QStringLiteral("Error"), tr("Не могу открыть выбранную таблицу."));
        setWindowTitle(m_baseCaption);
    }
}

void TFUpdateFromTable::btnBrowseClick() {
    m_comparisonRun.waitForRebuild();
    dsSource.Close();
    dsTarget.Close();
    const QString chosen = OpenFileDialog::choose(
        this, QString(), tr("Файлы таблиц Абонекс (Phone.dbf Org.dbf)"), QStringLiteral("dbf"));
    if (!chosen.isEmpty()) setSourcePath(chosen);
    TryToOpen();
}

// ---------------------------------------------------------------------------------------------
// Closing

void TFUpdateFromTable::reject() {
    // Escape: nothing while the buttons of page 2 are disabled (an apply runs or failed).
    if (m_applyRun.running() || m_applyFailed) return;
    // The differences found would be thrown away unseen: asked first.
    if (PageControl1->currentIndex() == 1 &&
        MessageBox::question(
            this, tr("Закрыть окно?"),
            lines({tr("Найденные отличия не будут применены."), tr("Закрыть окно синхронизации?")}),
            QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    close();
}

void TFUpdateFromTable::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitNameColumn();
    if (!isMaximized() && !isMinimized() && isVisible()) m_host.storeSyncWindowSize(size());
}

void TFUpdateFromTable::closeEvent(QCloseEvent* event) {
    // An apply under way is not cut off in the middle of its table.
    if (m_applyRun.running()) {
        event->ignore();
        return;
    }
    if (ComparisonRunning()) endStopped();
    m_comparisonRun.waitForRebuild();
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
