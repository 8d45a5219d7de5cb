// GSO_dBaseDBF: a dBASE table file, its header, its field descriptors and its records by number.
//
// File layout (integers little-endian):
//   OFFSET  SIZE  CONTENT
//   0       1     version: 0x03, 0x30, 0x83, 0x8B or 0xF5
//   1       3     date of last update: years since 1900 (2026 is 126; some writers store 26),
//                 month, day
//   4       4     record count as last written (never read: the count comes from the file size)
//   8       2     header length in bytes
//   10      2     record length in bytes, deletion flag included
//   12      3     kept
//   15      1     encryption flag (non-zero: encrypted; refused)
//   16      4     change stamp: hour << 22 | minute << 16 | second << 10 | millisecond
//   20      4     user number of the last writer
//   24      4     kept
//   28      1     flags: 0x01 production index, 0x02 memo (0x30), 0x04; bits 3-7 written as 0
//   29      3     language driver and reserved, kept
//   32      n*32  field descriptors (n = (header length - 33) / 32; version 0x30: - 296)
//   ...     1     0x0D terminator
//   hdrlen  ...   records: deletion flag (' ' live, '*' deleted) then the field bytes
//   end     1     0x1A end-of-file mark, written after the last record by every append
//
// Field descriptor (32 bytes): name (11, NUL-padded), type letter (1), unused (4), length (1),
// decimals (1; for type C the high byte of the length), rest not interpreted.
//
// Invariants: recordCount() == (file size - header length) / record length as of the last open
// or header refresh; the record image is recordLength() bytes followed by 0x1A; the saved image
// holds the record as last read or written.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/codepage.h"
#include "engine/file/disk_file.h"

namespace abonex {

// Record position codes shared by the table file, the handler and the index tags.
inline constexpr int PosNext = -1;
inline constexpr int PosPrior = -2;
inline constexpr int PosTop = -3;
inline constexpr int PosBottom = -4;
inline constexpr int PosCurrent = -5;

inline constexpr uint8_t kEndOfFileMark = 0x1A;
inline constexpr uint8_t kDescriptorTerminator = 0x0D;
inline constexpr uint8_t kLiveFlag = ' ';
inline constexpr uint8_t kDeletedFlag = '*';
inline constexpr size_t kDbfHeaderSize = 32;
inline constexpr size_t kFieldDescriptorSize = 32;

// The header and field descriptor bytes of the table above, by name.
namespace dbf {
// Table header offsets.
inline constexpr size_t kHdrVersion = 0;
inline constexpr size_t kHdrUpdateDate = 1;  // year byte, month, day
inline constexpr size_t kHdrRecordCount = 4;
inline constexpr size_t kHdrHeaderLength = 8;
inline constexpr size_t kHdrRecordLength = 10;
inline constexpr size_t kHdrEncrypted = 15;
inline constexpr size_t kHdrChangeStamp = 16;
inline constexpr size_t kHdrUserNumber = 20;
inline constexpr size_t kHdrFlags = 28;
inline constexpr size_t kHdrLanguageDriver = 29;
// Field descriptor offsets.
inline constexpr size_t kFieldName = 0;
inline constexpr size_t kFieldNameMax = 11;
inline constexpr size_t kFieldType = 11;
inline constexpr size_t kFieldLength = 16;    // for type C the low byte of the length
inline constexpr size_t kFieldDecimals = 17;  // for type C the high byte of the length
}  // namespace dbf

// Table header flag bits (byte 28).
inline constexpr uint8_t kFlagProductionIndex = 0x01;
inline constexpr uint8_t kFlagMemo = 0x02;
inline constexpr uint8_t kFlagKeptBits = 0x07;

// The in-memory copy of one field descriptor.
struct DbfField {
    std::string name;  // upper case as stored, without NULs
    char type = 'C';
    int length = 0;    // for 'C': byte 16 + 256 * byte 17
    int decimals = 0;  // 0 for 'C'
    int offset = 0;    // position in the record (byte 0 is the deletion flag)
    int number = 0;    // 1-based
};

// Local date and time as the header writer sees them; replaceable for tests.
struct LocalTimestamp {
    int year;  // e.g. 2002
    int month, day, hour, minute, second, millisecond;
};
using LocalClock = std::function<LocalTimestamp()>;
LocalTimestamp currentLocalTimestamp();
// Sets the clock used for header dates and change stamps (an empty function restores the real one).
void setLocalClockForTesting(LocalClock clock);
LocalTimestamp engineLocalNow();
// The year byte of a table or index file header: the years since 1900 (2026 is stored as 126),
// the way other dBASE software reads it back.
uint8_t headerYearByte(int year);
// The year a header's year byte stands for. This program and most dBASE software store the
// years since 1900; others store the year modulo 100 (2026 as 26). A table can be from no year
// before 1980 (the first dBASE), so a byte below 80 is a year of this century.
inline constexpr uint8_t kTwoDigitYearsBelow = 80;
int headerYear(uint8_t byte);
// Writes the date of `now` as the three date bytes of a table or index file header: the year
// byte, the month and the day.
void stampHeaderDate(uint8_t* at, const LocalTimestamp& now);

// Table states.
enum class TableState { Browse, Reindexing };

class GSO_dBaseDBF : public GSO_DiskFile {
  public:
    // Opens the table `fileName` (".DBF" is appended when the name has no extension), reads and
    // checks its header and descriptors, and stands before the first record. Errors: the disk
    // errors with sub-code 1107, 1001 for a malformed header (sub-code 1204), EEngineEncryption
    // for an encrypted table. Nothing is written.
    GSO_dBaseDBF(std::string_view fileName, bool shared, bool readWrite,
                 std::string_view password = {});
    ~GSO_dBaseDBF() override;

