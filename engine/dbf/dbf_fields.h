// GSO_dBaseFld: field access by name or number on the current record image of a table.
//
// Character, date and logical fields are read and written as text in the table's own code page
// (866 for this program's tables); translation to and from the ANSI page (1251) is the data
// set's job (codepage.h). Other field types are refused with error 1004.
#pragma once

#include <string>
#include <string_view>

#include "engine/dbf/dbf_table.h"

namespace abonex {

// The text of a field's bytes as a reader sees it: up to the first NUL, trailing bytes of value
// 0x20 or less removed, leading blanks kept.
std::string_view fieldText(std::string_view bytes);

class GSO_dBaseFld : public GSO_dBaseDBF {
  public:
    using GSO_dBaseDBF::GSO_dBaseDBF;

    // The descriptor of the field named `name` (trailing blanks ignored, compared without
    // regard to case); raises 1003 "<path>-><name>" when there is none.
    const DbfField& FindField(std::string_view name) const;
    // The descriptor of field `number` (1-based); raises 1003 when out of range.
    const DbfField& fieldByNumber(int number) const;

    // The field's text with trailing bytes <= 0x20 removed, stopping at a NUL.
    std::string FieldGet(std::string_view name) const { return FieldGet(FindField(name)); }
    std::string FieldGet(int number) const { return FieldGet(fieldByNumber(number)); }
    std::string FieldGet(const DbfField& field) const;

    // Stores text into the field (blank-filled, cut at the field length; right-aligned for
    // types other than C, D and L) and marks it changed.
    void FieldPut(std::string_view name, std::string_view text) { FieldPut(FindField(name), text); }
    void FieldPut(int number, std::string_view text) { FieldPut(fieldByNumber(number), text); }
    void FieldPut(const DbfField& field, std::string_view text);

    // Logical fields: true for one of "TtYyJj"; written as "T" or "F".
    bool fieldGetLogical(const DbfField& field) const;
    void fieldPutLogical(const DbfField& field, bool value);

    // The raw bytes of a field in the current record image.
    std::string_view fieldBytes(const DbfField& field) const;
};

}  // namespace abonex
