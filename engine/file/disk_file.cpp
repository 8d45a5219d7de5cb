#include "engine/file/disk_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/file/disk_file_tap.h"
#include "engine/file/engine_error.h"
#include "engine/file/network_share.h"
#include "engine/file/path_util.h"
#include "engine/file/rollback_journal.h"

namespace abonex {

namespace {

DiskFileTap* g_tap = nullptr;

// Held pages beyond this many (a long write under one lock, a tag built at once) are sent and
// forgotten: what is held must not grow with the file.
constexpr size_t kMaxHeldPages = 2048;  // 8 MiB

// The process-wide registry of open files; at process end every file still open is released
// and closed. A file object is used by one thread at a time, but files may be opened and closed
// on several threads at once (the synchronisation window rebuilds two tables on workers while
// the window's thread works), so the list itself is guarded.
class GSobjFileColl {
  public:
    static GSobjFileColl& instance() {
        static GSobjFileColl* registry = [] {
            auto* created = new GSobjFileColl;  // never destroyed: files may close at exit
            std::atexit([] { GSO_DiskFile::closeAllOpenFiles(); });
            return created;
        }();
        return *registry;
    }
    void add(GSO_DiskFile* file) {
        std::lock_guard guard(m_mutex);
        m_files.push_back(file);
    }
    void remove(GSO_DiskFile* file) {
        std::lock_guard guard(m_mutex);
        std::erase(m_files, file);
    }
    std::vector<GSO_DiskFile*> snapshot() const {
        std::lock_guard guard(m_mutex);
        return m_files;
    }
    size_t size() const {
        std::lock_guard guard(m_mutex);
        return m_files.size();
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<GSO_DiskFile*> m_files;
};

// An OFD lock request of `type` on (offset, length); l_pid must be 0 for OFD requests.
struct flock ofdRequest(short type, uint64_t offset, uint64_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    lock.l_pid = 0;
    return lock;
}

bool ofdLock(int fd, short type, uint64_t offset, uint64_t length) {
    struct flock lock = ofdRequest(type, offset, length);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Waits in the system for a lock on (offset, length) for at most `milliseconds`; true when it
// was granted. A blocked request is woken by the system the moment the holder lets go, so a
// waiter is not starved by a writer that takes the lock again and again, as a waiter that only
// tried every so often would be (it would have to hit the short moments between two writes).
// The wait is bounded by a timer of this thread whose signal interrupts the request; it ticks
// repeatedly, so a tick that comes just before the request blocks cannot leave it blocked.
// False at once when the system offers no such timer; the caller then pauses instead.
void onLockWaitTick(int) {}

bool ofdLockWithin(int fd, short type, uint64_t offset, uint64_t length, int milliseconds) {
    static const int kTickSignal = SIGRTMIN + 3;
    static const bool handlerInstalled = [] {
        struct sigaction action {};
        action.sa_handler = onLockWaitTick;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the tick must end the blocked request
        return ::sigaction(kTickSignal, &action, nullptr) == 0;
    }();
    if (!handlerInstalled) return false;

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = kTickSignal;
    event._sigev_un._tid = static_cast<pid_t>(::gettid());  // glibc names no accessor for it
    timer_t timer{};
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) return false;
    constexpr long kTickNs = 5'000'000;
    itimerspec ticks{};
    ticks.it_value.tv_nsec = kTickNs;
    ticks.it_interval.tv_nsec = kTickNs;
    ::timer_settime(timer, 0, &ticks, nullptr);

    struct flock lock = ofdRequest(type, offset, length);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    bool granted = false;
    while (std::chrono::steady_clock::now() < until) {
        if (::fcntl(fd, F_OFD_SETLKW, &lock) == 0) {
            granted = true;
            break;
        }
        if (errno != EINTR) break;  // not a tick: the caller pauses for the rest
    }
    // Once the timer is gone no tick can come; one already due is taken on the way back from
    // this call, so none is left to interrupt a later system call of this thread.
    ::timer_delete(timer);
    return granted;
}

// True when another open file description holds a lock in (offset, length) that conflicts with
// `type`.
bool ofdConflict(int fd, short type, uint64_t offset, uint64_t length = 1) {
    struct flock lock = ofdRequest(type, offset, length);
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

// A copy out of the mapping of a file that another program has cut shorter meets pages with
// nothing behind them, and the system answers with SIGBUS. Copies are guarded: the handler
// jumps back out of the copy, and the read is answered by the system call instead, which sees
// the file as it is now. A SIGBUS anywhere else gets what it would have got without us.
thread_local sigjmp_buf* t_guardedCopy = nullptr;
struct sigaction g_previousBusAction {};

void onBusError(int signal, siginfo_t* info, void* context) {
    if (t_guardedCopy != nullptr) siglongjmp(*t_guardedCopy, 1);
    if ((g_previousBusAction.sa_flags & SA_SIGINFO) != 0) {
        g_previousBusAction.sa_sigaction(signal, info, context);
    } else if (g_previousBusAction.sa_handler != SIG_DFL &&
               g_previousBusAction.sa_handler != SIG_IGN) {
        g_previousBusAction.sa_handler(signal);
    } else {
        ::sigaction(SIGBUS, &g_previousBusAction, nullptr);
        ::raise(signal);
    }
}

void installBusErrorGuard() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        // The jump out leaves the handler without returning: SIGBUS must not stay blocked.
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &g_previousBusAction) == 0;
    }();
    (void)installed;
}

// Compares `count` bytes of a mapping with `expected`: 1 equal, 0 different, -1 when part of it
// no longer has a file behind it.
int guardedCompare(const uint8_t* mapped, const void* expected, size_t count) {
    sigjmp_buf jump;
    if (sigsetjmp(jump, 0) != 0) {
        t_guardedCopy = nullptr;
        return -1;
    }
    t_guardedCopy = &jump;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const int order = std::memcmp(mapped, expected, count);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guardedCopy = nullptr;
    return order == 0 ? 1 : 0;
}

// Copies `count` bytes from a mapping; false when part of it no longer has a file behind it.
bool guardedCopy(void* to, const uint8_t* from, size_t count) {
    sigjmp_buf jump;
    if (sigsetjmp(jump, 0) != 0) {
        t_guardedCopy = nullptr;
        return false;
    }
    t_guardedCopy = &jump;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, count);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guardedCopy = nullptr;
    return true;
}

