// abonex-db deleted TABLE: the table's records marked deleted, as CSV (UTF-8): a header row,
// then per record its number and its fields as export writes them.
// abonex-db recall TABLE RECORD...: makes those records live again, with their keys, under the
// index lock every writer takes (the lock of a post).
#include <charconv>
#include <iostream>

#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"
#include "tools/csv.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kDeletedUsage = "deleted TABLE [--table-encoding PAGE]";
constexpr std::string_view kRecallUsage = "recall TABLE RECORD... [--table-encoding PAGE]";

int runDeleted(const Args& args) {
    ToolOptions options(kDeletedUsage, {kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    std::optional<CodePage> tablePage;
    bool utf8 = false;
    if (auto exit = readReadingEncodingOption(options, tablePage, utf8)) return *exit;
    const TableLocation location = locateTable(options.words()[0]);
    if (!utf8 && !tablePage) utf8 = holdsUtf8Text(*openTableFile(options.words()[0], false));
    TEngineDataSet set;
    // Record-number order: the index is not needed to find the deleted records.
    openTable(set, location, "", /*translate=*/false, /*readOnly=*/true, tablePage);
    const CodePage page = set.tableCodePage();
    std::vector<std::string> names{"RECORD"};
    for (int i = 0; i < set.FieldCount(); ++i) names.push_back(set.Fields(i).FieldName());
    std::cout << csvLine(names);
    for (const DataSetRow& row : set.deletedRows()) {
        std::vector<std::string> values{std::to_string(row.recordNumber)};
        for (const std::string& value : row.values) {
            values.push_back(utf8 ? value : pageToUtf8(page, value));
        }
        std::cout << csvLine(values);
    }
    std::cout.flush();
    return std::cout ? kExitOk : kExitFailed;
}

int runRecall(const Args& args) {
    ToolOptions options(kRecallUsage, {kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() < 2) return options.usageError();
    std::vector<int> records;
    for (size_t i = 1; i < words.size(); ++i) {
        int n = 0;
        const auto [end, fault] =
            std::from_chars(words[i].data(), words[i].data() + words[i].size(), n);
        if (fault != std::errc() || end != words[i].data() + words[i].size() || n < 1) {
            return options.usageError("not a record number: " + words[i]);
        }
        records.push_back(n);
    }
    std::optional<CodePage> tablePage;
    if (auto exit = readPageOption(options, kTableEncodingOption.name, tablePage)) return *exit;
    const TableLocation location = locateTable(words[0]);
    TEngineDataSet set;
    openTable(set, location, defaultOrderTag(location), /*translate=*/false, /*readOnly=*/false,
              tablePage);
    requireIndexMatchesTable(set, IndexLook::EveryKey);
    int status = kExitOk;
    for (int n : records) {
        try {
            if (set.Recall(n)) {
                printLine("recalled record " + std::to_string(n));
            } else {
                printLine("record " + std::to_string(n) + " is not deleted");
            }
        } catch (const EDatabaseError& error) {
            printError("abonex-db: " + set.tablePath() + ", record " + std::to_string(n) + ": " +
                       error.what());
            status = kExitFailed;
        }
    }
    return status;
}

const CommandRegistrar kDeleted({"deleted", std::string(kDeletedUsage), runDeleted});
const CommandRegistrar kRecall({"recall", std::string(kRecallUsage), runRecall});

}  // namespace

}  // namespace abonex::tool
