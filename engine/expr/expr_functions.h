// Functions of the key-expression language: the argument access every function uses, the
// function interface, and the process-wide registry of built-in functions.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/expr_nodes.h"
#include "engine/expr/expr_value.h"

namespace abonex {

class TgsExpUserLink;

// The arguments of one call, fetched one at a time (so IIF evaluates only the chosen one).
// Indexes are 0-based; messages count arguments from 1. A missing argument has no type.
// Fetching a Number or Date where Text or Boolean is wanted raises
// "<Text|Boolean> needed for Argument <n> of <FUNCTION>"; other mismatches are converted.
class FunctionArgs {
  public:
    FunctionArgs(std::string_view functionName, const std::vector<ExpNodePtr>& arguments,
                 const TgsExpUserLink* link)
        : m_name(functionName), m_arguments(arguments), m_link(link) {}

    size_t count() const { return m_arguments.size(); }
    bool has(size_t index) const { return index < m_arguments.size(); }
    std::string_view functionName() const { return m_name; }
    // The table of the call; nullptr for an expression compiled without a table.
    const TgsExpUserLink* link() const { return m_link; }

    // The argument as evaluated, or a value without type when it is missing.
    ExpValue value(size_t index) const;
    // Text: a Boolean reads "T" or "F", a missing argument "".
    std::string text(size_t index) const;
    // Number (a Date gives its day): a Text is read as VAL reads it, a Boolean as 1 or 0,
    // a missing argument as 0.
    double number(size_t index) const;
    // Date: a Number is taken as a day, a Text is read as CTOD reads it, anything else is the
    // empty date.
    double date(size_t index) const;
    // Boolean: a Text is true when it starts with one of "TtYy"; missing is false.
    bool boolean(size_t index) const;

  private:
    const std::string_view m_name;
    const std::vector<ExpNodePtr>& m_arguments;
    const TgsExpUserLink* m_link;
};

class TgsUserDefFunction {
  public:
    virtual ~TgsUserDefFunction() = default;
    // The upper-case name the function is called by.
    virtual std::string_view name() const = 0;
    virtual ExpValue evaluate(const FunctionArgs& args) const = 0;
};

// A function given by a name and a plain routine; the built-ins and the table functions.
class TableDrivenFunction : public TgsUserDefFunction {
  public:
    using Routine = ExpValue (*)(const FunctionArgs&);
    TableDrivenFunction(std::string_view name, Routine routine)
        : m_name(name), m_routine(routine) {}
    std::string_view name() const override { return m_name; }
    ExpValue evaluate(const FunctionArgs& args) const override { return m_routine(args); }

  private:
    std::string_view m_name;
    Routine m_routine;
};

// The registry of built-in functions, created on first use and kept for the whole run.
class TgsFunctionReg {
  public:
    static const TgsFunctionReg& instance();
    // The built-in called `upperName`, or nullptr.
    const TgsUserDefFunction* find(std::string_view upperName) const;
    // The built-ins in registry order.
    const std::vector<TableDrivenFunction>& functions() const { return m_functions; }

  private:
    TgsFunctionReg();
    std::vector<TableDrivenFunction> m_functions;
};

// Formatting shared with the tools: STR's text of a number (right-aligned in width with the
// given decimals, rounded half away from zero; width asterisks when it does not fit).
std::string formatStr(double value, int width, int decimals);
// VAL's reading of a text: the number with the decimal separator ',', or 0.
double valueOfText(std::string_view text);

}  // namespace abonex
