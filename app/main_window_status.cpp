// TFMain's status line (the record count, the filter of the table shown, or the variant of the
// search that found its rows) and the width rule of the grid's name column.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTableView>
#include <algorithm>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"

namespace abonex {

namespace {

// The width rule leaves this much beside the columns, the scroll bar and the borders.
constexpr int kWidthRuleSlack = 14;

}  // namespace

QString TFMain::statusText() const {
    return m_statusText->text();
}

void TFMain::setDataSetStatus(TEngineDataSet& dataSet) {
    // A closed table has no count; its status is left as it was.
    if (!dataSet.Active()) return;
    if (!dataSet.Filtered()) {
        m_statusText->setText(QStringLiteral("Всего в таблице ") +
                              QString::number(dataSet.RecordCount()) + QStringLiteral(" записей"));
    } else if (!m_searchNote.isEmpty() && &dataSet == m_model->dataSet()) {
        // The rows shown were found by what the search may have been meant as: say which.
        m_statusText->setText(m_searchNote);
    } else if (!edFam->text().isEmpty()) {
        m_statusText->setText(QStringLiteral("Таблица отфильтрована по фильтру \"") +
                              edFam->text() + u'"');
    }
}

void TFMain::ShowTableStatus() {
    userOperation([&] { setDataSetStatus(DSet); });
}

void TFMain::DSetAfterScroll(TEngineDataSet& dataSet) {
    setDataSetStatus(dataSet);
}

void TFMain::FormCanResize(int gridWidth) {
    const int scrollBar =
        GxDBGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, GxDBGrid1);
    const int width = gridWidth - GxDBGrid1->columnWidth(1) - GxDBGrid1->columnWidth(2) -
                      scrollBar - 2 * GxDBGrid1->frameWidth() - kWidthRuleSlack;
    GxDBGrid1->setColumnWidth(0,
                              std::max(width, GxDBGrid1->horizontalHeader()->minimumSectionSize()));
}

}  // namespace abonex