int lockErrorCode(int errnoValue) {
    // A region held by someone else is a lock violation (33) whatever errno the system chose.
    if (errnoValue == EAGAIN || errnoValue == EACCES) return err::kLockViolation;
    return errnoToEngineCode(errnoValue);
}

}  // namespace

void setDiskFileTap(DiskFileTap* tap) {
    g_tap = tap;
}

DiskFileTap* diskFileTap() {
    return g_tap;
}

GSO_DiskFile::GSO_DiskFile(std::string_view fileName, bool shared, bool readWrite)
    : m_shared(shared), m_readWrite(readWrite) {
    m_path = resolveCaseInsensitive(expandPath(fileName));
    // Without blocking: a FIFO in the table's place would hold the open until a writer came,
    // and a device may wait for its medium. Whatever the name shows, only a regular file holds
    // a table or an index; anything else is refused before a byte of it is read.
    int flags = (readWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    m_fd = ::open(m_path.c_str(), flags);
    const auto refuse = [this](int code) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_lastError = code;
        fail(code, sub::kOpen);
    };
    if (m_fd < 0) refuse(errno == EISDIR ? err::kNotRegularFile : errnoToEngineCode(errno));
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) refuse(errnoToEngineCode(errno));
    if (!S_ISREG(info.st_mode)) refuse(err::kNotRegularFile);
    // Reads and writes of a regular file block as they always did.
    const int statusFlags = ::fcntl(m_fd, F_GETFL);
    if (statusFlags < 0 || ::fcntl(m_fd, F_SETFL, statusFlags & ~O_NONBLOCK) < 0) {
        refuse(errnoToEngineCode(errno));
    }
    const FileSystemKind kind = fileSystemKindOf(m_fd);
    m_network = kind.network;
    if (readWrite && !kind.localLockOption.empty()) {
        // Every lock would be granted on this machine alone: another machine's writer would
        // write the same places at the same time.
        ::close(m_fd);
        m_fd = -1;
        m_lastError = err::kAccessDenied;
        throw EEngineError(err::kAccessDenied, sub::kOpen, m_path,
                           localLocksMessage(m_path, kind.localLockOption));
    }
    takeShareMarker(m_path);
    GSobjFileColl::instance().add(this);
}

void GSO_DiskFile::takeShareMarker(const std::string& path) {
    (void)path;
    bool granted;
    if (m_shared) {
        granted = ofdLock(m_fd, F_RDLCK, kShareMarkerOffset, 1) &&
                  !ofdConflict(m_fd, F_WRLCK, kExclusiveReadMarkerOffset);
    } else if (m_readWrite) {
        granted = ofdLock(m_fd, F_WRLCK, kShareMarkerOffset, 1);
    } else {
        // A read-only descriptor cannot hold a write lock: make sure nobody else has the file
        // open, then announce this unshared open on the second marker.
        granted = !ofdConflict(m_fd, F_WRLCK, kShareMarkerOffset) &&
                  ofdLock(m_fd, F_RDLCK, kShareMarkerOffset, 1) &&
                  ofdLock(m_fd, F_RDLCK, kExclusiveReadMarkerOffset, 1);
    }
    if (!granted) {
        ::close(m_fd);
        m_fd = -1;
        m_lastError = err::kSharingViolation;
        fail(err::kSharingViolation, sub::kOpen);
    }
}

GSO_DiskFile::~GSO_DiskFile() {
    close();
}