    // Reads a record by number or position code (PosTop, PosNext, ...). Running one past the
    // end sets the end flag, before the first the beginning flag; the image then stays as it
    // was. More than one past the end raises 1002.
    virtual void GotoRecord(int code);
    // Writes the record image as a new last record (with the 0x1A mark) under the append lock.
    // Both writes raise 1012 "File was replaced by another program" and write nothing when the
    // table's path names another file now.
    virtual void AppendRecord();
    // Writes `count` record images (recordLength() bytes each, deletion flag first, one after
    // the other) as new last records with the 0x1A mark behind them, in one write under the
    // append lock, then the header that counts them: a table filled in runs rather than a
    // record at a time. The current record and its image stay as they were. Index files are
    // not told of the records, so the append is refused while any are open; a table filled
    // this way is indexed afterwards.
    void appendRecords(const uint8_t* images, int count);
    // Writes the record image over record n (appends when n is outside 1..recordCount()).
    virtual void ReplaceRecord(int n);
    // Marks the current record deleted and writes it (nothing when it already is).
    void DeleteRecord();
    // Clears the deletion mark of the current record and writes it (always writes).
    void RecallRecord();
    // Fills the record image with blanks (numeric fields: zero) and marks every field changed.
    void BlankRecord();
    // Re-reads the header of a shared table and recomputes the record count from the file size.
    void RefreshHeader();
    // Writes the header when open read-write, dirty, and not under a file lock.
    void WriteHeader();
    // Writes the header that dates the records overwriteRecord wrote since the last call (the
    // header as it is on disk now, with this write's date and change stamp) and pushes the
    // writes to the server of a network file system. Nothing when there were none.
    void writeHeaderOfOverwrites();

