#include "engine/dbf/dbf_table.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/file/rollback_journal.h"

namespace abonex {

namespace {

constexpr int kMinHeaderLength = 33;     // header + terminator
constexpr int kMinHeaderLength30 = 296;  // version 0x30 adds a 263-byte backlink area
constexpr int kBacklinkReserve30 = 263;

bool isAcceptedVersion(uint8_t version) {
    return version == 0x03 || version == 0x30 || version == 0x83 || version == 0x8B ||
           version == 0xF5;
}

// True when the header's lengths agree with its descriptors. The fields fill the record
// behind the deletion flag exactly (`recordEnd`: one past the last field's last byte). The
// header ends right behind the terminator (and, for version 0x30, the backlink area); a
// writer may leave room behind the terminator, but only NUL bytes in it, with the
// terminator where the descriptors end. Anything else in that room is the start of a record
// that the header length points behind, and every field would be read shifted.
bool headerAgreesWithItself(const std::vector<uint8_t>& header, size_t fieldCount, int backlink,
                            int recordEnd, int recordLength) {
    if (recordEnd != recordLength) return false;
    const size_t terminator = kDbfHeaderSize + fieldCount * kFieldDescriptorSize;
    const size_t exact = terminator + 1 + static_cast<size_t>(backlink);
    if (header.size() == exact) return true;
    if (header.size() < exact || header[terminator] != kDescriptorTerminator) return false;
    const auto roomBegin = header.begin() + static_cast<std::ptrdiff_t>(terminator + 1);
    const auto roomEnd = header.end() - backlink;
    return std::all_of(roomBegin, roomEnd, [](uint8_t byte) { return byte == 0; });
}

// The name a table is opened under: trimmed, ".DBF" appended when it has no extension.
std::string tableFileName(std::string_view name) {
    while (!name.empty() && static_cast<uint8_t>(name.back()) <= ' ') name.remove_suffix(1);
    while (!name.empty() && static_cast<uint8_t>(name.front()) <= ' ') name.remove_prefix(1);
    std::string result(name);
    if (extensionPart(result).empty()) result += ".DBF";
    return result;
}

LocalClock& clockOverride() {
    static LocalClock clock;
    return clock;
}

}  // namespace

LocalTimestamp currentLocalTimestamp() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(now.tv_usec / 1000)};
}

void setLocalClockForTesting(LocalClock clock) {
    clockOverride() = std::move(clock);
}

LocalTimestamp engineLocalNow() {
    return clockOverride() ? clockOverride()() : currentLocalTimestamp();
}

uint8_t headerYearByte(int year) {
    return static_cast<uint8_t>(std::clamp(year - 1900, 0, 255));
}

int headerYear(uint8_t byte) {
    return byte < kTwoDigitYearsBelow ? 2000 + byte : 1900 + byte;
}

void stampHeaderDate(uint8_t* at, const LocalTimestamp& now) {
    at[0] = headerYearByte(now.year);
    at[1] = static_cast<uint8_t>(now.month);
    at[2] = static_cast<uint8_t>(now.day);
}

GSO_dBaseDBF::GSO_dBaseDBF(std::string_view fileName, bool shared, bool readWrite,
                           std::string_view password)
    : GSO_DiskFile(tableFileName(fileName), shared, readWrite) {
    // The table is read only once the writes a killed writer left half done are undone.
    try {
        RollbackJournal::recoverIfHot(path());
    } catch (const EEngineError&) {
        // Left for the next writer, whose first write rolls it back or says why it cannot.
    }
    readHeaderAndDescriptors(password);
}

GSO_dBaseDBF::~GSO_dBaseDBF() {
    try {
        if (m_headerDirty && isOpen()) {
            RefreshHeader();
            m_fileLocked = false;
            WriteHeader();
        }
    } catch (...) {
        // A failed header write on close must not end the program; the record count is taken
        // from the file size anyway.
    }
}

