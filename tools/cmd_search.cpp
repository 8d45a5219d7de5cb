// abonex-db search TABLE [--name TEXT] [--phone TEXT] [--anywhere] [--limit N]: the rows the main
// window shows for that search, in name order, as UTF-8 CSV; with --limit, the first N of them.
// Like grep, the exit status tells whether anything was found; an index that names a record the
// table does not hold, or one that lacks keys of the table's records, is an error. When the
// search as typed finds nothing, the searches it may have been meant as are tried as the window
// tries them (Е and Ё as one letter, the other keyboard layout, Latin spellings, phone digits),
// and stderr says which one found the rows.
//
// The search goes the window's way: the name tag's keys are tested before any record is read,
// and a search at the start of the name seeks to the keys that can match, so the time it takes
// follows the rows it prints.
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <iostream>
#include <limits>
#include <stdexcept>

#include "directory/search_filter.h"
#include "directory/search_variants.h"
#include "engine/dbf/codepage.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "search TABLE [--name TEXT] [--phone TEXT] [--anywhere] [--limit N]";
constexpr int kExitNoneFound = 1;
constexpr int kExitSearchFailed = 3;
constexpr std::string_view kExitStatus = "0 rows found, 1 none found, 2 usage error, 3 error";

// `limit` < 0: every row.
int search(const TableLocation& location, const SearchCriteria& typed, long limit) {
    // The search the filter applies: the one as typed, or the variant that found rows.
    SearchCriteria live = typed;
    TEngineDataSet set;
    attachSearch(set, live);
    // Opened unfiltered, so that only switching the filter on below walks to the first row.
    openTable(set, location, defaultOrderTag(location), /*translate=*/true, /*readOnly=*/true);
    // A row another program appended without its key could never be found.
    requireIndexMatchesTable(set, IndexLook::Samples);
    std::vector<std::string> header;
    for (int i = 0; i < set.FieldCount(); ++i) header.push_back(set.Fields(i).FieldName());
    std::cout << csvLine(header);
    long rows = 0;
    if (limit != 0) {
        const SearchAttempt used = searchWithVariants(set, live, typed);
        if (!set.Eof() && used.variant != SearchVariant::AsTyped) {
            std::cerr << searchNote(used) << '\n';
        }
    }
    // The rows go out in large writes straight to standard output; those gathered go out
    // before an error is told. A write that fails (a full disk) fails the search.
    struct RowOutput {
        std::string text;
        void flush() {
            std::cout.flush();
            for (size_t at = 0; at < text.size();) {
                const ssize_t wrote = ::write(STDOUT_FILENO, text.data() + at, text.size() - at);
                if (wrote < 0 && errno == EINTR) continue;
                if (wrote <= 0) {
                    const int error = wrote < 0 ? errno : EIO;
                    text.clear();
                    throw std::runtime_error(outputWriteError(error));
                }
                at += static_cast<size_t>(wrote);
            }
            text.clear();
        }
        ~RowOutput() {
            try {
                flush();
            } catch (const std::exception&) {
                // Only after another error, which is the one told.
            }
        }
    } output;
    constexpr size_t kOutputChunk = size_t{1} << 16;
    // Each field's stored bytes go into UTF-8 with one lookup a byte, as AsString and
    // ansiToUtf8 would give them.
    std::vector<Utf8Table> toUtf8;
    for (int i = 0; i < set.FieldCount(); ++i) toUtf8.emplace_back(set.fieldTranslation(i));
    std::vector<std::string> values(toUtf8.size());
    while (limit != 0 && !set.Eof()) {
        requireRowInTable(set);
        for (size_t i = 0; i < values.size(); ++i) {
            values[i].clear();
            toUtf8[i].append(values[i], set.storedFieldText(static_cast<int>(i)));
        }
        appendCsvLine(output.text, values);
        if (output.text.size() >= kOutputChunk) output.flush();
        // The row after the last one wanted is not looked for.
        if (++rows == limit) break;
        set.Next();
    }
    output.flush();
    return rows > 0 ? kExitOk : kExitNoneFound;
}

int runSearch(const Args& args) {
    ToolOptions options(
        kUsage, {{"--name", true}, {"--phone", true}, {"--anywhere", false}, {"--limit", true}},
        kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    SearchCriteria criteria;
    for (auto [name, target] :
         {std::pair{"--name", &criteria.name}, std::pair{"--phone", &criteria.phone}}) {
        if (const std::optional<std::string> text = options.value(name)) {
            std::optional<std::string> ansi = utf8ToAnsi(*text);
            if (!ansi) {
                return options.usageError(
                    "the search text holds a character code page 1251 "
                    "lacks");
            }
            *target = *ansi;
        }
    }
    criteria.atStart = !options.has("--anywhere");
    long limit = -1;
    if (auto exit = options.readNumber("--limit", "a number of rows", 0,
                                       std::numeric_limits<long>::max(), limit)) {
        return *exit;
    }
    try {
        return search(locateTable(options.words()[0]), criteria, limit);
    } catch (const std::exception& error) {
        std::cout.flush();
        printError(errorMessage(error));
        return kExitSearchFailed;
    }
}

const CommandRegistrar kSearch({"search", std::string(kUsage), runSearch, std::string(kExitStatus),
                                kExitSearchFailed});

}  // namespace

}  // namespace abonex::tool
