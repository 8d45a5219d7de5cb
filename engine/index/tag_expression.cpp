#include "engine/index/tag_expression.h"

#include "engine/expr/dbf_exp_user_link.h"
#include "engine/expr/exp_handler.h"

namespace abonex {

namespace {

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

// The link to the table's fields, made before the expression that reads through it.
struct TableLink {
    explicit TableLink(GSO_dBaseFld& table) : m_link(table) {}
    TgsDBFExpUserLink m_link;
};

// A tag expression compiled against the table's fields, with a link of its own.
class HandlerExpression : private TableLink, public LinkedExpression {
  public:
    HandlerExpression(GSO_dBaseFld& table, std::string_view text)
        : TableLink(table), LinkedExpression(m_link, text) {}
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
