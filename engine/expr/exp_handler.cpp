#include "engine/expr/exp_handler.h"

#include <charconv>
#include <cmath>

#include "engine/expr/ansi_locale.h"
#include "engine/expr/exp_user_link.h"
#include "engine/expr/expr_error.h"
#include "engine/expr/expr_functions.h"
#include "engine/expr/julian_date.h"

namespace abonex {

namespace {

bool isBlank(char ch) {
    const auto byte = static_cast<uint8_t>(ch);
    return byte >= 0x01 && byte <= 0x20;
}
bool isLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}
bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
bool isNameStart(char ch) {
    return isLetter(ch) || ch == '_';
}
bool isNamePart(char ch) {
    return isNameStart(ch) || isDigit(ch);
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return out;
}

struct OperatorSpelling {
    std::string_view text;
    OpCode code;
};

// Operators written with symbols, looked up as a whole run.
constexpr OperatorSpelling kSymbolOperators[] = {
    {"**", OpCode::Power},        {"^", OpCode::Power},         {"*", OpCode::Multiply},
    {"/", OpCode::Divide},        {"+", OpCode::Add},           {"-", OpCode::Subtract},
    {"=", OpCode::Equal},         {"<>", OpCode::NotEqual},     {"!=", OpCode::NotEqual},
    {"#", OpCode::NotEqual},      {">", OpCode::Greater},       {"<", OpCode::Less},
    {">=", OpCode::GreaterEqual}, {"=>", OpCode::GreaterEqual}, {"<=", OpCode::LessEqual},
    {"=<", OpCode::LessEqual},    {"$", OpCode::InString},      {"==", OpCode::ExactlyEqual},
    {"!", OpCode::Not},
};

// Operators written as words, with or without surrounding periods, in any case.
constexpr OperatorSpelling kWordOperators[] = {
    {"AND", OpCode::And},         {"OR", OpCode::Or},        {"EQ", OpCode::Equal},
    {"NE", OpCode::NotEqual},     {"GT", OpCode::Greater},   {"LT", OpCode::Less},
    {"GE", OpCode::GreaterEqual}, {"LE", OpCode::LessEqual}, {"NOT", OpCode::Not},
};

constexpr std::string_view kSymbolStart = "!#*+-/<=>^$";
constexpr std::string_view kSymbolContinue = "*<=>";

// A numeric literal's value: digits with at most one period and at least one digit, after an
// optional sign. Anything else, or a value beyond the range of a double, gives 0.
double literalNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    size_t periods = 0, digits = 0;
    for (char ch : text) (ch == '.' ? periods : digits)++;
    if (digits == 0 || periods > 1) return 0.0;
    double value = 0.0;
    auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0.0;
    return negative ? -value : value;
}

// Position after the literal that opens at `open`, skipping to its closing delimiter;
// npos when it is not closed.
size_t skipQuoted(std::string_view text, size_t open, char close) {
    const size_t end = text.find(close, open + 1);
    return end == std::string_view::npos ? end : end + 1;
}

char closingDelimiter(char open) {
    switch (open) {
        case '"':
            return '"';
        case '\'':
            return '\'';
        case '[':
            return ']';
        case '{':
            return '}';
        default:
            return '\0';
    }
}

// The ")" matching the "(" of a call at `open`; text, bracket and brace literals inside are
// skipped whole. npos when there is none.
size_t findCallEnd(std::string_view text, size_t open) {
    int depth = 0;
    for (size_t i = open; i < text.size();) {
        const char ch = text[i];
        if (const char close = closingDelimiter(ch)) {
            i = skipQuoted(text, i, close);
            if (i == std::string_view::npos) return i;
            continue;
        }
        if (ch == '(') ++depth;
        if (ch == ')' && --depth == 0) return i;
        ++i;
    }
    return std::string_view::npos;
}

