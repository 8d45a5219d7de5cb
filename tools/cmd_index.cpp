// abonex-db index create|delete|dump: tags of a multiple-index file.
//
//   index create TABLE MDXFILE TAG "KEY" [--filter "EXPR"] [--unique] [--descending]
//   index delete TABLE MDXFILE TAG
//   index dump MDXFILE [TAG]
//
// Creating and deleting a tag write the index file under its index lock, as every other writer
// of the table does, so they may run beside copies of the program and other tool commands that
// write the same table. The expressions are typed in UTF-8 and stored in the table's code page.
// The dump walks each tag's tree from its root, read-only, and prints its keys in tree order.
#include <memory>
#include <string>
#include <vector>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/index_listing.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kCreateUsage =
    "index create TABLE MDXFILE TAG \"KEY\" [--filter \"EXPR\"] [--unique] [--descending]";
constexpr std::string_view kDeleteUsage = "index delete TABLE MDXFILE TAG";
constexpr std::string_view kDumpUsage = "index dump MDXFILE [TAG]";
constexpr std::string_view kUsage =
    "index create TABLE MDXFILE TAG \"KEY\" [--filter \"EXPR\"] [--unique] [--descending] | "
    "delete TABLE MDXFILE TAG | dump MDXFILE [TAG]";

int runDump(const Args& args) {
    ToolOptions options(kDumpUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.empty() || words.size() > 2) return options.usageError();
    const std::string indexPath = expandPath(words[0]);
    auto table = openTableFile(tableBeside(indexPath), false);
    GSobjMDXFile file(*table, indexPath);
    printIndexHeader(file);
    if (words.size() == 2) {
        GSobjMDXTag* tag = file.findTag(words[1]);
        if (tag == nullptr) raiseTagNotFound(words[1]);
        printTag(*tag, true);
        return kExitOk;
    }
    for (const auto& tag : file.tags()) printTag(*tag, true);
    return kExitOk;
}

int runCreate(const Args& args) {
    ToolOptions options(kCreateUsage,
                        {{"--filter", true}, {"--unique", false}, {"--descending", false}});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() != 4) return options.usageError();
    auto table = openTableFile(words[0], true);
    const CodePage page = textPageOf(*table);
    const std::optional<std::string> key = expressionForTable(words[3], page);
    const std::optional<std::string> filter =
        expressionForTable(options.value("--filter").value_or(""), page);
    if (!key || !filter) return options.usageError(expressionNotInTablePage(page));
    auto file = openOrCreateIndexFile(*table, words[1]);
    GSobjMDXTag& tag = file->TagCreate(words[2], *key, *filter, options.has("--unique"),
                                       !options.has("--descending"));
    printLine((file->lastTagCreateReplaced() ? "replaced tag " : "created tag ") + tag.name() +
              " in " + file->path());
    file->close();
    return kExitOk;
}

int runDelete(const Args& args) {
    ToolOptions options(kDeleteUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() != 3) return options.usageError();
    auto table = openTableFile(words[0], true);
    GSobjMDXFile file(*table, words[1]);
    file.TagDelete(words[2]);
    printLine("deleted tag " + upperAscii(words[2]) + " from " + file.path());
    file.close();
    return kExitOk;
}

int runIndex(const Args& args) {
    const std::string_view action = args.empty() ? std::string_view() : args[0];
    const Args rest = args.empty() ? Args() : Args(args.begin() + 1, args.end());
    if (action == "create") return runCreate(rest);
    if (action == "delete") return runDelete(rest);
    if (action == "dump") return runDump(rest);
    ToolOptions options(kUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    return options.usageError(action.empty() ? std::string()
                                             : "unknown index command \"" + args[0] + "\"");
}

const CommandRegistrar kIndex({"index", std::string(kUsage), runIndex});

}  // namespace

}  // namespace abonex::tool
