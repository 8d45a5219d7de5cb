#include "app/directory_model.h"

#include <exception>
#include <optional>

#include "engine/dataset/engine_dataset.h"
#include "ui/text_codec.h"

namespace abonex {

DirectoryModel::DirectoryModel(QObject* parent) : QAbstractTableModel(parent) {}

void DirectoryModel::setDataSet(TEngineDataSet* dataSet) {
    m_dataSet = dataSet;
    reload();
}

void DirectoryModel::setColumnCaptions(const QStringList& captions) {
    m_captions = captions;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

QString DirectoryModel::columnCaption(int column) const {
    return column >= 0 && column < m_captions.size() ? m_captions.at(column) : QString();
}

void DirectoryModel::reload(bool startAtCurrentRow) {
    beginResetModel();
    m_rows.clear();
    m_atEnd = false;
    int wanted = kBlockRows;
    if (startAtCurrentRow && m_dataSet != nullptr && m_dataSet->Active() &&
        m_dataSet->State() == DataSetState::Browse && !m_dataSet->Eof()) {
        if (std::optional<Row> first = convert(m_dataSet->currentRow())) {
            m_rows.push_back(std::move(*first));
            --wanted;
        }
    }
    if (readBlock(m_rows, wanted) < wanted) m_atEnd = true;
    endResetModel();
}

std::optional<DirectoryModel::Row> DirectoryModel::convert(const DataSetRow& source) {
    if (source.recordNumber <= 0) return std::nullopt;
    Row row;
    row.recordNumber = source.recordNumber;
    for (int column = 0; column < kColumns; ++column) {
        if (column < static_cast<int>(source.values.size())) row.text += source.values[column];
        row.ends[column] = static_cast<uint16_t>(row.text.size());
    }
    return row;
}

std::string_view DirectoryModel::Row::field(int column) const {
    const size_t begin = column == 0 ? 0 : ends[column - 1];
    return std::string_view(text).substr(begin, ends[column] - begin);
}

int DirectoryModel::readBlock(std::vector<Row>& into, int count) const {
    if (m_dataSet == nullptr || !m_dataSet->Active()) return 0;
    // A data set that found no acceptable row has none to read (and reading would walk the
    // whole table through the filter once more).
    if (into.empty() && m_dataSet->IsEmpty()) return 0;
    const int after = into.empty() ? 0 : into.back().recordNumber;
    std::vector<DataSetRow> rows;
    try {
        rows = m_dataSet->fetchRows(after, count);
    } catch (const std::exception&) {
        // A table that cannot be read any further shows the rows read so far.
        return 0;
    }
    for (const DataSetRow& source : rows) {
        if (std::optional<Row> row = convert(source)) into.push_back(std::move(*row));
    }
    return static_cast<int>(rows.size());
}

int DirectoryModel::countRows(int limit) const {
    int count = rowCount();
    if (m_atEnd || m_rows.empty() || m_dataSet == nullptr || !m_dataSet->Active()) return count;
    int after = m_rows.back().recordNumber;
    while (count <= limit) {
        std::vector<DataSetRow> rows;
        try {
            rows = m_dataSet->fetchRows(after, kBlockRows);
        } catch (const std::exception&) {
            return count;  // as far as the table can be read, as the grid shows it
        }
        count += static_cast<int>(rows.size());
        if (rows.size() < static_cast<size_t>(kBlockRows)) break;
        after = rows.back().recordNumber;
    }
    return count;
}

int DirectoryModel::recordAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row].recordNumber : 0;
}

int DirectoryModel::rowOfRecord(int recordNumber, int rowLimit) {
    if (recordNumber <= 0) return -1;
    for (int row = 0;; ++row) {
        if (row == static_cast<int>(m_rows.size())) {
            if (m_atEnd || row >= rowLimit) return -1;
            fetchMore(QModelIndex());
            if (row == static_cast<int>(m_rows.size())) return -1;
        }
        if (m_rows[row].recordNumber == recordNumber) return row;
    }
}

int DirectoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DirectoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DirectoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
    if (role == Qt::DisplayRole) return fromAnsi(m_rows[index.row()].field(index.column()));
    return {};
}

QVariant DirectoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return columnCaption(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DirectoryModel::flags(const QModelIndex& index) const {
    // Selectable, never editable in place: every change goes through the record dialog.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool DirectoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd && m_dataSet != nullptr && m_dataSet->Active();
}

void DirectoryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    std::vector<Row> block;
    block.reserve(kBlockRows);
    if (!m_rows.empty()) block.push_back(m_rows.back());  // gives readBlock its starting record
    const int read = readBlock(block, kBlockRows);
    if (read < kBlockRows) m_atEnd = true;
    if (read == 0) return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + read - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(block.end() - read),
                  std::make_move_iterator(block.end()));
    endInsertRows();
}

}  // namespace abonex
