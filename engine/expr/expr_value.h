// ExpValue: a value of the key-expression language.
//
// Four types, named in messages and by the tools "Text", "Number", "Date" and "Boolean", plus
// None for a missing argument or an expression that was not evaluated. A Date is a Julian day
// number carried as a double in `number` (1 January 1980 is 2444240); the empty date is
// kEmptyDate (1.0e100), after every real date; a blank date field reads as day 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr/tgs_variant.h"

namespace abonex {

enum class ExpType : uint8_t { None, Text, Number, Date, Boolean };

// "Text", "Number", "Date", "Boolean"; "None" for no type.
std::string_view expTypeName(ExpType type);

// Number and Date agree wherever two sides must have the same type.
inline bool isNumberLike(ExpType type) {
    return type == ExpType::Number || type == ExpType::Date;
}

struct ExpValue {
    ExpType type = ExpType::None;
    std::string text;     // Text: the bytes, in the table's code page
    double number = 0.0;  // Number; Date: the Julian day (kEmptyDate for the empty date)
    bool boolean = false;

    static ExpValue ofText(std::string bytes) {
        ExpValue v;
        v.type = ExpType::Text;
        v.text = std::move(bytes);
        return v;
    }
    static ExpValue ofNumber(double value) {
        ExpValue v;
        v.type = ExpType::Number;
        v.number = value;
        return v;
    }
    static ExpValue ofDate(double julianDay) {
        ExpValue v;
        v.type = ExpType::Date;
        v.number = julianDay;
        return v;
    }
    static ExpValue ofBoolean(bool value) {
        ExpValue v;
        v.type = ExpType::Boolean;
        v.boolean = value;
        return v;
    }
};

}  // namespace abonex