void GSO_dBaseDBF::readHeaderAndDescriptors(std::string_view password) {
    uint64_t fileSize = size();
    if (read(0, m_header.data(), kDbfHeaderSize) != kDbfHeaderSize) {
        fail(err::kHeaderInvalid, sub::kHeaderRead);
    }
    uint8_t ver = m_header[dbf::kHdrVersion];
    if (!isAcceptedVersion(ver)) fail(err::kHeaderInvalid, sub::kHeaderRead);
    m_headerLength = getLE16(&m_header[dbf::kHdrHeaderLength]);
    m_recordLength = getLE16(&m_header[dbf::kHdrRecordLength]);
    int minimum = ver == 0x30 ? kMinHeaderLength30 : kMinHeaderLength;
    if (m_recordLength == 0 || m_headerLength < minimum ||
        static_cast<uint64_t>(m_headerLength) > fileSize) {
        fail(err::kHeaderInvalid, sub::kHeaderRead);
    }
    if (m_header[dbf::kHdrEncrypted] != 0 && password.empty()) {
        std::string message = "No Password for encrypted file " + path();
        throw EEngineEncryption(0, sub::kHeaderRead, path(), message);
    }
    // No cipher here.
    if (m_header[dbf::kHdrEncrypted] != 0) fail(err::kHeaderInvalid, sub::kHeaderRead);
    m_keptFlags = m_header[dbf::kHdrFlags] & kFlagKeptBits;
    m_textCodePage = languageDriverIsOem866(m_header[dbf::kHdrLanguageDriver])
                         ? TextCodePage::Oem866
                         : TextCodePage::Ansi1251;

    // Descriptor area: from offset 32 up to the terminator's place. The whole header is read
    // at once: the checks below look at the bytes behind the descriptors as well.
    const int backlink = ver == 0x30 ? kBacklinkReserve30 : 0;
    int areaLength = m_headerLength - (ver == 0x30 ? kMinHeaderLength30 : kMinHeaderLength);
    int descriptorCount = areaLength / static_cast<int>(kFieldDescriptorSize);
    std::vector<uint8_t> header(static_cast<size_t>(m_headerLength));
    if (read(0, header.data(), header.size()) != header.size()) {
        fail(err::kHeaderInvalid, sub::kHeaderRead);
    }
    const uint8_t* area = header.data() + kDbfHeaderSize;
    int offset = 1;
    for (int i = 0; i < descriptorCount; ++i) {
        const uint8_t* d = area + static_cast<size_t>(i) * kFieldDescriptorSize;
        // Writers that leave room behind the descriptors put the terminator first; a field
        // name never starts with it.
        if (d[0] == kDescriptorTerminator) break;
        DbfField field;
        size_t nameLength = 0;
        while (nameLength < dbf::kFieldNameMax && d[dbf::kFieldName + nameLength] != 0) {
            ++nameLength;
        }
        field.name.assign(reinterpret_cast<const char*>(d + dbf::kFieldName), nameLength);
        field.type = static_cast<char>(d[dbf::kFieldType]);
        if (field.type == 'C') {
            field.length = getLE16(d + dbf::kFieldLength);
        } else {
            field.length = d[dbf::kFieldLength];
            field.decimals = d[dbf::kFieldDecimals];
        }
        field.offset = offset;
        field.number = i + 1;
        offset += field.length;
        // A field of no bytes is what blank or NUL room read as a descriptor looks like.
        if (field.length == 0 || offset > m_recordLength) {
            fail(err::kHeaderInvalid, sub::kHeaderRead);
        }
        m_fields.push_back(std::move(field));
    }
    if (!headerAgreesWithItself(header, m_fields.size(), backlink, offset, m_recordLength)) {
        fail(err::kHeaderInvalid, sub::kHeaderRead);
    }

    m_recordCount = countFromFileSize();
    m_ownImage.assign(static_cast<size_t>(m_recordLength) + 1, ' ');
    m_ownImage.back() = kEndOfFileMark;
    m_image = m_ownImage.data();
    m_saved.assign(static_cast<size_t>(m_recordLength), ' ');
    m_changed.assign(m_fields.size() + 1, false);
    m_state = TableState::Browse;
    m_recordNumber = 0;
    m_atEnd = false;
    m_atBeginning = true;
    m_headerDirty = false;
    // Records are read in tag order, one at a time: a mapping spares a system call per record.
    enableReadMapping();
    RefreshHeader();
}

