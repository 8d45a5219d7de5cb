// TgsVariant: a typed engine value in which expression results, index keys and sort keys travel.
//
// Types: character (bytes, no terminator), double, date (a Julian day number; 1 January 1980 is
// 2444240), logical and raw bytes, or none. In a tag, character keys are held without trailing
// blanks, date and numeric keys as doubles. A key in a page also carries a 32-bit pointer: the
// record number in a leaf, the child block number in a branch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace abonex {

enum class VariantType : uint8_t { None, Character, Double, Date, Logical, Raw };

// The empty date in keys and expressions: after every real date.
inline constexpr double kEmptyDate = 1.0e100;
// Julian day number of 1 January 1980.
inline constexpr int32_t kJulian19800101 = 2444240;

class TgsVariant {
  public:
    TgsVariant() = default;

    static TgsVariant character(std::string_view bytes) {
        TgsVariant v;
        v.m_type = VariantType::Character;
        v.m_bytes.assign(bytes);
        return v;
    }
    // Makes this the character value `bytes` with pointer 0, as character(bytes) would, in the
    // storage it holds already: no allocation when it held as many bytes before.
    void assignCharacter(std::string_view bytes) {
        m_type = VariantType::Character;
        m_bytes.assign(bytes);
        m_number = 0.0;
        m_date = 0;
        m_logical = false;
        m_pointer = 0;
    }
    static TgsVariant raw(std::string_view bytes) {
        TgsVariant v;
        v.m_type = VariantType::Raw;
        v.m_bytes.assign(bytes);
        return v;
    }
    static TgsVariant number(double value) {
        TgsVariant v;
        v.m_type = VariantType::Double;
        v.m_number = value;
        return v;
    }
    static TgsVariant date(int32_t julianDay) {
        TgsVariant v;
        v.m_type = VariantType::Date;
        v.m_date = julianDay;
        v.m_number = julianDay;
        return v;
    }
    // A date key from an expression's day number: asDate() is the day truncated toward zero,
    // asDouble() the same day as a double. The empty date (kEmptyDate), and any day outside
    // the 32-bit range, gives asDouble() == kEmptyDate and asDate() == 0.
    static TgsVariant dateKey(double julianDay) {
        TgsVariant v;
        v.m_type = VariantType::Date;
        if (julianDay > -2147483649.0 && julianDay < 2147483648.0) {
            v.m_date = static_cast<int32_t>(julianDay);
            v.m_number = v.m_date;
        } else {
            v.m_number = kEmptyDate;
        }
        return v;
    }
    bool isEmptyDate() const { return m_type == VariantType::Date && m_number == kEmptyDate; }
    static TgsVariant logical(bool value) {
        TgsVariant v;
        v.m_type = VariantType::Logical;
        v.m_logical = value;
        return v;
    }

    VariantType type() const { return m_type; }
    bool isNone() const { return m_type == VariantType::None; }
    // Bytes of a character or raw value.
    const std::string& bytes() const { return m_bytes; }
    std::string& bytes() { return m_bytes; }
    // The number of a double, or the day of a date as a double.
    double asDouble() const { return m_number; }
    int32_t asDate() const { return m_date; }
    bool asLogical() const { return m_logical; }
    // Length in bytes as a key: text length, 8 for a double, 4 for a date, 1 for a logical.
    size_t length() const {
        switch (m_type) {
            case VariantType::Character:
            case VariantType::Raw:
                return m_bytes.size();
            case VariantType::Double:
                return 8;
            case VariantType::Date:
                return 4;
            case VariantType::Logical:
                return 1;
            case VariantType::None:
                break;
        }
        return 0;
    }
    // An empty key: no type, or a character or raw value without bytes.
    bool isEmpty() const {
        return m_type == VariantType::None ||
               ((m_type == VariantType::Character || m_type == VariantType::Raw) &&
                m_bytes.empty());
    }

    // The key's pointer: record number (leaf) or child block (branch).
    uint32_t pointer() const { return m_pointer; }
    void setPointer(uint32_t pointer) { m_pointer = pointer; }

    bool operator==(const TgsVariant&) const = default;

  private:
    VariantType m_type = VariantType::None;
    std::string m_bytes;
    double m_number = 0.0;
    int32_t m_date = 0;
    bool m_logical = false;
    uint32_t m_pointer = 0;
};

}  // namespace abonex
