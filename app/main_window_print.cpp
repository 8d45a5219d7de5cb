// TFMain's printing: "Печать…" lays the rows shown (the search of the table shown, every row of
// it, not only those the grid has read) out as a phone list (app/phone_list_document.h) and shows
// it in a print preview, from which it goes to a printer or into a PDF file.
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "app/phone_list_document.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

constexpr int kRowsPerRead = 500;

QString tableTitle(DirectoryMode mode) {
    switch (mode) {
        case DirectoryMode::Persons:
            return TFMain::tr("Телефоны частных лиц");
        case DirectoryMode::Organisations:
            return TFMain::tr("Телефоны организаций");
        case DirectoryMode::Favourites:
            break;
    }
    return TFMain::tr("Фавориты");
}

// What chose the rows, as the heading says it.
QString searchText(const TEngineDataSet& dataSet, const SearchCriteria& search,
                   const QString& note) {
    QStringList parts;
    if (dataSet.Filtered() && !search.name.empty()) {
        parts << QStringLiteral("«%1» %2").arg(
            fromAnsi(search.name),
            search.atStart ? TFMain::tr("в начале строки") : TFMain::tr("в любом месте строки"));
    }
    if (dataSet.Filtered() && !search.phone.empty()) {
        parts << TFMain::tr("телефон «%1»").arg(fromAnsi(search.phone));
    }
    if (parts.isEmpty()) return TFMain::tr("Все записи");
    QString text = TFMain::tr("Поиск: ") + parts.join(QStringLiteral(", "));
    if (!note.isEmpty()) text += QStringLiteral(" (") + note + QStringLiteral(")");
    return text;
}

}  // namespace

void TFMain::mnuPrintClick() {
    TEngineDataSet& dataSet = gridDataSet();
    if (!dataSet.Active()) return;
    PhoneListDocument list;
    list.setHeading(tableTitle(m_mode), searchText(dataSet, m_search, m_searchNote));
    list.setCaptions({m_model->columnCaption(0), m_model->columnCaption(1),
                      m_model->columnCaption(2), tr("Комментарий")});
    bool read = false;
    userOperation([&] {
        // The data set's own reading, as the grid's blocks are read, but to the end: the grid
        // may hold only the first rows of the search.
        for (int after = 0;;) {
            const std::vector<DataSetRow> rows = dataSet.fetchRows(after, kRowsPerRead);
            for (const DataSetRow& row : rows) {
                std::array<QString, PhoneListDocument::kColumns> texts;
                for (size_t c = 0; c < texts.size() && c < row.values.size(); ++c) {
                    texts[c] = fromAnsi(row.values[c]);
                }
                list.addRow({texts[0], texts[1], texts[2], texts[3]});
                after = row.recordNumber;
            }
            if (rows.size() < static_cast<size_t>(kRowsPerRead)) break;
        }
        read = true;
    });
    if (!read) return;  // a list with rows missing is not printed

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(list.title());
    const double margin = PhoneListDocument::kMarginMm;
    printer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(tr("Печать: ") + list.title());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, &list](QPrinter* to) {
        if (list.print(*to) == 0) {
            MessageBox::error(
                this, QStringLiteral("Error"),
                tr("Не удалось напечатать список") + (to->outputFileName().isEmpty()
                                                          ? QString()
                                                          : tr(" в файл ") + to->outputFileName()));
        }
    });
    preview.exec();
}

}  // namespace abonex
