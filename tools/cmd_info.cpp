// abonex-db info FILE: the header and field descriptors of a table, with a note on an
// incomplete record at its end; for an index file, its header and its tags.
#include <cstdio>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_format.h"
#include "tools/index_listing.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "info FILE";

std::string hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// True when `path` begins like a multiple-index file: version 2 and a block length that is a
// whole number of 512-byte units.
bool looksLikeIndexFile(const std::string& path) {
    uint8_t first[mdx::kUnitSize] = {};
    try {
        GSO_DiskFile file(path, true, false);
        if (file.read(0, first, sizeof first) != sizeof first) return false;
    } catch (const EEngineError&) {
        return false;
    }
    const uint16_t units = mdx::get16(first + mdx::kHdrBlockUnits);
    return first[mdx::kHdrVersion] == mdx::kVersion && units >= 2 &&
           mdx::get16(first + mdx::kHdrBlockLength) == units * mdx::kUnitSize;
}

int indexInfo(const std::string& path) {
    printLine(path + " is an index file (a multiple-index file), not a table; its tags:");
    auto table = openTableFile(tableBeside(path), false);
    GSobjMDXFile file(*table, path);
    printIndexHeader(file);
    printLine("table:            " + table->path());
    for (const auto& tag : file.tags()) printTag(*tag, false);
    return kExitOk;
}

int tableInfo(const std::string& path) {
    auto table = openTableFile(path, false);
    const auto& header = table->headerImage();
    char date[32];
    std::snprintf(date, sizeof date, "%02u.%02u.%04u", header[3], header[2], 1900u + header[1]);
    printLine("file:           " + table->path());
    printLine("version:        " + hex2(table->version()));
    printLine("last update:    " + std::string(date));
    printLine("records:        " + std::to_string(table->recordCount()));
    if (const uint64_t partial = table->partialRecordBytes(); partial > 0) {
        printLine("incomplete:     the file ends inside record " +
                  std::to_string(table->recordCount() + 1) + ": " + std::to_string(partial) +
                  " of its " + std::to_string(table->recordLength()) + " bytes");
    }
    printLine("header length:  " + std::to_string(table->headerLength()));
    printLine("record length:  " + std::to_string(table->recordLength()));
    printLine("flags:          " + hex2(table->tableFlags()) +
              ((table->tableFlags() & kFlagProductionIndex) ? " (production index)" : ""));
    printLine("language:       " + hex2(header[29]));
    printLine("fields:         " + std::to_string(table->fieldCount()));
    for (const DbfField& field : table->fields()) {
        char line[96];
        std::snprintf(line, sizeof line, "  %2d  %-10s  %c  %5d  %3d  offset %d", field.number,
                      field.name.c_str(), field.type, field.length, field.decimals, field.offset);
        printLine(line);
    }
    return kExitOk;
}

int runInfo(const Args& args) {
    ToolOptions options(kUsage, {});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    const std::string& name = options.words()[0];
    try {
        return tableInfo(name);
    } catch (const EEngineError& error) {
        const std::string path = resolveCaseInsensitive(expandPath(name));
        if (error.code() != err::kHeaderInvalid || !looksLikeIndexFile(path)) throw;
    }
    return indexInfo(resolveCaseInsensitive(expandPath(name)));
}

const CommandRegistrar kInfo({"info", std::string(kUsage), runInfo});

}  // namespace

}  // namespace abonex::tool
