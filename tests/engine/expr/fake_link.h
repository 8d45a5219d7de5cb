// An in-memory table for the expression tests: a field list and one record buffer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/exp_handler.h"
#include "engine/expr/exp_user_link.h"
#include "engine/expr/expr_error.h"

namespace abonex::test {

class FakeLink : public TgsExpUserLink {
  public:
    FakeLink() : m_buffer(1, ' ') {}

    // Appends a field after the last one; the record grows by its width (blank-filled).
    FakeLink& addField(std::string name, char type, int length, int decimals = 0) {
        DbfField field;
        field.name = std::move(name);
        field.type = type;
        field.length = length;
        field.decimals = decimals;
        field.offset = static_cast<int>(m_buffer.size());
        field.number = static_cast<int>(m_fields.size()) + 1;
        m_fields.push_back(field);
        m_buffer.append(static_cast<size_t>(length), ' ');
        return *this;
    }
    // Stores raw bytes into a field, left-aligned and blank-padded (cut at the width).
    void set(std::string_view name, std::string_view bytes) {
        const DbfField* field = findField(name);
        std::string value(bytes.substr(0, static_cast<size_t>(field->length)));
        value.resize(static_cast<size_t>(field->length), ' ');
        m_buffer.replace(static_cast<size_t>(field->offset), value.size(), value);
    }
    void setDeleted(bool deleted) { m_buffer[0] = deleted ? '*' : ' '; }
    void setPosition(int record, bool atBeginning = false, bool atEnd = false) {
        m_record = record;
        m_bof = atBeginning;
        m_eof = atEnd;
    }
    // Cuts the buffer short, as a damaged field list could describe more than the record.
    void truncateBuffer(size_t length) { m_buffer.resize(length); }
    void setCodePage(TextCodePage page) { m_page = page; }

    const std::vector<DbfField>& fields() const override { return m_fields; }
    const uint8_t* recordBuffer() const override {
        return reinterpret_cast<const uint8_t*>(m_buffer.data());
    }
    size_t recordLength() const override { return m_buffer.size(); }
    int recordNumber() const override { return m_record; }
    bool isDeleted() const override { return m_buffer[0] == '*'; }
    bool atBeginning() const override { return m_bof; }
    bool atEnd() const override { return m_eof; }
    TextCodePage textCodePage() const override { return m_page; }

  private:
    std::vector<DbfField> m_fields;
    std::string m_buffer;
    int m_record = 1;
    bool m_bof = false;
    bool m_eof = false;
    TextCodePage m_page = TextCodePage::Ansi1251;
};

// Compiles and evaluates `text` against `link` (may be null).
inline ExpValue evaluate(std::string_view text, const TgsExpUserLink* link = nullptr) {
    TgsExpHandler handler(link);
    handler.ExpressionCompile(text);
    return handler.ExpressionEvaluate();
}

// The message of the EEngineExpression that compiling or evaluating `text` raises, or
// "(no error)".
inline std::string errorOf(std::string_view text, const TgsExpUserLink* link = nullptr) {
    try {
        evaluate(text, link);
    } catch (const EEngineExpression& error) {
        return error.what();
    }
    return "(no error)";
}

inline std::string textOf(std::string_view text, const TgsExpUserLink* link = nullptr) {
    ExpValue value = evaluate(text, link);
    EXPECT_EQ(value.type, ExpType::Text) << text;
    return value.text;
}

inline double numberOf(std::string_view text, const TgsExpUserLink* link = nullptr) {
    ExpValue value = evaluate(text, link);
    EXPECT_EQ(value.type, ExpType::Number) << text;
    return value.number;
}

inline double dateOf(std::string_view text, const TgsExpUserLink* link = nullptr) {
    ExpValue value = evaluate(text, link);
    EXPECT_EQ(value.type, ExpType::Date) << text;
    return value.number;
}

inline bool booleanOf(std::string_view text, const TgsExpUserLink* link = nullptr) {
    ExpValue value = evaluate(text, link);
    EXPECT_EQ(value.type, ExpType::Boolean) << text;
    return value.boolean;
}

}  // namespace abonex::test