void GSO_DiskFile::create(std::string_view fileName) {
    // An existing file (in any letter case) is never emptied: another process may have it open,
    // and nothing here could hold a lock that keeps it away before the bytes were gone.
    std::string path = resolveCaseInsensitive(expandPath(fileName));
    // Who may write the new file is the process's umask's to say: the program and the tool
    // open it to the group when they run from a folder that a group shares.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) raiseEngineError(errnoToEngineCode(errno, true), sub::kCreate, path);
    ::close(fd);
    if (g_tap != nullptr) g_tap->created(path);
}

size_t GSO_DiskFile::read(uint64_t offset, void* buffer, size_t count) {
    if (m_fd < 0) fail(103, sub::kRead);
    if (m_mappingEnabled && readMapped(offset, buffer, count)) {
        ++m_reads;
        m_lastError = 0;
        if (g_tap != nullptr) g_tap->read(m_path, offset, static_cast<uint8_t*>(buffer), count);
        return count;
    }
    return readPastMapping(offset, buffer, count);
}

size_t GSO_DiskFile::readPastMapping(uint64_t offset, void* buffer, size_t count) {
    if (m_fd < 0) fail(103, sub::kRead);
    ++m_reads;
    auto* out = static_cast<uint8_t*>(buffer);
    const size_t done =
        m_holdWrites ? readHeld(offset, out, count) : readSystem(offset, out, count);
    m_lastError = done < count ? err::kShortRead : 0;
    if (g_tap != nullptr) g_tap->read(m_path, offset, out, done);
    return done;
}

size_t GSO_DiskFile::readSystem(uint64_t offset, uint8_t* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        ++m_systemReads;
        ssize_t got = ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            m_lastError = errnoToEngineCode(errno, false);
            fail(m_lastError, sub::kRead);
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t GSO_DiskFile::readHeld(uint64_t offset, uint8_t* out, size_t count) {
    // The kept size counts this object's held writes: the file is that long for its reader.
    if (offset >= m_knownSize) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, m_knownSize - offset));
    size_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        const uint64_t page = at / kHeldPage;
        const auto inPage = static_cast<size_t>(at % kHeldPage);
        auto found = m_held.find(page);
        if (found == m_held.end() && !m_holdReads) {
            // Read from the file as far as the next held page.
            uint64_t end = at + (count - done);
            auto next = m_held.upper_bound(page);
            if (next != m_held.end()) end = std::min(end, next->first * kHeldPage);
            const auto want = static_cast<size_t>(end - at);
            size_t got = readSystem(at, out + done, want);
            if (got < want && at + got >= m_serverSize) {
                // A gap this object's writes left past the server's end reads as zeros.
                std::memset(out + done + got, 0, want - got);
                got = want;
            }
            done += got;
            if (got < want) break;
            continue;
        }
        const HeldPage& held = found != m_held.end() ? found->second : holdPage(page);
        const size_t piece = std::min(count - done, static_cast<size_t>(kHeldPage) - inPage);
        std::memcpy(out + done, held.bytes.data() + inPage, piece);
        done += piece;
    }
    return done;
}

GSO_DiskFile::HeldPage& GSO_DiskFile::holdPage(uint64_t page) {
    HeldPage held;
    held.bytes.assign(kHeldPage, 0);
    const uint64_t begin = page * kHeldPage;
    if (begin < m_serverSize) {
        readSystem(begin, held.bytes.data(),
                   static_cast<size_t>(std::min<uint64_t>(kHeldPage, m_serverSize - begin)));
    }
    return m_held.emplace(page, std::move(held)).first->second;
}

void GSO_DiskFile::holdWrite(uint64_t offset, const uint8_t* first, size_t firstCount,
                             const uint8_t* second, size_t secondCount) {
    auto put = [this](uint64_t at, const uint8_t* from, size_t count) {
        while (count > 0) {
            const uint64_t page = at / kHeldPage;
            const auto inPage = static_cast<uint32_t>(at % kHeldPage);
            const size_t piece = std::min(count, static_cast<size_t>(kHeldPage - inPage));
            auto found = m_held.find(page);
            HeldPage* held = nullptr;
            if (found != m_held.end()) {
                held = &found->second;
            } else if (piece == kHeldPage) {
                held = &m_held.emplace(page, HeldPage{std::vector<uint8_t>(kHeldPage), 0, 0})
                            .first->second;
            } else {
                held = &holdPage(page);
            }
            std::memcpy(held->bytes.data() + inPage, from, piece);
            const auto end = static_cast<uint32_t>(inPage + piece);
            if (held->dirty()) {
                held->dirtyBegin = std::min(held->dirtyBegin, inPage);
                held->dirtyEnd = std::max(held->dirtyEnd, end);
            } else {
                held->dirtyBegin = inPage;
                held->dirtyEnd = end;
            }
            at += piece;
            from += piece;
            count -= piece;
        }
    };
    put(offset, first, firstCount);
    if (secondCount > 0) put(offset + firstCount, second, secondCount);
}

size_t GSO_DiskFile::heldWriteBytes() const {
    size_t bytes = 0;
    for (const auto& [page, held] : m_held) bytes += held.dirtyEnd - held.dirtyBegin;
    return bytes;
}

