#include "engine/file/rollback_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/file/byte_order.h"
#include "engine/file/disk_file.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"

namespace abonex {

namespace {

constexpr char kEntryMagic[4] = {'J', 'R', 'E', 'C'};
// magic, name length | offset, length, lock offset, lock length | ... | hash
constexpr size_t kEntryHead = 4 + 2;
constexpr size_t kEntryFields = 8 + 4 + 8 + 8;

uint32_t fnv1a(const uint8_t* bytes, size_t count, uint32_t hash = 2166136261u) {
    for (size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
    return hash;
}

// The folder's entry of a file created in it reaches the disk only with the folder.
void syncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

struct Entry {
    std::string name;
    uint64_t offset = 0;
    LockRegion writersLock;
    std::vector<uint8_t> oldBytes;
    std::vector<uint8_t> newBytes;
};

// The entries of a journal image, up to the first that does not check out.
std::vector<Entry> parseEntries(const std::vector<uint8_t>& image) {
    std::vector<Entry> entries;
    size_t at = 0;
    while (at + kEntryHead <= image.size()) {
        if (std::memcmp(image.data() + at, kEntryMagic, 4) != 0) break;
        const size_t nameLength = getLE16(image.data() + at + 4);
        const size_t fieldsAt = at + kEntryHead + nameLength;
        if (fieldsAt + kEntryFields > image.size()) break;
        const uint8_t* fields = image.data() + fieldsAt;
        Entry entry;
        entry.name.assign(reinterpret_cast<const char*>(image.data() + at + kEntryHead),
                          nameLength);
        entry.offset = getLE64(fields);
        const size_t length = getLE32(fields + 8);
        entry.writersLock = {getLE64(fields + 12), getLE64(fields + 20)};
        const size_t bytesAt = fieldsAt + kEntryFields;
        if (length > image.size() || bytesAt + 2 * length + 4 > image.size()) break;
        const size_t hashAt = bytesAt + 2 * length;
        if (fnv1a(image.data() + at, hashAt - at) != getLE32(image.data() + hashAt)) break;
        entry.oldBytes.assign(image.begin() + static_cast<long>(bytesAt),
                              image.begin() + static_cast<long>(bytesAt + length));
        entry.newBytes.assign(image.begin() + static_cast<long>(bytesAt + length),
                              image.begin() + static_cast<long>(hashAt));
        entries.push_back(std::move(entry));
        at = hashAt + 4;
    }
    return entries;
}

// Puts the old bytes back into `now` (what the file holds where a journalled write went) where
// it holds what the write left; true when anything changed. The write is taken in spans, the
// runs of bytes where it changed the file: a span that holds the new bytes up to some point
// and the old ones after it (the write reached the disk so far, sector by sector) gets its old
// bytes back; any other span was written by someone else since and stays as it is.
bool undoSpans(std::vector<uint8_t>& now, const std::vector<uint8_t>& oldBytes,
               const std::vector<uint8_t>& newBytes) {
    bool changed = false;
    size_t i = 0;
    while (i < now.size()) {
        if (oldBytes[i] == newBytes[i]) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < now.size() && oldBytes[end] != newBytes[end]) ++end;
        size_t k = i;
        while (k < end && now[k] == newBytes[k]) ++k;
        const bool ours =
            std::equal(now.begin() + static_cast<long>(k), now.begin() + static_cast<long>(end),
                       oldBytes.begin() + static_cast<long>(k));
        if (ours && k > i) {
            std::copy(oldBytes.begin() + static_cast<long>(i),
                      oldBytes.begin() + static_cast<long>(k), now.begin() + static_cast<long>(i));
            changed = true;
        }
        i = end;
    }
    return changed;
}

std::vector<uint8_t> readWhole(GSO_DiskFile& file) {
    std::vector<uint8_t> image(static_cast<size_t>(file.systemSize()));
    image.resize(file.readFromFile(0, image.data(), image.size()));
    return image;
}

}  // namespace

RollbackJournal::RollbackJournal(std::string_view tablePath)
    : m_path(journalPathFor(tablePath)), m_folder(directoryPart(m_path)) {}

RollbackJournal::~RollbackJournal() {
    try {
        if (m_active) abandon();
        m_file.reset();
    } catch (...) {
        // Closing never throws out of a destructor.
    }
}

std::string RollbackJournal::journalPathFor(std::string_view tablePath) {
    // Beside the file a link names: the link may lie in a folder of its own on every machine
    // while the table and its writers meet in the folder of the file.
    std::string path = resolveCaseInsensitive(expandPath(tablePath));
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    return path + "-journal";
}

void RollbackJournal::attach(GSO_DiskFile& file, LockRegion writersLock,
                             std::function<uint64_t(uint64_t)> inPlaceLimit) {
    std::string name = file.path();
    if (char* real = ::realpath(name.c_str(), nullptr)) {
        name = real;
        std::free(real);
    }
    if (directoryPart(name) == m_folder) name = std::string(fileNamePart(name));
    m_attached[&file] = {std::move(name), writersLock, std::move(inPlaceLimit)};
    file.setJournal(this);
}

void RollbackJournal::detach(GSO_DiskFile& file) {
    if (m_attached.erase(&file) != 0) file.setJournal(nullptr);
}

void RollbackJournal::open() {
    if (m_file && m_file->isOpen() && m_file->pathNamesThisFile()) return;
    m_file.reset();
    if (!fileExistsAnyCase(m_path)) {
        try {
            GSO_DiskFile::create(m_path);
            syncFolder(m_folder);
        } catch (const EEngineError& error) {
            // Another copy made it meanwhile.
            if (error.code() != err::kFileExists) throw;
        }
    }
    m_file = std::make_unique<GSO_DiskFile>(m_path, true, true);
}

bool RollbackJournal::begin() {
    if (m_active) return false;
    // A copy that found the journal empty at its end may have taken it away since this one
    // opened it: the lock must be the one on the file the path names.
    for (int attempt = 0;; ++attempt) {
        open();
        if (!m_file->lockWaiting(kLockAllRegion)) {
            raiseLockWaitError(m_file->lastError(), m_file->path());
        }
        if (m_file->pathNamesThisFile() || attempt == 3) break;
        m_file->unlock();
        m_file.reset();
    }
    m_active = true;
    m_entries = 0;
    m_unsynced = false;
    m_end = 0;
    try {
        if (m_file->systemSize() == 0) return false;
        rollBackHeld(true);
        return true;
    } catch (...) {
        abandon();
        throw;
    }
}

void RollbackJournal::record(GSO_DiskFile& file, uint64_t offset, const uint8_t* bytes,
                             size_t count) {
    iovec piece{const_cast<uint8_t*>(bytes), count};
    record(file, offset, &piece, 1);
}

void RollbackJournal::record(GSO_DiskFile& file, uint64_t offset, const iovec* pieces,
                             int pieceCount) {
    if (!m_active || m_rollingBack) return;
    auto found = m_attached.find(&file);
    if (found == m_attached.end()) return;
    const Attached& attached = found->second;
    const uint64_t length = file.systemSize();
    const uint64_t limit = attached.inPlaceLimit ? attached.inPlaceLimit(length) : length;
    if (offset >= limit) return;
    size_t total = 0;
    for (int i = 0; i < pieceCount; ++i) total += pieces[i].iov_len;
    const auto count = static_cast<size_t>(std::min<uint64_t>(total, limit - offset));
    if (count == 0) return;

    const size_t nameLength = attached.name.size();
    std::vector<uint8_t> entry(kEntryHead + nameLength + kEntryFields + 2 * count + 4);
    std::memcpy(entry.data(), kEntryMagic, 4);
    putLE16(entry.data() + 4, static_cast<uint16_t>(nameLength));
    std::memcpy(entry.data() + kEntryHead, attached.name.data(), nameLength);
    uint8_t* fields = entry.data() + kEntryHead + nameLength;
    putLE64(fields, offset);
    putLE32(fields + 8, static_cast<uint32_t>(count));
    putLE64(fields + 12, attached.writersLock.offset);
    putLE64(fields + 20, attached.writersLock.length);
    uint8_t* oldBytes = fields + kEntryFields;
    const size_t got = file.readFromFile(offset, oldBytes, count);
    std::memset(oldBytes + got, 0, count - got);
    uint8_t* newBytes = oldBytes + count;
    size_t copied = 0;
    for (int i = 0; i < pieceCount && copied < count; ++i) {
        const size_t piece = std::min(pieces[i].iov_len, count - copied);
        std::memcpy(newBytes + copied, pieces[i].iov_base, piece);
        copied += piece;
    }
    const size_t hashAt = entry.size() - 4;
    putLE32(entry.data() + hashAt, fnv1a(entry.data(), hashAt));
    m_file->write(m_end, entry.data(), entry.size());
    m_end += entry.size();
    m_unsynced = true;
    ++m_entries;
}

void RollbackJournal::sync() {
    if (!m_unsynced) return;
    m_file->flush();
    m_unsynced = false;
}

void RollbackJournal::finish() {
    if (!m_active) return;
    if (m_end > 0) {
        // Cut and synced: an empty journal is not hot whatever happens next.
        m_file->truncate(0);
        m_file->flush();
        m_end = 0;
    }
    m_active = false;
    m_unsynced = false;
    m_file->unlock();
}

void RollbackJournal::rollBack() {
    if (!m_active) return;
    sync();
    rollBackHeld(true);
    finish();
}

void RollbackJournal::abandon() {
    m_active = false;
    m_unsynced = false;
    m_end = 0;
    if (m_file) m_file->unlock();
}

bool RollbackJournal::rollBackHeld(bool asWriter) {
    const std::vector<Entry> entries = parseEntries(readWhole(*m_file));
    // Every file the entries name, under its writers' lock: a writer's own attached files hold
    // it already; the others are opened for writing here and locked.
    std::map<std::string, GSO_DiskFile*> files;
    std::vector<std::unique_ptr<GSO_DiskFile>> opened;
    struct Release {
        std::vector<std::unique_ptr<GSO_DiskFile>>& opened;
        ~Release() {
            for (auto& file : opened) file->unlock();
        }
    } release{opened};
    for (const auto& [file, attached] : m_attached) {
        files[attached.name] = const_cast<GSO_DiskFile*>(file);
    }
    for (const Entry& entry : entries) {
        if (files.count(entry.name) != 0) continue;
        const std::string path = isAbsolutePath(entry.name) ? entry.name : m_folder + entry.name;
        auto file = std::make_unique<GSO_DiskFile>(path, true, true);
        if (entry.writersLock.length > 0) {
            // A copy that only opens the table leaves the journal to a writer at work, which
            // rolls it back itself before its first write.
            const bool locked =
                asWriter ? file->lockWaiting(entry.writersLock) : file->lock(entry.writersLock);
            if (!locked && !asWriter) return false;
            if (!locked) raiseLockWaitError(file->lastError(), file->path());
        }
        files[entry.name] = file.get();
        opened.push_back(std::move(file));
    }
    m_rollingBack = true;
    struct EndRollback {
        bool& flag;
        ~EndRollback() { flag = false; }
    } endRollback{m_rollingBack};
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        GSO_DiskFile& file = *files.at(entry->name);
        std::vector<uint8_t> now(entry->oldBytes.size());
        now.resize(file.readFromFile(entry->offset, now.data(), now.size()));
        if (undoSpans(now, entry->oldBytes, entry->newBytes)) {
            file.write(entry->offset, now.data(), now.size());
        }
    }
    for (const auto& [name, file] : files) {
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const Entry& entry) { return entry.name == name; })) {
            file->flush();
        }
    }
    m_file->truncate(0);
    m_file->flush();
    m_end = 0;
    return true;
}

bool RollbackJournal::recoverIfHot(std::string_view tablePath) {
    const std::string path = journalPathFor(tablePath);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_size == 0) return false;
    RollbackJournal journal(tablePath);
    try {
        journal.m_file = std::make_unique<GSO_DiskFile>(path, true, true);
    } catch (const EEngineError&) {
        return false;  // no right to write it, or held unshared: a writer will see to it
    }
    if (!journal.m_file->lock(kLockAllRegion)) return false;  // its writer is at work
    journal.m_active = true;
    struct Unlock {
        RollbackJournal& journal;
        ~Unlock() { journal.abandon(); }
    } unlock{journal};
    if (journal.m_file->systemSize() == 0) return false;
    try {
        if (!journal.rollBackHeld(false)) return false;
    } catch (const EEngineError& error) {
        // A file the journal names that this copy may not write (a reader's right): left for
        // a writer, which rolls back before its first write.
        if (error.code() == err::kAccessDenied && error.subCode() == sub::kOpen) return false;
        throw;
    }
    return true;
}

}  // namespace abonex
