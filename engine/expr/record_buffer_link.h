// RecordBufferLink: the expression link of a table whose records are handed over one at a time
// from a buffer of its owner's (a chunk of records read at once), with the record's number.
//
// Unlike TgsDBFExpUserLink it touches nothing of the table but what stays constant while the
// table is open (its fields, record length and code page), so each thread of a bulk build
// evaluates its own compiled expressions through a link of its own. The begin and end states
// are false: the records are read as a stream, not positioned on.
// The link must not outlive the table.
#pragma once

#include <algorithm>

#include "engine/dbf/dbf_fields.h"
#include "engine/expr/exp_user_link.h"

namespace abonex {

class RecordBufferLink : public TgsExpUserLink {
  public:
    explicit RecordBufferLink(const GSO_dBaseFld& table)
        : m_fields(table.fields()),
          m_length(static_cast<size_t>(std::max(table.recordLength(), 0))),
          m_codePage(table.textCodePage()) {}

    // Points the link at the record `number` whose `recordLength()` bytes start at `record`.
    void setRecord(const uint8_t* record, int number) {
        m_record = record;
        m_number = number;
    }

    const std::vector<DbfField>& fields() const override { return m_fields; }
    const uint8_t* recordBuffer() const override { return m_record; }
    size_t recordLength() const override { return m_record != nullptr ? m_length : 0; }
    int recordNumber() const override { return m_number; }
    bool isDeleted() const override { return m_record != nullptr && m_record[0] == kDeletedFlag; }
    bool atBeginning() const override { return false; }
    bool atEnd() const override { return false; }
    TextCodePage textCodePage() const override { return m_codePage; }

  private:
    const std::vector<DbfField>& m_fields;
    size_t m_length;
    TextCodePage m_codePage;
    const uint8_t* m_record = nullptr;
    int m_number = 0;
};

}  // namespace abonex
