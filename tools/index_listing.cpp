#include "tools/index_listing.h"

#include <cstdio>

#include "engine/dbf/codepage.h"
#include "engine/expr/julian_date.h"
#include "engine/file/path_util.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

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

}  // namespace

std::string tableBeside(std::string_view indexPath) {
    return resolveCaseInsensitive(replaceExtension(expandPath(indexPath), ".DBF"));
}

void printIndexHeader(GSobjMDXFile& file) {
    uint8_t header[64] = {};
    file.diskFile().read(0, header, sizeof header);
    printLine("index file:       " + file.path());
    printLine("tags:             " + std::to_string(getLE16(header + mdx::kHdrTagCount)));
    printLine("next free block:  " + std::to_string(getLE32(header + mdx::kHdrNextFree)));
    printLine("block length:     " + std::to_string(file.blockLength()));
}

void printTag(GSobjMDXTag& tag, bool withKeys) {
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
    if (!withKeys) return;
    int count = 0;
    tag.walkKeys([&](const TgsVariant& key) {
        printLine(formatKey(tag, key) + "\t" + std::to_string(key.pointer()));
        ++count;
    });
    printLine("  keys:           " + std::to_string(count));
}

}  // namespace abonex::tool