    // --- Locks of the table file (lock regions of the table's lock protocol) ---
    void setLockProtocol(TgsLokProtocol protocol) { m_protocol = protocol; }
    TgsLokProtocol lockProtocol() const { return m_protocol; }
    // The append lock, waited for (100 attempts, 50 ms apart); false when it cannot be had.
    bool appendLock();
    // Holds the append lock (waited for, as appendLock) across the appends that follow, until
    // endAppendRun: each append takes it by counting, and the header that counts them is
    // written once, at the end. False when the lock cannot be had.
    bool beginAppendRun();
    // Writes the header when an append of the run changed it, pushes the run's writes to the
    // server of a network file system and lets the append lock go. Raises when the header or
    // the push fails (the lock is let go all the same).
    void endAppendRun();
    bool inAppendRun() const { return m_appendRun; }
    // The record lock of record n, not waited for.
    bool recordLock(int n);
    // The file lock and the whole-file lock: mark the table file-locked, refresh the header.
    bool fileLock();
    bool wholeFileLock();
    // One level of unlock of the table's lock; a deferred header write runs when the last
    // level of a file lock is released.
    bool tableUnlock();
    // The region the record lock of record n uses under the current protocol.
    LockRegion recordLockRegion(int n) const;
    bool isFileLocked() const { return m_fileLocked; }

    // --- Header and geometry ---
    uint8_t version() const { return m_header[dbf::kHdrVersion]; }
    int headerLength() const { return m_headerLength; }
    int recordLength() const { return m_recordLength; }
    int recordCount() const { return m_recordCount; }
    // The records of the file as it is now that are not marked deleted (the header of a shared
    // table is read again first). Reads the deletion mark of every record, in large blocks,
    // and gives the mapped pages back after each; a short read counts what was read.
    int liveRecordCount();
    // The bytes of an incomplete record at the end of the file (a writer stopped in the middle
    // of it, or the file was cut short): what lies past the last whole record, not counting an
    // end-of-file mark right after it. 0 for a file that ends with whole records.
    uint64_t partialRecordBytes();
    uint8_t tableFlags() const { return m_header[dbf::kHdrFlags]; }
    // Sets header flag bits (e.g. the production-index flag) and writes the header at once.
    void setTableFlags(uint8_t bits);
    const std::array<uint8_t, kDbfHeaderSize>& headerImage() const { return m_header; }
    const std::vector<DbfField>& fields() const { return m_fields; }
    int fieldCount() const { return static_cast<int>(m_fields.size()); }

    // --- Position ---
    int recordNumber() const { return m_recordNumber; }
    bool atEnd() const { return m_atEnd; }
    bool atBeginning() const { return m_atBeginning; }
    void setEdgeFlags(bool atEnd, bool atBeginning) {
        m_atEnd = atEnd;
        m_atBeginning = atBeginning;
    }

    // --- Record images ---
    // The buffer field operations act on: the table's own image unless redirected.
    uint8_t* recordImage() { return m_image; }
    const uint8_t* recordImage() const { return m_image; }
    // Points field operations at `buffer` (recordLength() bytes); nullptr restores the own image.
    void setRecordBuffer(uint8_t* buffer);
    uint8_t* ownRecordImage() { return m_ownImage.data(); }
    const uint8_t* savedImage() const { return m_saved.data(); }
    uint8_t* savedImageMutable() { return m_saved.data(); }
    bool isDeleted() const { return m_image[0] == kDeletedFlag; }
    // Per-field changed flags: index 0 is the deletion flag, i is field number i.
    bool fieldChanged(int index) const { return m_changed.at(index); }
    void markFieldChanged(int index);
    bool recordChanged() const { return m_recordChanged; }
    void clearChangedFlags();

