#include "sync/window/difference_list.h"

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QTreeView>
#include <algorithm>

#include "ui/text_codec.h"

namespace abonex {

namespace {

const QColor kDetailText(0x80, 0x80, 0x80);
const QColor kSelectedDetailText(0xE8, 0xE8, 0xE8);  // grey that stays legible on the selection
const QColor kSeparator(0xD0, 0xD0, 0xD0);

const char* const kColumnCaptions[] = {
    QT_TRANSLATE_NOOP("abonex::DifferenceListModel", "<b>Фамилия И.О.</b>"),
    QT_TRANSLATE_NOOP("abonex::DifferenceListModel", "<center><b>телефон 1</b></center>"),
    QT_TRANSLATE_NOOP("abonex::DifferenceListModel", "<center><b>телефон 2</b></center>"),
};

const char* kindPrefix(SyncDirection direction, DifferenceKind kind) {
    const bool import = direction == SyncDirection::Import;
    switch (kind) {
        case DifferenceKind::Phone1:
            return import ? QT_TRANSLATE_NOOP(
                                "abonex::DifferenceListModel",
                                "Номер телефона 1 во внешней таблице не совпадает с номером, "
                                "имеющимся в базе.")
                          : QT_TRANSLATE_NOOP(
                                "abonex::DifferenceListModel",
                                "Номер телефона 1 в Вашей базе не совпадает с номером во внешней "
                                "таблице.");
        case DifferenceKind::Phone2:
            return import ? QT_TRANSLATE_NOOP(
                                "abonex::DifferenceListModel",
                                "Номер телефона 2 во внешней таблице не совпадает с номером, "
                                "имеющимся в базе.")
                          : QT_TRANSLATE_NOOP(
                                "abonex::DifferenceListModel",
                                "Номер телефона 2 в Вашей базе не совпадает с номером во внешней "
                                "таблице.");
        case DifferenceKind::Missing:
            break;
    }
    return import ? QT_TRANSLATE_NOOP("abonex::DifferenceListModel",
                                      "Данная запись в Вашей базе отсутствует.")
                  : QT_TRANSLATE_NOOP("abonex::DifferenceListModel",
                                      "Данная запись во внешней таблице отсутствует.");
}

QString differenceText(const DifferenceEntry& entry) {
    QString text;
    switch (entry.kind) {
        case DifferenceKind::Phone1:
            text = fromAnsi(entry.target.phone1);
            break;
        case DifferenceKind::Phone2:
            text = fromAnsi(entry.target.phone2);
            break;
        case DifferenceKind::Missing:
            break;
    }
    // A phone the other table leaves blank reads as nothing after the arrows otherwise.
    return text.trimmed().isEmpty() ? DifferenceListModel::tr(" (пусто) ") : text;
}

// The markup as rich text: every character shown as it is, except the tags the list knows.
QString markupToHtml(const QString& marked) {
    QString html = marked.toHtmlEscaped();
    for (const char* tag : {"b", "/b"}) {
        html.replace(QStringLiteral("&lt;%1&gt;").arg(QLatin1String(tag)),
                     QStringLiteral("<%1>").arg(QLatin1String(tag)));
    }
    return html;
}

}  // namespace

QString detailLine(SyncDirection direction, const DifferenceEntry& entry) {
    return DifferenceListModel::tr(kindPrefix(direction, entry.kind)) + QStringLiteral(">>>>><b>") +
           differenceText(entry) + QStringLiteral("</b>");
}

MarkedText parseMarkup(const QString& marked) {
    MarkedText result;
    result.text = marked;
    for (const char* tag : {"<b>", "</b>"}) {
        if (result.text.contains(QLatin1String(tag))) result.bold = true;
        result.text.remove(QLatin1String(tag));
    }
    for (const char* tag : {"<center>", "</center>"}) {
        if (result.text.contains(QLatin1String(tag))) result.centred = true;
        result.text.remove(QLatin1String(tag));
    }
    return result;
}

// ---------------------------------------------------------------------------------------------

DifferenceListModel::DifferenceListModel(QObject* parent) : QAbstractTableModel(parent) {}

void DifferenceListModel::clear() {
    beginResetModel();
    m_entries.clear();
    m_checked.clear();
    m_details.clear();
    m_checkedCount = 0;
    endResetModel();
    emit checkedCountChanged(0);
}

void DifferenceListModel::append(const std::vector<DifferenceEntry>& entries,
                                 SyncDirection direction) {
    if (entries.empty()) return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(entries.size()) - 1);
    for (const DifferenceEntry& entry : entries) {
        m_entries.push_back(entry);
        m_checked.push_back(true);
        m_details.push_back(detailLine(direction, entry));
    }
    m_checkedCount += static_cast<int>(entries.size());
    endInsertRows();
    emit checkedCountChanged(m_checkedCount);
}

int DifferenceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int DifferenceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DifferenceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<size_t>(index.row());
    const DifferenceEntry& entry = m_entries[row];
    if (role == Qt::CheckStateRole && index.column() == 0) {
        return m_checked[row] ? Qt::Checked : Qt::Unchecked;
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case 0:
            return fromAnsi(entry.source.name);
        case 1:
            return fromAnsi(trimmedText(entry.source.phone1));
        case 2:
            return fromAnsi(trimmedText(entry.source.phone2));
        default:
            return m_details[row];
    }
}

bool DifferenceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
    const bool on = value.value<Qt::CheckState>() == Qt::Checked || value.toInt() == Qt::Checked;
    auto checked = m_checked.begin() + index.row();
    if (*checked != on) {
        *checked = on;
        m_checkedCount += on ? 1 : -1;
        emit checkedCountChanged(m_checkedCount);
    }
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void DifferenceListModel::setAllChecked(bool on) {
    std::fill(m_checked.begin(), m_checked.end(), on);
    m_checkedCount = on ? static_cast<int>(m_checked.size()) : 0;
    if (!m_checked.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    }
    emit checkedCountChanged(m_checkedCount);
}

void DifferenceListModel::setNameCaption(const QString& caption) {
    m_nameCaption = caption;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

Qt::ItemFlags DifferenceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant DifferenceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= 3) return {};
    MarkedText caption = parseMarkup(tr(kColumnCaptions[section]));
    if (section == 0) caption.text = m_nameCaption;
    switch (role) {
        case Qt::DisplayRole:
            return caption.text;
        case Qt::FontRole: {
            QFont font = QApplication::font();
            font.setBold(caption.bold);
            return font;
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(
                caption.centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

// ---------------------------------------------------------------------------------------------

DifferenceListDelegate::DifferenceListDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize DifferenceListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight()};
}

void DifferenceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    painter->save();
    const QRect cell = option.rect;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& palette = option.palette;
    painter->fillRect(cell, selected ? palette.color(QPalette::Active, QPalette::Highlight)
                                     : palette.color(QPalette::Base));

    QStyleOptionViewItem line = option;
    line.rect.setHeight(kRowHeight);
    QStyledItemDelegate::paint(painter, line, index);

    if (m_details) {
        const QRect detailRect(cell.left(), cell.top() + kRowHeight, cell.width(),
                               cell.height() - kRowHeight - 1);
        // The detail line runs across the columns as one text: each cell paints the part of it
        // that lies over the cell.
        int rowLeft = cell.left();
        int rowWidth = cell.width();
        if (const auto* view = qobject_cast<const QTreeView*>(option.widget)) {
            const QHeaderView* header = view->header();
            rowLeft = header->sectionViewportPosition(0);
            rowWidth = 0;
            for (int column = 0; column < header->count(); ++column) {
                if (!header->isSectionHidden(column)) rowWidth += header->sectionSize(column);
            }
        }
        QTextDocument document;
        document.setDefaultFont(option.font);
        document.setDocumentMargin(0);
        document.setHtml(markupToHtml(
            index.siblingAtColumn(DifferenceListModel::kDetailColumn).data().toString()));
        document.setTextWidth(std::max(1, rowWidth - kDetailIndent - 4));
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, selected ? kSelectedDetailText : kDetailText);
        painter->save();
        painter->setClipRect(detailRect);
        painter->translate(rowLeft + kDetailIndent, detailRect.top() + 1);
        document.documentLayout()->draw(painter, context);
        painter->restore();
        painter->setPen(kSeparator);
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    }
    painter->restore();
}

bool DifferenceListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                         const QStyleOptionViewItem& option,
                                         const QModelIndex& index) {
    QStyleOptionViewItem line = option;
    line.rect.setHeight(kRowHeight);
    return QStyledItemDelegate::editorEvent(event, model, line, index);
}

}  // namespace abonex
