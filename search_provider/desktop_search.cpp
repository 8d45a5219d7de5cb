#include "search_provider/desktop_search.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "directory/index_rebuild.h"
#include "directory/search_variants.h"
#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"

namespace abonex {

namespace {

// Rows remembered for the desktop's later questions; the oldest are forgotten past this.
constexpr size_t kRememberedRows = 1000;

char idLetter(DirectoryMode mode) {
    return mode == DirectoryMode::Persons ? 'P' : 'O';
}

bool isPhoneWord(std::string_view word) {
    bool digit = false;
    for (char c : word) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c != '-') {
            return false;
        }
    }
    return digit;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

}  // namespace

std::string DesktopRow::title() const {
    return phone.empty() ? name : name + " — " + phone;
}

std::vector<std::string> queryWords(std::string_view query) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < query.size()) {
        const size_t start = query.find_first_not_of(" \t\n", at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(query.find_first_of(" \t\n", start), query.size());
        words.emplace_back(query.substr(start, end - start));
        at = end;
    }
    return words;
}

DesktopSearch::DesktopSearch(std::string folder) : m_folder(std::move(folder)) {}

DesktopSearch::~DesktopSearch() = default;

std::string DesktopSearch::tablePath(DirectoryMode mode) const {
    return m_folder + std::string(directoryTable(mode).tableFile);
}

DesktopSearch::Table* DesktopSearch::open(DirectoryMode mode) {
    std::unique_ptr<Table>& table = m_tables[mode];
    if (table && table->set.Active()) return table.get();
    table = std::make_unique<Table>();
    const DirectoryTable& definition = directoryTable(mode);
    TEngineDataSet& set = table->set;
    SearchCriteria& live = table->live;
    set.setDatabaseName(m_folder);
    set.setTableName(definition.tableFile);
    set.setIndexFiles({std::string(definition.indexFile)});
    set.setIndexName(definition.tagName);
    set.setLockProtocol(definition.protocol);
    set.setReadOnly(true);
    attachSearch(set, live);
    try {
        set.Open();
        // Rows that another program appended, renamed in place or saved anew would be missed
        // or shown out of place through an index that no longer describes the table.
        if (set.IndexDisagreesWithTable(IndexLook::Samples)) {
            set.Close();
            rebuildDirectoryIndex(m_folder, mode);
            set.Open();
        }
    } catch (const std::exception& error) {
        m_lastError = error.what();
        table.reset();
        return nullptr;
    }
    return table.get();
}

void DesktopSearch::bringIndexUpToDate(DirectoryMode mode, Table& table) {
    TEngineDataSet& set = table.set;
    if (set.IndexHoldsAppendedRows() && !set.TakeRowDisagreement() &&
        !set.IndexDisagreesWithTable(IndexLook::Marks)) {
        return;
    }
    // The set reads only; the rebuild opens the table for writing, under the locks every
    // rebuild takes, and the set reads the rebuilt files once it is opened again.
    set.Close();
    rebuildDirectoryIndex(m_folder, mode);
    set.Open();
}

DesktopRow DesktopSearch::rowFrom(DirectoryMode mode, const DataSetRow& data) const {
    DesktopRow row;
    row.mode = mode;
    row.record = data.recordNumber;
    row.id = std::string(1, idLetter(mode)) + ":" + std::to_string(data.recordNumber);
    row.name = ansiToUtf8(data.values.at(kFieldName));
    const std::string& first = data.values.at(kFieldPhone1);
    row.phone = ansiToUtf8(first.empty() ? data.values.at(kFieldPhone2) : first);
    return row;
}

std::vector<DesktopRow> DesktopSearch::search(DirectoryMode mode, const SearchCriteria& typed,
                                              size_t limit) {
    Table* table = open(mode);
    if (table == nullptr) return {};
    std::vector<DesktopRow> rows;
    try {
        TEngineDataSet& set = table->set;
        bringIndexUpToDate(mode, *table);
        const SearchAttempt used = searchWithVariants(set, table->live, typed);
        if (set.Eof()) return {};
        std::vector<DataSetRow> found{set.currentRow()};
        for (DataSetRow& more : set.fetchRows(set.RecNo(), static_cast<int>(limit) - 1)) {
            found.push_back(std::move(more));
        }
        for (const DataSetRow& data : found) {
            // An index entry whose record another program cut away shows no row.
            if (data.recordNumber == 0 || data.values.size() <= kFieldPhone2) continue;
            rows.push_back(rowFrom(mode, data));
            rows.back().note = searchNote(used);
        }
    } catch (const std::exception& error) {
        m_lastError = error.what();
        // The table is opened anew for the next search.
        m_tables.erase(mode);
        return {};
    }
    return rows;
}

std::vector<DesktopRow> DesktopSearch::find(const std::vector<std::string>& words) {
    std::vector<std::string> nameWords, phoneWords;
    for (const std::string& word : words)
        (isPhoneWord(word) ? phoneWords : nameWords).push_back(word);
    const std::optional<std::string> name = utf8ToAnsi(joined(nameWords));
    const std::optional<std::string> phone = utf8ToAnsi(joined(phoneWords));
    if (!name || !phone || (name->empty() && phone->empty())) return {};
    const SearchCriteria typed{*name, *phone, true};

    std::vector<DesktopRow> persons = search(DirectoryMode::Persons, typed, kMaxRows);
    std::vector<DesktopRow> organisations = search(DirectoryMode::Organisations, typed, kMaxRows);
    // Each kind keeps at least half of the rows when it has that many; the other fills the rest.
    const size_t half = kMaxRows / 2;
    const size_t personsShown = std::min(
        persons.size(), std::max(half, kMaxRows - std::min(kMaxRows, organisations.size())));
    persons.resize(personsShown);
    organisations.resize(std::min(organisations.size(), kMaxRows - personsShown));
    std::vector<DesktopRow> rows = std::move(persons);
    rows.insert(rows.end(), organisations.begin(), organisations.end());

    if (m_shown.size() + rows.size() > kRememberedRows) m_shown.clear();
    for (const DesktopRow& row : rows) m_shown[row.id] = row;
    return rows;
}

std::optional<DesktopRow> DesktopSearch::row(std::string_view id) {
    if (const auto known = m_shown.find(id); known != m_shown.end()) return known->second;
    if (id.size() < 3 || id[1] != ':' || (id[0] != 'P' && id[0] != 'O')) return std::nullopt;
    int record = 0;
    const char* end = id.data() + id.size();
    const auto parsed = std::from_chars(id.data() + 2, end, record);
    if (parsed.ec != std::errc() || parsed.ptr != end || record < 1) return std::nullopt;
    const DirectoryMode mode = id[0] == 'P' ? DirectoryMode::Persons : DirectoryMode::Organisations;
    Table* table = open(mode);
    if (table == nullptr) return std::nullopt;
    try {
        TEngineDataSet& set = table->set;
        set.GotoRecNo(record);
        if (set.handler()->isDeleted()) return std::nullopt;
        DataSetRow data;
        data.recordNumber = record;
        for (int i = 0; i < set.FieldCount(); ++i) data.values.push_back(set.Fields(i).AsString());
        if (data.values.size() <= kFieldPhone2) return std::nullopt;
        return rowFrom(mode, data);
    } catch (const std::exception& error) {
        m_lastError = error.what();
        return std::nullopt;
    }
}

}  // namespace abonex
