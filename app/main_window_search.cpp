// TFMain's search: the texts of the search panel, the filter button, the reset button and the
// search when the window is activated.
#include <QAction>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <array>

#include "app/application.h"
#include "app/main_window.h"
#include "ui/text_codec.h"

namespace abonex {

void TFMain::edFamChange(const QString& text) {
    m_search.name = toAnsi(text);
}

void TFMain::edPhoneChange(const QString& text) {
    m_search.phone = toAnsi(text);
}

void TFMain::searchTextTyped() {
    if (mnuLiveSearch->isChecked()) m_liveSearchTimer->start();  // from the last key on
}

void TFMain::btnFiltrClick() {
    // The search runs now; a pending one of "Искать при вводе" would only run it again.
    m_liveSearchTimer->stop();
    TEngineDataSet& dataSet = gridDataSet();
    dataSet.DisableControls();
    const std::array<QWidget*, 4> busy{GxDBGrid1, GroupBox1, edFam, edPhone};
    for (QWidget* widget : busy) widget->setCursor(Qt::WaitCursor);
    try {
        dataSet.setFiltered(false);
        dataSet.setFiltered(true);
        m_atFirstRow = true;
    } catch (const std::exception&) {
        // A failed search shows what the data set has; it is not worth a message.
    }
    for (QWidget* widget : busy) widget->unsetCursor();
    userOperation([&] { dataSet.EnableControls(); });
    m_atFirstRow = false;
}

void TFMain::sbClearClick() {
    edFam->clear();
    edPhone->clear();
    btnFiltr->click();
}

void TFMain::FormActivate() {
    edFam->clear();
    edFam->setFocus();
    btnFiltrClick();
}

}  // namespace abonex
