// EEngineExpression: the error of the key-expression language, and the one place its message
// texts are written.
//
// Every failure to compile or evaluate an expression raises EEngineExpression with one of the
// messages built below; the handler then holds no tree (compile) or stops (evaluate).
#pragma once

#include <string>
#include <string_view>

#include "engine/file/engine_error.h"

namespace abonex {

class EEngineExpression : public EEngineError {
  public:
    explicit EEngineExpression(const std::string& message) : EEngineError(message) {}
};

// Builders of the expression messages; each raises EEngineExpression.
namespace experr {

// "Syntax Error in expression "<expression>"": no operand or operator where one is expected.
[[noreturn]] void syntaxError(std::string_view expression);
// "Missing closing parentheses": a "(" without its ")".
[[noreturn]] void missingParenthesis();
// "Missing closing period": ".T" without the closing ".".
[[noreturn]] void missingPeriod();
// "Expecting ".T." or ".F."": a dotted word that is not a logical literal.
[[noreturn]] void expectingLogical();
// "Missing closing "<opening>" on literal": a text or date literal without its delimiter.
[[noreturn]] void missingLiteralEnd(char opening);
// "There is no function for <name>": a name that is neither a field nor a function.
[[noreturn]] void noFunction(std::string_view name);
// "Expression cannot be evaluated": the operator list does not reduce to one tree.
[[noreturn]] void cannotEvaluate();
// "Target value missing for <operator> operation".
[[noreturn]] void targetMissing(std::string_view writtenOperator);
// "The two sides of an operation do not match".
[[noreturn]] void sidesDoNotMatch();
// "A <kind> value is required but invalid"; kind is one of the k... names below.
[[noreturn]] void valueRequired(std::string_view kind);
// "<type> needed for Argument <n> of <function>".
[[noreturn]] void argumentNeeded(std::string_view type, int argument, std::string_view function);
// "Expression is nested too deeply": more levels of parentheses, calls or operators than the
// evaluator accepts (kMaxExpressionDepth).
[[noreturn]] void nestedTooDeeply();
// "Expression result is too long": a text result beyond kMaxTextLength bytes.
[[noreturn]] void resultTooLong();

inline constexpr std::string_view kBoolean = "boolean";
inline constexpr std::string_view kNumber = "number";
inline constexpr std::string_view kAssigned = "assigned";
inline constexpr std::string_view kByte = "Byte";
inline constexpr std::string_view kChar = "Char";

}  // namespace experr

// Limits that keep hostile expressions from exhausting the stack or memory.
inline constexpr int kMaxExpressionDepth = 200;
inline constexpr size_t kMaxTextLength = 1u << 20;

}  // namespace abonex
