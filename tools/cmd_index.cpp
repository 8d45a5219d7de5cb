// abonex-db index create|delete|dump: tags of a multiple-index file.
//
//   index create TABLE MDXFILE TAG "KEY" [--filter "EXPR"] [--unique] [--descending]
//   index delete TABLE MDXFILE TAG
//   index dump MDXFILE [TAG]
//
// The dump walks each tag's tree from its root, read-only, and prints its keys in tree order as
// "<key>\t<record number>"; character keys are converted from code page 866 to UTF-8, numbers
// print with 15 significant digits, dates as YYYY-MM-DD ("(empty)" for the empty date).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/julian_date.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage =
    "usage: abonex-db index create TABLE MDXFILE TAG \"KEY\" [--filter \"EXPR\"] [--unique] "
    "[--descending] | index delete TABLE MDXFILE TAG | index dump MDXFILE [TAG]";

std::string formatKey(const GSobjMDXTag& tag, const TgsVariant& key) {
    char text[64];
    switch (tag.keyType()) {
        case 'N':
            std::snprintf(text, sizeof text, "%.15g", key.asDouble());
            return text;
        case 'D': {
            if (key.asDouble() >= kEmptyDate) return "(empty)";
            std::optional<CivilDate> date = civilFromJulianDay(key.asDouble());
            if (!date) return std::to_string(static_cast<long long>(key.asDouble()));
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->year, date->month, date->day);
            return text;
        }
        default:
            return oemToUtf8(key.bytes());
    }
}

std::string flagsText(const GSobjMDXTag& tag) {
    std::string text = tag.ascending() ? "ascending" : "descending";
    if (tag.unique()) text += ", unique";
    if (tag.hasFilter()) text += ", filtered";
    return text;
}

void dumpTag(GSobjMDXTag& tag) {
    printLine("tag:              " + tag.name());
    printLine("  header block:   " + std::to_string(tag.headerBlock()));
    printLine("  root block:     " + std::to_string(tag.rootBlock()));
    printLine("  first node:     " + std::to_string(tag.firstNodeBlock()));
    printLine("  last node:      " + std::to_string(tag.lastNodeBlock()));
    printLine("  key type:       " + std::string(1, tag.keyType()));
    printLine("  key length:     " + std::to_string(tag.keyLength()));
    printLine("  entry length:   " + std::to_string(tag.entryLength()));
    printLine("  keys per node:  " + std::to_string(tag.keysPerNode()));
    printLine("  flags:          " + flagsText(tag));
    printLine("  key:            " + oemToUtf8(tag.keyExpression()));
    if (tag.hasFilter()) printLine("  filter:         " + oemToUtf8(tag.filterExpression()));
    int count = 0;
    tag.walkKeys([&](const TgsVariant& key) {
        printLine(formatKey(tag, key) + "\t" + std::to_string(key.pointer()));
        ++count;
    });
    printLine("  keys:           " + std::to_string(count));
}

// The table an index file belongs to: the file beside it with the same base name and ".DBF".
std::string tableBeside(const std::string& indexPath) {
    return resolveCaseInsensitive(replaceExtension(expandPath(indexPath), ".DBF"));
}

int runDump(const Args& args) {
    if (args.size() < 2 || args.size() > 3) return usageError(kUsage);
    const std::string indexPath = expandPath(args[1]);
    GSO_dBaseFld table(tableBeside(indexPath), true, false);
    GSobjMDXFile file(table, indexPath);
    uint8_t header[64] = {};
    file.diskFile().read(0, header, sizeof header);
    printLine("index file:       " + file.path());
    printLine("tags:             " + std::to_string(mdx::get16(header + mdx::kHdrTagCount)));
    printLine("next free block:  " + std::to_string(mdx::get32(header + mdx::kHdrNextFree)));
    printLine("block length:     " + std::to_string(file.blockLength()));
    if (args.size() == 3) {
        GSobjMDXTag* tag = file.findTag(args[2]);
        if (tag == nullptr) raiseTagNotFound(args[2]);
        dumpTag(*tag);
        return 0;
    }
    for (const auto& tag : file.tags()) dumpTag(*tag);
    return 0;
}

int runCreate(const Args& args) {
    if (args.size() < 5) return usageError(kUsage);
    std::string filter;
    bool unique = false;
    bool descending = false;
    for (size_t i = 5; i < args.size(); ++i) {
        if (args[i] == "--unique") {
            unique = true;
        } else if (args[i] == "--descending") {
            descending = true;
        } else if (args[i] == "--filter" && i + 1 < args.size()) {
            filter = args[++i];
        } else {
            return usageError(kUsage);
        }
    }
    GSO_dBaseFld table(args[1], true, true);
    auto file = openOrCreateIndexFile(table, args[2]);
    GSobjMDXTag& tag = file->TagCreate(args[3], args[4], filter, unique, !descending);
    printLine("created tag " + tag.name() + " in " + file->path());
    file->close();
    return 0;
}

int runDelete(const Args& args) {
    if (args.size() != 4) return usageError(kUsage);
    GSO_dBaseFld table(args[1], true, true);
    GSobjMDXFile file(table, args[2]);
    file.TagDelete(args[3]);
    printLine("deleted tag " + upperAscii(args[3]) + " from " + file.path());
    file.close();
    return 0;
}

int runIndex(const Args& args) {
    if (args.empty()) return usageError(kUsage);
    if (args[0] == "create") return runCreate(args);
    if (args[0] == "delete") return runDelete(args);
    if (args[0] == "dump") return runDump(args);
    return usageError(kUsage);
}

const CommandRegistrar kIndex({"index",
                               "index create TABLE MDXFILE TAG \"KEY\" [--filter \"EXPR\"] "
                               "[--unique] [--descending] | delete TABLE MDXFILE TAG | dump "
                               "MDXFILE [TAG]",
                               runIndex});

}  // namespace

}  // namespace abonex::tool
