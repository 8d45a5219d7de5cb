// PhoneListDocument: rows of the directory laid out as a printed phone list — a heading (the
// table and the search that chose the rows), the column captions on every page, one line or more
// per row (name, first phone, second phone, comment; a text wider than its column wraps, nothing
// is cut) and the table and the page number at the foot of each page. The pages are laid out and
// painted row by row, so a long list costs no more memory than its rows.
//
// It needs no widgets: it paints onto any QPagedPaintDevice (a QPrinter, the preview's printer, a
// QPdfWriter), so the same layout is what the preview shows, what a printer gets and what a PDF
// file holds. The rows are given in the order they are printed.
//
// Invariant: every row added is painted exactly once, whole, on one page (a row taller than a
// page is the only one on its page and cut at its foot).
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class QPagedPaintDevice;

namespace abonex {

struct PhoneListRow {
    QString name;
    QString phone1;
    QString phone2;
    QString comment;
};

class PhoneListDocument {
  public:
    static constexpr int kColumns = 4;
    // The margins a new page setup starts with, in millimetres (the printer dialog may change
    // them; the list fills whatever the device leaves between its margins).
    static constexpr double kMarginMm = 15;

    // The heading: `title` names the table, `search` says which rows it shows.
    void setHeading(const QString& title, const QString& search);
    const QString& title() const { return m_title; }
    // The captions of the name, phone, phone and comment columns.
    void setCaptions(const std::array<QString, kColumns>& captions) { m_captions = captions; }
    void addRow(PhoneListRow row) { m_rows.push_back(std::move(row)); }
    int rowCount() const { return static_cast<int>(m_rows.size()); }

    // Paints the list onto `device`, starting on its current page and adding pages as the rows
    // need; returns the number of pages, or 0 when the device cannot be painted on (a PDF file
    // that cannot be written).
    int print(QPagedPaintDevice& device) const;

  private:
    QString m_title;
    QString m_search;
    std::array<QString, kColumns> m_captions{QStringLiteral("Абонент"), QStringLiteral("телефон 1"),
                                             QStringLiteral("телефон 2"),
                                             QStringLiteral("Комментарий")};
    std::vector<PhoneListRow> m_rows;
};

}  // namespace abonex
