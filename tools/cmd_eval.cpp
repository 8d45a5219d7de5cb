// abonex-db eval TABLE "EXPRESSION" [--record N]: compiles a key expression against a table
// and prints its result type and value on one record.
#include <charconv>
#include <string>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"
#include "engine/expr/julian_date.h"
#include "engine/file/engine_error.h"
#include "tools/tool_command.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "eval TABLE \"EXPRESSION\" [--record N]";

// The value as the tool prints it: Text in double quotes (table text shown as UTF-8), Number
// in the shortest form that reads back the same, Date as yyyymmdd, Boolean as .T. or .F.
std::string printable(const ExpValue& value) {
    switch (value.type) {
        case ExpType::Text:
            return "\"" + oemToUtf8(value.text) + "\"";
        case ExpType::Number: {
            char buffer[64];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, value.number);
            return std::string(buffer, result.ptr);
        }
        case ExpType::Date:
            return dateToDtos(value.number);
        case ExpType::Boolean:
            return value.boolean ? ".T." : ".F.";
        case ExpType::None:
            break;
    }
    return {};
}

int runEval(const Args& args) {
    if (args.size() != 2 && args.size() != 4) return usageError(kUsage);
    int record = 1;
    if (args.size() == 4) {
        const std::string& value = args[3];
        auto result = std::from_chars(value.data(), value.data() + value.size(), record);
        if (args[2] != "--record" || result.ec != std::errc() ||
            result.ptr != value.data() + value.size() || record < 1) {
            return usageError(kUsage);
        }
    }
    GSO_dBaseFld table(args[0], true, false);
    if (table.recordCount() == 0) {
        table.BlankRecord();
    } else {
        table.GotoRecord(record);
        // One past the last record only sets the end flag; report it like any record beyond.
        if (table.atEnd()) raiseEngineError(err::kBeyondEof, sub::kRecordRead, table.path());
    }
    TgsDBFExpUserLink link(table);
    TgsExpHandler handler(&link);
    handler.ExpressionCompile(args[1]);
    if (!handler.isCompiled()) return usageError("the expression is empty");
    const ExpValue value = handler.ExpressionEvaluate();
    printLine(expTypeName(value.type));
    printLine(printable(value));
    return 0;
}

const CommandRegistrar kEval({"eval", std::string(kUsage), runEval});

}  // namespace

}  // namespace abonex::tool
