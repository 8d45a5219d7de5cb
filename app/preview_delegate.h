// PreviewDelegate: paints the grid's rows, each a line of field texts with, while the preview is
// on, the row's comment on a second line beneath it.
//
// The comment line runs across the visible columns as one text: each cell paints the part of it
// that lies over the cell, so the text does not restart in every column. Its colours are the
// preview colours (swapped for the selected row); the first line uses the grid's own colours.
#pragma once

#include <QStyledItemDelegate>

namespace abonex {

class PreviewDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit PreviewDelegate(QObject* parent = nullptr);

    void setPreviewVisible(bool on) { m_preview = on; }
    bool previewVisible() const { return m_preview; }
    // The height of one grid row for `font`: the field line plus, with the preview, the
    // comment line.
    int rowHeight(const QFont& font) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Shows the grid's own hint wherever the pointer rests over it.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    static int fieldLineHeight(const QFont& font);

  private:
    bool m_preview = true;
};

}  // namespace abonex
