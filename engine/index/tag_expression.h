// TagExpression: a compiled key or filter expression of a tag, evaluated on the owning table's
// current record buffer (field bytes as stored, no code-page translation).
#pragma once

#include <memory>
#include <string_view>

#include "engine/dbf/dbf_fields.h"
#include "engine/expr/tgs_variant.h"

namespace abonex {

class TgsExpUserLink;

class TagExpression {
  public:
    virtual ~TagExpression() = default;
    // The value of the expression on the table's current record buffer.
    virtual TgsVariant evaluate() = 0;
};

// Compiles `text` for `table`; raises the expression error when it does not compile.
std::unique_ptr<TagExpression> compileTagExpression(GSO_dBaseFld& table, std::string_view text);
// Compiles `text` against `link`, which must outlive the expression; raises as above.
std::unique_ptr<TagExpression> compileTagExpression(const TgsExpUserLink& link,
                                                    std::string_view text);

}  // namespace abonex
