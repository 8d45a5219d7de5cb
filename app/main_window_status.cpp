// TFMain's status line (the record count, the filter of the table shown, or the variant of the
// search that found its rows) and the width rule of the grid's name column.
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
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
// The phone columns' design width.
constexpr int kPhoneColumnWidth = 80;
// What a title bar takes beside the caption: the icon and the three buttons.
constexpr int kTitleBarAllowance = 150;

}  // namespace

QString TFMain::statusText() const {
    showPendingCount();
    return m_statusText->text();
}

void TFMain::setDataSetStatus(TEngineDataSet& dataSet) {
    // Only the table shown speaks in the status line: a mode switch moves the other tables
    // too, and the last of them left its count there.
    if (&dataSet != m_model->dataSet()) return;
    // A closed table has no count; its status is left as it was.
    if (!dataSet.Active()) {
        showFound(dataSet, false);
        return;
    }
    // A search that shows no row says so beside its filter and over the grid (an empty table
    // searched for nothing is just empty).
    const bool searched = !edFam->text().isEmpty() || !edPhone->text().isEmpty();
    showFound(dataSet, searched && dataSet.Filtered());
    if (!dataSet.Filtered()) {
        // Counting reads the deletion mark of every record: done when the line is seen.
        m_pendingCount = &dataSet;
        if (StatusBar1->isVisible()) showPendingCount();
    } else if (!m_searchNote.isEmpty()) {
        // The rows shown were found by what the search may have been meant as: say which.
        m_pendingCount = nullptr;
        m_statusText->setText(m_searchNote);
    } else if (!edFam->text().isEmpty()) {
        m_pendingCount = nullptr;
        m_statusText->setText(tr("Таблица отфильтрована по фильтру \"") + edFam->text() + u'"');
    } else if (!edPhone->text().isEmpty() && m_found >= 0) {
        // A search by the phone alone has no name to show: it says how many rows it found.
        m_pendingCount = nullptr;
        m_statusText->setText(phoneFilterStatus());
    }
}

void TFMain::showPendingCount() const {
    TEngineDataSet* dataSet = m_pendingCount;
    m_pendingCount = nullptr;
    if (dataSet == nullptr || !dataSet->Active()) return;
    // The records a user can see: those marked deleted are not shown, so not counted.
    userOperation([&] {
        m_statusText->setText(tr("Всего в таблице ") + QString::number(dataSet->LiveRecordCount()) +
                              tr(" записей"));
    });
}

void TFMain::ShowTableStatus() {
    userOperation([&] { setDataSetStatus(gridDataSet()); });
}

void TFMain::DSetAfterScroll(TEngineDataSet& dataSet) {
    setDataSetStatus(dataSet);
}

QSize TFMain::firstStartSize(const QSize& design) const {
    // The design's 350 pixels left the caption cut by the title bar's buttons, and a name of
    // some length cut beside the two phones: the first start is as wide as both need.
    const QFontMetrics metrics(font());
    const int caption = metrics.horizontalAdvance(windowTitle()) + kTitleBarAllowance;
    const int columns = metrics.horizontalAdvance(tr("Константинопольский А.А.")) +
                        2 * kPhoneColumnWidth + kWidthRuleSlack +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    QSize size(std::max({design.width(), caption, columns}), design.height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    return size.expandedTo(minimumSize());
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
