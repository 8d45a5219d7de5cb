#include "engine/expr/expr_nodes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/expr/ansi_locale.h"
#include "engine/expr/exp_user_link.h"
#include "engine/expr/expr_error.h"
#include "engine/expr/expr_functions.h"
#include "engine/expr/julian_date.h"
#include "engine/expr/text_casing.h"
#include "engine/expr/text_search.h"

namespace abonex {

namespace {

constexpr char kBlank = ' ';

std::string_view trimTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == kBlank) text.remove_suffix(1);
    return text;
}

int signOf(double value) {
    return (value > 0) - (value < 0);
}

// A numeric field's text: optional blanks, an optional sign, digits with at most one '.'.
// Anything else (a blank field included) reads as 0.
double numberFromFieldText(std::string_view text) {
    while (!text.empty() && text.front() == kBlank) text.remove_prefix(1);
    text = trimTrailingBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double value = 0.0;
    double scale = 0.0;
    int digits = 0;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            ++digits;
            if (scale == 0.0) {
                value = value * 10.0 + (ch - '0');
            } else {
                value += (ch - '0') * scale;
                scale /= 10.0;
            }
        } else if (ch == '.' && scale == 0.0) {
            scale = 0.1;
        } else {
            return 0.0;
        }
    }
    if (digits == 0) return 0.0;
    return negative ? -value : value;
}

// Repeated multiplication as the power operator defines it: the right side truncated to an
// integer n, the left side multiplied by itself n - 1 times. Long runs are left to std::pow,
// which gives the same limit (0, infinity or +-1) without looping.
double power(double base, double exponent) {
    if (!(exponent >= 2.0)) return base;  // also NaN: the left side unchanged
    constexpr double kLoopLimit = 64.0;
    if (exponent > kLoopLimit) return std::pow(base, std::trunc(exponent));
    double result = base;
    for (int k = static_cast<int>(exponent); k > 1; --k) result *= base;
    return result;
}

bool isComparison(OpCode code) {
    switch (code) {
        case OpCode::Equal:
        case OpCode::NotEqual:
        case OpCode::Greater:
        case OpCode::Less:
        case OpCode::GreaterEqual:
        case OpCode::LessEqual:
            return true;
        default:
            return false;
    }
}

bool isArithmetic(OpCode code) {
    switch (code) {
        case OpCode::Power:
        case OpCode::Multiply:
        case OpCode::Divide:
        case OpCode::Add:
        case OpCode::Subtract:
            return true;
        default:
            return false;
    }
}

bool comparisonHolds(OpCode code, int order) {
    switch (code) {
        case OpCode::Equal:
            return order == 0;
        case OpCode::NotEqual:
            return order != 0;
        case OpCode::Greater:
            return order > 0;
        case OpCode::Less:
            return order < 0;
        case OpCode::GreaterEqual:
            return order >= 0;
        case OpCode::LessEqual:
            return order <= 0;
        default:
            return false;
    }
}

std::string_view canonicalText(OpCode code) {
    switch (code) {
        case OpCode::Power:
            return "^";
        case OpCode::Multiply:
            return "*";
        case OpCode::Divide:
            return "/";
        case OpCode::And:
            return ".AND.";
        case OpCode::Add:
            return "+";
        case OpCode::Subtract:
            return "-";
        case OpCode::Or:
            return ".OR.";
        case OpCode::Equal:
            return "=";
        case OpCode::NotEqual:
            return "#";
        case OpCode::Greater:
            return ">";
        case OpCode::Less:
            return "<";
        case OpCode::GreaterEqual:
            return ">=";
        case OpCode::LessEqual:
            return "<=";
        case OpCode::InString:
            return "in string";
        case OpCode::ExactlyEqual:
            return "exactly equal";
        case OpCode::Not:
            return ".NOT.";
    }
    return "?";
}

void appendFixed(std::string& out, double value, int decimals) {
    int size = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    if (size <= 0) return;
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.resize(static_cast<size_t>(size));
    out += text;
}

}  // namespace

std::string_view expTypeName(ExpType type) {
    switch (type) {
        case ExpType::Text:
            return "Text";
        case ExpType::Number:
            return "Number";
        case ExpType::Date:
            return "Date";
        case ExpType::Boolean:
            return "Boolean";
        case ExpType::None:
            break;
    }
    return "None";
}

// ---- TgsExpBaseObject ----

void TgsExpBaseObject::collectFields(std::vector<std::string>& names) const {
    if (m_left) m_left->collectFields(names);
    if (m_right) m_right->collectFields(names);
}

void TgsExpBaseObject::updateDepth(int extra) {
    int deepest = extra;
    if (m_left) deepest = std::max(deepest, m_left->depth());
    if (m_right) deepest = std::max(deepest, m_right->depth());
    m_depth = deepest + 1;
    if (m_depth > kMaxExpressionDepth) experr::nestedTooDeeply();
}

// ---- text comparison ----

