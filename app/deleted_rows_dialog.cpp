#include "app/deleted_rows_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {
// The name, the two phones and the comment: the first four fields of every directory table.
constexpr int kShownFields = 4;
}  // namespace

DeletedRowsDialog::DeletedRowsDialog(TEngineDataSet& dataSet, const QString& nameCaption,
                                     QWidget* parent)
    : QDialog(parent), m_dataSet(dataSet) {
    setObjectName(QStringLiteral("DeletedRowsDialog"));
    setWindowTitle(tr("Удалённые записи"));
    auto* layout = new QVBoxLayout(this);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("lblDeletedError"));
    m_error->setWordWrap(true);
    m_error->hide();
    layout->addWidget(m_error);

    m_list = new QTableWidget(0, kShownFields, this);
    m_list->setObjectName(QStringLiteral("lstDeleted"));
    m_list->setHorizontalHeaderLabels(
        {nameCaption, tr("телефон 1"), tr("телефон 2"), tr("Комментарии")});
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(this);
    m_recall = buttons->addButton(tr("Восстановить"), QDialogButtonBox::ActionRole);
    m_recall->setObjectName(QStringLiteral("btnRecall"));
    QPushButton* close = buttons->addButton(tr("Закрыть"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnClose"));
    layout->addWidget(buttons);
    connect(m_recall, &QPushButton::clicked, this, [this] { recallSelected(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &DeletedRowsDialog::updateButtons);
    resize(640, 360);
    reload();
}

void DeletedRowsDialog::reload() {
    m_rows.clear();
    m_error->hide();
    try {
        m_rows = m_dataSet.deletedRows();
    } catch (const std::exception& error) {
        m_error->setText(QString::fromUtf8(error.what()));
        m_error->show();
    }
    m_list->clearSelection();
    m_list->setRowCount(static_cast<int>(m_rows.size()));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const DataSetRow& record = m_rows[static_cast<size_t>(row)];
        const int shown = std::min(kShownFields, static_cast<int>(record.values.size()));
        for (int column = 0; column < shown; ++column) {
            m_list->setItem(
                row, column,
                new QTableWidgetItem(fromAnsi(record.values[static_cast<size_t>(column)])));
        }
    }
    m_list->resizeColumnsToContents();
    updateButtons();
}

int DeletedRowsDialog::recallSelected() {
    std::vector<int> records;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        records.push_back(m_rows[static_cast<size_t>(index.row())].recordNumber);
    }
    int recalled = 0;
    try {
        for (int record : records) {
            if (m_dataSet.Recall(record)) ++recalled;
        }
    } catch (const std::exception& error) {
        MessageBox::error(this, QStringLiteral("Error"), QString::fromUtf8(error.what()));
    }
    m_recalled += recalled;
    reload();
    return recalled;
}

void DeletedRowsDialog::updateButtons() {
    m_recall->setEnabled(!m_dataSet.ReadOnly() && !m_list->selectedItems().isEmpty());
}

}  // namespace abonex