int GSO_dBaseDBF::countFromFileSize() {
    uint64_t fileSize = size();
    if (fileSize <= static_cast<uint64_t>(m_headerLength)) return 0;
    uint64_t count =
        (fileSize - static_cast<uint64_t>(m_headerLength)) / static_cast<uint64_t>(m_recordLength);
    return static_cast<int>(std::min<uint64_t>(count, std::numeric_limits<int32_t>::max()));
}

uint64_t GSO_dBaseDBF::partialRecordBytes() {
    const uint64_t fileSize = size();
    const uint64_t whole = static_cast<uint64_t>(m_headerLength) +
                           static_cast<uint64_t>(countFromFileSize()) * m_recordLength;
    if (fileSize <= whole) return 0;
    const uint64_t rest = fileSize - whole;
    if (rest == 1) {
        uint8_t last = 0;
        if (read(whole, &last, 1) == 1 && last == kEndOfFileMark) return 0;
    }
    return rest;
}

void GSO_dBaseDBF::RefreshHeader() {
    if (!isShared()) return;
    refreshMapping();
    std::array<uint8_t, kDbfHeaderSize> fresh{};
    if (read(0, fresh.data(), kDbfHeaderSize) == kDbfHeaderSize) m_header = fresh;
    m_recordCount = countFromFileSize();
}

int GSO_dBaseDBF::liveRecordCount() {
    RefreshHeader();
    // Whole records per block, about a megabyte at a time.
    constexpr size_t kBlockBytes = size_t{1} << 20;
    const size_t length = static_cast<size_t>(m_recordLength);
    const int perBlock = static_cast<int>(std::max<size_t>(1, kBlockBytes / length));
    std::vector<uint8_t> block(static_cast<size_t>(perBlock) * length);
    int live = 0;
    for (int first = 1; first <= m_recordCount; first += perBlock) {
        const int count = std::min(perBlock, m_recordCount - first + 1);
        const uint64_t offset = recordOffset(first);
        const size_t got = read(offset, block.data(), static_cast<size_t>(count) * length);
        const int whole = static_cast<int>(got / length);
        for (int i = 0; i < whole; ++i) {
            if (block[static_cast<size_t>(i) * length] != kDeletedFlag) ++live;
        }
        releaseMappedPages(offset, got);
        if (whole < count) break;
    }
    return live;
}

void GSO_dBaseDBF::WriteHeader() {
    if (!isReadWrite() || !m_headerDirty) return;
    if (m_fileLocked) {
        m_deferredHeaderWrite = true;
        return;
    }
    if (m_appendRun) {
        m_runHeaderPending = true;
        return;
    }
    LocalTimestamp now = engineLocalNow();
    uint32_t stamp =
        (static_cast<uint32_t>(now.hour) << 22) | (static_cast<uint32_t>(now.minute) << 16) |
        (static_cast<uint32_t>(now.second) << 10) | static_cast<uint32_t>(now.millisecond);
    stampHeaderDate(&m_header[dbf::kHdrUpdateDate], now);
    putLE32(&m_header[dbf::kHdrRecordCount], static_cast<uint32_t>(m_recordCount));
    m_header[dbf::kHdrEncrypted] = 0;
    putLE32(&m_header[dbf::kHdrChangeStamp], stamp);
    putLE32(&m_header[dbf::kHdrUserNumber], m_userNumber);
    m_header[dbf::kHdrFlags] = static_cast<uint8_t>(m_header[dbf::kHdrFlags] & kFlagKeptBits);
    // A table whose text is in code page 866 says so again after a program that names no page
    // (a spreadsheet's dBase filter writes 0) saved it: other readers take the page from here.
    if (m_textCodePage == TextCodePage::Oem866 && !m_keepLanguageDriver &&
        m_header[dbf::kHdrLanguageDriver] == 0) {
        m_header[dbf::kHdrLanguageDriver] = kLanguageDriverOem866;
    }
    write(0, m_header.data(), kDbfHeaderSize);
    m_headerDirty = false;
    m_deferredHeaderWrite = false;
}

