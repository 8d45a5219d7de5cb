// TFMain: the directory's main window.
//
// It owns the three directory data sets (persons DSet, organisations DSOrg, favourites DSFavor)
// for the whole run, shows one of them in the grid GxDBGrid1 (the directory mode), narrows its
// rows by the search panel and changes its records through the grid's pop-up menu and the record
// dialog. Creating it checks the installation in the program folder and opens and re-indexes the
// tables; closing it re-indexes them again and closes them. Neither rebuild keeps the user
// waiting: a table whose index a quick look finds whole is shown from it and rebuilt once the
// first rows are painted, on a thread of its own; the closing rebuild is handed to a process of
// its own (see directory/index_rebuild.h) and the window's process ends at once.
//
// This header declares all of the window's handlers; they are implemented by concern in
// app/main_window*.cpp: main_window.cpp (the window's own events: showing, activation, closing),
// _build (the widgets), _keys (the keyboard), _tables (opening, re-indexing and closing the
// tables), _status (the status line and the width rule), _search, _found (what a search found,
// said in the window), _modes (the directory modes and the grid following the data set's record),
// _records (record maintenance), _clipboard (copying from the grid), _events (the data sets'
// opening and closing), _dial, _view (view options), _tray (the notification area), _links (links
// and the About box), _sync (the synchronisation window) and _exchange (vCard files, and tables in
// another code page, which are shown read-only) and _print (the phone list on paper).
//
// Invariants: exactly one of the mode buttons and exactly the matching mode menu item are
// checked; the grid's model shows the data set of the checked mode; DatabaseFolder ends in "/".
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/search_filter.h"
#include "engine/dataset/engine_dataset.h"
#include "sync/window/sync_window_host.h"

class QAbstractButton;
class QAction;
class QActionGroup;
class QButtonGroup;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QStatusBar;
class QTableView;
class QToolBar;
class QTimer;
class QToolButton;

