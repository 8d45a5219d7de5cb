#include "engine/expr/expr_error.h"

namespace abonex::experr {

namespace {

[[noreturn]] void raise(std::string message) {
    throw EEngineExpression(message);
}

}  // namespace

void syntaxError(std::string_view expression) {
    raise("Syntax Error in expression \"" + std::string(expression) + "\"");
}

void missingParenthesis() {
    raise("Missing closing parentheses");
}

void missingPeriod() {
    raise("Missing closing period");
}

void expectingLogical() {
    raise("Expecting \".T.\" or \".F.\"");
}

void missingLiteralEnd(char opening) {
    raise("Missing closing \"" + std::string(1, opening) + "\" on literal");
}

void noFunction(std::string_view name) {
    raise("There is no function for " + std::string(name));
}

void cannotEvaluate() {
    raise("Expression cannot be evaluated");
}

void targetMissing(std::string_view writtenOperator) {
    raise("Target value missing for " + std::string(writtenOperator) + " operation");
}

void sidesDoNotMatch() {
    raise("The two sides of an operation do not match");
}

void valueRequired(std::string_view kind) {
    raise("A " + std::string(kind) + " value is required but invalid");
}

void argumentNeeded(std::string_view type, int argument, std::string_view function) {
    raise(std::string(type) + " needed for Argument " + std::to_string(argument) + " of " +
          std::string(function));
}

void nestedTooDeeply() {
    raise("Expression is nested too deeply");
}

void resultTooLong() {
    raise("Expression result is too long");
}

}  // namespace abonex::experr
