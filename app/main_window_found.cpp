// TFMain's word on what a search found, said in the window itself (the status line is off by
// default): "Ничего не найдено" over the empty grid, naming the other searches that were tried
// too, and the count of rows found beside the grid's band; with the phone box alone, the
// status line says how many rows the phone was found in.
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTableView>
#include <QVBoxLayout>
#include <string>

#include "app/application.h"
#include "app/banner.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "directory/search_variants.h"
#include "ui/windows_color.h"

namespace abonex {

namespace {

// Rows are counted up to this many; a search that finds more says "более" that.
constexpr int kCountLimit = 10000;

QString countText(int found) {
    return found > kCountLimit ? TFMain::tr("более ") + QString::number(kCountLimit)
                               : QString::number(found);
}

// "Ничего не найдено", and the other searches tried for `typed`.
QString nothingFoundText(const SearchCriteria& typed) {
    QString text = TFMain::tr("Ничего не найдено");
    QStringList tried;
    SearchVariant last = SearchVariant::AsTyped;
    for (const SearchAttempt& attempt : searchAttempts(typed)) {
        // One reading of each kind is enough to show what was tried.
        if (attempt.variant == SearchVariant::AsTyped || attempt.variant == last) continue;
        last = attempt.variant;
        tried << QString::fromStdString(variantText(attempt));
    }
    if (!tried.isEmpty()) {
        text += TFMain::tr("\nИскали также ") + tried.join(QStringLiteral(", "));
    }
    return text;
}

}  // namespace

QWidget* TFMain::buildBand(QWidget* parent) {
    auto* band = new QWidget(parent);
    band->setObjectName(QStringLiteral("Band"));
    auto* row = new QHBoxLayout(band);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_banner = new Banner(band);
    m_banner->setObjectName(QStringLiteral("Banner"));
    row->addWidget(m_banner, 1);
    m_foundCount = new QLabel(band);
    m_foundCount->setObjectName(QStringLiteral("lblFoundCount"));
    m_foundCount->setAutoFillBackground(true);
    m_foundCount->setFrameShape(QFrame::Panel);
    m_foundCount->setFrameShadow(QFrame::Raised);
    m_foundCount->setContentsMargins(4, 1, 4, 1);
    m_foundCount->setPalette(m_banner->palette());
    QPalette text = m_foundCount->palette();
    text.setColor(QPalette::WindowText, Qt::black);
    m_foundCount->setPalette(text);
    m_foundCount->hide();
    row->addWidget(m_foundCount);
    return band;
}

void TFMain::buildNothingFoundNote() {
    m_nothingFound = new QLabel(GxDBGrid1->viewport());
    m_nothingFound->setObjectName(QStringLiteral("lblNothingFound"));
    m_nothingFound->setAlignment(Qt::AlignCenter);
    m_nothingFound->setWordWrap(true);
    m_nothingFound->setMargin(8);
    // The pop-up of the empty grid (a first record) stays under the mouse.
    m_nothingFound->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont bold = m_nothingFound->font();
    bold.setBold(true);
    m_nothingFound->setFont(bold);
    m_nothingFound->hide();
    auto* layout = new QVBoxLayout(GxDBGrid1->viewport());
    layout->addWidget(m_nothingFound, 0, Qt::AlignCenter);
}

void TFMain::showFound(TEngineDataSet& dataSet, bool searched) {
    const bool nothing = searched && dataSet.IsEmpty();
    m_foundNothingNote->setVisible(nothing);
    if (nothing) m_nothingFound->setText(nothingFoundText(m_typed));
    m_nothingFound->setVisible(nothing);
    if (!searched) m_found = -1;
    m_foundCount->setVisible(m_found >= 0);
    if (m_found >= 0) m_foundCount->setText(tr("Найдено: ") + countText(m_found));
}

void TFMain::countFound(TEngineDataSet& dataSet) {
    if (&dataSet != m_model->dataSet() || !dataSet.Active() || !dataSet.Filtered()) return;
    if (edFam->text().isEmpty() && edPhone->text().isEmpty()) return;
    m_found = m_model->countRows(kCountLimit);
    setDataSetStatus(dataSet);
}

QString TFMain::phoneFilterStatus() const {
    return tr("Таблица отфильтрована по телефону \"") + edPhone->text() + tr("\": найдено ") +
           countText(m_found);
}

}  // namespace abonex
