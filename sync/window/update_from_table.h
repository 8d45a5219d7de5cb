// TFUpdateFromTable: the synchronisation window, "Синхронизация с внешней таблицей".
//
// Page 1 chooses the external table and the direction (import: the external table is read and
// looked up in the own one; export: the other way round), and runs the comparison with its
// progress. Page 2 lists the differences with check boxes and applies the checked ones to the
// own or the external table. The tabs of both pages are hidden; the window switches them.
//
// A comparison rebuilds both tables' index files on worker threads and then compares in steps
// of a few milliseconds from the event loop, so the window (and the program) keeps handling its
// events while it runs; its progress also shows in the notification-area icon's hint. A press of
// the start button during a run stops it at once. A rebuild cannot be cut short without
// damaging its index file: a stop during one leaves it to finish on its own. A new start waits
// for it on the worker thread; choosing another table or closing the window waits for it.
//
// The window's data sets lock each table with the protocol the main window uses for it, open
// the changed table with its index files (in file order) so an apply keeps them current, and
// close when the window goes. Closing the window reloads the table the main window shows.
//
// Invariants: while ComparisonRunning() the page-1 controls that could start another operation
// are disabled and the start button reads "&Стоп !" (a press stops the run); otherwise the start
// button is enabled exactly when both tables are open.
#pragma once

#include <QDialog>
#include <QFuture>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <exception>
#include <memory>

#include "engine/dataset/engine_dataset.h"
#include "sync/difference.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTreeView;

namespace abonex {

class DifferenceListDelegate;
class DifferenceListModel;
class SyncWindowHost;
class TableComparison;

class TFUpdateFromTable : public QDialog {
    Q_OBJECT
  public:
    // How long one step of the comparison works before the window handles its events again.
    static constexpr int kStepMilliseconds = 10;

    explicit TFUpdateFromTable(SyncWindowHost& host, QWidget* parent = nullptr);
    ~TFUpdateFromTable() override;

    // The file name and the folder (without a trailing "/") of the chosen external table.
    const QString& TableFileName() const { return m_tableFileName; }
    const QString& ExternalFolder() const { return m_externalFolder; }
    bool ComparisonRunning() const { return m_comparisonRunning; }
    // True while a comparison runs or a rebuild it started has not finished yet.
    bool busy() const;
    // The path edSource shows (its prompt until a table is chosen).
    const QString& sourcePath() const { return m_sourcePath; }
    const DifferenceListModel& differences() const { return *m_differences; }

    TEngineDataSet dsSource;
    TEngineDataSet dsTarget;
    TEngineDataSet dsChange;

  public slots:
    void TryToOpen();
    void btnBrowseClick();
    void btnStartClick();
    void Button1Click();
    void chShowDetailsClick();
    void btnBackClick();
    void btnApplyClick();

  protected:
    // FormCloseQuery: a running comparison stops, the difference table goes, and the table the
    // main window shows is rebuilt and reopened. The close is always allowed.
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window as its close buttons do.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildComparisonPage();
    QWidget* buildDifferencesPage();
    void setSourcePath(const QString& path);
    void showSourcePath();
    SyncDirection direction() const;
    std::string ownFolder() const;

    void ResetControls();
    void startRebuild(int run);
    void rebuildFinished(int run, std::exception_ptr error);
    void comparisonStep();
    void showProgress();
    void endStopped();
    void finishComparison();
    void waitForRebuild();
    void showComparisonPage();
    void TabSheet2Show();

    SyncWindowHost& m_host;
    QString m_tableFileName;
    QString m_externalFolder;
    QString m_baseCaption;
    QString m_sourcePath;
    QString m_savedHint;
    bool m_comparisonRunning = false;
    bool m_stopRequested = false;
    SyncDirection m_runDirection = SyncDirection::Import;
    bool m_oneFile = false;  // the own table was chosen as the external one

    // The rebuilds of a run on worker threads (the two tables at once unless they are one
    // file). `m_run` tells the runs apart, so that the end of a stopped run's rebuild is not
    // taken for the current one's; `m_activeRun` is the run that may still start a rebuild.
    QThreadPool m_pool;
    QFuture<void> m_rebuild;
    std::atomic<int> m_activeRun{0};
    int m_run = 0;
    std::unique_ptr<TableComparison> m_comparison;
    size_t m_entriesShown = 0;
    QTimer m_stepTimer;

    QStackedWidget* PageControl1 = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnExport = nullptr;
    QLabel* edSource = nullptr;
    QPushButton* btnBrowse = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* btnStart = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* Button1 = nullptr;
    QTreeView* changesList = nullptr;
    DifferenceListModel* m_differences = nullptr;
    DifferenceListDelegate* m_delegate = nullptr;
    QCheckBox* chShowDetails = nullptr;
    QRadioButton* chMy = nullptr;
    QRadioButton* chHim = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;
};

}  // namespace abonex
