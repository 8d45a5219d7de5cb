#include "engine/index/index_tag.h"

namespace abonex {

void GSobjIndexTag::KeyCompile() {
    m_keyCompiled.reset();
    m_keyCompiled = compileTagExpression(m_table, m_keyExpression);
}

void GSobjIndexTag::FilterCompile() {
    m_filterCompiled.reset();
    if (!m_hasFilter) return;
    m_filterCompiled = compileTagExpression(m_table, m_filterExpression);
}

bool GSobjIndexTag::KeyEvaluate(TgsVariant& key) {
    if (!m_keyCompiled) return false;
    key = m_keyCompiled->evaluate();
    return true;
}

bool GSobjIndexTag::FilterEvaluate() {
    if (!m_filterCompiled) return false;
    const TgsVariant result = m_filterCompiled->evaluate();
    return result.type() == VariantType::Logical && result.asLogical();
}

}  // namespace abonex
