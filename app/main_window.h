// TFMain: the directory's main window.
//
// It owns the three directory data sets (persons DSet, organisations DSOrg, favourites DSFavor)
// for the whole run, shows one of them in the grid GxDBGrid1 (the directory mode), narrows its
// rows by the search panel and changes its records through the grid's pop-up menu and the record
// dialog. Creating it checks the installation in the program folder and opens and re-indexes the
// tables; closing it re-indexes them again and closes them.
//
// Invariants: exactly one of the mode buttons and exactly the matching mode menu item are
// checked; the grid's model shows the data set of the checked mode; DatabaseFolder ends in "/".
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <string>

#include "app/directory_tables.h"
#include "app/search_filter.h"
#include "engine/dataset/engine_dataset.h"

class QAbstractButton;
class QAction;
class QActionGroup;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QStatusBar;
class QTableView;
class QToolBar;
class QToolButton;

namespace abonex {

class DirectoryModel;
class PreviewDelegate;

class TFMain : public QMainWindow {
    Q_OBJECT
  public:
    // `programFolder` is the folder of the running program; empty means the folder of this
    // executable. The constructor is the start-up: on an installation error the window stays
    // hidden, the error is shown and startupFailed() is true (the program must then end).
    explicit TFMain(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TFMain() override;

    bool startupFailed() const { return m_startupFailed; }
    // The program folder with a trailing "/", as found (letter case untouched).
    const QString& DatabaseFolder() const { return m_databaseFolder; }
    bool ReturnToPersonsOnClose() const { return m_returnToPersonsOnClose; }
    DirectoryMode mode() const { return m_mode; }
    // The data set shown in the grid.
    TEngineDataSet& gridDataSet();
    DirectoryModel* gridModel() const { return m_model; }
    // The status line's own text (what it shows when no hint covers it).
    QString statusText() const;

    // The three directory data sets.
    TEngineDataSet DSet;
    TEngineDataSet DSOrg;
    TEngineDataSet DSFavor;

  public slots:
    // Search (the search panel and the filter button).
    void btnFiltrClick();
    void sbClearClick();
    void FormActivate();
    // The status rule applied to DSet; the application's activation handler.
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
    // The width rule: column 0 takes what the phone columns leave of the grid's width
    // `gridWidth` (its width after the change).
    void FormCanResize(int gridWidth);

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

    void buildWindow();
    void buildMenus();
    void buildToolBar();
    QWidget* buildSearchPanel();
    void buildGrid();
    void buildPopUp();
    void setUpDataSets();

    void FormCreate();
    void ShowInstallError();
    void openTables();
    void FormShow();
    void FormClose();

    void EditCurrentRecord();
    void edFamChange(const QString& text);
    void edPhoneChange(const QString& text);
    void setDataSetStatus(TEngineDataSet& dataSet);
    void showDataSet(TEngineDataSet& dataSet);
    void syncGridToDataSet();
    void gridRowChanged(int row);
    ModeView& modeView(DirectoryMode mode);
    std::array<std::string, 4> gridFieldNames() const;

    // Data-set events.
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
    bool m_returnToPersonsOnClose = true;
    bool m_activatedOnce = false;
    bool m_lostToOwnWindow = false;
    bool m_syncingGrid = false;
    bool m_atFirstRow = false;  // the shown data set has just gone to its first row
    DirectoryMode m_mode = DirectoryMode::Persons;
    SearchCriteria m_search;  // SearchName, SearchPhone and the prefix switch (ANSI)

    QWidget* GroupBox1 = nullptr;
    QToolBar* TBToolbar1 = nullptr;
    QToolButton* btnFiltr = nullptr;
    QToolButton* btnUser = nullptr;
    QToolButton* btnOrg = nullptr;
    QToolButton* btnFavorit = nullptr;
    QButtonGroup* m_modeButtons = nullptr;
    QAction* mnuExit = nullptr;
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
    QStatusBar* StatusBar1 = nullptr;
    QLabel* m_statusText = nullptr;
    std::array<ModeView, 3> m_modes{};
};

}  // namespace abonex
