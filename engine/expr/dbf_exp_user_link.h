// TgsDBFExpUserLink: the expression link of an open table file.
//
// Reads the field list, the current record image (or the buffer the data set pointed the
// table at), the record number, the deleted/begin/end states and the code page of the text
// straight from the table.
// The link must not outlive the table.
#pragma once

#include <algorithm>

#include "engine/dbf/dbf_fields.h"
#include "engine/expr/exp_user_link.h"

namespace abonex {

class TgsDBFExpUserLink : public TgsExpUserLink {
  public:
    explicit TgsDBFExpUserLink(const GSO_dBaseFld& table) : m_table(table) {}

    const std::vector<DbfField>& fields() const override { return m_table.fields(); }
    const uint8_t* recordBuffer() const override { return m_table.recordImage(); }
    size_t recordLength() const override {
        return static_cast<size_t>(std::max(m_table.recordLength(), 0));
    }
    int recordNumber() const override { return m_table.recordNumber(); }
    bool isDeleted() const override { return m_table.isDeleted(); }
    bool atBeginning() const override { return m_table.atBeginning(); }
    bool atEnd() const override { return m_table.atEnd(); }
    TextCodePage textCodePage() const override { return m_table.textCodePage(); }

    const GSO_dBaseFld& table() const { return m_table; }

  private:
    const GSO_dBaseFld& m_table;
};

}  // namespace abonex
