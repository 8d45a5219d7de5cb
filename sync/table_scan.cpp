#include "sync/table_scan.h"

#include <algorithm>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

namespace {

constexpr std::string_view kBeyondRange = "Record request beyond range of table";

bool blank(uint8_t byte) {
    return byte <= ' ';
}

}  // namespace

bool TableScan::suits(TEngineDataSet& dataSet) {
    DBFObject* table = dataSet.Active() ? dataSet.handler() : nullptr;
    if (table == nullptr || table->fieldCount() < kFields) return false;
    for (int i = 0; i < kFields; ++i) {
        if (table->fields()[static_cast<size_t>(i)].type != 'C') return false;
    }
    return true;
}

TableScan::TableScan(TEngineDataSet& dataSet, size_t chunkBytes)
    : m_table(*dataSet.handler()),
      m_recordCount(m_table.recordCount()),
      m_headerLength(m_table.headerLength()),
      m_recordLength(m_table.recordLength()) {
    for (int i = 0; i < kFields; ++i) {
        const DbfField& field = m_table.fields()[static_cast<size_t>(i)];
        m_offset[static_cast<size_t>(i)] = field.offset;
        m_length[static_cast<size_t>(i)] = field.length;
    }
    // The translation is byte for byte, so one table per byte gives what the data set gives.
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string text =
            dataSet.TranslateASCII() ? pageToAnsi(dataSet.tableCodePage(), one) : one;
        const auto value = static_cast<uint8_t>(text.empty() ? byte : text[0]);
        m_toText[static_cast<size_t>(byte)] = value;
        m_toFolded[static_cast<size_t>(byte)] = ansiUpper(value);
    }
    const size_t length = static_cast<size_t>(std::max(1, m_recordLength));
    m_chunkRecords = static_cast<int>(std::max<size_t>(1, chunkBytes / length));
    m_readBack.resize(length);
}

uint64_t TableScan::recordOffset(int recordNumber) const {
    return static_cast<uint64_t>(m_headerLength) +
           static_cast<uint64_t>(recordNumber - 1) * static_cast<uint64_t>(m_recordLength);
}

bool TableScan::readChunk() {
    const int first = m_chunkFirst + m_chunkCount;
    if (m_ended || first > m_recordCount) return false;
    int count = std::min(m_chunkRecords, m_recordCount - first + 1);
    const uint64_t offset = recordOffset(first);
    // A mapped read past the end of a file cut shorter gives zeros up to the end of its last
    // page: only records the file still holds whole are read.
    const uint64_t fileSize = m_table.size();
    const uint64_t held = fileSize > offset ? (fileSize - offset) / m_recordLength : 0;
    if (held < static_cast<uint64_t>(count)) {
        count = static_cast<int>(held);
        m_ended = true;
        if (count == 0) return false;
    }
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_recordLength);
    m_chunk.resize(bytes);
    const size_t got = m_table.read(offset, m_chunk.data(), bytes);
    // The pages were copied: the mapping need not keep them.
    m_table.releaseMappedPages(offset, bytes);
    m_chunkFirst = first;
    m_chunkCount = static_cast<int>(got / static_cast<size_t>(m_recordLength));
    m_chunkNext = 0;
    if (m_chunkCount < count) m_ended = true;
    return m_chunkCount > 0;
}

const uint8_t* TableScan::next(int& recordNumber) {
    for (;;) {
        if (m_chunkNext >= m_chunkCount && !readChunk()) return nullptr;
        const uint8_t* record =
            m_chunk.data() + static_cast<size_t>(m_chunkNext) * static_cast<size_t>(m_recordLength);
        recordNumber = m_chunkFirst + m_chunkNext;
        ++m_chunkNext;
        if (record[0] != kDeletedFlag) return record;
    }
}

const uint8_t* TableScan::readBack(int recordNumber) {
    if (recordNumber < 1 || recordNumber > m_recordCount) {
        throw EDatabaseError(std::string(kBeyondRange));
    }
    const uint64_t offset = recordOffset(recordNumber);
    // Only the bytes up to the end of the last field handled are needed.
    size_t bytes = 1;
    for (int i = 0; i < kFields; ++i) {
        bytes = std::max(bytes, static_cast<size_t>(m_offset[static_cast<size_t>(i)] +
                                                    m_length[static_cast<size_t>(i)]));
    }
    if (m_table.read(offset, m_readBack.data(), bytes) < bytes) {
        throw EDatabaseError(std::string(kBeyondRange));
    }
    m_readBackLow = std::min(m_readBackLow, offset);
    m_readBackHigh = std::max(m_readBackHigh, offset + bytes);
    return m_readBack.data();
}

void TableScan::givePagesBack() {
    if (m_readBackHigh <= m_readBackLow) return;
    m_table.releaseMappedPages(m_readBackLow, m_readBackHigh - m_readBackLow);
    m_readBackLow = UINT64_MAX;
    m_readBackHigh = 0;
}

std::string_view TableScan::storedText(const uint8_t* record, int field) const {
    const auto index = static_cast<size_t>(field);
    return fieldText(std::string_view(reinterpret_cast<const char*>(record) + m_offset[index],
                                      static_cast<size_t>(m_length[index])));
}

void TableScan::textInto(const uint8_t* record, int field, std::string& text) const {
    const std::string_view stored = storedText(record, field);
    text.resize(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        text[i] = static_cast<char>(m_toText[static_cast<uint8_t>(stored[i])]);
    }
}

void TableScan::foldedInto(const uint8_t* record, int field, std::string& text) const {
    std::string_view stored = storedText(record, field);
    // The rule trims the translated text; a translated byte is blank exactly when it is.
    while (!stored.empty() && blank(m_toText[static_cast<uint8_t>(stored.front())])) {
        stored.remove_prefix(1);
    }
    while (!stored.empty() && blank(m_toText[static_cast<uint8_t>(stored.back())])) {
        stored.remove_suffix(1);
    }
    text.resize(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        text[i] = static_cast<char>(m_toFolded[static_cast<uint8_t>(stored[i])]);
    }
}

std::string TableScan::translated(std::string_view stored) const {
    std::string text(stored.size(), '\0');
    for (size_t i = 0; i < stored.size(); ++i) {
        text[i] = static_cast<char>(m_toText[static_cast<uint8_t>(stored[i])]);
    }
    return text;
}

int compareStoredKeys(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<uint8_t>(a[i]);
        const auto y = static_cast<uint8_t>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    // The shorter key is padded with blanks.
    const std::string_view longer = a.size() > b.size() ? a : b;
    const int sign = a.size() > b.size() ? 1 : -1;
    for (size_t i = common; i < longer.size(); ++i) {
        const auto x = static_cast<uint8_t>(longer[i]);
        if (x != ' ') return x > ' ' ? sign : -sign;
    }
    return 0;
}

}  // namespace abonex
