// abonex-db eval TABLE "EXPRESSION" [--record N]: compiles a key expression against a table
// and prints its result type and value on one record. The expression is typed in UTF-8 and
// compiled in the table's code page, so its text literals are the table's text.
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"
#include "engine/expr/julian_date.h"
#include "engine/file/engine_error.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "eval TABLE \"EXPRESSION\" [--record N]";

// The value as the tool prints it: Text in double quotes (table text, in `page`, shown as
// UTF-8), Number in the shortest form that reads back the same, Date as yyyymmdd, Boolean as
// .T. or .F.
std::string printable(const ExpValue& value, CodePage page) {
    switch (value.type) {
        case ExpType::Text:
            return "\"" + pageToUtf8(page, value.text) + "\"";
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
    ToolOptions options(kUsage, {{"--record", true}});
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.size() != 2) return options.usageError();
    long wanted = 1;
    if (auto exit = options.readNumber("--record", "a record number", 1,
                                       std::numeric_limits<int32_t>::max(), wanted)) {
        return *exit;
    }
    const int record = static_cast<int>(wanted);
    auto table = openTableFile(words[0], false);
    const std::optional<std::string> expression = expressionForTable(words[1], textPageOf(*table));
    if (!expression) return options.usageError(expressionNotInTablePage(textPageOf(*table)));
    if (table->recordCount() == 0) {
        table->BlankRecord();
    } else {
        table->GotoRecord(record);
        // One past the last record only sets the end flag; report it like any record beyond.
        if (table->atEnd()) raiseEngineError(err::kBeyondEof, sub::kRecordRead, table->path());
    }
    TgsDBFExpUserLink link(*table);
    TgsExpHandler handler(&link);
    handler.ExpressionCompile(*expression);
    if (!handler.isCompiled()) return options.usageError("the expression is empty");
    const ExpValue value = handler.ExpressionEvaluate();
    printLine(expTypeName(value.type));
    printLine(printable(value, textPageOf(*table)));
    return kExitOk;
}

const CommandRegistrar kEval({"eval", std::string(kUsage), runEval});

}  // namespace

}  // namespace abonex::tool
