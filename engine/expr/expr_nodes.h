// The nodes of a compiled key expression.
//
// Every node derives from TgsExpBaseObject, holds a left and a right child (either may be
// absent) and remembers the type of the value it produced last. A compiled tree is never
// deeper than kMaxExpressionDepth, so the recursive evaluation, printing and destruction stay
// within a small stack.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/expr/expr_value.h"

namespace abonex {

class TgsExpUserLink;
class TgsUserDefFunction;
class TgsExpBaseObject;
using ExpNodePtr = std::unique_ptr<TgsExpBaseObject>;

class TgsExpBaseObject {
  public:
    virtual ~TgsExpBaseObject() = default;

    // Computes the node's value on the table's current record. Raises EEngineExpression.
    virtual ExpValue evaluate() = 0;
    // Appends the node written back as expression text.
    virtual void writeText(std::string& out) const = 0;
    // Appends the table fields the node reads, in order of appearance.
    virtual void collectFields(std::vector<std::string>& names) const;

    ExpType valueType() const { return m_valueType; }
    // Levels of nodes from this one down to its deepest leaf (1 for a leaf).
    int depth() const { return m_depth; }
    const TgsExpBaseObject* left() const { return m_left.get(); }
    const TgsExpBaseObject* right() const { return m_right.get(); }

  protected:
    // Sets the depth from the children (and `extra`, the depth of other sub-trees); raises
    // "Expression is nested too deeply" beyond kMaxExpressionDepth.
    void updateDepth(int extra = 0);
    ExpValue remember(ExpValue value) {
        m_valueType = value.type;
        return value;
    }

    ExpNodePtr m_left;
    ExpNodePtr m_right;
    ExpType m_valueType = ExpType::None;
    int m_depth = 1;
};

// How operators compare texts; copied into every operator node when the tree is built.
struct TextCompareSettings {
    bool caseInsensitive = false;
    bool wildcards = true;
    char wildcard = '*';
};

// The text comparison of the comparison operators: negative, zero or positive.
// An empty text is smaller than any non-empty one; otherwise trailing blanks are ignored.
// With wildcards on and a right text that begins or ends with the wildcard, the right text is
// a pattern: "*" alone matches everything; "abc*" matches texts starting with abc, "*abc"
// texts whose first abc ends them, "*abc*" texts containing abc. Everything else uses the
// alphabetical order of the texts' code page `page` (compareInPage); case-insensitive
// comparisons upper-case by that page's letters.
int compareExpressionTexts(std::string_view left, std::string_view right,
                           const TextCompareSettings& settings,
                           TextCodePage page = TextCodePage::Ansi1251);

enum class OpCode : uint8_t {
    Power,
    Multiply,
    Divide,
    And,
    Add,
    Subtract,
    Or,
    Equal,
    NotEqual,
    Greater,
    Less,
    GreaterEqual,
    LessEqual,
    InString,
    ExactlyEqual,
    Not,
};

// Binding level of an operator: 1 binds tightest, 5 is the negation.
int operatorLevel(OpCode code);

class TgsExpOperator : public TgsExpBaseObject {
  public:
    // `written` is the operator as it appeared in the text (used in error messages); `link`,
    // when there is one, gives the code page its text comparisons follow.
    TgsExpOperator(OpCode code, std::string written, const TextCompareSettings& settings,
                   const TgsExpUserLink* link = nullptr);

    OpCode code() const { return m_code; }
    int level() const { return m_level; }
    bool isNegation() const { return m_code == OpCode::Not; }
    // True once the operator has taken its operands while the tree was built.
    bool combined() const { return m_combined; }
    // Takes the operands (either may be null) and marks the operator combined.
    void combine(ExpNodePtr left, ExpNodePtr right);

    ExpValue evaluate() override;
    void writeText(std::string& out) const override;

  private:
    ExpValue evaluateBoolean(const ExpValue& left, const ExpValue& right) const;
    ExpValue evaluateNumbers(const ExpValue& left, const ExpValue& right) const;
    ExpValue evaluateTexts(const ExpValue& left, const ExpValue& right) const;

    OpCode m_code;
    int m_level;
    std::string m_written;
    TextCompareSettings m_settings;
    const TgsExpUserLink* m_link;
    bool m_combined = false;
};

class TgsExpFunction : public TgsExpBaseObject {
  public:
    // `name` is the upper-case name the function was called by.
    TgsExpFunction(const TgsUserDefFunction& function, std::string name,
                   std::vector<ExpNodePtr> arguments, const TgsExpUserLink* link);

    ExpValue evaluate() override;
    void writeText(std::string& out) const override;
    void collectFields(std::vector<std::string>& names) const override;

  private:
    const TgsUserDefFunction& m_function;
    std::string m_name;
    std::vector<ExpNodePtr> m_arguments;
    const TgsExpUserLink* m_link;
};

// A table field read from the link's current record buffer.
class TgsExpFieldvar : public TgsExpBaseObject {
  public:
    TgsExpFieldvar(const TgsExpUserLink& link, const DbfField& field);

    ExpValue evaluate() override;
    void writeText(std::string& out) const override;
    void collectFields(std::vector<std::string>& names) const override;

  private:
    const TgsExpUserLink& m_link;
    DbfField m_field;
};

// A parenthesised sub-expression.
class TgsExpContainer : public TgsExpBaseObject {
  public:
    explicit TgsExpContainer(ExpNodePtr inner);

    ExpValue evaluate() override;
    void writeText(std::string& out) const override;
    void collectFields(std::vector<std::string>& names) const override;
};

class TgsExpTextLit : public TgsExpBaseObject {
  public:
    explicit TgsExpTextLit(std::string text) : m_text(std::move(text)) {}
    ExpValue evaluate() override { return remember(ExpValue::ofText(m_text)); }
    void writeText(std::string& out) const override;

  private:
    std::string m_text;
};

class TgsExpNumLit : public TgsExpBaseObject {
  public:
    TgsExpNumLit(double value, int width, int decimals)
        : m_value(value), m_width(width), m_decimals(decimals) {}
    ExpValue evaluate() override { return remember(ExpValue::ofNumber(m_value)); }
    void writeText(std::string& out) const override;
    int width() const { return m_width; }
    int decimals() const { return m_decimals; }

  private:
    double m_value;
    int m_width;
    int m_decimals;
};

class TgsExpDateLit : public TgsExpBaseObject {
  public:
    explicit TgsExpDateLit(double julianDay) : m_day(julianDay) {}
    ExpValue evaluate() override { return remember(ExpValue::ofDate(m_day)); }
    void writeText(std::string& out) const override;

  private:
    double m_day;
};

class TgsExpBlnLit : public TgsExpBaseObject {
  public:
    explicit TgsExpBlnLit(bool value) : m_value(value) {}
    ExpValue evaluate() override { return remember(ExpValue::ofBoolean(m_value)); }
    void writeText(std::string& out) const override;

  private:
    bool m_value;
};

}  // namespace abonex