void GSO_dBaseDBF::setTableFlags(uint8_t bits) {
    // Other writers may have appended since this table was opened: the header written must
    // carry their record count, which other readers take from it, not the one seen at open.
    RefreshHeader();
    m_header[dbf::kHdrFlags] =
        static_cast<uint8_t>(m_header[dbf::kHdrFlags] | (bits & kFlagKeptBits));
    m_keptFlags = m_header[dbf::kHdrFlags] & kFlagKeptBits;
    m_headerDirty = true;
    WriteHeader();
}

bool GSO_dBaseDBF::readRecord(int n, uint8_t* into) {
    return read(recordOffset(n), into, static_cast<size_t>(m_recordLength)) ==
           static_cast<size_t>(m_recordLength);
}

void GSO_dBaseDBF::GotoRecord(int code) {
    if (m_recordCount == 0) {
        RefreshHeader();
        if (m_recordCount == 0) {
            m_atEnd = true;
            m_atBeginning = true;
            return;
        }
    }
    if (code == 0) return;
    m_atEnd = false;
    m_atBeginning = false;
    int n;
    switch (code) {
        case PosCurrent:
            n = m_recordNumber;
            break;
        case PosBottom:
            n = m_recordCount;
            break;
        case PosTop:
            n = 1;
            break;
        case PosPrior:
            if (m_recordNumber <= 1) {
                m_atBeginning = true;
                return;
            }
            n = m_recordNumber - 1;
            break;
        case PosNext:
            n = m_recordNumber + 1;
            break;
        default:
            if (code < 0) fail(err::kBeyondEof, sub::kRecordRead);
            n = code;
            break;
    }
    if (n < 1) {  // PosCurrent before the first record
        m_atBeginning = true;
        return;
    }
    if (n > m_recordCount) {
        RefreshHeader();
        if (n > m_recordCount) {
            if (n > m_recordCount + 1) fail(err::kBeyondEof, sub::kRecordRead);
            m_atEnd = true;
            return;
        }
    }
    if (!readRecord(n, m_image)) fail(err::kShortRead, sub::kRecordRead);
    m_recordNumber = n;
    std::memcpy(m_saved.data(), m_image, static_cast<size_t>(m_recordLength));
    clearChangedFlags();
}

void GSO_dBaseDBF::standOnMissingRecord(int n) {
    std::memset(m_image, ' ', static_cast<size_t>(m_recordLength));
    m_recordNumber = n;
    m_atEnd = false;
    m_atBeginning = false;
    std::memcpy(m_saved.data(), m_image, static_cast<size_t>(m_recordLength));
    clearChangedFlags();
}

void GSO_dBaseDBF::clearChangedFlags() {
    std::fill(m_changed.begin(), m_changed.end(), false);
    m_recordChanged = false;
}

void GSO_dBaseDBF::markFieldChanged(int index) {
    m_changed.at(static_cast<size_t>(index)) = true;
    m_recordChanged = true;
}

void GSO_dBaseDBF::setRecordBuffer(uint8_t* buffer) {
    m_image = buffer != nullptr ? buffer : m_ownImage.data();
}