namespace abonex {

class Banner;
class DirectoryModel;
class HintSwitch;
class PreviewDelegate;
class SettingsStore;
class CallLogWriter;
class TrayIcon;
class TTapiDial;

class TFMain : public QMainWindow, public SyncWindowHost {
    Q_OBJECT
  public:
    // `programFolder` is the folder of the running program; empty means the folder of this
    // executable. The constructor is the start-up: on an installation error the window stays
    // hidden, the error is shown and startupFailed() is true (the program must then end).
    explicit TFMain(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TFMain() override;

    bool startupFailed() const { return m_startupFailed; }
    // Asks the window to show the table of `mode` once it is shown, and again after its first
    // activation (which empties the name box), and to stand on its record `record` (0: none in
    // particular): the record's name is searched, so the row is shown among its namesakes. A
    // record that is gone by then leaves the table shown unfiltered.
    void showRecordAtStart(DirectoryMode mode, int record);
    // The program folder with a trailing "/", as found (letter case untouched).
    const QString& DatabaseFolder() const { return m_databaseFolder; }
    bool ReturnToPersonsOnClose() const { return m_returnToPersonsOnClose; }
    // True when the directory's files may only be read by this user: the tables are opened
    // read-only, searching and dialing work, the commands that write are disabled and the
    // status line says why.
    bool readOnly() const { return m_readOnly; }
    DirectoryMode mode() const { return m_mode; }
    // The data set shown in the grid.
    TEngineDataSet& gridDataSet();
    DirectoryModel* gridModel() const { return m_model; }
    // The status line's own text (what it shows when no hint covers it).
    QString statusText() const;
    // True while the window and its controls show pop-up hints.
    bool showsHints() const;
    SettingsStore* settingsStore() const { return FormStorage1; }
    TrayIcon* trayIcon() const { return Tray.get(); }
    Banner* banner() const { return m_banner; }

    // The hint over the notification-area icon: the window's caption unless someone writes
    // another text there (the synchronisation window shows its progress in it).
    void setTrayHint(const QString& text) override;
    QString trayHint() const override;
    // The synchronisation window while it is open, nullptr otherwise. Whoever opens it
    // registers it here; the reference clears itself when the window is destroyed. Coming back
    // from the notification area shows it again in front of the main window's data.
    static void setSynchronisationWindow(QWidget* window);
    static QWidget* synchronisationWindow();

    // Reads the stored settings before every showing (see FormShow).
    void setVisible(bool visible) override;

    // The program that runs the closing rebuild when the window closes (the running program
    // itself, with the hidden request of directory/index_rebuild.h). Empty, as it is unless set,
    // or when it cannot be started: the window rebuilds before its process goes on.
    void setClosingRebuildProgram(const QString& program) { m_closingRebuildProgram = program; }
    // The process the last close started for its rebuild, or -1.
    qint64 closingRebuildProcess() const { return m_closingRebuildProcess; }
    // True from the start-up that showed a table from its index before rebuilding it until that
    // rebuild is over and the table reloaded from the new index.
    bool startRebuildPending() const { return !m_deferredRebuilds.empty(); }

    // The three directory data sets.
    TEngineDataSet DSet;
    TEngineDataSet DSOrg;
    TEngineDataSet DSFavor;

  public slots:
    // Search (the search panel and the filter button).
    void btnFiltrClick();
    void sbClearClick();
    void FormActivate();
    // The status rule applied to the table shown; the application's activation handler.
    void ShowTableStatus();
    // Modes.
    void btnUserClick(QAbstractButton* sender);
    void mnuUsersClick();
    void mnuOrgClick();
    void mnuFavoritClick();
    // Record maintenance (the grid's pop-up menu).
    void insRecClick();
    void redRecClick();
    void delRecClick();
    void addKontClick();
    void mnuPopPopup();
    // Dialing (the dial button, its drop-down and the pop-up's dial item).
    void btnRingClick();
    // Dials `number` by the pulse/tone choice and logs the call with `name`.
    void dialNumber(const QString& number, const QString& name);
    // "Журнал звонков": the user's call log, from which a call is dialed back.
    void mnuCallLogClick();
    // "Удалённые записи": the deleted rows of the table shown, recalled at the user's choice.
    void mnuDeletedClick();
    // "Сжать таблицу…": after a question that says how many deleted rows go for good, the table
    // shown is packed (refused while another copy of the program has it open) and shown again.
    void mnuPackClick();
    void mnuPulseClick(QAction* sender);
    void mnuConfigClick();
    // The grid's pop-up: the current row's number (the one dialing calls), or the whole row,
    // onto the clipboard.
    void mnuCopyPhoneClick();
    void mnuCopyRowClick();
    // Drops the call in progress ("Положить трубку" in the dial button's drop-down).
    void mnuHangUpClick();
    // The dial button shows whether a call is in progress; its drop-down offers the hang-up.
    void showCallInProgress(bool inProgress);
    // Clicks the checked one of the pulse/tone pair again (the pulse item when neither is
    // checked), so exactly one of them is checked.
    void pressCheckedDialingItem();
    // The width rule: column 0 takes what the phone columns leave of the grid's width
    // `gridWidth` (its width after the change).
    void FormCanResize(int gridWidth);
    // The size of a first start (no stored placement): `design`, widened for the caption and
    // for a name beside both phones, within the screen.
    QSize firstStartSize(const QSize& design) const;
    // View options (the items of "&Вид").
    void mnuBigIcoClick(QAction* sender);
    void mnuHintClick();
    void mnuShowPanelClick();
    void mnuCommentsClick();
    void mnuStatusClick();
    // "Искать при вводе" (off at design, kept with the other check marks): while checked, the
    // search is run 150 ms after the last key typed in either search box.
    void mnuLiveSearchClick();
    // The application's minimise handler: into the notification area where the desktop has
    // one; where it has none the window only minimises, or it could never be brought back.
    void AppEvents();
    // Back from the notification area ("Восстановить", a double click on the icon).
    void mnuRestoreClick();
    // After every reading of the stored settings: the system beep.
    void FormStorage1RestorePlacement();
    // The banner's next line, every 5 seconds.
    void Timer1Timer();
    // Links and the About box (the items of "&Помощь" and of btnAbout's drop-down).
    void mnuHomePageClick();
    void mnuUpdateClick();
    void mnuNewsClick();
    void mnuSupportClick();
    void mnuLicenseClick();
    void btnAboutClick();
    // Opens the synchronisation window (or brings the open one back).
    void mnuUpdateFromTableClick();
    // vCard files (the items of "&Файл"): the rows shown, or every favourite, written to a
    // file the user chooses; the cards of a file added to the favourites.
    void mnuExportVcardClick();
    void mnuExportFavorVcardClick();
    void mnuImportVcardClick();
    // "Печать…": the rows shown as a phone list, in a print preview (main_window_print.cpp).
    void mnuPrintClick();

  public:
    // What the synchronisation window asks of the main window (main_window_sync.cpp; the tray
    // hint is the notification-area icon's, main_window_tray.cpp).
    QString syncDatabaseFolder() const override { return m_databaseFolder; }
    void setSyncWindow(QWidget* window) override { setSynchronisationWindow(window); }
    void minimiseApplication() override;
    TEngineDataSet* shownDataSet() override;
    QSize storedSyncWindowSize() const override;
    void storeSyncWindowSize(const QSize& size) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct ModeView {
        DirectoryMode mode;
        QToolButton* button;
        QAction* menuItem;
        TEngineDataSet* dataSet;
        QString nameCaption;
    };

    // The widgets (main_window_build.cpp); the items of each concern are built in its own file.
    void buildWindow();
    void buildMenus();
    void buildToolBar();
    QWidget* buildSearchPanel();
    void buildGrid();
    void buildPopUp();
    void buildViewMenu(QMenu* menu);            // main_window_view.cpp
    void buildHelpMenu(QMenu* menu);            // main_window_links.cpp
    void buildMaintenanceItems(QMenu* phones);  // main_window_maintenance.cpp
    void buildTray();                           // main_window_tray.cpp
    QWidget* buildBand(QWidget* parent);        // main_window_found.cpp, with the count
    void buildNothingFoundNote();               // main_window_found.cpp
    void buildRingMenu();                       // main_window_dial.cpp
    void buildCopyItems();                      // main_window_clipboard.cpp
    void buildDialer();                         // main_window_dial.cpp
    void buildSyncMenuItem(QMenu* file);        // main_window_sync.cpp
    void buildExchangeMenuItems(QMenu* file);   // main_window_exchange.cpp
    // Writes the rows `dataSet` shows (every row when it is not filtered) as vCards into a file
    // the user chooses.
    void exportVcards(TEngineDataSet& dataSet, DirectoryMode mode, const QString& caption);
    // A table whose text is in another code page than the directory's is opened read-only:
    // its data set, after it was opened writable (main_window_exchange.cpp).
    void reopenForeignPageReadOnly(TEngineDataSet& dataSet);
    // The status line's note for the table shown when it is read-only for its code page.
    void showCodePageNote();

    // Shows the synchronisation window again when it had hidden itself.
    void showSyncWindow();

    // The tables (main_window_tables.cpp).
    void setUpDataSets();
    void FormCreate();
    void ShowInstallError();
    void openTables();
    // Read-only when this user may not write every directory file there is (main_window_tables).
    void decideReadOnly();
    void FormClose();
    // The start-up rebuild of the tables shown from their indexes, on its own thread, started
    // once the grid has painted its first rows; deferredRebuildDone reloads each table from the
    // new index with the search last run and the current record kept (main_window_tables).
    void startDeferredRebuild();
    void deferredRebuildDone(const std::vector<DirectoryMode>& rebuilt, const QString& error);
    // Asks the start-up rebuild to stop and waits for it (a stopped rebuild leaves tags that
    // the next quick look refuses, and the closing rebuild follows anyway).
    void stopDeferredRebuild();
    // Closes the three tables and shows the database message (a table that could not be
    // opened or rebuilt).
    void closeTablesWithDatabaseError();
    // The closing rebuild of `modes`' tables, closed already: in the closing-rebuild program's
    // process when it starts, here otherwise.
    void runClosingRebuild(const std::vector<DirectoryMode>& modes);

    void FormShow();
    // The second half of FormShow: the view options as their check marks say.
    void applyStoredView();

    // Search, status line, modes and record maintenance (main_window_search.cpp, _status, _modes,
    // _records).
    void edFamChange(const QString& text);
    void edPhoneChange(const QString& text);
    // The search texts or the position switch changed: the filters test them as typed again.
    void searchTextsChanged();
    // Shows the record asked for by showRecordAtStart.
    void standOnStartRecord();
    // The search boxes' hints, with or without "и нажмите Enter" as "Искать при вводе" says.
    void showSearchHints();
    // A key typed in a search box (not the boxes emptied by the window).
    void searchTextTyped();
    void setDataSetStatus(TEngineDataSet& dataSet);
    // Rebuilds the index files of `dataSet` when rows were appended to its table without their
    // keys (by other dBASE software) since it last knew every row indexed, saying so in the
    // status line, so that the search that follows shows them.
    void bringIndexUpToDate(TEngineDataSet& dataSet);
    // The count the status line is waiting for, shown now.
    void showPendingCount() const;
    // What the search found, in the window (main_window_found.cpp): the notes over the grid and
    // beside the band, `searched` when a search narrows the rows; the count of rows found, taken
    // once the grid has read the new rows; the status line's text for the phone box alone.
    void showFound(TEngineDataSet& dataSet, bool searched);
    void countFound(TEngineDataSet& dataSet);
    QString phoneFilterStatus() const;
    // Enables the record items for the table shown (the grid's pop-up and "&Телефоны").
    void updateRecordItems();
    void showDataSet(TEngineDataSet& dataSet);
    // The grid follows the data set: the row of its current record becomes the grid's current row.
    void followCurrentRecord();
    // The keyboard (main_window_keys.cpp): true when the key was handled.
    bool searchBoxKeyPressed(const QKeyEvent& key);
    bool gridKeyPressed(const QKeyEvent& key);
    // The last row of the search, read up to the real end of the rows.
    void goToLastRow();
    // Makes record `record` current again, in the data set and the grid, when the rows shown
    // hold it (read ahead as far as followCurrentRecord reads); otherwise changes nothing.
    void returnToRecord(int record);
    void gridRowChanged(int row);
    ModeView& modeView(DirectoryMode mode);
    std::array<std::string, 4> gridFieldNames() const;
    void EditCurrentRecord();
    // The field of the current row that holds the number to dial (and to copy).
    int currentPhoneField();
    // True when the favourites hold a row with these name, first and second phone (ANSI).
    bool holdsFavourite(const std::array<std::string, 3>& fields);

    // Data-set events (main_window_events.cpp; DSetAfterScroll is the status line's,
    // DSOrgAfterInsert and DSetBeforeDelete record maintenance's, dataSetChanged the modes').
    void DSetBeforeOpen(TEngineDataSet& dataSet);
    void DSetAfterScroll(TEngineDataSet& dataSet);
    void DSetAfterOpen(TEngineDataSet& dataSet);
    void DSOrgAfterOpen(TEngineDataSet& dataSet);
    void DSFavorAfterOpen(TEngineDataSet& dataSet);
    void DSOrgAfterClose(TEngineDataSet& dataSet);
    void DSFavorAfterClose(TEngineDataSet& dataSet);
    void DSOrgAfterInsert(TEngineDataSet& dataSet);
    void DSetBeforeDelete(TEngineDataSet& dataSet);
    void dataSetChanged(TEngineDataSet& dataSet);

    QString m_programFolder;
    QString m_databaseFolder;
    bool m_startupFailed = false;
    bool m_readOnly = false;
    bool m_returnToPersonsOnClose = true;
    bool m_activatedOnce = false;
    bool m_lostToOwnWindow = false;
    bool m_followingRecord = false;  // the grid's row is moved to the record, not by the user
    bool m_atFirstRow = false;       // the shown data set has just gone to its first row
    DirectoryMode m_mode = DirectoryMode::Persons;
    // SearchName, SearchPhone and the prefix switch (ANSI), as typed.
    SearchCriteria m_typed;
    // What the data sets' filters test: the search as typed, or the variant that found the rows
    // shown (then m_searchNote says which, for the status line).
    SearchCriteria m_search;
    QString m_searchNote;
    // The search the filter button last ran (the variant that found rows, when one did).
    SearchCriteria m_lastRunSearch;
    // The tables shown from their indexes at start and not rebuilt since.
    std::vector<DirectoryMode> m_deferredRebuilds;
    bool m_deferredRebuildStarted = false;
    // A search asked for while the start-up rebuild was running, to run once it is over.
    bool m_searchAfterRebuild = false;
    std::thread m_rebuildThread;
    std::atomic<bool> m_stopRebuild{false};
    QString m_closingRebuildProgram;
    qint64 m_closingRebuildProcess = -1;
    // The record to stand on at the first activation (showRecordAtStart).
    std::optional<std::pair<DirectoryMode, int>> m_startRecord;
    // The unfiltered table whose count the status line shows once it is seen.
    mutable TEngineDataSet* m_pendingCount = nullptr;

    QWidget* GroupBox1 = nullptr;
    QToolBar* TBToolbar1 = nullptr;
    QToolButton* btnFiltr = nullptr;
    QToolButton* btnUser = nullptr;
    QToolButton* btnOrg = nullptr;
    QToolButton* btnFavorit = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    QToolButton* btnAbout = nullptr;
    QMenu* m_aboutDropDown = nullptr;
    QToolButton* btnRing = nullptr;
    QAction* mnuPulse = nullptr;
    QAction* mnuTone = nullptr;
    QActionGroup* m_dialingItems = nullptr;
    QAction* mnuConfig = nullptr;
    QAction* mnuHangUp = nullptr;
    QAction* mnuCallLog = nullptr;
    QAction* mnuDeleted = nullptr;
    QAction* mnuPack = nullptr;
    QAction* mnuUpdateFromTable = nullptr;
    QAction* mnuExportVcard = nullptr;
    QAction* mnuExportFavorVcard = nullptr;
    QAction* mnuImportVcard = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuExit = nullptr;
    QActionGroup* m_pictureSizeItems = nullptr;
    QAction* mnuBigIco = nullptr;
    QAction* mnuSmallIco = nullptr;
    QAction* mnuHint = nullptr;
    QAction* mnuShowPanel = nullptr;
    QAction* mnuComments = nullptr;
    QAction* mnuStatus = nullptr;
    QAction* mnuLiveSearch = nullptr;
    QAction* mnuHomePage = nullptr;
    QAction* mnuUpdate = nullptr;
    QAction* mnuNews = nullptr;
    QAction* mnuSupport = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuLicense = nullptr;
    QAction* mnuUsers = nullptr;
    QAction* mnuOrg = nullptr;
    QAction* mnuFavorit = nullptr;
    QActionGroup* m_modeItems = nullptr;
    QLineEdit* edFam = nullptr;
    QLineEdit* edPhone = nullptr;
    QToolButton* sbClear = nullptr;
    QRadioButton* chStart = nullptr;
    QRadioButton* chAny = nullptr;
    QTableView* GxDBGrid1 = nullptr;
    DirectoryModel* m_model = nullptr;
    PreviewDelegate* m_delegate = nullptr;
    QMenu* GridPopUp = nullptr;
    QAction* addKont = nullptr;
    QAction* insRec = nullptr;
    QAction* redRec = nullptr;
    QAction* delRec = nullptr;
    Banner* m_banner = nullptr;
    QAction* mnuRing = nullptr;
    QAction* mnuCopyPhone = nullptr;
    QAction* mnuCopyRow = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* m_statusText = nullptr;
    // "ничего не найдено" beside the filter, while a search shows no row.
    QLabel* m_foundNothingNote = nullptr;
    // The same over the empty grid, and the count of rows found beside the band (-1: none).
    QLabel* m_nothingFound = nullptr;
    QLabel* m_foundCount = nullptr;
    int m_found = -1;
    QLabel* m_codePageNote = nullptr;
    QLabel* m_readOnlyNote = nullptr;
    HintSwitch* m_hints = nullptr;
    SettingsStore* FormStorage1 = nullptr;
    std::unique_ptr<TrayIcon> Tray;
    QMenu* TrayPopup = nullptr;
    QAction* mnuTrayPopAbout = nullptr;
    QAction* mnuRestore = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* m_liveSearchTimer = nullptr;
    std::array<ModeView, 3> m_modes{};
    TTapiDial* Dialer3 = nullptr;
    CallLogWriter* m_callLog = nullptr;  // the user's call log, for the calls in and out
};

}  // namespace abonex
