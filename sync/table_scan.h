// TableScan: the records of a data set's open table read straight from the table file, in
// record-number order and in large chunks, for work that visits every record once and keeps
// only record numbers of what it saw.
//
// A scan reads the records that were in the table when it began (records appended later are not
// seen; records cut away by another program end the scan early). Records marked deleted are passed
// over, as the data set passes over them. A record seen earlier is read again by its number
// (readBack), so that a caller holds no copies of texts. Every read is a system call on the
// table's descriptor, past the table's mapping: the table's pages never enter the process's
// resident set. A scan touches nothing of the table object after its construction: scans of one
// table made on one thread may each be used on a thread of its own, and the const members of one
// scan (the texts of images) may be used on several threads at once.
//
// The texts handed out are those the data set gives for the record (TField::AsString): trailing
// blanks removed and, when the data set translates, in code page 1251. The scan handles fields
// 0, 1 and 2 (name, first phone, second phone), which must be character fields (suits()), and
// field 3, the comment, when the table has it as a character field (an empty text otherwise).
//
// REQUIRES: the data set stays open and is not closed or reopened while the scan lives.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/codepage.h"

namespace abonex {

class TEngineDataSet;
class DBFObject;

class TableScan {
  public:
    // The default size of one read.
    static constexpr size_t kDefaultChunkBytes = size_t{1} << 20;
    // The fields a scan handles: the name, the first and the second phone.
    static constexpr int kFields = 3;
    // The comment, for the records an apply copies whole: its text is taken from the images
    // of next() and readBack(), which hold whole records, never from a batch copy.
    static constexpr int kCommentField = 3;

    // True when the data set is open and its fields 0, 1, 2 are character fields.
    static bool suits(TEngineDataSet& dataSet);

    // A scan of `dataSet`'s table reading at least one record and about `chunkBytes` at a time.
    TableScan(TEngineDataSet& dataSet, size_t chunkBytes = kDefaultChunkBytes);

    // The table's record count when the scan began (deleted records included).
    int recordCount() const { return m_recordCount; }
    // The bytes of one record image.
    int recordLength() const { return m_recordLength; }
    // The bytes of a record image up to the end of the last field a scan handles: what a copy
    // of an image for the scan's texts needs.
    size_t handledLength() const { return m_handledLength; }

    // The next record that is not marked deleted, or nullptr at the end of the table. The image
    // stays valid until the next call of next(). `recordNumber` gets the record's number.
    const uint8_t* next(int& recordNumber);

    // Copies of the next records (not marked deleted), as many as asked for, or fewer at the
    // end of the table: for each its first handledLength() bytes, and its number. Records with
    // numbers above `lastRecord` are read past and not copied. The copies stay valid after the
    // scan moves on; their room is reused from one batch to the next.
    struct Batch {
        std::vector<uint8_t> images;
        std::vector<int> numbers;
        int read = 0;    // records read, copied or not
        int copied = 0;  // records copied
        bool ended = false;
        size_t imageLength = 0;
        const uint8_t* image(int i) const {
            return images.data() + static_cast<size_t>(i) * imageLength;
        }
    };
    void copyNext(Batch& batch, int records, int lastRecord = INT_MAX);

    // Reads record `recordNumber` (1..recordCount()) again; the image stays valid until the next
    // readBack() or givePagesBack(). Raises EDatabaseError "Record request beyond range of
    // table" when the number is out of that range or the file ends before the record's fields.
    // The records around it are read with it, and a record read back again before
    // givePagesBack() is given as it was read then.
    const uint8_t* readBack(int recordNumber);

    // The field's bytes in the record image, trailing blanks and anything after a 0 byte
    // removed, untranslated (the bytes a name tag orders by).
    std::string_view storedText(const uint8_t* record, int field) const;
    // The field's text as the data set gives it, into `text` (its room is reused).
    void textInto(const uint8_t* record, int field, std::string& text) const;
    // The field's text as the synchronisation's matching rule compares it: as the data set
    // gives it, then trimmed at both ends and upper-cased (sync/sync_match.h).
    void foldedInto(const uint8_t* record, int field, std::string& text) const;
    // The field's stored bytes as the data set would give them: translated when it translates.
    std::string translated(std::string_view stored) const;
    // Stored bytes without those at either end whose text is a byte of value 0x20 or less: the
    // bytes of the text trimmedText (sync/sync_match.h) leaves.
    std::string_view trimmedStored(std::string_view stored) const;

    // True when this scan's texts and `other`'s are made from the stored bytes alike: then
    // sameText() tells whether a field of one and a field of the other give the same text.
    bool sameTextsAs(const TableScan& other) const;
    // True when stored bytes `a` and `b` (storedText, trimmedStored) give the same text.
    bool sameText(std::string_view a, std::string_view b) const;

    // Forgets the records read back: later read backs read the file again.
    void givePagesBack();
    // The code page the table's stored bytes are in.
    CodePage page() const { return m_page; }

  private:
    bool readChunk();
    uint64_t recordOffset(int recordNumber) const;
    uint64_t fileSize() const;
    // Reads up to `count` bytes at `offset`; the count read. Raises on a failure of the system.
    size_t readAt(uint64_t offset, uint8_t* buffer, size_t count) const;

    DBFObject& m_table;
    CodePage m_page;
    int m_descriptor = -1;
    std::string m_path;
    int m_recordCount = 0;
    int m_headerLength = 0;
    int m_recordLength = 0;
    size_t m_handledLength = 1;
    // By field: kFields and the comment (length 0 when the table has none).
    std::array<int, kFields + 1> m_offset{};
    std::array<int, kFields + 1> m_length{};
    // Byte for byte: the data set's translation, and the translation then upper-casing.
    std::array<uint8_t, 256> m_toText{};
    std::array<uint8_t, 256> m_toFolded{};

    int m_chunkRecords = 1;
    std::vector<uint8_t> m_chunk;
    int m_chunkFirst = 1;  // the number of the chunk's first record
    int m_chunkCount = 0;  // records in the chunk
    int m_chunkNext = 0;   // the chunk's next record to hand out
    bool m_ended = false;

    // The records read back last: m_windowCount of them from m_windowFirst.
    std::vector<uint8_t> m_window;
    int m_windowRecords = 1;
    int m_windowFirst = 0;
    int m_windowCount = 0;
};

// Compares two name-tag keys made of stored field bytes (storedText) as the tag orders them:
// byte by byte, unsigned, the shorter padded with blanks. Negative, zero or positive.
int compareStoredKeys(std::string_view a, std::string_view b);

}  // namespace abonex