void GSO_dBaseDBF::AppendRecord() {
    // Two writers appending at once would both compute the same new slot; the append lock
    // keeps them apart, so it is waited for and the append refused when it cannot be had.
    if (!appendLock()) raiseLockWaitError(lastError(), path());
    const int oldNumber = m_recordNumber;
    try {
        // A table another program replaced under this one: the row would go to a file nobody
        // reads any more. A run looked when it took the lock.
        if (!m_appendRun) requireSameFile();
        m_recordChanged = true;
        m_image[0] = kLiveFlag;
        m_recordNumber = appendUnderLock(m_image, 1);
        // The row reaches the server of a network file system before the lock is let go; a
        // refusal there is an error of this append. A run pushes once, at its end.
        if (!m_appendRun) pushWrites();
    } catch (...) {
        tableUnlock();
        m_recordNumber = oldNumber;
        throw;
    }
    tableUnlock();
    m_atEnd = false;
    m_atBeginning = false;
    recordWritten(true);
    if (m_autoFlush) flushAll();
    std::memcpy(m_saved.data(), m_image, static_cast<size_t>(m_recordLength));
    m_recordChanged = false;
}

void GSO_dBaseDBF::appendRecords(const uint8_t* images, int count) {
    if (count <= 0) return;
    if (hasOpenIndexFiles()) {
        throw EEngineError("Records cannot be appended in bulk while index files are open - " +
                           path());
    }
    if (!appendLock()) raiseLockWaitError(lastError(), path());
    try {
        appendUnderLock(images, count);
        pushWrites();
    } catch (...) {
        tableUnlock();
        throw;
    }
    tableUnlock();
    if (m_autoFlush) flushAll();
}

int GSO_dBaseDBF::appendUnderLock(const uint8_t* images, int count) {
    const int oldCount = m_recordCount;
    try {
        m_headerDirty = true;
        RefreshHeader();
        const int first = m_recordCount + 1;
        if (count > std::numeric_limits<int32_t>::max() - m_recordCount) {
            fail(err::kHeaderInvalid, sub::kWrite);
        }
        const uint64_t offset = recordOffset(first);
        const size_t length = static_cast<size_t>(count) * static_cast<size_t>(m_recordLength);
        m_recordCount += count;
        write2(offset, images, length, &kEndOfFileMark, 1);
        bytesWritten(offset, images, length);
        // Other programs read as many records as the header counts. When writes are flushed,
        // the records are on the disk before the header that counts them: a power cut between
        // the two must not leave a header that promises records the disk does not hold.
        if (m_autoFlush && !writesJournalled()) flush();
        WriteHeader();
        return first;
    } catch (...) {
        try {
            m_recordCount = countFromFileSize();  // a partly written record does not count
        } catch (...) {
            m_recordCount = oldCount;
        }
        throw;
    }
}

void GSO_dBaseDBF::ReplaceRecord(int n) {
    if (n < 1 || n > m_recordCount) {
        AppendRecord();
        return;
    }
    requireSameFile();
    m_headerDirty = true;
    write(recordOffset(n), m_image, static_cast<size_t>(m_recordLength));
    bytesWritten(recordOffset(n), m_image, static_cast<size_t>(m_recordLength));
    m_recordNumber = n;
    RefreshHeader();
    WriteHeader();
    pushWrites();
    recordWritten(false);
    if (m_autoFlush) flushAll();
    std::memcpy(m_saved.data(), m_image, static_cast<size_t>(m_recordLength));
    m_recordChanged = false;
}

void GSO_dBaseDBF::overwriteRecord(int n, const uint8_t* image) {
    if (n < 1 || n > m_recordCount) fail(err::kBeyondEof, sub::kWrite);
    if (!m_overwritesPending) requireSameFile();
    m_overwritesPending = true;
    write(recordOffset(n), image, static_cast<size_t>(m_recordLength));
    bytesWritten(recordOffset(n), image, static_cast<size_t>(m_recordLength));
}

void GSO_dBaseDBF::writeHeaderOfOverwrites() {
    if (!m_overwritesPending) return;
    m_overwritesPending = false;
    m_headerDirty = true;
    // Other writers may have appended: the header written counts the records there are now.
    RefreshHeader();
    WriteHeader();
    pushWrites();
}

void GSO_dBaseDBF::DeleteRecord() {
    if (m_image[0] == kDeletedFlag) return;
    m_image[0] = kDeletedFlag;
    markFieldChanged(0);
    ReplaceRecord(m_recordNumber);
}

