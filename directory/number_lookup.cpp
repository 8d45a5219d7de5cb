#include "directory/number_lookup.h"

#include <algorithm>

#include "directory/search_filter.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"

namespace abonex {

namespace {

// A number within the country: the area code and the local number.
constexpr std::size_t kNationalDigits = 10;
// The same after +7 or the trunk prefix 8.
constexpr std::size_t kPrefixedDigits = 11;

int rank(DirectoryMode mode) {
    const std::vector<DirectoryMode>& order = NumberLookup::scanOrder();
    return static_cast<int>(std::find(order.begin(), order.end(), mode) - order.begin());
}

}  // namespace

NumberLookup::NumberLookup(std::string_view number, std::string_view townCode)
    : m_townCode(digitsOf(townCode)), m_forms(formsOf(digitsOf(number))) {}

const std::vector<DirectoryMode>& NumberLookup::scanOrder() {
    static const std::vector<DirectoryMode> order{
        DirectoryMode::Favourites, DirectoryMode::Organisations, DirectoryMode::Persons};
    return order;
}

template <typename Take>
void NumberLookup::formViews(std::string_view digits, const Take& take) const {
    if (digits.empty()) return;
    take(digits);
    std::string_view national = digits;
    if (digits.size() == kPrefixedDigits && (digits[0] == '7' || digits[0] == '8')) {
        national = digits.substr(1);
        take(national);
    }
    if (national.size() == kNationalDigits && !m_townCode.empty() &&
        m_townCode.size() < national.size() && national.starts_with(m_townCode)) {
        take(national.substr(m_townCode.size()));
    }
}

std::vector<std::string> NumberLookup::formsOf(std::string_view digits) const {
    std::vector<std::string> forms;
    formViews(digits, [&forms](std::string_view form) { forms.emplace_back(form); });
    return forms;
}

std::size_t NumberLookup::match(std::string_view storedPhone) const {
    if (m_forms.empty()) return 0;
    // A phone field holds a few dozen characters at most; a longer text is no phone number.
    constexpr std::size_t kMaxDigits = 32;
    char digits[kMaxDigits];
    std::size_t count = 0;
    for (char c : storedPhone) {
        if (c < '0' || c > '9') continue;
        if (count == kMaxDigits) return 0;
        digits[count++] = c;
    }
    std::size_t longest = 0;
    formViews(std::string_view(digits, count), [&](std::string_view form) {
        if (form.size() <= longest) return;
        for (const std::string& wanted : m_forms) {
            if (wanted == form) longest = form.size();
        }
    });
    return longest;
}

void NumberLookup::scan(TEngineDataSet& set, DirectoryMode mode) {
    if (m_forms.empty() || set.FieldCount() <= kFieldPhone2) return;
    for (set.First(); !set.Eof(); set.Next()) {
        NumberMatch found;
        for (const int field : {kFieldPhone1, kFieldPhone2}) {
            // Digits are the same bytes in every code page the tables are kept in.
            const std::size_t digits = match(set.storedFieldText(field));
            if (digits > found.digits) {
                found.digits = digits;
                found.field = field;
            }
        }
        if (found.digits == 0) continue;
        found.mode = mode;
        found.record = set.RecNo();
        std::string* texts[] = {&found.row.name, &found.row.phone1, &found.row.phone2,
                                &found.row.comment};
        for (int i = 0; i < 4 && i < set.FieldCount(); ++i) {
            *texts[i] = ansiToUtf8(set.Fields(i).AsString());
        }
        m_found.push_back(std::move(found));
    }
}

int NumberLookup::scanFolder(std::string_view folder) {
    int scanned = 0;
    for (const DirectoryMode mode : scanOrder()) {
        const DirectoryTable& table = directoryTable(mode);
        if (!fileExistsAnyCase(std::string(folder) + std::string(table.tableFile))) continue;
        TEngineDataSet set;
        set.setDatabaseName(folder);
        set.setTableName(table.tableFile);
        set.setLockProtocol(table.protocol);
        set.setReadOnly(true);
        set.Open();
        scan(set, mode);
        ++scanned;
    }
    return scanned;
}

std::vector<NumberMatch> NumberLookup::matches() const {
    std::size_t longest = 0;
    for (const NumberMatch& found : m_found) longest = std::max(longest, found.digits);
    std::vector<NumberMatch> best;
    for (const NumberMatch& found : m_found) {
        if (found.digits == longest) best.push_back(found);
    }
    std::stable_sort(best.begin(), best.end(), [](const NumberMatch& a, const NumberMatch& b) {
        if (a.mode != b.mode) return rank(a.mode) < rank(b.mode);
        return a.record < b.record;
    });
    return best;
}

}  // namespace abonex
