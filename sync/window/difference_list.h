// The list of differences on the synchronisation window's second page.
//
// DifferenceListModel holds the difference table: one row per entry, in the order found, each
// with a check box (checked when added). Column 0 is the source name, columns 1 and 2 the
// source phones trimmed at both ends, column 3 (hidden in the list) the detail line: the
// direction's text for the kind, then ">>>>><b>", the difference text and "</b>".
//
// DifferenceListDelegate paints a row as its field line and, while details are shown, the
// detail line under it in grey across the columns, indented, with its bold part in bold.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <vector>

#include "sync/difference.h"

namespace abonex {

// The detail line of an entry found in `direction` (markup as the list shows it).
QString detailLine(SyncDirection direction, const DifferenceEntry& entry);

// A caption or detail text with its markup: the text without the tags, and whether it held
// <b> and <center>.
struct MarkedText {
    QString text;
    bool bold = false;
    bool centred = false;
};
MarkedText parseMarkup(const QString& marked);

class DifferenceListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 4;
    static constexpr int kDetailColumn = 3;

    explicit DifferenceListModel(QObject* parent = nullptr);

    void clear();
    // Appends a checked row for each entry, with its detail line for `direction`.
    void append(const std::vector<DifferenceEntry>& entries, SyncDirection direction);
    const std::vector<DifferenceEntry>& entries() const { return m_entries; }
    const std::vector<bool>& checked() const { return m_checked; }
    // The rows checked now.
    int checkedCount() const { return m_checkedCount; }
    // Checks or unchecks every row.
    void setAllChecked(bool on);
    // The caption of the name column: what the compared table holds in its first field
    // ("Фамилия И.О.", "Организация", "Контакт").
    void setNameCaption(const QString& caption);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::vector<DifferenceEntry> m_entries;
    std::vector<bool> m_checked;
    std::vector<QString> m_details;
    int m_checkedCount = 0;
    QString m_nameCaption = QStringLiteral("Фамилия И.О.");

  signals:
    // The number of checked rows changed.
    void checkedCountChanged(int count);
};

class DifferenceListDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr int kRowHeightWithDetails = 52;
    static constexpr int kRowHeight = 18;
    static constexpr int kDetailIndent = 30;

    explicit DifferenceListDelegate(QObject* parent = nullptr);

    void setDetailsVisible(bool on) { m_details = on; }
    bool detailsVisible() const { return m_details; }
    int rowHeight() const { return m_details ? kRowHeightWithDetails : kRowHeight; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Check-box clicks are taken on the field line only.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

  private:
    bool m_details = true;
};

}  // namespace abonex
