// abonex-db info FILE [--table-encoding PAGE]: the header and field descriptors of a table, the
// code page its text is read in, its memo file (every memo is read, so a damaged one is found),
// with a note on an incomplete record at its end; for an index file, its header and its tags.
#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "engine/dbf/memo_file.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_format.h"
#include "tools/index_listing.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "info FILE [--table-encoding PAGE]";

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
    const uint16_t units = getLE16(first + mdx::kHdrBlockUnits);
    return first[mdx::kHdrVersion] == mdx::kVersion && units >= 2 &&
           getLE16(first + mdx::kHdrBlockLength) == units * mdx::kUnitSize;
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

// What the language byte says and the page the text is read in.
std::string languageLine(uint8_t driver, std::optional<CodePage> forced, bool utf8,
                         bool utf8Forced) {
    const std::optional<CodePage> named = codePageOfLanguageDriver(driver);
    const CodePage page = tableTextPage(driver, forced);
    std::string line = hex2(driver);
    if (named) {
        line += " (code page " + std::string(codePageName(*named)).substr(2) + ")";
    } else {
        line += " (names no code page)";
    }
    if (utf8) {
        line += utf8Forced ? ", read as UTF-8 (--table-encoding)"
                           : ", read as UTF-8 (its text is UTF-8, as a spreadsheet saves it)";
    } else if (!named || *named != page) {
        line += ", read as " + std::string(codePageName(page)) +
                (forced ? " (--table-encoding)" : " (the directory's page)");
    }
    return line;
}

// The memo file's line and one per memo field: how many records hold a memo and how long the
// longest is. Every memo is read: a damaged one raises the engine's error.
void printMemo(GSO_dBaseFld& table) {
    if (!MemoFile::hasMemoFields(table)) return;
    auto memo = MemoFile::openFor(table);
    printLine("memo file:      " + memo->path() + " (" + std::string(memoKindName(memo->kind())) +
              ", blocks of " + std::to_string(memo->blockLength()) + " bytes, " +
              std::to_string(memo->blockCount()) + " blocks)");
    for (const DbfField& field : table.fields()) {
        if (field.type != 'M') continue;
        int used = 0;
        size_t longest = 0;
        for (int n = 1; n <= table.recordCount(); ++n) {
            table.GotoRecord(n);
            const uint32_t block = memo->blockOf(field, table.fieldBytes(field));
            if (block == 0) continue;
            ++used;
            longest = std::max(longest, memo->text(block).size());
        }
        printLine("  memo " + field.name + ": " + std::to_string(used) +
                  " records hold text, the "
                  "longest " +
                  std::to_string(longest) + " bytes");
    }
}

int tableInfo(const std::string& path, std::optional<CodePage> forced, bool utf8Forced) {
    auto table = openTableFile(path, false, forced);
    const bool utf8 = utf8Forced || (!forced && holdsUtf8Text(*table));
    const auto& header = table->headerImage();
    char date[32];
    const uint8_t* updated = &header[dbf::kHdrUpdateDate];
    std::snprintf(date, sizeof date, "%02u.%02u.%04d", updated[2], updated[1],
                  headerYear(updated[0]));
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
    printLine("language:       " +
              languageLine(header[dbf::kHdrLanguageDriver], forced, utf8, utf8Forced));
    printLine("fields:         " + std::to_string(table->fieldCount()));
    for (const DbfField& field : table->fields()) {
        char line[96];
        std::snprintf(line, sizeof line, "  %2d  %-10s  %c  %5d  %3d  offset %d", field.number,
                      field.name.c_str(), field.type, field.length, field.decimals, field.offset);
        printLine(line);
    }
    printMemo(*table);
    return kExitOk;
}

int runInfo(const Args& args) {
    ToolOptions options(kUsage, {kTableEncodingOption});
    if (auto exit = options.parse(args)) return *exit;
    if (options.words().size() != 1) return options.usageError();
    std::optional<CodePage> forced;
    bool utf8 = false;
    if (auto exit = readReadingEncodingOption(options, forced, utf8)) return *exit;
    const std::string& name = options.words()[0];
    try {
        return tableInfo(name, forced, utf8);
    } catch (const EEngineError& error) {
        const std::string path = resolveCaseInsensitive(expandPath(name));
        if (error.code() != err::kHeaderInvalid || !looksLikeIndexFile(path)) throw;
    }
    return indexInfo(resolveCaseInsensitive(expandPath(name)));
}

const CommandRegistrar kInfo({"info", std::string(kUsage), runInfo});

}  // namespace

}  // namespace abonex::tool
