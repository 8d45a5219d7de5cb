// TFUpdateFromTable: the synchronisation window, "Синхронизация с внешней таблицей".
//
// Page 1 chooses the external table and the direction (import: the external table is read and
// looked up in the own one; export: the other way round), and runs the comparison with its
// progress. Page 2 lists the differences with check boxes and applies the checked ones to the
// own or the external table. The tabs of both pages are hidden; the window switches them.
//
// The window drives a ComparisonRun (sync/comparison_run.h): both tables' index files are
// rebuilt on worker threads, then compared in steps of a few milliseconds from the event loop,
// so the window (and the program) keeps handling its events while it runs; its progress also
// shows in the notification-area icon's hint. A press of the start button during a run stops it
// at once. A rebuild cannot be cut short without damaging its index file: a stop during one
// leaves it to finish on its own. A new start waits for it on the worker thread; choosing
// another table or closing the window waits for it.
//
// The window's parts are in files of their own: update_from_table_pages.cpp builds the pages,
// update_from_table_comparison.cpp runs the comparison and hides the window,
// update_from_table_apply.cpp applies the differences.
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
#include <QString>
#include <QStringList>
#include <exception>
#include <string>

#include "engine/dataset/engine_dataset.h"
#include "sync/apply_run.h"
#include "sync/comparison_run.h"
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

class TFUpdateFromTable : public QDialog {
    Q_OBJECT
  public:
    explicit TFUpdateFromTable(SyncWindowHost& host, QWidget* parent = nullptr);
    ~TFUpdateFromTable() override;

    // The file name and the folder (without a trailing "/") of the chosen external table.
    const QString& TableFileName() const { return m_tableFileName; }
    const QString& ExternalFolder() const { return m_externalFolder; }
    bool ComparisonRunning() const { return m_comparisonRun.running(); }
    // True while a comparison runs or a rebuild it started has not finished yet.
    bool busy() const;
    // True while the checked differences are being applied.
    bool applying() const { return m_applyRun.running(); }
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
    // Escape closes the window as its close buttons do; on the list of differences it asks
    // first, and while an apply runs or after one failed it does nothing.
    void reject() override;
    // The window's size is kept for the next time it opens.
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildComparisonPage();
    QWidget* buildDifferencesPage();
    void setSourcePath(const QString& path);
    void showSourcePath();
    SyncDirection direction() const;
    std::string ownFolder() const;
    std::string externalFolder() const;
    std::string tableFileName() const;
    // Multi-line texts of this window, joined by LF CR (line feed first).
    static QString lines(const QStringList& parts);

    void connectComparisonRun();
    // Page 1 after a stop: the controls enabled again, the progress and the counters emptied.
    void ResetControls();
    // The same after any end of a run, with the start button's text of that end.
    void showRunEnded(const QString& startText);
    void comparisonRebuilt(int total);
    void showProgress();
    void endStopped();
    void comparisonFailed(std::exception_ptr error);
    void finishComparison();
    void showComparisonPage();
    void TabSheet2Show();
    // The number of differences and of checked rows under the list.
    void showCounts();
    // The list's name column takes what the window is wider than its design size; the phones
    // keep their widths.
    void fitNameColumn();
    void applyProgressed(int done, int total);
    void applyFinished();
    void applyFailed(std::exception_ptr error);

    SyncWindowHost& m_host;
    QString m_tableFileName;
    QString m_externalFolder;
    QString m_baseCaption;
    QString m_sourcePath;
    QString m_savedHint;
    SyncDirection m_runDirection = SyncDirection::Import;

    // Declared after the data sets they work on, so they stop (and wait) before those close.
    ComparisonRun m_comparisonRun;
    ApplyRun m_applyRun;
    bool m_applyFailed = false;  // page 2 stays with its buttons disabled
    size_t m_entriesShown = 0;   // entries of the run already in the list

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
    QLabel* lblCounts = nullptr;
    QPushButton* btnCheckAll = nullptr;
    QPushButton* btnUncheckAll = nullptr;
    QProgressBar* pbApply = nullptr;
};

}  // namespace abonex
