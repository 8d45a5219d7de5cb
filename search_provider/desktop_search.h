// DesktopSearch: what the desktop's own search box (GNOME Shell's overview, KDE's KRunner) finds
// in the directory: up to ten rows of persons and organisations for the words typed.
//
// Words of digits (and "-") are the phone, the others, joined by blanks, the name; both are
// searched at the start, as the window's default, with the window's variants when the search
// as typed finds nothing (search_variants.h). The persons and the organisations share the ten
// rows: each gets at least half of them when it has that many. A row is known by an id that
// names its table and record ("P:123", "O:45"), so the desktop can ask for it again and open
// it; what a row shows is kept from the search that found it, and read from the table for an
// id of an earlier run.
//
// The tables are opened read-only on first use and stay open; every search sees what other
// copies of the program have written meanwhile. A table that cannot be opened (missing,
// damaged, locked) gives no rows; nothing here raises to the caller. Widget-free and Qt-free.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/search_filter.h"
#include "engine/dataset/engine_dataset.h"

namespace abonex {

struct DesktopRow {
    std::string id;  // "P:123" (persons) or "O:45" (organisations)
    DirectoryMode mode = DirectoryMode::Persons;
    int record = 0;     // record number in its table
    std::string name;   // UTF-8, as stored
    std::string phone;  // the first phone, else the second (UTF-8)
    std::string note;  // the variant that found it ("Найдено по раскладке: Петров"), or ""

    // "name — phone", or the name alone when the row has no phone.
    std::string title() const;
};

class DesktopSearch {
  public:
    static constexpr size_t kMaxRows = 10;

    // `folder` ends in "/".
    explicit DesktopSearch(std::string folder);
    ~DesktopSearch();

    const std::string& folder() const { return m_folder; }
    // The table file's path in the folder, as the program names it.
    std::string tablePath(DirectoryMode mode) const;

    // The rows for the words typed; none for words that hold no letter or digit or a
    // character the tables' code pages cannot hold.
    std::vector<DesktopRow> find(const std::vector<std::string>& words);
    // The row an id names: as the last search that found it showed it, else as the table
    // holds it now; none for an id that names no live record.
    std::optional<DesktopRow> row(std::string_view id);

    // Why the last table open failed ("" when none did), for the program's log.
    const std::string& lastError() const { return m_lastError; }

  private:
    struct Table {
        TEngineDataSet set;
        SearchCriteria live;
        bool tried = false;
    };
    Table* open(DirectoryMode mode);
    // Before a search: rebuilds the index files of the table when they no longer describe it
    // (another program appended rows, changed rows in place or saved the table anew) and opens
    // the table again. Raises the rebuild's errors.
    void bringIndexUpToDate(DirectoryMode mode, Table& table);
    std::vector<DesktopRow> search(DirectoryMode mode, const SearchCriteria& typed, size_t limit);
    DesktopRow rowFrom(DirectoryMode mode, const DataSetRow& data) const;

    std::string m_folder;
    std::map<DirectoryMode, std::unique_ptr<Table>> m_tables;
    std::map<std::string, DesktopRow, std::less<>> m_shown;
    std::string m_lastError;
};

// The words of a query as the desktop hands them over: split at blanks.
std::vector<std::string> queryWords(std::string_view query);

}  // namespace abonex