bool GSO_DiskFile::sendHeldWrites() {
    // Runs of neighbouring written bytes, each one system call, sent from the end of the file
    // towards its start.
    struct Run {
        uint64_t offset;
        std::vector<iovec> pieces;
    };
    std::vector<Run> runs;
    uint64_t runEnd = 0;
    for (auto& [page, held] : m_held) {
        if (!held.dirty()) continue;
        const uint64_t begin = page * kHeldPage + held.dirtyBegin;
        if (runs.empty() || begin != runEnd || runs.back().pieces.size() >= IOV_MAX) {
            runs.push_back(Run{begin, {}});
        }
        runs.back().pieces.push_back(
            {held.bytes.data() + held.dirtyBegin, size_t{held.dirtyEnd} - held.dirtyBegin});
        runEnd = page * kHeldPage + held.dirtyEnd;
    }
    try {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            writeSystem(run->offset, run->pieces.data(), static_cast<int>(run->pieces.size()));
        }
    } catch (const EEngineError&) {
        return false;  // lastError() tells why
    }
    for (auto& [page, held] : m_held) held.dirtyBegin = held.dirtyEnd = 0;
    return true;
}

void GSO_DiskFile::makeRoomForHeldPages(int subCode) {
    if (m_held.size() < kMaxHeldPages) return;
    // Still under the lock: the writes may reach the file now as well as at the push.
    stopHolding(subCode);
}

void GSO_DiskFile::stopHolding(int subCode) {
    if (!m_held.empty() && !sendHeldWrites()) fail(m_lastError, subCode);
    m_held.clear();
}

void GSO_DiskFile::write(uint64_t offset, const void* buffer, size_t count) {
    write2(offset, buffer, count, nullptr, 0);
}

void GSO_DiskFile::write2(uint64_t offset, const void* first, size_t firstCount, const void* second,
                          size_t secondCount) {
    if (m_fd < 0) fail(103, sub::kWrite);
    if (!m_readWrite) {
        m_lastError = err::kAccessDenied;
        fail(err::kAccessDenied, sub::kWrite);
    }
    if (m_holdWrites) {
        makeRoomForHeldPages(sub::kWrite);
        holdWrite(offset, static_cast<const uint8_t*>(first), firstCount,
                  static_cast<const uint8_t*>(second), secondCount);
    } else {
        iovec pieces[2] = {{const_cast<void*>(first), firstCount},
                           {const_cast<void*>(second), secondCount}};
        writeSystem(offset, pieces, secondCount > 0 ? 2 : 1);
    }
    m_lastError = 0;
    m_written = true;
    ++m_writes;
    noteWritten(offset + firstCount + secondCount);
}

void GSO_DiskFile::writeSystem(uint64_t offset, const iovec* pieces, int pieceCount) {
    if (m_journal != nullptr && !m_journalCovered && m_journal->active()) {
        // The old bytes reach the disk before the new ones replace them.
        m_journal->record(*this, offset, pieces, pieceCount);
        m_journal->sync();
    }
    size_t total = 0;
    for (int i = 0; i < pieceCount; ++i) total += pieces[i].iov_len;
    const iovec* next = pieces;
    int nextCount = pieceCount;
    std::vector<iovec> rest;
    size_t done = 0;
    while (done < total) {
        ++m_systemWrites;
        ssize_t put = ::pwritev(m_fd, next, nextCount, static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            m_lastError = errnoToEngineCode(errno, true);
            fail(m_lastError, sub::kWrite);
        }
        done += static_cast<size_t>(put);
        if (done == total) break;
        // A short write (rare): the vector again, past what was written.
        rest.clear();
        size_t skip = done;
        for (int i = 0; i < pieceCount; ++i) {
            if (skip >= pieces[i].iov_len) {
                skip -= pieces[i].iov_len;
                continue;
            }
            rest.push_back(
                {static_cast<uint8_t*>(pieces[i].iov_base) + skip, pieces[i].iov_len - skip});
            skip = 0;
        }
        next = rest.data();
        nextCount = static_cast<int>(rest.size());
    }
    if (g_tap != nullptr) {
        std::vector<uint8_t> bytes;
        bytes.reserve(total);
        for (int i = 0; i < pieceCount; ++i) {
            const auto* from = static_cast<const uint8_t*>(pieces[i].iov_base);
            bytes.insert(bytes.end(), from, from + pieces[i].iov_len);
        }
        g_tap->wrote(m_path, offset, bytes.data(), bytes.size());
    }
}

uint64_t GSO_DiskFile::size() {
    if (m_fd < 0) fail(103, sub::kSize);
    if (m_sizeKnown) return m_knownSize;
    // Another machine may have grown the file since the client last asked.
    if (m_network) refreshClientCaches();
    FileChangeStamp stamp;
    if (!freshStat(stamp)) {
        m_lastError = errnoToEngineCode(errno);
        fail(m_lastError, sub::kSize);
    }
    return stamp.size;
}

