// DirectoryModel: the grid's view of one data set, read block by block as the grid scrolls.
//
// Columns 0, 1 and 2 are the fields at positions 0, 1 and 2 (name, first phone, second phone);
// column 3 is the comment, kept for the preview line and hidden in the grid. Rows are read with
// TEngineDataSet::fetchRows in blocks of kBlockRows, each block after the last row held, so the
// model never holds more than the rows the grid has asked for. reload() starts again from the
// first row; the window calls it on the data set's OnDataChange.
//
// Invariant: the rows held are the first rowCount() acceptable rows of the data set in its
// current order as they were read; atEnd() once a block came back short.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace abonex {

class TEngineDataSet;
struct DataSetRow;

class DirectoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kBlockRows = 200;
    static constexpr int kColumns = 4;
    static constexpr int kCommentColumn = 3;

    explicit DirectoryModel(QObject* parent = nullptr);

    // Shows `dataSet` (nullptr: nothing) and reads its first block.
    void setDataSet(TEngineDataSet* dataSet);
    TEngineDataSet* dataSet() const { return m_dataSet; }
    // Captions of columns 0, 1 and 2.
    void setColumnCaptions(const QStringList& captions);
    QString columnCaption(int column) const;

    // Drops the rows held and reads the first block again. With `startAtCurrentRow` the caller
    // knows that the data set stands on its first row (it has just gone there), so the block
    // starts with that row instead of walking the filter from the top a second time.
    void reload(bool startAtCurrentRow = false);
    bool atEnd() const { return m_atEnd; }

    // The record number of `row` (0 when out of range).
    int recordAt(int row) const;
    // The number of rows the data set shows, counting those not read yet without holding them;
    // stops counting once it is past `limit` (the result is then limit + something).
    int countRows(int limit) const;
    // The row showing record `recordNumber`, reading further blocks until it is found or
    // `rowLimit` rows are held; -1 when not found.
    int rowOfRecord(int recordNumber, int rowLimit);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    // One row as read, kept in the engine's ANSI text: its fields one after another in `text`,
    // field i ending at ends[i]. Converted to Unicode only when the grid paints it, so a grid
    // scrolled through a large table stays small.
    struct Row {
        int recordNumber = 0;
        std::array<uint16_t, kColumns> ends{};
        std::string text;
        std::string_view field(int column) const;
    };
    static std::optional<Row> convert(const DataSetRow& source);
    // Reads up to `count` rows after the last one in `into`; returns how many came.
    int readBlock(std::vector<Row>& into, int count) const;

    TEngineDataSet* m_dataSet = nullptr;
    std::vector<Row> m_rows;
    bool m_atEnd = true;
    QStringList m_captions;
};

}  // namespace abonex
