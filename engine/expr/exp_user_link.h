// TgsExpUserLink: what an expression sees of its table.
//
// The evaluator reads fields straight from the table's current record buffer (raw bytes, no
// code-page translation) and asks the link for the record number and the deleted/begin/end
// states used by the table functions. A link lives while its table is open; every compiled
// expression that names a field keeps a pointer to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_table.h"

namespace abonex {

class TgsUserDefFunction;

class TgsExpUserLink {
  public:
    virtual ~TgsExpUserLink() = default;

    // The table's fields in record order; `offset` is the field's position in the buffer.
    virtual const std::vector<DbfField>& fields() const = 0;
    // The current record buffer (deletion flag first) and its length in bytes.
    virtual const uint8_t* recordBuffer() const = 0;
    virtual size_t recordLength() const = 0;
    virtual int recordNumber() const = 0;
    virtual bool isDeleted() const = 0;
    virtual bool atBeginning() const = 0;
    virtual bool atEnd() const = 0;
    // The code page of the table's text, whose letters the case functions and the text
    // comparisons follow; the ANSI page unless the link says otherwise.
    virtual TextCodePage textCodePage() const { return TextCodePage::Ansi1251; }
    // The table handler's hook for further functions by upper-case name; none by default.
    // A function returned here must live as long as the link: compiled trees keep it.
    virtual const TgsUserDefFunction* genericFunction(std::string_view upperName) const;

    // The field named `name` (compared upper case); a name of the form X.FIELD is also matched
    // by its part after the first period. nullptr when there is none.
    const DbfField* findField(std::string_view name) const;
    // The table functions RECNO, DELETED, BOF, EOF, TYPE, FIELDNO and the table's LEN, by
    // upper-case name; nullptr for any other name.
    static const TgsUserDefFunction* tableFunction(std::string_view upperName);
    // The field's bytes in the current buffer, cut to the part that lies inside the buffer.
    std::string_view fieldBytes(const DbfField& field) const;
};

// The code page of `link`'s text; the ANSI page for an expression without a table.
inline TextCodePage textCodePageOf(const TgsExpUserLink* link) {
    return link != nullptr ? link->textCodePage() : TextCodePage::Ansi1251;
}

}  // namespace abonex
