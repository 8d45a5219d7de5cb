// abonex-db info FILE: the header and field descriptors of a table.
#include <cstdio>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

std::string hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

int runInfo(const Args& args) {
    if (args.size() != 1) return usageError("usage: abonex-db info FILE");
    GSO_dBaseFld table(args[0], true, false);
    const auto& header = table.headerImage();
    char date[32];
    std::snprintf(date, sizeof date, "%02u.%02u.%02u", header[3], header[2], header[1]);
    printLine("file:           " + table.path());
    printLine("version:        " + hex2(table.version()));
    printLine("last update:    " + std::string(date) + " (day.month.year % 100)");
    printLine("records:        " + std::to_string(table.recordCount()));
    printLine("header length:  " + std::to_string(table.headerLength()));
    printLine("record length:  " + std::to_string(table.recordLength()));
    printLine("flags:          " + hex2(table.tableFlags()) +
              ((table.tableFlags() & kFlagProductionIndex) ? " (production index)" : ""));
    printLine("language:       " + hex2(header[29]));
    printLine("fields:         " + std::to_string(table.fieldCount()));
    for (const DbfField& field : table.fields()) {
        char line[96];
        std::snprintf(line, sizeof line, "  %2d  %-10s  %c  %5d  %3d  offset %d", field.number,
                      field.name.c_str(), field.type, field.length, field.decimals, field.offset);
        printLine(line);
    }
    return 0;
}

const CommandRegistrar kInfo({"info", "info FILE", runInfo});

}  // namespace

}  // namespace abonex::tool
