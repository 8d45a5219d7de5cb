#include "engine/index/tag_expression.h"

#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"

namespace abonex {

namespace {

// A tag expression compiled by the key-expression language against the table's fields.
class HandlerExpression : public TagExpression {
  public:
    HandlerExpression(GSO_dBaseFld& table, std::string_view text)
        : m_link(table), m_handler(&m_link) {
        m_handler.ExpressionCompile(text);
    }

    TgsVariant evaluate() override {
        TgsVariant value;
        m_handler.ExpressionToKey(value);
        return value;
    }

  private:
    TgsDBFExpUserLink m_link;
    TgsExpHandler m_handler;
};

// A tag expression compiled against a link its owner keeps.
class LinkedExpression : public TagExpression {
  public:
    LinkedExpression(const TgsExpUserLink& link, std::string_view text) : m_handler(&link) {
        m_handler.ExpressionCompile(text);
    }

    TgsVariant evaluate() override {
        TgsVariant value;
        m_handler.ExpressionToKey(value);
        return value;
    }

  private:
    TgsExpHandler m_handler;
};

}  // namespace

std::unique_ptr<TagExpression> compileTagExpression(GSO_dBaseFld& table, std::string_view text) {
    return std::make_unique<HandlerExpression>(table, text);
}

std::unique_ptr<TagExpression> compileTagExpression(const TgsExpUserLink& link,
                                                    std::string_view text) {
    return std::make_unique<LinkedExpression>(link, text);
}

}  // namespace abonex
