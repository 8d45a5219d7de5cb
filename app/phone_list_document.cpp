// The phone list's layout: the pages are planned first (every row's height, then where each page
// begins), so that each foot can say how many pages there are, and painted after.
#include "app/phone_list_document.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QTextLayout>
#include <algorithm>
#include <memory>

namespace abonex {

namespace {

// Shares of the page's width: on A4 between the usual margins, at the body's size, the widest
// name (30 characters) and the widest phones (15 characters) keep to one line; the comment, which
// holds up to 250 characters, wraps in what is left.
constexpr std::array<double, PhoneListDocument::kColumns> kColumnShare{0.36, 0.17, 0.17, 0.30};
constexpr double kBodyPoints = 9;
constexpr double kTitlePoints = 13;

QFont fontOf(double points, bool bold) {
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// One cell's text laid out in a column: a text that fits on one line is kept as it is and
// drawn directly (most cells are such); a longer one is broken at words (inside a word only when
// it is wider than the column) by a layout that is drawn as it was laid out, so no text is
// shaped twice.
class Cell {
  public:
    Cell(const QString& text, const QFont& font, const QFontMetricsF& metrics, QPaintDevice* device,
         double width)
        : m_text(text) {
        if (text.isEmpty() || (!text.contains(u'\n') && metrics.horizontalAdvance(text) <= width)) {
            m_lines = text.isEmpty() ? 0 : 1;
            return;
        }
        QString flat = text;
        flat.replace(u'\n', QChar::LineSeparator);
        m_layout = std::make_unique<QTextLayout>(flat, font, device);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout->setTextOption(option);
        m_layout->setCacheEnabled(true);
        m_layout->beginLayout();
        double y = 0;
        for (QTextLine line = m_layout->createLine(); line.isValid();
             line = m_layout->createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += metrics.lineSpacing();
            ++m_lines;
        }
        m_layout->endLayout();
    }
    int lines() const { return m_lines; }
    void draw(QPainter& painter, const QFontMetricsF& metrics, const QPointF& at) const {
        if (m_layout) {
            m_layout->draw(&painter, at);
        } else if (m_lines > 0) {
            painter.drawText(QPointF(at.x(), at.y() + metrics.ascent()), m_text);
        }
    }

  private:
    QString m_text;
    std::unique_ptr<QTextLayout> m_layout;
    int m_lines = 0;
};

double linesHeight(const QFontMetricsF& metrics, int lines) {
    return std::max(lines, 1) * metrics.lineSpacing();
}

}  // namespace

void PhoneListDocument::setHeading(const QString& title, const QString& search) {
    m_title = title;
    m_search = search;
}

int PhoneListDocument::print(QPagedPaintDevice& device) const {
    QPainter painter;
    if (!painter.begin(&device)) return 0;
    const QFont body = fontOf(kBodyPoints, false);
    const QFont bold = fontOf(kBodyPoints, true);
    const QFont titleFont = fontOf(kTitlePoints, true);
    const QFontMetricsF bodyMetrics(body, &device);
    const QFontMetricsF boldMetrics(bold, &device);
    const QFontMetricsF titleMetrics(titleFont, &device);

    const double pageWidth = device.width();
    const double pageHeight = device.height();
    const double line = bodyMetrics.lineSpacing();
    const double padding = line * 0.2;
    const double gap = bodyMetrics.averageCharWidth();
    std::array<double, kColumns> left{};
    std::array<double, kColumns> width{};
    double x = 0;
    for (int c = 0; c < kColumns; ++c) {
        left[c] = x;
        width[c] = kColumnShare[c] * pageWidth - (c + 1 < kColumns ? gap : 0);
        x += kColumnShare[c] * pageWidth;
    }
    const double rowsBottom = pageHeight - line * 1.6;  // the foot below
    const QPen rule(Qt::gray, std::max(1.0, line / 20));
    const QPen ink(Qt::black);
    double y = 0;
    int page = 1;

    auto rowsStart = [&] {
        painter.setClipping(false);
        painter.setPen(ink);
        painter.setFont(bold);
        double captionsHeight = 0;
        for (int c = 0; c < kColumns; ++c) {
            const Cell caption(m_captions[c], bold, boldMetrics, &device, width[c]);
            caption.draw(painter, boldMetrics, QPointF(left[c], y + padding));
            captionsHeight = std::max(captionsHeight, linesHeight(boldMetrics, caption.lines()));
        }
        y += captionsHeight + 2 * padding;
        painter.setPen(rule);
        painter.drawLine(QPointF(0, y), QPointF(pageWidth, y));
        painter.setFont(body);
        // A row taller than the whole page is cut at the foot rather than painted over it.
        painter.setClipRect(QRectF(0, 0, pageWidth, rowsBottom));
    };
    auto foot = [&] {
        painter.setClipping(false);
        painter.setPen(ink);
        const QRectF area(0, pageHeight - line, pageWidth, line);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignBottom,
                         bodyMetrics.elidedText(m_title, Qt::ElideRight, pageWidth * 0.7));
        painter.drawText(
            area, Qt::AlignRight | Qt::AlignBottom,
            QCoreApplication::translate("abonex::PhoneListDocument", "Страница %1").arg(page));
    };

    // The heading, on the first page.
    painter.setPen(ink);
    painter.setFont(titleFont);
    const Cell title(m_title, titleFont, titleMetrics, &device, pageWidth);
    title.draw(painter, titleMetrics, QPointF(0, 0));
    y += linesHeight(titleMetrics, title.lines());
    painter.setFont(body);
    const Cell search(m_search, body, bodyMetrics, &device, pageWidth);
    search.draw(painter, bodyMetrics, QPointF(0, y));
    y += linesHeight(bodyMetrics, search.lines()) + line * 0.6;
    rowsStart();
    if (m_rows.empty()) {
        painter.setPen(ink);
        Cell(QCoreApplication::translate("abonex::PhoneListDocument", "Нет записей"), body,
             bodyMetrics, &device, pageWidth)
            .draw(painter, bodyMetrics, QPointF(0, y + padding));
    }

    bool pageHasRows = false;
    for (const PhoneListRow& row : m_rows) {
        const std::array<Cell, kColumns> cells{
            Cell(row.name, body, bodyMetrics, &device, width[0]),
            Cell(row.phone1, body, bodyMetrics, &device, width[1]),
            Cell(row.phone2, body, bodyMetrics, &device, width[2]),
            Cell(row.comment, body, bodyMetrics, &device, width[3])};
        int lines = 1;
        for (const Cell& cell : cells) lines = std::max(lines, cell.lines());
        const double height = linesHeight(bodyMetrics, lines) + 2 * padding;
        if (y + height > rowsBottom && pageHasRows) {
            foot();
            device.newPage();
            ++page;
            y = 0;
            rowsStart();
            pageHasRows = false;
        }
        painter.setPen(ink);
        for (int c = 0; c < kColumns; ++c) {
            cells[c].draw(painter, bodyMetrics, QPointF(left[c], y + padding));
        }
        y += height;
        painter.setPen(rule);
        painter.drawLine(QPointF(0, y), QPointF(pageWidth, y));
        pageHasRows = true;
    }
    foot();
    painter.end();
    return page;
}

}  // namespace abonex
