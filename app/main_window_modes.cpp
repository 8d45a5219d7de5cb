// TFMain's directory modes (persons, organisations, favourites): which data set the grid shows;
// the grid following that data set's current record, and the data set following the row the user
// picks in the grid.
#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <array>
#include <string>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"

namespace abonex {

namespace {

// How far the grid reads ahead to find the data set's current row after the rows changed.
constexpr int kFollowRowLimit = 5000;

}  // namespace

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
    m_model->setColumnCaptions({view.nameCaption, tr("телефон 1"), tr("телефон 2")});
    m_mode = mode;
    showDataSet(*view.dataSet);
    view.menuItem->setChecked(true);
    addKont->setEnabled(mode != DirectoryMode::Favourites && DSFavor.Active() && !m_readOnly);
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
    showCodePageNote();
    followCurrentRecord();
}

void TFMain::dataSetChanged(TEngineDataSet& dataSet) {
    if (&dataSet != m_model->dataSet()) return;
    m_model->reload(m_atFirstRow);
    followCurrentRecord();
    // A record added or deleted under a search changes what it found.
    if (m_found >= 0) userOperation([&] { countFound(dataSet); });
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

void TFMain::returnToRecord(int record) {
    TEngineDataSet* dataSet = m_model->dataSet();
    if (record <= 0 || dataSet == nullptr || !dataSet->Active() || dataSet->RecNo() == record) {
        return;
    }
    // Only a row the search shows: a record it no longer accepts leaves the first row current.
    if (m_model->rowOfRecord(record, kFollowRowLimit) < 0) return;
    dataSet->GotoRecNo(record);
    followCurrentRecord();
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

}  // namespace abonex
