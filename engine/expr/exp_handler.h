// TgsExpHandler: one compiled key expression bound to a table.
//
// ExpressionCompile turns the text into a tree of TgsExpBaseObject nodes resolved against the
// table's link (fields, table functions) and the built-in registry; ExpressionEvaluate runs the
// tree on the table's current record buffer. Invariant: after a failed compile the handler
// holds no tree.
//
// Binding: operators group left to right within their level, level by level ("**" "^" first;
// "*" "/" AND; "+" "-" OR; the comparisons and "$"; negation last), so AND and OR bind as
// tightly as "*" and "+": A = 1 .AND. B = 2 reads A = (1 .AND. B) = 2.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/expr/expr_nodes.h"
#include "engine/expr/expr_value.h"
#include "engine/expr/tgs_variant.h"

namespace abonex {

class TgsExpUserLink;

class TgsExpHandler {
  public:
    // `link` is the table names are resolved against; it may be null (no fields, no table
    // functions) and must outlive the compiled tree.
    explicit TgsExpHandler(const TgsExpUserLink* link = nullptr);
    ~TgsExpHandler();
    TgsExpHandler(const TgsExpHandler&) = delete;
    TgsExpHandler& operator=(const TgsExpHandler&) = delete;

    // Discards the current tree and compiles `text`; an empty (or blank) text leaves no tree.
    // Raises EEngineExpression; the handler then holds no tree.
    void ExpressionCompile(std::string_view text);
    // Evaluates the tree on the current record; without a tree the result has no type.
    // Raises EEngineExpression.
    ExpValue ExpressionEvaluate();
    // Evaluates into `key`: Text as bytes, Number as a double, Date as the truncated day
    // (TgsVariant::dateKey, the empty date kept as kEmptyDate), Boolean as one byte; any other
    // result leaves the key empty.
    void ExpressionToKey(TgsVariant& key);
    // The type of the last result.
    ExpType ResultType() const { return m_resultType; }
    // The expression written back from the tree; empty without a tree.
    std::string ExpressionText() const;
    // The table fields the expression reads, in order of first appearance, each followed by
    // ";" ("NAME;PHONE1;").
    std::string FieldNames() const;

    bool isCompiled() const { return m_root != nullptr; }
    const TgsExpBaseObject* root() const { return m_root.get(); }

    // Comparison settings copied into the operators when a tree is built: case-insensitive
    // (off by default), wildcards (on) and the wildcard character ('*').
    void setCaseInsensitive(bool on) { m_settings.caseInsensitive = on; }
    void setWildcards(bool on) { m_settings.wildcards = on; }
    void setWildcardChar(char wildcard) { m_settings.wildcard = wildcard; }
    const TextCompareSettings& compareSettings() const { return m_settings; }

    // The largest width and decimal count among the fields and numeric literals of the
    // expression last compiled.
    int maxWidth() const { return m_maxWidth; }
    int maxDecimals() const { return m_maxDecimals; }

  private:
    friend class ExpressionParser;

    const TgsExpUserLink* m_link;
    ExpNodePtr m_root;
    ExpType m_resultType = ExpType::None;
    TextCompareSettings m_settings;
    int m_maxWidth = 0;
    int m_maxDecimals = 0;
};

}  // namespace abonex
