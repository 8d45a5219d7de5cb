#include "sync/table_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/expr/ansi_locale.h"
#include "engine/file/engine_error.h"

namespace abonex {

namespace {

constexpr std::string_view kBeyondRange = "Record request beyond range of table";

// How much a read back brings in around the record asked for: the records looked up next lie
// mostly near it, and one system call for a run of them costs about what one for a record does.
constexpr size_t kReadBackWindowBytes = 16 * 1024;

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
      m_page(dataSet.tableCodePage()),
      m_recordCount(m_table.recordCount()),
      m_headerLength(m_table.headerLength()),
      m_recordLength(m_table.recordLength()) {
    const bool comment = m_table.fieldCount() > kCommentField &&
                         m_table.fields()[static_cast<size_t>(kCommentField)].type == 'C';
    for (int i = 0; i < (comment ? kFields + 1 : kFields); ++i) {
        const DbfField& field = m_table.fields()[static_cast<size_t>(i)];
        m_offset[static_cast<size_t>(i)] = field.offset;
        m_length[static_cast<size_t>(i)] = field.length;
        // Batch copies hold the fields compared; the comment is read from whole records.
        if (i == kCommentField) break;
        m_handledLength =
            std::max(m_handledLength, static_cast<size_t>(field.offset + field.length));
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
    m_descriptor = m_table.descriptor();
    m_path = m_table.path();
    const size_t length = static_cast<size_t>(std::max(1, m_recordLength));
    m_chunkRecords = static_cast<int>(std::max<size_t>(1, chunkBytes / length));
    m_windowRecords = static_cast<int>(std::max<size_t>(1, kReadBackWindowBytes / length));
}

bool TableScan::sameTextsAs(const TableScan& other) const {
    return m_toText == other.m_toText;
}

bool TableScan::sameText(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    // Two bytes may translate to one character.
    for (size_t i = 0; i < a.size(); ++i) {
        if (m_toText[static_cast<uint8_t>(a[i])] != m_toText[static_cast<uint8_t>(b[i])]) {
            return false;
        }
    }
    return true;
}

uint64_t TableScan::fileSize() const {
    struct stat info {};
    if (::fstat(m_descriptor, &info) != 0) {
        raiseEngineError(errnoToEngineCode(errno), sub::kSize, m_path);
    }
    return static_cast<uint64_t>(info.st_size);
}

size_t TableScan::readAt(uint64_t offset, uint8_t* buffer, size_t count) const {
    size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(m_descriptor, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            raiseEngineError(errnoToEngineCode(errno), sub::kRead, m_path);
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
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
    // Only records the file still holds whole are read.
    const uint64_t size = fileSize();
    const uint64_t held = size > offset ? (size - offset) / m_recordLength : 0;
    if (held < static_cast<uint64_t>(count)) {
        count = static_cast<int>(held);
        m_ended = true;
        if (count == 0) return false;
    }
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_recordLength);
    m_chunk.resize(bytes);
    // One system call copies the chunk from the page cache: mapping its pages in, one fault
    // per few pages, and giving them back after would cost more than the copy itself.
    const size_t got = readAt(offset, m_chunk.data(), bytes);
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

void TableScan::copyNext(Batch& batch, int records, int lastRecord) {
    const size_t length = m_handledLength;
    batch.imageLength = length;
    batch.images.resize(length * static_cast<size_t>(records));
    batch.numbers.resize(static_cast<size_t>(records));
    batch.read = 0;
    batch.copied = 0;
    batch.ended = false;
    while (batch.read < records) {
        int recordNumber = 0;
        const uint8_t* record = next(recordNumber);
        if (record == nullptr) {
            batch.ended = true;
            break;
        }
        ++batch.read;
        if (recordNumber > lastRecord) continue;
        std::memcpy(batch.images.data() + static_cast<size_t>(batch.copied) * length, record,
                    length);
        batch.numbers[static_cast<size_t>(batch.copied)] = recordNumber;
        ++batch.copied;
    }
}

const uint8_t* TableScan::readBack(int recordNumber) {
    if (recordNumber < 1 || recordNumber > m_recordCount) {
        throw EDatabaseError(std::string(kBeyondRange));
    }
    if (recordNumber >= m_windowFirst && recordNumber < m_windowFirst + m_windowCount) {
        return m_window.data() + static_cast<size_t>(recordNumber - m_windowFirst) *
                                     static_cast<size_t>(m_recordLength);
    }
    // A window of records from a little before the one asked for: lookups that follow a table
    // in file order ask for records near one another, mostly after it.
    const int first = std::max(1, recordNumber - m_windowRecords / 4);
    const int count = std::min(m_windowRecords, m_recordCount - first + 1);
    const auto length = static_cast<size_t>(m_recordLength);
    m_window.resize(static_cast<size_t>(count) * length);
    m_windowCount = 0;
    const size_t got = readAt(recordOffset(first), m_window.data(), m_window.size());
    // A record counts when the file holds the fields a scan handles; a file cut shorter holds
    // none past its end.
    const size_t asked = static_cast<size_t>(recordNumber - first) * length;
    if (got < asked + m_handledLength) throw EDatabaseError(std::string(kBeyondRange));
    m_windowFirst = first;
    m_windowCount = static_cast<int>((got - m_handledLength) / length) + 1;
    return m_window.data() + asked;
}

void TableScan::givePagesBack() {
    // Records read back later are read from the file again.
    m_windowCount = 0;
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

std::string_view TableScan::trimmedStored(std::string_view stored) const {
    // A translated byte is blank exactly when its translation is.
    while (!stored.empty() && blank(m_toText[static_cast<uint8_t>(stored.front())])) {
        stored.remove_prefix(1);
    }
    while (!stored.empty() && blank(m_toText[static_cast<uint8_t>(stored.back())])) {
        stored.remove_suffix(1);
    }
    return stored;
}

void TableScan::foldedInto(const uint8_t* record, int field, std::string& text) const {
    // The rule trims the translated text.
    const std::string_view stored = trimmedStored(storedText(record, field));
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
