#include "engine/expr/expr_functions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/expr/ansi_locale.h"
#include "engine/expr/exp_user_link.h"
#include "engine/expr/expr_error.h"
#include "engine/expr/julian_date.h"
#include "engine/expr/text_casing.h"
#include "engine/expr/text_search.h"

namespace abonex {

namespace {

constexpr char kBlank = ' ';
// DESCEND turns a day d into kDescendDateBase - d.
constexpr double kDescendDateBase = 5231808.0;

// A number argument truncated toward zero and kept within +-2^53 (NaN gives 0), so counts and
// positions can be used as integers without overflow.
int64_t truncated(double value) {
    constexpr double kLimit = 9007199254740992.0;  // 2^53
    if (std::isnan(value)) return 0;
    return static_cast<int64_t>(std::clamp(std::trunc(value), -kLimit, kLimit));
}

// A requested text width: negative widths are 0; widths beyond kMaxTextLength are refused.
size_t textWidth(double value) {
    const int64_t width = truncated(value);
    if (width <= 0) return 0;
    if (static_cast<uint64_t>(width) > kMaxTextLength) experr::resultTooLong();
    return static_cast<size_t>(width);
}

bool isControlOrBlank(char ch) {
    return static_cast<uint8_t>(ch) <= 0x20;
}

std::string_view trimLeft(std::string_view text) {
    while (!text.empty() && isControlOrBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && isControlOrBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string upperLatin(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return out;
}

// The text a value of any type stands for where a function wants text of it (the pad
// functions): numbers in their shortest form with the decimal separator ',', dates in the
// short date format, Booleans as T or F.
std::string anyValueAsText(const ExpValue& value) {
    switch (value.type) {
        case ExpType::Text:
            return value.text;
        case ExpType::Number: {
            char buffer[64];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, value.number);
            std::string text(buffer, result.ptr);
            std::replace(text.begin(), text.end(), '.', kDecimalSeparator);
            return text;
        }
        case ExpType::Date:
            return dateToShortText(value.number);
        case ExpType::Boolean:
            return value.boolean ? "T" : "F";
        case ExpType::None:
            break;
    }
    return {};
}

std::string printfFixed(double value, int decimals) {
    int size = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    std::string text(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.resize(static_cast<size_t>(std::max(size, 0)));
    return text;
}

// Adds one unit in the last digit of a plain decimal text ("-12.99" -> "-13.00").
void incrementLastDigit(std::string& text) {
    for (size_t i = text.size(); i-- > 0;) {
        char& ch = text[i];
        if (ch == '.' || ch == '-') continue;
        if (ch != '9') {
            ++ch;
            return;
        }
        ch = '0';
    }
    const size_t firstDigit = (!text.empty() && text[0] == '-') ? 1 : 0;
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(firstDigit), '1');
}

// `value` with `decimals` digits after the point, rounded half away from zero. printf rounds
// exact ties to even, so ties are found and rounded here: a double that is not an exact tie
// differs from one by more than 10^-(decimals + 20) of a unit, which the longer text shows.
std::string fixedHalfAway(double value, int decimals) {
    constexpr int kGuardDigits = 20;
    std::string text = printfFixed(value, decimals);
    const std::string longer = printfFixed(value, decimals + kGuardDigits);
    const std::string_view tail = std::string_view(longer).substr(longer.size() - kGuardDigits);
    if (tail.front() == '5' && tail.find_first_not_of('0', 1) == std::string_view::npos) {
        text = longer.substr(0, longer.size() - kGuardDigits);
        if (!text.empty() && text.back() == '.') text.pop_back();
        incrementLastDigit(text);
    }
    if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos) {
        text.erase(0, 1);  // no "-0.00"
    }
    return text;
}

// 1-based position of the n-th occurrence of `needle` in `haystack`, each search starting one
// byte after the previous occurrence; the last one found when there are fewer, 0 for none.
double occurrence(std::string_view needle, std::string_view haystack, int64_t n) {
    const size_t found =
        TextSearcher(needle).findNth(haystack, static_cast<size_t>(std::max<int64_t>(n, 1)));
    return found == std::string_view::npos ? 0.0 : static_cast<double>(found + 1);
}

int compareSameType(const ExpValue& a, const ExpValue& b, TextCodePage page) {
    switch (a.type) {
        case ExpType::Text:
            return compareInPage(a.text, b.text, false, page);
        case ExpType::Number:
        case ExpType::Date:
            return (a.number > b.number) - (a.number < b.number);
        case ExpType::Boolean:
            return int(a.boolean) - int(b.boolean);
        case ExpType::None:
            break;
    }
    return 0;
}

ExpValue pad(const FunctionArgs& args, int where /* -1 left, 0 centre, 1 right */) {
    if (!args.has(0)) experr::argumentNeeded("Value", 1, "Pad");
    std::string text = anyValueAsText(args.value(0));
    const size_t width = textWidth(args.number(1));
    char fill = kBlank;
    if (args.has(2)) {
        const ExpValue fillValue = args.value(2);
        if (fillValue.type != ExpType::Text || fillValue.text.size() != 1) {
            experr::valueRequired(experr::kChar);
        }
        fill = fillValue.text[0];
    }
    if (text.size() >= width) return ExpValue::ofText(std::move(text));
    const size_t missing = width - text.size();
    const size_t before = where < 0 ? missing : where == 0 ? missing / 2 : 0;
    return ExpValue::ofText(std::string(before, fill) + text + std::string(missing - before, fill));
}

// ---- the built-ins, in registry order ----

ExpValue fnAlltrim(const FunctionArgs& a) {
    return ExpValue::ofText(std::string(trimRight(trimLeft(a.text(0)))));
}

ExpValue fnAsc(const FunctionArgs& a) {
    const std::string text = a.text(0);
    return ExpValue::ofNumber(text.empty() ? 0.0 : static_cast<uint8_t>(text[0]));
}

ExpValue fnAt(const FunctionArgs& a) {
    const std::string needle = a.text(0), haystack = a.text(1);
    const int64_t n = a.has(2) ? truncated(a.number(2)) : 1;
    return ExpValue::ofNumber(occurrence(needle, haystack, n));
}

ExpValue fnAtc(const FunctionArgs& a) {
    const std::string needle = upperLatin(a.text(0)), haystack = upperLatin(a.text(1));
    const int64_t n = a.has(2) ? truncated(a.number(2)) : 1;
    return ExpValue::ofNumber(occurrence(needle, haystack, n));
}

ExpValue fnBetween(const FunctionArgs& a) {
    const ExpValue x = a.value(0), low = a.value(1), high = a.value(2);
    for (const ExpValue* bound : {&low, &high}) {
        if (bound->type != x.type && !(isNumberLike(bound->type) && isNumberLike(x.type))) {
            experr::sidesDoNotMatch();
        }
    }
    const TextCodePage page = textCodePageOf(a.link());
    return ExpValue::ofBoolean(compareSameType(low, x, page) <= 0 &&
                               compareSameType(x, high, page) <= 0);
}

ExpValue fnCeiling(const FunctionArgs& a) {
    return ExpValue::ofNumber(std::ceil(a.number(0)));
}

ExpValue fnChr(const FunctionArgs& a) {
    const double code = a.number(0);
    if (!(code >= 0.0 && code < 256.0)) experr::valueRequired(experr::kByte);
    return ExpValue::ofText(std::string(1, static_cast<char>(static_cast<uint8_t>(code))));
}

ExpValue fnCtod(const FunctionArgs& a) {
    const std::string text = a.text(0);
    return ExpValue::ofDate(text.empty() ? kEmptyDate : dateFromText(text));
}

ExpValue fnDate(const FunctionArgs&) {
    return ExpValue::ofDate(julianToday());
}

ExpValue fnDescend(const FunctionArgs& a) {
    ExpValue v = a.value(0);
    switch (v.type) {
        case ExpType::Date:
            if (v.number != kEmptyDate) v.number = kDescendDateBase - v.number;
            return v;
        case ExpType::Number:
            if (v.number != 0.0) v.number = -v.number;
            return v;
        case ExpType::Boolean:
            v.boolean = !v.boolean;
            return v;
        case ExpType::Text:
            for (char& ch : v.text) ch = static_cast<char>((256 - static_cast<uint8_t>(ch)) % 256);
            return v;
        case ExpType::None:
            break;
    }
    return ExpValue::ofBoolean(false);
}

ExpValue fnDow(const FunctionArgs& a) {
    const double day = a.date(0);
    if (!civilFromJulianDay(day)) return ExpValue::ofNumber(0);
    // Day numbers count from a Monday, so day + 1 modulo 7 is 0 on a Sunday.
    return ExpValue::ofNumber(static_cast<double>((static_cast<int64_t>(day) + 1) % 7 + 1));
}

ExpValue fnDtoc(const FunctionArgs& a) {
    const double day = a.date(0);
    if (a.has(1) && a.number(1) == 1.0) return ExpValue::ofText(dateToDtos(day));
    return ExpValue::ofText(dateToShortText(day));
}

ExpValue fnDtos(const FunctionArgs& a) {
    return ExpValue::ofText(dateToDtos(a.date(0)));
}

ExpValue fnEmpty(const FunctionArgs& a) {
    const ExpValue v = a.value(0);
    switch (v.type) {
        case ExpType::Date:
            return ExpValue::ofBoolean(v.number == kEmptyDate || v.number == 0.0);
        case ExpType::Number:
            return ExpValue::ofBoolean(v.number == 0.0);
        case ExpType::Text:
            return ExpValue::ofBoolean(v.text.find_first_not_of(kBlank) == std::string::npos);
        case ExpType::Boolean:
            return ExpValue::ofBoolean(!v.boolean);
        case ExpType::None:
            break;
    }
    return ExpValue::ofBoolean(true);
}

ExpValue fnFloor(const FunctionArgs& a) {
    return ExpValue::ofNumber(std::floor(a.number(0)));
}

ExpValue fnIif(const FunctionArgs& a) {
    return a.value(a.boolean(0) ? 1 : 2);
}

ExpValue fnInt(const FunctionArgs& a) {
    return ExpValue::ofNumber(std::trunc(a.number(0)));
}

ExpValue fnLeft(const FunctionArgs& a) {
    std::string text = a.text(0);
    const double count = a.number(1);
    if (!(count > 0.01)) return ExpValue::ofText({});
    const int64_t n = truncated(count);
    if (static_cast<uint64_t>(n) < text.size()) text.resize(static_cast<size_t>(n));
    return ExpValue::ofText(std::move(text));
}

ExpValue fnLen(const FunctionArgs& a) {
    return ExpValue::ofNumber(static_cast<double>(a.text(0).size()));
}

ExpValue fnLower(const FunctionArgs& a) {
    return ExpValue::ofText(lowerInPage(a.text(0), textCodePageOf(a.link())));
}

ExpValue fnLtrim(const FunctionArgs& a) {
    return ExpValue::ofText(std::string(trimLeft(a.text(0))));
}

ExpValue fnMod(const FunctionArgs& a) {
    const double n = std::trunc(a.number(0)), m = std::trunc(a.number(1));
    // A zero divisor leaves the dividend, as the remainder of no division.
    if (m == 0.0 || std::isnan(m)) return ExpValue::ofNumber(n);
    const double remainder = std::fmod(n, m);
    return ExpValue::ofNumber(remainder == 0.0 ? 0.0 : remainder);
}

ExpValue fnPadc(const FunctionArgs& a) {
    return pad(a, 0);
}
ExpValue fnPadl(const FunctionArgs& a) {
    return pad(a, -1);
}
ExpValue fnPadr(const FunctionArgs& a) {
    return pad(a, 1);
}

ExpValue fnProper(const FunctionArgs& a) {
    static constexpr std::string_view kWordStarts = "!\"#$%&()*+,-./:;<=>?[\\]^_{|}~@\x7f ";
    const TextCodePage page = textCodePageOf(a.link());
    std::string text = a.text(0);
    char previous = '\0';
    for (char& ch : text) {
        const bool startsWord =
            previous == '\0' || kWordStarts.find(previous) != std::string_view::npos;
        previous = ch;
        const uint8_t byte = static_cast<uint8_t>(ch);
        ch = static_cast<char>(startsWord ? upperInPage(byte, page) : lowerInPage(byte, page));
    }
    return ExpValue::ofText(std::move(text));
}

ExpValue fnRight(const FunctionArgs& a) {
    std::string text = a.text(0);
    const int64_t n = truncated(a.number(1));
    if (n <= 0 || static_cast<uint64_t>(n) >= text.size()) return ExpValue::ofText(std::move(text));
    return ExpValue::ofText(text.substr(text.size() - static_cast<size_t>(n)));
}

ExpValue fnTrim(const FunctionArgs& a) {
    return ExpValue::ofText(std::string(trimRight(a.text(0))));
}

char soundexCode(char upper) {
    switch (upper) {
        case 'B':
        case 'F':
        case 'P':
        case 'V':
            return '1';
        case 'C':
        case 'G':
        case 'J':
        case 'K':
        case 'Q':
        case 'S':
        case 'X':
        case 'Z':
            return '2';
        case 'D':
        case 'T':
            return '3';
        case 'L':
            return '4';
        case 'M':
        case 'N':
            return '5';
        case 'R':
            return '6';
        default:
            return '\0';
    }
}

ExpValue fnSoundex(const FunctionArgs& a) {
    const std::string text = upperLatin(a.text(0));
    const size_t first = text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    std::string code;
    if (first != std::string::npos) {
        code += text[first];
        char previous = soundexCode(text[first]);
        for (size_t i = first + 1; i < text.size() && code.size() < 4; ++i) {
            const char current = soundexCode(text[i]);
            if (current != '\0' && current != previous) code += current;
            previous = current;
        }
    }
    code.resize(4, '0');
    return ExpValue::ofText(std::move(code));
}

ExpValue fnSpace(const FunctionArgs& a) {
    return ExpValue::ofText(std::string(textWidth(a.number(0)), kBlank));
}

std::string strText(const FunctionArgs& a) {
    const double value = a.number(0);
    const double width = a.has(1) ? a.number(1) : 10.0;
    const double decimals = a.has(2) ? a.number(2) : 0.0;
    const int w = static_cast<int>(textWidth(width));
    const int64_t d = std::clamp<int64_t>(truncated(decimals), 0, w);
    return formatStr(value, w, static_cast<int>(d));
}

ExpValue fnStr(const FunctionArgs& a) {
    return ExpValue::ofText(strText(a));
}

ExpValue fnStrtran(const FunctionArgs& a) {
    const std::string text = a.text(0);
    const std::string find = a.text(1);
    const std::string replace = a.text(2);
    if (text.empty() || find.empty()) return ExpValue::ofText(text);
    const int64_t start = a.has(3) ? truncated(a.number(3)) : 1;
    const int64_t count = a.has(4) ? truncated(a.number(4)) : INT64_MAX;
    std::string out;
    int64_t seen = 0, replaced = 0;
    size_t from = 0;
    const TextSearcher searcher(find);
    for (size_t at = searcher.find(text); at != std::string::npos; at = searcher.find(text, from)) {
        ++seen;
        out.append(text, from, at - from);
        if (seen >= start && replaced < count) {
            out += replace;
            ++replaced;
        } else {
            out += find;
        }
        from = at + find.size();
        if (out.size() > kMaxTextLength) experr::resultTooLong();
    }
    out.append(text, from, std::string::npos);
    if (out.size() > kMaxTextLength) experr::resultTooLong();
    return ExpValue::ofText(std::move(out));
}

ExpValue fnStrzero(const FunctionArgs& a) {
    std::string text = strText(a);
    for (char& ch : text) {
        if (ch != kBlank) break;
        ch = '0';
    }
    return ExpValue::ofText(std::move(text));
}

ExpValue fnSubstr(const FunctionArgs& a) {
    const std::string text = a.text(0);
    const int64_t start = truncated(a.number(1));
    if (start < 1 || static_cast<uint64_t>(start) > text.size()) return ExpValue::ofText({});
    size_t count = std::string::npos;
    if (a.has(2)) {
        const int64_t n = truncated(a.number(2));
        if (n <= 0) return ExpValue::ofText({});
        count = static_cast<size_t>(n);
    }
    return ExpValue::ofText(text.substr(static_cast<size_t>(start - 1), count));
}

ExpValue fnUpper(const FunctionArgs& a) {
    return ExpValue::ofText(upperInPage(a.text(0), textCodePageOf(a.link())));
}

ExpValue fnVal(const FunctionArgs& a) {
    return ExpValue::ofNumber(valueOfText(a.text(0)));
}

}  // namespace

// ---- FunctionArgs ----

ExpValue FunctionArgs::value(size_t index) const {
    if (!has(index)) return {};
    return m_arguments[index]->evaluate();
}

std::string FunctionArgs::text(size_t index) const {
    ExpValue v = value(index);
    switch (v.type) {
        case ExpType::Text:
            return std::move(v.text);
        case ExpType::Number:
        case ExpType::Date:
            experr::argumentNeeded("Text", static_cast<int>(index) + 1, m_name);
        case ExpType::Boolean:
            return v.boolean ? "T" : "F";
        case ExpType::None:
            break;
    }
    return {};
}

double FunctionArgs::number(size_t index) const {
    const ExpValue v = value(index);
    switch (v.type) {
        case ExpType::Number:
        case ExpType::Date:
            return v.number;
        case ExpType::Text:
            return valueOfText(v.text);
        case ExpType::Boolean:
            return v.boolean ? 1.0 : 0.0;
        case ExpType::None:
            break;
    }
    return 0.0;
}

double FunctionArgs::date(size_t index) const {
    const ExpValue v = value(index);
    switch (v.type) {
        case ExpType::Number:
        case ExpType::Date:
            return v.number;
        case ExpType::Text:
            return v.text.empty() ? kEmptyDate : dateFromText(v.text);
        default:
            break;
    }
    return kEmptyDate;
}

bool FunctionArgs::boolean(size_t index) const {
    const ExpValue v = value(index);
    switch (v.type) {
        case ExpType::Boolean:
            return v.boolean;
        case ExpType::Number:
        case ExpType::Date:
            experr::argumentNeeded("Boolean", static_cast<int>(index) + 1, m_name);
        case ExpType::Text:
            return !v.text.empty() && std::string_view("TtYy").find(v.text[0]) != std::string::npos;
        case ExpType::None:
            break;
    }
    return false;
}

// ---- registry ----

TgsFunctionReg::TgsFunctionReg()
    : m_functions{
          {"ALLTRIM", fnAlltrim}, {"ASC", fnAsc},         {"AT", fnAt},
          {"ATC", fnAtc},         {"BETWEEN", fnBetween}, {"CEILING", fnCeiling},
          {"CHR", fnChr},         {"CTOD", fnCtod},       {"DATE", fnDate},
          {"DESCEND", fnDescend}, {"DOW", fnDow},         {"DTOC", fnDtoc},
          {"DTOS", fnDtos},       {"EMPTY", fnEmpty},     {"FLOOR", fnFloor},
          {"IIF", fnIif},         {"INT", fnInt},         {"LEFT", fnLeft},
          {"LEN", fnLen},         {"LOWER", fnLower},     {"LTRIM", fnLtrim},
          {"MOD", fnMod},         {"PADC", fnPadc},       {"PADL", fnPadl},
          {"PADR", fnPadr},       {"PROPER", fnProper},   {"RIGHT", fnRight},
          {"RTRIM", fnTrim},      {"SOUNDEX", fnSoundex}, {"SPACE", fnSpace},
          {"STR", fnStr},         {"STRTRAN", fnStrtran}, {"STRZERO", fnStrzero},
          {"SUBSTR", fnSubstr},   {"TRIM", fnTrim},       {"UPPER", fnUpper},
          {"VAL", fnVal},
      } {}

const TgsFunctionReg& TgsFunctionReg::instance() {
    static const TgsFunctionReg registry;
    return registry;
}

const TgsUserDefFunction* TgsFunctionReg::find(std::string_view upperName) const {
    for (const auto& function : m_functions) {
        if (function.name() == upperName) return &function;
    }
    return nullptr;
}

// ---- shared formatting ----

std::string formatStr(double value, int width, int decimals) {
    width = std::max(width, 0);
    decimals = std::max(decimals, 0);
    // With as many decimals as the width the text ("0." and the decimals) cannot fit.
    if (!std::isfinite(value) || (decimals > 0 && decimals >= width)) {
        return std::string(static_cast<size_t>(width), '*');
    }
    std::string text = fixedHalfAway(value, decimals);
    if (text.size() > static_cast<size_t>(width))
        return std::string(static_cast<size_t>(width), '*');
    return std::string(static_cast<size_t>(width) - text.size(), kBlank) + text;
}

double valueOfText(std::string_view text) {
    return parseLocaleNumber(text).value_or(0.0);
}

}  // namespace abonex
