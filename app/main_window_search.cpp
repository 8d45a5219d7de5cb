// TFMain's search: the texts of the search panel, the filter button (the search as typed, then
// what it may have been meant as), the reset button, the search when the window is activated
// and the record the window was started on.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <utility>

#include "app/application.h"
#include "app/main_window.h"
#include "directory/search_variants.h"
#include "ui/text_codec.h"

namespace abonex {

void TFMain::edFamChange(const QString& text) {
    m_typed.name = toAnsi(text);
    searchTextsChanged();
}

void TFMain::edPhoneChange(const QString& text) {
    m_typed.phone = toAnsi(text);
    searchTextsChanged();
}

void TFMain::searchTextsChanged() {
    // Rows read from now on are tested against the new texts, as typed, until the next search
    // tries its variants.
    m_search = m_typed;
    m_searchNote.clear();
}

void TFMain::showSearchHints() {
    // Searching as the user types needs no Enter: then the hints do not ask for one.
    const bool live = mnuLiveSearch->isChecked();
    const QString name = live ? tr("Наберите нужную фамилию (часть фамилии)")
                              : tr("Наберите нужную фамилию (часть фамилии) и нажмите "
                                   "Enter");
    const QString phone = live
                              ? tr("Наберите номер телефона (или часть номера), включая \" - \"")
                              : tr("Наберите номер телефона (или часть номера), включая \" - \", и "
                                   "нажмите Enter");
    for (auto [box, hint] : {std::pair{edFam, name}, std::pair{edPhone, phone}}) {
        box->setToolTip(hint);
        box->setStatusTip(hint);
    }
}

void TFMain::searchTextTyped() {
    if (mnuLiveSearch->isChecked()) m_liveSearchTimer->start();  // from the last key on
}

void TFMain::bringIndexUpToDate(TEngineDataSet& dataSet) {
    if (!dataSet.Active()) return;
    QString why;
    if (!dataSet.IndexHoldsAppendedRows()) {
        why = tr("Индекс таблицы обновляется: другая программа добавила в неё записи");
    } else if (dataSet.TakeRowDisagreement() || dataSet.IndexDisagreesWithTable(IndexLook::Marks)) {
        // A row shown before no longer gave its key, or the table was written after its index:
        // another program changed rows in place or saved the table anew.
        why = tr("Индекс таблицы обновляется: другая программа изменила таблицу");
    } else {
        return;
    }
    m_statusText->setText(why);
    m_statusText->repaint();
    dataSet.ReindexAll();
}

void TFMain::btnFiltrClick() {
    // The search runs now; a pending one of "Искать при вводе" would only run it again.
    m_liveSearchTimer->stop();
    if (m_rebuildThread.joinable() && !m_deferredRebuilds.empty()) {
        // The start-up rebuild is writing the index behind the rows shown: a search now would
        // wait for it with the window frozen. It runs as soon as the rebuild is over.
        m_searchAfterRebuild = true;
        m_pendingCount = nullptr;  // the note stays until the search has run
        m_statusText->setText(
            tr("Индекс таблицы обновляется, поиск будет выполнен по его окончании"));
        return;
    }
    TEngineDataSet& dataSet = gridDataSet();
    dataSet.DisableControls();
    const std::array<QWidget*, 4> busy{GxDBGrid1, GroupBox1, edFam, edPhone};
    for (QWidget* widget : busy) widget->setCursor(Qt::WaitCursor);
    m_searchNote.clear();
    m_found = -1;
    // Rows that another program appended without their keys would never be found.
    userOperation([&] { bringIndexUpToDate(dataSet); });
    try {
        // The search as typed; when it finds no row, what it may have been meant as.
        const SearchAttempt used = searchWithVariants(dataSet, m_search, m_typed);
        if (!dataSet.Eof()) m_searchNote = QString::fromStdString(searchNote(used));
        m_lastRunSearch = m_search;
        m_atFirstRow = true;
    } catch (const std::exception&) {
        // A failed search shows what the data set has; it is not worth a message.
    }
    userOperation([&] { setDataSetStatus(dataSet); });
    for (QWidget* widget : busy) widget->unsetCursor();
    userOperation([&] { dataSet.EnableControls(); });
    m_atFirstRow = false;
    userOperation([&] { countFound(dataSet); });
}

void TFMain::sbClearClick() {
    edFam->clear();
    edPhone->clear();
    btnFiltr->click();
}

void TFMain::FormActivate() {
    // The activation comes back from a dialog (the record dialog, the modem settings) with the
    // user's row in mind: the search it re-applies stays on that row whenever it still shows it.
    const int record = gridDataSet().Active() ? gridDataSet().RecNo() : 0;
    edFam->clear();
    edFam->setFocus();
    btnFiltrClick();
    userOperation([&] { returnToRecord(record); });
    if (m_startRecord) {
        // The first activation empties the name box; the row asked for is searched again.
        standOnStartRecord();
        m_startRecord.reset();
    }
}

void TFMain::showRecordAtStart(DirectoryMode mode, int record) {
    m_startRecord = {mode, record};
    // Shown at once, whether or not the desktop makes the window active: a window started by
    // another program may stay behind the active one until the user picks it.
    QTimer::singleShot(0, this, [this] {
        if (m_startRecord) standOnStartRecord();
    });
}

void TFMain::standOnStartRecord() {
    const auto [mode, record] = *m_startRecord;
    ModeView& view = modeView(mode);
    if (!view.button->isEnabled()) return;
    btnUserClick(view.button);
    TEngineDataSet& dataSet = *view.dataSet;
    std::string name;
    if (record == 0) {
        btnFiltrClick();
        return;
    }
    try {
        dataSet.GotoRecNo(record);
        name = dataSet.Fields(kFieldName).AsString();
    } catch (const std::exception&) {
        // Another copy cut the table shorter since the row was found: nothing to stand on.
        btnFiltrClick();
        return;
    }
    edFam->setText(fromAnsi(name));
    btnFiltrClick();
    userOperation([&] {
        dataSet.GotoRecNo(record);
        followCurrentRecord();
    });
}

}  // namespace abonex
