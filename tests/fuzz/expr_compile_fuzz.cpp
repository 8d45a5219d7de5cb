// libFuzzer target: compiles arbitrary bytes as a key expression against a small table and,
// when it compiles, evaluates it and writes it back.
//
// The first byte chooses the comparison settings; the rest is the expression. Any exception
// other than EEngineExpression, any crash, leak or undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/exp_handler.h"
#include "engine/expr/exp_user_link.h"
#include "engine/expr/expr_error.h"

namespace {

using namespace abonex;

// One record of a table with a field of each type the evaluator distinguishes.
class FuzzLink : public TgsExpUserLink {
  public:
    FuzzLink() {
        add("NAME", 'C', 30, 0, "\x88\xA2\xA0\xAD\xAE\xA2 Ivanov");
        add("PHONE1", 'C', 15, 0, "22-33-44");
        add("BORN", 'D', 8, 0, "19800101");
        add("SUM", 'N', 8, 2, "  -12.50");
        add("OK", 'L', 1, 0, "T");
        add("NOTE", 'M', 10, 0, std::string("a\0b", 3));
    }
    const std::vector<DbfField>& fields() const override { return m_fields; }
    const uint8_t* recordBuffer() const override {
        return reinterpret_cast<const uint8_t*>(m_record.data());
    }
    size_t recordLength() const override { return m_record.size(); }
    int recordNumber() const override { return 3; }
    bool isDeleted() const override { return false; }
    bool atBeginning() const override { return false; }
    bool atEnd() const override { return false; }

  private:
    void add(const char* name, char type, int length, int decimals, std::string value) {
        DbfField field;
        field.name = name;
        field.type = type;
        field.length = length;
        field.decimals = decimals;
        field.offset = static_cast<int>(m_record.size());
        field.number = static_cast<int>(m_fields.size()) + 1;
        m_fields.push_back(field);
        value.resize(static_cast<size_t>(length), ' ');
        m_record += value;
    }
    std::vector<DbfField> m_fields;
    std::string m_record = " ";
};

// The outcome of one evaluation, for comparing two trees of the same expression. Messages
// are not compared: they quote operators as written ("and" against ".AND.").
struct Outcome {
    bool failed = false;
    ExpValue value;
    bool operator==(const Outcome& other) const {
        if (failed || other.failed) return failed == other.failed;
        if (value.type != other.value.type) return false;
        switch (value.type) {
            case ExpType::Text:
                return value.text == other.value.text;
            case ExpType::Number:
            case ExpType::Date:
                return value.number == other.value.number ||
                       (value.number != value.number && other.value.number != other.value.number);
            case ExpType::Boolean:
                return value.boolean == other.value.boolean;
            case ExpType::None:
                return true;
        }
        return false;
    }
};

Outcome evaluateOutcome(TgsExpHandler& handler) {
    Outcome outcome;
    try {
        outcome.value = handler.ExpressionEvaluate();
    } catch (const EEngineExpression&) {
        outcome.failed = true;
    }
    return outcome;
}

void configure(TgsExpHandler& handler, uint8_t settings) {
    handler.setCaseInsensitive((settings & 1) != 0);
    handler.setWildcards((settings & 2) == 0);
    if (settings & 4) handler.setWildcardChar('%');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzLink link;
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    TgsExpHandler handler(&link);
    configure(handler, settings);
    try {
        handler.ExpressionCompile(text);
    } catch (const EEngineExpression&) {
        if (handler.isCompiled()) __builtin_trap();  // a failed compile must leave no tree
        return 0;
    }
    const std::string fields = handler.FieldNames();
    if (!fields.empty() && fields.back() != ';') __builtin_trap();
    try {
        TgsVariant key;
        handler.ExpressionToKey(key);
        if (handler.ResultType() == ExpType::Text && key.type() != VariantType::Character) {
            __builtin_trap();
        }
    } catch (const EEngineExpression&) {
    }

    // The written form may be refused ("in string"); once it compiles, writing the new tree
    // must give the same text again, and both trees must compute the same result.
    const std::string written = handler.ExpressionText();
    TgsExpHandler second(&link);
    configure(second, settings);
    try {
        second.ExpressionCompile(written);
    } catch (const EEngineExpression&) {
        return 0;
    }
    // A text literal holding all three kinds of delimiter cannot be written back faithfully;
    // without one, the first rewrite already computes the same result.
    const bool allDelimiters = text.find('"') != std::string_view::npos &&
                               text.find('\'') != std::string_view::npos &&
                               text.find(']') != std::string_view::npos;
    if (!allDelimiters && !(evaluateOutcome(handler) == evaluateOutcome(second))) {
        __builtin_trap();
    }
    const std::string rewritten = second.ExpressionText();
    TgsExpHandler third(&link);
    configure(third, settings);
    third.ExpressionCompile(rewritten);  // must not throw
    if (third.ExpressionText() != rewritten) __builtin_trap();
    if (!(evaluateOutcome(second) == evaluateOutcome(third))) __builtin_trap();
    return 0;
}