bool GSO_DiskFile::freshStat(FileChangeStamp& stamp) const {
    if (m_fd < 0) return false;
    auto ns = [](int64_t seconds, int64_t nanoseconds) {
        return seconds * 1000000000 + nanoseconds;
    };
    if (m_network) {
        // The client's attribute cache may hold what it saw a while ago: ask the server.
        struct statx info {};
        if (::statx(m_fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC,
                    STATX_SIZE | STATX_MTIME | STATX_CTIME, &info) != 0) {
            return false;
        }
        stamp.size = info.stx_size;
        stamp.modifiedNs = ns(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
        stamp.changedNs = ns(info.stx_ctime.tv_sec, info.stx_ctime.tv_nsec);
        return true;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) return false;
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.modifiedNs = ns(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    stamp.changedNs = ns(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
    return true;
}

FileChangeStamp GSO_DiskFile::changeStamp() const {
    FileChangeStamp stamp;
    if (m_sizeKnown && m_stampKept) {
        // Nobody else writes while the lock is held: the stamp of the look at the lock, moved
        // on by this object's own writes, says as much as the server would, without asking.
        stamp = m_keptStamp;
        stamp.size = m_knownSize;
        stamp.modifiedNs += static_cast<int64_t>(m_writesWhileKept);
        stamp.settled = true;
        return stamp;
    }
    if (!freshStat(stamp)) return FileChangeStamp{};
    stamp.settled = settledNow(stamp);
    return stamp;
}

bool GSO_DiskFile::settledNow(const FileChangeStamp& stamp) {
    auto ns = [](const timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    // File times are taken from the system's coarse clock (or, after a look at the file, from
    // a finer one that is still later). A write in a later tick than the stamp's times always
    // shows; one in the same tick may not. Once the coarse clock has passed both times, every
    // write to come lands in a later tick.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return std::max(stamp.modifiedNs, stamp.changedNs) < ns(now);
}

bool GSO_DiskFile::pathNamesThisFile() const {
    struct stat held {
    }, named{};
    if (m_fd < 0 || ::fstat(m_fd, &held) != 0) return false;
    if (::stat(m_path.c_str(), &named) != 0) return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void GSO_DiskFile::requireSameFile() const {
    if (!pathNamesThisFile()) fail(err::kFileReplaced, sub::kWrite);
}

void GSO_DiskFile::flush() {
    if (m_fd < 0) return;
    if (!sendHeldWrites()) fail(m_lastError, sub::kFlush);
    if (::fsync(m_fd) != 0 && errno != EINVAL) {
        m_lastError = errnoToEngineCode(errno, true);
        fail(m_lastError, sub::kFlush);
    }
    m_written = false;
    m_unpushed = false;
    if (g_tap != nullptr) g_tap->flushed(m_path);
}

void GSO_DiskFile::truncate(uint64_t offset) {
    if (m_fd < 0) fail(103, sub::kTruncate);
    if (!m_readWrite || !hasExclusiveAccess()) {
        m_lastError = err::kAccessDenied;
        fail(err::kAccessDenied, sub::kTruncate);
    }
    stopHolding(sub::kTruncate);
    if (::ftruncate(m_fd, static_cast<off_t>(offset)) != 0) {
        m_lastError = errnoToEngineCode(errno, true);
        fail(m_lastError, sub::kTruncate);
    }
    if (m_mapLength > offset) refreshMapping();
    m_written = true;
    ++m_writes;
    m_unpushed = m_network;
    if (m_sizeKnown) {
        m_knownSize = offset;
        ++m_writesWhileKept;
    }
    m_serverSize = offset;
    if (g_tap != nullptr) g_tap->truncated(m_path, offset);
}

void GSO_DiskFile::noteWritten(uint64_t end) {
    if (m_network || m_holdWrites) m_unpushed = true;
    if (m_sizeKnown) {
        m_knownSize = std::max(m_knownSize, end);
        ++m_writesWhileKept;
    }
}

bool GSO_DiskFile::pushQuietly() {
    if (!m_unpushed || m_fd < 0) return true;
    if (!sendHeldWrites()) return false;
    ++m_pushes;
    if (::fdatasync(m_fd) != 0 && errno != EINVAL) {
        m_lastError = errnoToEngineCode(errno, true);
        return false;
    }
    m_unpushed = false;
    if (g_tap != nullptr) g_tap->flushed(m_path);
    return true;
}

void GSO_DiskFile::pushWrites() {
    if (!pushQuietly()) fail(m_lastError, sub::kFlush);
}

void GSO_DiskFile::keepSizeUntilUnlock(bool everyWriterOut) {
    if (m_sizeKnown && everyWriterOut && !m_stampKept) {
        // Told again, with every writer of any byte out now (other locks held beside this
        // one): from the look at the lock on nobody else wrote, so the stamp then, moved on by
        // this object's writes since, still holds, and the pages read can be held too.
        m_stampKept = true;
        m_holdReads = true;
        return;
    }
    if (m_sizeKnown || !m_network || m_lockCount == 0) return;
    m_stampKept = everyWriterOut;
    FileChangeStamp stamp;
    if (!freshStat(stamp)) return;  // the size stays asked for every time
    m_knownSize = stamp.size;
    m_keptStamp = stamp;
    m_writesWhileKept = 0;
    m_sizeKnown = true;
    // Nobody else writes what this object writes meanwhile: its writes can wait for the push.
    m_serverSize = stamp.size;
    m_holdWrites = true;
    m_holdReads = everyWriterOut;
}

void GSO_DiskFile::holdWritesUnderLock() {
    if (m_fd < 0 || m_lockCount == 0 || m_holdWrites || !m_readWrite) return;
    FileChangeStamp stamp;
    if (!freshStat(stamp)) return;
    if (!m_sizeKnown) {
        m_knownSize = stamp.size;
        m_keptStamp = stamp;
        m_writesWhileKept = 0;
        m_sizeKnown = true;
    }
    m_serverSize = stamp.size;
    m_holdWrites = true;
}

void GSO_DiskFile::recordHeldWrites() {
    if (m_journal == nullptr) return;
    for (const auto& [page, held] : m_held) {
        if (!held.dirty()) continue;
        m_journal->record(*this, page * kHeldPage + held.dirtyBegin,
                          held.bytes.data() + held.dirtyBegin,
                          size_t{held.dirtyEnd} - held.dirtyBegin);
    }
}

void GSO_DiskFile::sendJournaledWrites() {
    m_journalCovered = true;
    const bool sent = sendHeldWrites();
    m_journalCovered = false;
    if (!sent) fail(m_lastError, sub::kWrite);
}

uint64_t GSO_DiskFile::systemSize() const {
    FileChangeStamp stamp;
    if (!freshStat(stamp)) raiseEngineError(errnoToEngineCode(errno), sub::kSize, m_path);
    return stamp.size;
}

size_t GSO_DiskFile::readFromFile(uint64_t offset, void* buffer, size_t count) {
    if (m_fd < 0) fail(103, sub::kRead);
    return readSystem(offset, static_cast<uint8_t*>(buffer), count);
}

void GSO_DiskFile::refreshClientCaches() {
    ++m_serverLooks;
    // The client of a network file system answers from its caches for a while after another
    // machine wrote. A request that travels to the server and comes back with the file's
    // attributes makes the client take them over, and makes it forget the contents it keeps
    // of a small file: a space request for the first byte, which has its space, with the size
    // kept, changes no byte and no length. A read-only descriptor cannot make it; a sync of
    // the file goes to the server too (but leaves such contents kept: see forgetClientCaches).
    if (!m_readWrite || ::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, 0, 1) != 0) ::fsync(m_fd);
}

void GSO_DiskFile::markModifiedNow() {
    if (m_fd < 0 || !m_readWrite) return;
    const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    if (::futimens(m_fd, times) != 0) {
        m_lastError = errnoToEngineCode(errno);
        fail(m_lastError, sub::kWrite);
    }
}

void GSO_DiskFile::forgetClientCaches() {
    if (m_fd < 0 || !m_network) return;
    if (m_readWrite) {
        refreshClientCaches();
    } else {
        // The space request through a descriptor for writing of this object's own, when its
        // user may write the file and the path still names it; otherwise only the sync.
        ++m_serverLooks;
        bool requested = false;
        const int writer = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (writer >= 0) {
            struct stat mine {
            }, named{};
            requested = ::fstat(m_fd, &mine) == 0 && ::fstat(writer, &named) == 0 &&
                        S_ISREG(named.st_mode) && mine.st_dev == named.st_dev &&
                        mine.st_ino == named.st_ino &&
                        ::fallocate(writer, FALLOC_FL_KEEP_SIZE, 0, 1) == 0;
            ::close(writer);
        }
        if (!requested) ::fsync(m_fd);
    }
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
    ++m_cacheDrops;
    m_seenStamp = FileChangeStamp{};
    // Pages read and held under the lock may be what the client kept; what this object wrote
    // and holds for the push stays.
    std::erase_if(
        m_held, [](const auto& entry) { return entry.second.dirtyBegin == entry.second.dirtyEnd; });
}

void GSO_DiskFile::lookAtServer() {
    refreshClientCaches();
    FileChangeStamp stamp;
    if (!freshStat(stamp)) {
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
        ++m_cacheDrops;
        m_seenStamp = FileChangeStamp{};
        if (g_tap != nullptr) g_tap->lookedAtServer(m_path);
        return;
    }
    if (!m_seenStamp.settled || !(stamp == m_seenStamp)) {
        // Someone wrote since this object last looked, or may have written without changing
        // the stamp: the pages the kernel keeps of the file may be older than the server's.
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
        ++m_cacheDrops;
    }
    // What the server holds from here on: the same stamp at the next look says nothing changed
    // only if every write to come lands in a later tick of the server's clock.
    m_seenStamp = stamp;
    m_seenStamp.settled = settledNow(stamp);
    if (g_tap != nullptr) g_tap->lookedAtServer(m_path);
}

void GSO_DiskFile::enableReadMapping() {
    // A mapping shows the client's pages, which the look at a lock cannot refresh.
    if (m_network) return;
    installBusErrorGuard();
    m_mappingEnabled = true;
    refreshMapping();
}

void GSO_DiskFile::enableCompareMapping() {
    if (m_network) return;
    installBusErrorGuard();
    m_compareMapping = true;
    refreshMapping();
}

int GSO_DiskFile::compareMapped(uint64_t offset, const void* bytes, size_t count) {
    if (m_fd < 0 || (!m_mappingEnabled && !m_compareMapping)) return -1;
    if (offset + count > m_mapLength) refreshMapping();
    if (m_map == nullptr || offset + count > m_mapLength) return -1;
    const int same = guardedCompare(m_map + offset, bytes, count);
    if (same < 0) refreshMapping();
    return same;
}

void GSO_DiskFile::unmap() {
    if (m_map != nullptr) ::munmap(m_map, m_mapCapacity);
    m_map = nullptr;
    m_mapLength = 0;
    m_mapCapacity = 0;
}

void GSO_DiskFile::refreshMapping() {
    if ((!m_mappingEnabled && !m_compareMapping) || m_fd < 0) return;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        unmap();
        return;
    }
    uint64_t length = static_cast<uint64_t>(info.st_size);
    if (length == m_mapLength) return;
    if (length < m_mapLength || length > m_mapCapacity) {
        // Grow in large steps so an appending writer does not remap at every record.
        unmap();
        if (length == 0) return;
        uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
        uint64_t capacity = (length + length / 8 + page - 1) / page * page;
        void* map = ::mmap(nullptr, capacity, PROT_READ, MAP_SHARED, m_fd, 0);
        if (map == MAP_FAILED) return;  // reads fall back to the system call
        m_map = static_cast<uint8_t*>(map);
        m_mapCapacity = capacity;
    }
    // Pages past the end of the file are never read: the covered length is the file's size.
    m_mapLength = length;
}

void GSO_DiskFile::prefetch(uint64_t offset, size_t count) const {
    if (m_map == nullptr || offset + count > m_mapLength) return;
    constexpr size_t kCacheLine = 64;
    for (size_t at = 0; at < count; at += kCacheLine) __builtin_prefetch(m_map + offset + at);
}

void GSO_DiskFile::willNeed(uint64_t offset, size_t count) const {
    if (m_fd < 0 || count == 0) return;
    ::posix_fadvise(m_fd, static_cast<off_t>(offset), static_cast<off_t>(count),
                    POSIX_FADV_WILLNEED);
}

void GSO_DiskFile::releaseMappedPages(uint64_t offset, uint64_t count) {
    if (m_map == nullptr) return;
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    uint64_t begin = 0;
    uint64_t end = m_mapCapacity;
    if (count != 0) {
        begin = offset / page * page;
        end = std::min(m_mapCapacity, (offset + count + page - 1) / page * page);
    }
    // A shared, read-only mapping of a file: the pages dropped here are read back from the
    // page cache (or the file) on the next access, so nothing can be lost.
    if (begin < end) ::madvise(m_map + begin, end - begin, MADV_DONTNEED);
}

bool GSO_DiskFile::readMapped(uint64_t offset, void* buffer, size_t count) {
    if (offset + count > m_mapLength) refreshMapping();
    if (m_map == nullptr || offset + count > m_mapLength) return false;
    if (guardedCopy(buffer, m_map + offset, count)) return true;
    // Another program cut the file shorter while it was mapped: map what is left.
    refreshMapping();
    return false;
}

void GSO_DiskFile::close() {
    if (m_fd < 0) return;
    unmap();
    if (m_lockCount > 0) {
        m_lockCount = 1;
        unlock();
    }
    pushQuietly();
    GSobjFileColl::instance().remove(this);
    ::close(m_fd);  // drops this description's marker and any lock still held
    m_fd = -1;
}

bool GSO_DiskFile::systemLock(uint64_t offset, uint64_t length) {
    // A read-only descriptor can only hold read locks; they still conflict with every writer.
    short type = m_readWrite ? F_WRLCK : F_RDLCK;
    if (ofdLock(m_fd, type, offset, length)) return true;
    m_lastError = lockErrorCode(errno);
    return false;
}

bool GSO_DiskFile::systemUnlock(uint64_t offset, uint64_t length) {
    if (ofdLock(m_fd, F_UNLCK, offset, length)) return true;
    m_lastError = lockErrorCode(errno);
    return false;
}

bool GSO_DiskFile::lock(uint64_t offset, uint64_t length) {
    if (m_fd < 0) {
        m_lastError = 6;
        return false;
    }
    if (!m_shared) {
        ++m_lockCount;
        m_lockOffset = offset;
        m_lockLength = length;
        return true;
    }
    if (m_lockCount == 0) {
        if (!systemLock(offset, length)) return false;
        m_lockCount = 1;
        m_lockOffset = offset;
        m_lockLength = length;
        if (m_network) lookAtServer();
        return true;
    }
    if (offset == m_lockOffset && length == m_lockLength) {
        ++m_lockCount;
        return true;
    }
    m_lastError = err::kLockViolation;
    return false;
}

bool GSO_DiskFile::unlock() {
    if (m_lockCount == 0) return true;
    bool pushed = true;
    if (m_lockCount == 1) {
        // What the lock protected reaches the server before the next holder can look.
        pushed = pushQuietly();
        m_seenStamp = FileChangeStamp{};
        if (pushed && m_network && m_sizeKnown && m_fd >= 0) {
            // Nobody else could write meanwhile: this object's own writes are not news at its
            // next lock. A write of another machine in the same tick as the last of them could
            // leave the stamp as it is: an unsettled stamp makes the next lock forget the pages.
            FileChangeStamp stamp;
            if (freshStat(stamp)) {
                m_seenStamp = stamp;
                m_seenStamp.settled = settledNow(stamp);
            }
        }
        m_sizeKnown = false;
        m_stampKept = false;
        // Written or not (the push said which), nothing is held past the lock.
        m_held.clear();
        m_holdWrites = false;
        m_holdReads = false;
    }
    if (m_shared && m_lockCount == 1 && m_fd >= 0) {
        if (!systemUnlock(m_lockOffset, m_lockLength)) return false;
    }
    if (--m_lockCount == 0) {
        m_lockOffset = 0;
        m_lockLength = 0;
    }
    return pushed;
}

bool GSO_DiskFile::lockAll() {
    if (!m_shared) return true;
    return lock(kLockAllRegion);
}

bool GSO_DiskFile::hasExclusiveAccess() const {
    return !m_shared || (m_lockCount > 0 && m_lockOffset == kLockAllRegion.offset &&
                         m_lockLength == kLockAllRegion.length);
}

bool GSO_DiskFile::lockedElsewhere(LockRegion region) const {
    return m_shared && m_fd >= 0 && ofdConflict(m_fd, F_WRLCK, region.offset, region.length);
}

LockWait& GSO_DiskFile::defaultLockWait() {
    static LockWait wait;
    return wait;
}

bool GSO_DiskFile::lockWaiting(LockRegion region, LockWait wait) {
    if (!m_shared) return lock(region);
    // Another handle is waiting: this one gives way for a moment before it asks, so that the
    // waiter, which the system wakes when the lock is let go, is not beaten to it every time.
    // A waiter on a network file system asks every few milliseconds: the pause covers one.
    const auto giveWay = std::chrono::milliseconds(m_network ? 5 : 1);
    if (m_fd >= 0 && m_lockCount == 0 && ofdConflict(m_fd, F_WRLCK, kLockWaiterMarkerOffset)) {
        std::this_thread::sleep_for(giveWay);
    }
    if (lock(region)) return true;
    // From here this handle is a waiter (a read lock on the waiters' marker), until it has the
    // lock or gives up.
    const bool announced = m_fd >= 0 && ofdLock(m_fd, F_RDLCK, kLockWaiterMarkerOffset, 1);
    bool granted = false;
    if (m_network) {
        // A request left blocked at the server of a network file system and withdrawn by the
        // client can hang the server: ask again and again, with short pauses, for as long.
        constexpr auto kNetworkPause = std::chrono::milliseconds(2);
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(int64_t{wait.attempts} * wait.pauseMs);
        while (!granted && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(kNetworkPause);
            granted = lock(region);
        }
        if (announced) ofdLock(m_fd, F_UNLCK, kLockWaiterMarkerOffset, 1);
        return granted;
    }
    for (int attempt = 1; attempt < wait.attempts && !granted; ++attempt) {
        const auto pauseEnd =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(wait.pauseMs);
        // Between two attempts the request waits in the system's queue for the region. Only a
        // first lock of this object waits there: a nested request for another region is
        // refused without the system.
        if (m_fd >= 0 && m_lockCount == 0 &&
            ofdLockWithin(m_fd, m_readWrite ? F_WRLCK : F_RDLCK, region.offset, region.length,
                          wait.pauseMs)) {
            m_lockCount = 1;
            m_lockOffset = region.offset;
            m_lockLength = region.length;
            if (m_network) lookAtServer();
            granted = true;
            break;
        }
        std::this_thread::sleep_until(pauseEnd);  // what is left of the pause, if anything
        granted = lock(region);
    }
    if (announced) ofdLock(m_fd, F_UNLCK, kLockWaiterMarkerOffset, 1);
    return granted;
}

void GSO_DiskFile::fail(int code, int subCode) const {
    raiseEngineError(code, subCode, m_path);
}

void GSO_DiskFile::closeAllOpenFiles() {
    for (GSO_DiskFile* file : GSobjFileColl::instance().snapshot()) file->close();
}

size_t GSO_DiskFile::openFileCount() {
    return GSobjFileColl::instance().size();
}

}  // namespace abonex