// The arguments of a call: the text between the parentheses split at commas that are not
// inside literals or nested parentheses.
std::vector<std::string_view> splitArguments(std::string_view inside) {
    std::vector<std::string_view> pieces;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < inside.size();) {
        const char ch = inside[i];
        if (const char close = closingDelimiter(ch)) {
            i = skipQuoted(inside, i, close);
            if (i == std::string_view::npos) break;  // cannot happen: findCallEnd checked
            continue;
        }
        if (ch == '(') ++depth;
        if (ch == ')') --depth;
        if (ch == ',' && depth == 0) {
            pieces.push_back(inside.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    pieces.push_back(inside.substr(start));
    return pieces;
}

}  // namespace

// Scans an expression text into a flat list of operands and operators and reduces the list
// to a tree, level by level. Nested groups and call arguments are compiled recursively, at
// most kMaxExpressionDepth levels deep.
class ExpressionParser {
  public:
    ExpressionParser(TgsExpHandler& handler, std::string_view whole)
        : m_handler(handler), m_whole(whole) {}

    ExpNodePtr compile(std::string_view text, int depth);

  private:
    bool scanNegation(std::string_view text, size_t& pos, std::vector<ExpNodePtr>& list);
    ExpNodePtr scanOperand(std::string_view text, size_t& pos, int depth);
    ExpNodePtr scanName(std::string_view text, size_t& pos, int depth);
    ExpNodePtr scanOperator(std::string_view text, size_t& pos);
    ExpNodePtr reduce(std::vector<ExpNodePtr>& list);
    void noteWidth(int width, int decimals) {
        m_handler.m_maxWidth = std::max(m_handler.m_maxWidth, width);
        m_handler.m_maxDecimals = std::max(m_handler.m_maxDecimals, decimals);
    }
    ExpNodePtr makeOperator(OpCode code, std::string_view written) {
        return std::make_unique<TgsExpOperator>(code, std::string(written), m_handler.m_settings,
                                                m_handler.m_link);
    }

    TgsExpHandler& m_handler;
    std::string_view m_whole;
};

ExpNodePtr ExpressionParser::compile(std::string_view text, int depth) {
    if (depth > kMaxExpressionDepth) experr::nestedTooDeeply();
    text = trimBlanks(text);
    if (text.empty()) return nullptr;
    std::vector<ExpNodePtr> list;
    size_t pos = 0;
    bool expectOperand = true;
    while (true) {
        while (pos < text.size() && isBlank(text[pos])) ++pos;
        if (pos >= text.size()) break;
        if (expectOperand) {
            if (scanNegation(text, pos, list)) continue;
            list.push_back(scanOperand(text, pos, depth));
            expectOperand = false;
        } else {
            list.push_back(scanOperator(text, pos));
            expectOperand = true;
        }
    }
    return reduce(list);
}

bool ExpressionParser::scanNegation(std::string_view text, size_t& pos,
                                    std::vector<ExpNodePtr>& list) {
    if (text[pos] == '!') {
        list.push_back(makeOperator(OpCode::Not, "!"));
        ++pos;
        return true;
    }
    size_t end = pos;
    const bool dotted = text[end] == '.';
    if (dotted) ++end;
    const size_t wordStart = end;
    while (end < text.size() && isLetter(text[end])) ++end;
    if (upperAscii(text.substr(wordStart, end - wordStart)) != "NOT") return false;
    if (dotted) {
        if (end >= text.size() || text[end] != '.') return false;
        ++end;
    } else if (end < text.size() && isNamePart(text[end])) {
        return false;  // a name such as NOTE
    }
    list.push_back(makeOperator(OpCode::Not, text.substr(pos, end - pos)));
    pos = end;
    return true;
}

ExpNodePtr ExpressionParser::scanOperand(std::string_view text, size_t& pos, int depth) {
    const char ch = text[pos];
    if (ch == '(') {
        // The group ends at the matching parenthesis; only parentheses are counted.
        int level = 0;
        size_t close = pos;
        for (; close < text.size(); ++close) {
            if (text[close] == '(') ++level;
            if (text[close] == ')' && --level == 0) break;
        }
        if (close >= text.size()) experr::missingParenthesis();
        ExpNodePtr inner = compile(text.substr(pos + 1, close - pos - 1), depth + 1);
        if (!inner) experr::syntaxError(m_whole);
        pos = close + 1;
        return std::make_unique<TgsExpContainer>(std::move(inner));
    }
    if (ch == '.' && pos + 1 < text.size() && isLetter(text[pos + 1])) {
        size_t end = pos + 1;
        while (end < text.size() && isLetter(text[end])) ++end;
        if (end >= text.size() || text[end] != '.') experr::missingPeriod();
        const std::string word = upperAscii(text.substr(pos + 1, end - pos - 1));
        if (word != "T" && word != "F") experr::expectingLogical();
        pos = end + 1;
        return std::make_unique<TgsExpBlnLit>(word == "T");
    }
    if (isNameStart(ch)) return scanName(text, pos, depth);
    if (const char close = closingDelimiter(ch)) {
        const size_t end = text.find(close, pos + 1);
        if (end == std::string_view::npos) experr::missingLiteralEnd(ch);
        const std::string_view inside = text.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        if (ch == '{') return std::make_unique<TgsExpDateLit>(dateFromText(inside));
        return std::make_unique<TgsExpTextLit>(std::string(inside));
    }
    if (ch == '+' || ch == '-' || ch == '.' || isDigit(ch)) {
        const size_t start = pos;
        if (ch == '+' || ch == '-') ++pos;
        while (pos < text.size() && (isDigit(text[pos]) || text[pos] == '.')) ++pos;
        const std::string_view written = text.substr(start, pos - start);
        const size_t period = written.find('.');
        const int decimals =
            period == std::string_view::npos ? 0 : static_cast<int>(written.size() - period - 1);
        const int width = static_cast<int>(written.size());
        noteWidth(width, decimals);
        return std::make_unique<TgsExpNumLit>(literalNumber(written), width, decimals);
    }
    experr::syntaxError(m_whole);
}

ExpNodePtr ExpressionParser::scanName(std::string_view text, size_t& pos, int depth) {
    const size_t start = pos;
    while (pos < text.size() && isNamePart(text[pos])) ++pos;
    std::string name = upperAscii(text.substr(start, pos - start));
    const TgsExpUserLink* link = m_handler.m_link;

    size_t open = pos;
    while (open < text.size() && isBlank(text[open])) ++open;
    if (open < text.size() && text[open] == '(') {
        const size_t close = findCallEnd(text, open);
        if (close == std::string_view::npos) experr::missingParenthesis();
        const TgsUserDefFunction* function = TgsFunctionReg::instance().find(name);
        if (!function && link) function = TgsExpUserLink::tableFunction(name);
        if (!function && link) function = link->genericFunction(name);
        if (!function) experr::noFunction(name);
        std::vector<ExpNodePtr> arguments;
        for (std::string_view piece : splitArguments(text.substr(open + 1, close - open - 1))) {
            if (ExpNodePtr argument = compile(piece, depth + 1)) {
                arguments.push_back(std::move(argument));
            }
        }
        pos = close + 1;
        return std::make_unique<TgsExpFunction>(*function, std::move(name), std::move(arguments),
                                                link);
    }

    while (true) {
        if (link) {
            if (const DbfField* field = link->findField(name)) {
                noteWidth(field->length, field->decimals);
                return std::make_unique<TgsExpFieldvar>(*link, *field);
            }
        }
        // Not a field: X.FIELD may still name one through its part after the period.
        if (pos + 1 < text.size() && text[pos] == '.' && isNameStart(text[pos + 1])) {
            const size_t partStart = ++pos;
            while (pos < text.size() && isNamePart(text[pos])) ++pos;
            name += '.';
            name += upperAscii(text.substr(partStart, pos - partStart));
            continue;
        }
        experr::noFunction(name);
    }
}

ExpNodePtr ExpressionParser::scanOperator(std::string_view text, size_t& pos) {
    if (kSymbolStart.find(text[pos]) != std::string_view::npos) {
        size_t end = pos + 1;
        while (end < text.size() && kSymbolContinue.find(text[end]) != std::string_view::npos) {
            ++end;
        }
        const std::string_view run = text.substr(pos, end - pos);
        for (const auto& spelling : kSymbolOperators) {
            if (spelling.text == run) {
                pos = end;
                return makeOperator(spelling.code, run);
            }
        }
        experr::syntaxError(m_whole);
    }
    size_t end = pos;
    if (text[end] == '.') ++end;
    const size_t wordStart = end;
    while (end < text.size() && isLetter(text[end])) ++end;
    const std::string word = upperAscii(text.substr(wordStart, end - wordStart));
    if (end < text.size() && text[end] == '.') ++end;
    for (const auto& spelling : kWordOperators) {
        if (!word.empty() && spelling.text == word) {
            const std::string_view written = text.substr(pos, end - pos);
            pos = end;
            return makeOperator(spelling.code, written);
        }
    }
    experr::syntaxError(m_whole);
}

// For each level from 1 to 5 the list is scanned from the left for operators of that level
// not yet combined; each takes its right neighbour and (unless it is the negation) its left
// neighbour. Combining never changes what lies to the left of the operator, so one pass per
// level, moving entries into a new list, does the same as rescanning from the left.
ExpNodePtr ExpressionParser::reduce(std::vector<ExpNodePtr>& list) {
    for (int level = 1; level <= 5; ++level) {
        std::vector<ExpNodePtr> reduced;
        reduced.reserve(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            ExpNodePtr entry = std::move(list[i]);
            auto* op = dynamic_cast<TgsExpOperator*>(entry.get());
            if (op && !op->combined() && op->level() == level) {
                ExpNodePtr right, left;
                if (i + 1 < list.size()) right = std::move(list[++i]);
                if (!op->isNegation() && !reduced.empty()) {
                    left = std::move(reduced.back());
                    reduced.pop_back();
                }
                op->combine(std::move(left), std::move(right));
            }
            reduced.push_back(std::move(entry));
        }
        list = std::move(reduced);
    }
    if (list.size() != 1) experr::cannotEvaluate();
    return std::move(list.front());
}

// ---- TgsExpHandler ----

TgsExpHandler::TgsExpHandler(const TgsExpUserLink* link) : m_link(link) {}

TgsExpHandler::~TgsExpHandler() = default;

void TgsExpHandler::ExpressionCompile(std::string_view text) {
    m_root.reset();
    m_resultType = ExpType::None;
    m_maxWidth = 0;
    m_maxDecimals = 0;
    ExpressionParser parser(*this, text);
    m_root = parser.compile(text, 0);
}

ExpValue TgsExpHandler::ExpressionEvaluate() {
    m_resultType = ExpType::None;
    if (!m_root) return {};
    ExpValue value = m_root->evaluate();
    m_resultType = value.type;
    return value;
}

void TgsExpHandler::ExpressionToKey(TgsVariant& key) {
    ExpValue value = ExpressionEvaluate();
    const uint32_t pointer = key.pointer();
    switch (value.type) {
        case ExpType::Text:
            key = TgsVariant::character(value.text);
            break;
        case ExpType::Number:
            key = TgsVariant::number(value.number);
            break;
        case ExpType::Date:
            key = TgsVariant::dateKey(value.number);
            break;
        case ExpType::Boolean:
            key = TgsVariant::logical(value.boolean);
            break;
        case ExpType::None:
            key = TgsVariant();
            break;
    }
    key.setPointer(pointer);
}

std::string TgsExpHandler::ExpressionText() const {
    std::string text;
    if (m_root) m_root->writeText(text);
    return text;
}

std::string TgsExpHandler::FieldNames() const {
    std::vector<std::string> names;
    if (m_root) m_root->collectFields(names);
    std::string joined;
    for (const auto& name : names) joined += name + ";";
    return joined;
}

}  // namespace abonex