int compareExpressionTexts(std::string_view left, std::string_view right,
                           const TextCompareSettings& settings, TextCodePage page) {
    if (left.empty() || right.empty()) {
        return static_cast<int>(!left.empty()) - static_cast<int>(!right.empty());
    }
    left = trimTrailingBlanks(left);
    right = trimTrailingBlanks(right);
    const char w = settings.wildcard;
    if (settings.wildcards && !right.empty() && (right.front() == w || right.back() == w)) {
        const bool leading = right.front() == w;
        const bool trailing = right.back() == w && (right.size() > 1 || !leading);
        std::string_view pattern = right;
        if (leading) pattern.remove_prefix(1);
        if (trailing && !pattern.empty()) pattern.remove_suffix(1);
        if (pattern.empty()) return 0;
        std::string l(left), p(pattern);
        if (settings.caseInsensitive) {
            l = upperInPage(l, page);
            p = upperInPage(p, page);
        }
        const size_t first = TextSearcher(p).find(l);
        bool equal = false;
        if (first != std::string::npos) {
            if (leading && trailing) {
                equal = true;
            } else if (leading) {
                equal = first + p.size() == l.size();
            } else {
                equal = first == 0;
            }
        }
        if (equal) return 0;
        const int order = compareInPage(l, p, false, page);
        return order != 0 ? order : 1;
    }
    return compareInPage(left, right, settings.caseInsensitive, page);
}

// ---- TgsExpOperator ----

int operatorLevel(OpCode code) {
    switch (code) {
        case OpCode::Power:
            return 1;
        case OpCode::Multiply:
        case OpCode::Divide:
        case OpCode::And:
            return 2;
        case OpCode::Add:
        case OpCode::Subtract:
        case OpCode::Or:
            return 3;
        case OpCode::Not:
            return 5;
        default:
            return 4;
    }
}

TgsExpOperator::TgsExpOperator(OpCode code, std::string written,
                               const TextCompareSettings& settings, const TgsExpUserLink* link)
    : m_code(code),
      m_level(operatorLevel(code)),
      m_written(std::move(written)),
      m_settings(settings),
      m_link(link) {}

void TgsExpOperator::combine(ExpNodePtr left, ExpNodePtr right) {
    m_left = std::move(left);
    m_right = std::move(right);
    m_combined = true;
    updateDepth();
}

ExpValue TgsExpOperator::evaluate() {
    if (!m_right) experr::targetMissing(m_written);
    const ExpValue right = m_right->evaluate();
    if (isNegation()) {
        if (right.type != ExpType::Boolean) experr::valueRequired(experr::kBoolean);
        return remember(ExpValue::ofBoolean(!right.boolean));
    }
    if (!m_left) experr::targetMissing(m_written);
    const ExpValue left = m_left->evaluate();
    if (left.type != right.type && !(isNumberLike(left.type) && isNumberLike(right.type))) {
        experr::sidesDoNotMatch();
    }
    switch (right.type) {
        case ExpType::Boolean:
            return remember(evaluateBoolean(left, right));
        case ExpType::Number:
        case ExpType::Date:
            return remember(evaluateNumbers(left, right));
        case ExpType::Text:
            return remember(evaluateTexts(left, right));
        case ExpType::None:
            break;
    }
    experr::valueRequired(experr::kAssigned);
}

ExpValue TgsExpOperator::evaluateBoolean(const ExpValue& left, const ExpValue& right) const {
    switch (m_code) {
        case OpCode::Equal:
            return ExpValue::ofBoolean(left.boolean == right.boolean);
        case OpCode::NotEqual:
            return ExpValue::ofBoolean(left.boolean != right.boolean);
        case OpCode::And:
            return ExpValue::ofBoolean(left.boolean && right.boolean);
        case OpCode::Or:
            return ExpValue::ofBoolean(left.boolean || right.boolean);
        default:
            break;
    }
    experr::valueRequired(isArithmetic(m_code) ? experr::kNumber : experr::kAssigned);
}

ExpValue TgsExpOperator::evaluateNumbers(const ExpValue& left, const ExpValue& right) const {
    const double l = left.number, r = right.number;
    if (isComparison(m_code)) return ExpValue::ofBoolean(comparisonHolds(m_code, signOf(l - r)));
    double result = 0.0;
    switch (m_code) {
        case OpCode::Add:
            result = l + r;
            break;
        case OpCode::Subtract:
            result = l - r;
            break;
        case OpCode::Multiply:
            result = l * r;
            break;
        case OpCode::Divide:
            result = l / r;
            break;
        case OpCode::Power:
            result = power(l, r);
            break;
        default:
            experr::valueRequired(experr::kAssigned);
    }
    ExpValue value = right;
    value.number = result;
    return value;
}