void GSO_dBaseDBF::RecallRecord() {
    m_image[0] = kLiveFlag;
    markFieldChanged(0);
    ReplaceRecord(m_recordNumber);
}

void GSO_dBaseDBF::BlankRecord() {
    std::memset(m_image, ' ', static_cast<size_t>(m_recordLength));
    for (const DbfField& field : m_fields) {
        if ((field.type == 'N' || field.type == 'F') && field.length > 0) {
            std::string zero = "0";
            if (field.decimals > 0 && field.decimals + 2 <= field.length) {
                zero.push_back('.');
                zero.append(static_cast<size_t>(field.decimals), '0');
            }
            size_t count = std::min(zero.size(), static_cast<size_t>(field.length));
            std::memcpy(m_image + field.offset + field.length - count,
                        zero.data() + zero.size() - count, count);
        }
    }
    std::fill(m_changed.begin(), m_changed.end(), true);
    m_recordChanged = true;
}

void GSO_dBaseDBF::flushAll() {
    flush();
}

void GSO_dBaseDBF::recordWritten(bool) {}

void GSO_dBaseDBF::bytesWritten(uint64_t, const uint8_t*, size_t) {}

// --- Locks ---

LockRegion GSO_dBaseDBF::recordLockRegion(int n) const {
    LockLayout layout = lockLayout(m_protocol);
    uint64_t record = static_cast<uint64_t>(n);
    switch (m_protocol) {
        case TgsLokProtocol::DB4Lock:
            return {layout.recordBase - record - 1, 1};
        case TgsLokProtocol::ClipLock:
            return {1000000000u + record, 1};
        case TgsLokProtocol::Default:
        case TgsLokProtocol::FoxLock:
            break;
    }
    if (hasOpenIndexFiles()) return {layout.recordBase - record, 1};
    return {layout.baseOffset + recordOffset(n), 1};
}

bool GSO_dBaseDBF::appendLock() {
    if (m_fileLocked) return lock(lockedRegion());
    if (!lockWaiting({lockLayout(m_protocol).recordBase, 1})) return false;
    // Only an appender changes the table's length, and every appender takes this lock.
    keepSizeUntilUnlock();
    return true;
}

bool GSO_dBaseDBF::beginAppendRun() {
    if (m_appendRun) return true;
    if (!appendLock()) return false;
    try {
        requireSameFile();
    } catch (...) {
        tableUnlock();
        throw;
    }
    m_appendRun = true;
    m_runHeaderPending = false;
    return true;
}

void GSO_dBaseDBF::endAppendRun() {
    if (!m_appendRun) return;
    m_appendRun = false;
    struct Release {
        GSO_dBaseDBF& table;
        ~Release() { table.tableUnlock(); }
    } release{*this};
    if (m_runHeaderPending) {
        m_runHeaderPending = false;
        WriteHeader();
    }
    pushWrites();
}

bool GSO_dBaseDBF::recordLock(int n) {
    if (m_fileLocked) return lock(lockedRegion());
    return lock(recordLockRegion(n));
}

bool GSO_dBaseDBF::fileLock() {
    if (m_fileLocked) return lock(lockedRegion());
    LockLayout layout = lockLayout(m_protocol);
    if (!lock(layout.baseOffset, layout.regionLength)) return false;
    m_fileLocked = true;
    keepSizeUntilUnlock(true);
    RefreshHeader();
    return true;
}

bool GSO_dBaseDBF::wholeFileLock() {
    if (m_fileLocked) return lock(lockedRegion());
    if (!lock(kLockAllRegion)) return false;
    m_fileLocked = true;
    keepSizeUntilUnlock(true);
    RefreshHeader();
    return true;
}

bool GSO_dBaseDBF::tableUnlock() {
    bool released = unlock();
    if (m_fileLocked && lockCount() == 0) {
        m_fileLocked = false;
        if (m_deferredHeaderWrite) WriteHeader();
    }
    return released;
}

}  // namespace abonex
