#include "app/preview_delegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QTableView>
#include <QToolTip>

#include "app/directory_model.h"
#include "ui/windows_color.h"

namespace abonex {

namespace {
constexpr int kTextIndent = 3;
const QColor kGridLine(0xC0, 0xC0, 0xC0);
}  // namespace

PreviewDelegate::PreviewDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

int PreviewDelegate::fieldLineHeight(const QFont& font) {
    return QFontMetrics(font).height() + 4;
}

int PreviewDelegate::rowHeight(const QFont& font) const {
    const int line = fieldLineHeight(font);
    return m_preview ? line + QFontMetrics(font).height() + 2 : line;
}

void PreviewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QRect cell = option.rect;
    const int lineHeight = fieldLineHeight(option.font);
    const QRect fieldRect(cell.left(), cell.top(), cell.width(),
                          m_preview ? lineHeight : cell.height());

    // The field line.
    const QPalette& palette = option.palette;
    painter->fillRect(
        fieldRect, selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
    painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                             : palette.color(QPalette::Text));
    painter->setFont(option.font);
    const QRect textRect = fieldRect.adjusted(kTextIndent, 0, -kTextIndent, 0);
    const QString text =
        option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->setPen(kGridLine);
    painter->drawLine(fieldRect.topRight(), fieldRect.bottomRight());

    // The comment line, one text across the columns.
    if (m_preview) {
        const QRect previewRect(cell.left(), fieldRect.bottom() + 1, cell.width(),
                                cell.bottom() - fieldRect.bottom());
        const QColor background = windowsColor(selected ? kPreviewText : kPreviewBackground);
        const QColor foreground = windowsColor(selected ? kPreviewBackground : kPreviewText);
        painter->fillRect(previewRect, background);
        int rowLeft = cell.left();
        if (const auto* table = qobject_cast<const QTableView*>(option.widget)) {
            rowLeft = table->columnViewportPosition(0);
        }
        const QString comment =
            index.siblingAtColumn(DirectoryModel::kCommentColumn).data().toString();
        if (!comment.isEmpty()) {
            painter->setClipRect(previewRect);
            painter->setPen(foreground);
            const QRect commentRect(rowLeft + 4 * kTextIndent, previewRect.top(),
                                    cell.right() - rowLeft, previewRect.height());
            painter->drawText(commentRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              comment);
            painter->setClipping(false);
        }
    }
    painter->setPen(kGridLine);
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    painter->restore();
}

bool PreviewDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && view != nullptr && !view->toolTip().isEmpty()) {
        QToolTip::showText(event->globalPos(), view->toolTip(), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace abonex