ExpValue TgsExpOperator::evaluateTexts(const ExpValue& left, const ExpValue& right) const {
    if (isComparison(m_code)) {
        const int order =
            compareExpressionTexts(left.text, right.text, m_settings, textCodePageOf(m_link));
        return ExpValue::ofBoolean(comparisonHolds(m_code, order));
    }
    switch (m_code) {
        case OpCode::InString:
            // An empty text is not counted as occurring anywhere.
            return ExpValue::ofBoolean(!left.text.empty() && TextSearcher(left.text).find(
                                                                 right.text) != std::string::npos);
        case OpCode::Add: {
            if (left.text.size() + right.text.size() > kMaxTextLength) experr::resultTooLong();
            return ExpValue::ofText(left.text + right.text);
        }
        case OpCode::Subtract: {
            const size_t total = left.text.size() + right.text.size();
            if (total > kMaxTextLength) experr::resultTooLong();
            std::string joined(trimTrailingBlanks(left.text));
            joined += right.text;
            joined.resize(total, kBlank);
            return ExpValue::ofText(std::move(joined));
        }
        default:
            break;
    }
    experr::valueRequired(experr::kAssigned);
}

void TgsExpOperator::writeText(std::string& out) const {
    if (m_left) {
        m_left->writeText(out);
        out += ' ';
    }
    out += canonicalText(m_code);
    if (m_right) {
        out += ' ';
        m_right->writeText(out);
    }
}

// ---- TgsExpFunction ----

TgsExpFunction::TgsExpFunction(const TgsUserDefFunction& function, std::string name,
                               std::vector<ExpNodePtr> arguments, const TgsExpUserLink* link)
    : m_function(function),
      m_name(std::move(name)),
      m_arguments(std::move(arguments)),
      m_link(link) {
    int deepest = 0;
    for (const auto& argument : m_arguments) deepest = std::max(deepest, argument->depth());
    updateDepth(deepest);
}

ExpValue TgsExpFunction::evaluate() {
    FunctionArgs args(m_name, m_arguments, m_link);
    return remember(m_function.evaluate(args));
}

void TgsExpFunction::writeText(std::string& out) const {
    out += m_name;
    out += '(';
    for (size_t i = 0; i < m_arguments.size(); ++i) {
        if (i > 0) out += ',';
        m_arguments[i]->writeText(out);
    }
    out += ')';
}

void TgsExpFunction::collectFields(std::vector<std::string>& names) const {
    for (const auto& argument : m_arguments) argument->collectFields(names);
}

// ---- TgsExpFieldvar ----

TgsExpFieldvar::TgsExpFieldvar(const TgsExpUserLink& link, const DbfField& field)
    : m_link(link), m_field(field) {}

ExpValue TgsExpFieldvar::evaluate() {
    std::string_view bytes = m_link.fieldBytes(m_field);
    switch (m_field.type) {
        case 'D':
            return remember(ExpValue::ofDate(dateFromText(bytes)));
        case 'N':
        case 'F':
            return remember(ExpValue::ofNumber(numberFromFieldText(bytes)));
        case 'L': {
            const bool yes = !bytes.empty() &&
                             std::string_view("TtYyJj").find(bytes[0]) != std::string_view::npos;
            return remember(ExpValue::ofBoolean(yes));
        }
        default: {
            // Character, memo and every other type: the bytes at full width, up to a NUL.
            const size_t nul = bytes.find('\0');
            if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
            return remember(ExpValue::ofText(std::string(bytes)));
        }
    }
}

void TgsExpFieldvar::writeText(std::string& out) const {
    out += m_field.name;
}

void TgsExpFieldvar::collectFields(std::vector<std::string>& names) const {
    if (std::find(names.begin(), names.end(), m_field.name) == names.end()) {
        names.push_back(m_field.name);
    }
}

// ---- TgsExpContainer ----

TgsExpContainer::TgsExpContainer(ExpNodePtr inner) {
    m_right = std::move(inner);
    updateDepth();
}

ExpValue TgsExpContainer::evaluate() {
    return remember(m_right->evaluate());
}

void TgsExpContainer::writeText(std::string& out) const {
    out += '(';
    m_right->writeText(out);
    out += ')';
}

void TgsExpContainer::collectFields(std::vector<std::string>& names) const {
    m_right->collectFields(names);
}

// ---- literals ----

// Double quotes, unless the text holds one: then the first delimiter pair it does not hold,
// so the written form reads back as the same text.
void TgsExpTextLit::writeText(std::string& out) const {
    char open = '"', close = '"';
    if (m_text.find('"') != std::string::npos) {
        if (m_text.find('\'') == std::string::npos) {
            open = close = '\'';
        } else if (m_text.find(']') == std::string::npos) {
            open = '[';
            close = ']';
        }
    }
    out += open;
    out += m_text;
    out += close;
}

void TgsExpNumLit::writeText(std::string& out) const {
    appendFixed(out, m_value, m_decimals);
}

void TgsExpDateLit::writeText(std::string& out) const {
    out += '{';
    out += dateToDtos(m_day);
    out += '}';
}

void TgsExpBlnLit::writeText(std::string& out) const {
    out += m_value ? ".T." : ".F.";
}

}  // namespace abonex