    // --- Settings ---
    void setAutoFlush(bool on) { m_autoFlush = on; }
    bool autoFlush() const { return m_autoFlush; }
    void setUseDeleted(bool on) { m_useDeleted = on; }
    bool useDeleted() const { return m_useDeleted; }
    void setUserNumber(uint32_t user) { m_userNumber = user; }
    uint32_t userNumber() const { return m_userNumber; }
    TableState tableState() const { return m_state; }
    void setTableState(TableState state) { m_state = state; }
    // The code page of the table's text, which the key expressions' case functions and text
    // comparisons follow: code page 866 when the language driver byte names it, the ANSI page
    // otherwise, until a caller that knows better (a data set translating the text from 866)
    // sets it.
    TextCodePage textCodePage() const { return m_textCodePage; }
    void setTextCodePage(TextCodePage page) { m_textCodePage = page; }
    // A table whose text is in code page 866 names it in its language driver byte at every
    // header write when another program left the byte 0; a caller that found the text to be in
    // another encoding (UTF-8) keeps the byte as it is.
    void keepLanguageDriver() { m_keepLanguageDriver = true; }

    // Flushes the table file; the handler then flushes its index files.
    virtual void flushAll();
    // True while the writes in place go to a rollback journal (a handler's transaction): the
    // header then need not wait for the records it counts to reach the disk first.
    virtual bool writesJournalled() const { return false; }

  protected:
    // Reads record n (1..recordCount()) into the record image; false on a short read.
    // The handler overrides it to serve reads from its read-ahead buffer.
    virtual bool readRecord(int n, uint8_t* into);
    // Called after a record was written (isNew after an append), while the index files are
    // still locked. The table file itself does nothing.
    virtual void recordWritten(bool isNew);
    // True when index files are open (decides the Default record-lock region).
    virtual bool hasOpenIndexFiles() const { return false; }
    // Called after a write landed at `offset` (the handler keeps its read-ahead buffer current).
    virtual void bytesWritten(uint64_t offset, const uint8_t* data, size_t count);

    uint64_t recordOffset(int n) const {
        return static_cast<uint64_t>(m_headerLength) +
               static_cast<uint64_t>(n - 1) * static_cast<uint64_t>(m_recordLength);
    }
    int countFromFileSize();
    // Writes `image` (recordLength() bytes) over record n (1..recordCount()) and nothing else:
    // neither the header nor the index files hear of it, and the current record and its images
    // stay as they were. For a writer that holds the locks every writer takes across many
    // records: the first overwrite after a header write checks that the path still names this
    // file (1012 otherwise), and writeHeaderOfOverwrites() writes the header once for them all.
    void overwriteRecord(int n, const uint8_t* image);
    // Stands on record n, which the table does not hold (an index entry past its end), with a
    // blank image: reading it again or editing it finds no record there.
    void standOnMissingRecord(int n);

  private:
    void readHeaderAndDescriptors(std::string_view password);
    // The append itself, with the append lock held: the images at the table's end as it is
    // now, the header after them. Returns the number of the first record written.
    int appendUnderLock(const uint8_t* images, int count);
    void writeRecordAt(int n, bool withMark);

    std::array<uint8_t, kDbfHeaderSize> m_header{};
    int m_headerLength = 0;
    int m_recordLength = 0;
    int m_recordCount = 0;
    int m_recordNumber = 0;
    bool m_atEnd = false;
    bool m_atBeginning = true;
    std::vector<DbfField> m_fields;
    std::vector<uint8_t> m_ownImage;  // record length + 1 (0x1A)
    uint8_t* m_image = nullptr;
    std::vector<uint8_t> m_saved;
    std::vector<bool> m_changed;
    bool m_recordChanged = false;
    bool m_headerDirty = false;
    bool m_fileLocked = false;
    bool m_deferredHeaderWrite = false;
    bool m_appendRun = false;
    bool m_runHeaderPending = false;
    bool m_overwritesPending = false;  // overwriteRecord wrote since the last header write
    uint8_t m_keptFlags = 0;
    uint32_t m_userNumber = 0;
    TgsLokProtocol m_protocol = TgsLokProtocol::Default;
    bool m_autoFlush = false;
    bool m_useDeleted = false;
    TableState m_state = TableState::Browse;
    TextCodePage m_textCodePage = TextCodePage::Ansi1251;
    bool m_keepLanguageDriver = false;
};

}  // namespace abonex
