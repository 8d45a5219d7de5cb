// GSO_DiskFile: one open disk file of the engine, with its sharing mode and its one lock region.
//
// Sharing on Linux. Files are opened without any system-level sharing control, so the sharing
// modes are emulated with open-file-description (OFD) locks on one marker byte that lies beyond
// every protocol region (kShareMarkerOffset, above 4 GiB):
//   - a shared open holds a read lock on the marker,
//   - an unshared open holds a write lock on it,
// both taken without waiting. An unshared open therefore fails with 32 while any other handle
// has the file open, and a shared open fails with 32 while an unshared handle has it. An
// unshared open of a read-only descriptor cannot take a write lock; it checks that no other
// handle holds the marker and takes a read lock on a second marker byte that shared opens test.
//
// Byte-range locks are OFD locks too (F_OFD_SETLK), so that, as the protocol expects, two handles
// on one file conflict even inside one process, and closing one handle never drops the locks
// of another. Each object holds at most one locked region; nested requests for the same region
// only count, and only the 0 -> 1 and 1 -> 0 transitions make system calls. An unshared file
// never calls the system to lock: every request succeeds by counting.
//
// On a network file system (see network_share.h) the client's caches may hold what another
// machine changed, and its writes may reach the server after the lock is let go. There, a file:
//   - reads with system calls, never through a mapping;
//   - looks at the server afresh when it takes a lock (the 0 -> 1 transition): the size and times
//     come from the server, and the pages the client keeps of the file are dropped when they
//     differ from what this object saw last;
//   - pushes what it wrote under a lock to the server before it lets the lock go (the 1 -> 0
//     transition); pushWrites() does so at once and raises when the server refuses;
//   - asks the server for the size and change stamp, unless the lock it holds keeps every other
//     writer out (keepSizeUntilUnlock): then the size is what the look at the lock found, grown
//     by this object's own writes;
//   - while such a lock is held, holds its writes in memory, page by page, and sends them when
//     it pushes (at the latest before the lock is let go): each page once, neighbouring pages
//     in one system call, the pages from the end of the file towards its start (so that the
//     records a header counts go before the header). Reads see those writes. Under a lock that
//     keeps every writer of any byte out, the pages it reads are held too: a page read twice
//     under one lock costs one trip to the server. A few megabytes at most are held: past
//     that, the writes are sent at once (still under the lock) and the pages forgotten.
// A waiter asks for a lock again and again with short pauses there rather than leaving a blocked
// request at the server.
//
// Invariant: lockCount() > 0 exactly when a region is remembered (and, for a shared file,
// locked in the system).
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/lock_protocol.h"

namespace abonex {

// The marker byte that emulates the sharing modes (see above).
inline constexpr uint64_t kShareMarkerOffset = 0x100000000ull;
// Taken by an unshared open on a read-only descriptor, tested by shared opens.
inline constexpr uint64_t kExclusiveReadMarkerOffset = 0x100000001ull;
// Read-locked by every handle that is waiting for a lock of the file (lockWaiting). A waiting
// handle's next lockWaiting first gives way for a moment when another handle is waiting, so
// that a writer that locks again and again (an import) does not starve the others.
inline constexpr uint64_t kLockWaiterMarkerOffset = 0x100000002ull;

// What the system says about a file's contents having changed: its size and the times of its
// last change. Two stamps compare equal when none of them differs.
struct FileChangeStamp {
    uint64_t size = 0;
    int64_t modifiedNs = -1;
    int64_t changedNs = -1;
    // False when a write made in the same clock tick as the stamp could leave every field as
    // it is: the stamp then does not show that nothing changed since.
    bool settled = false;
    bool operator==(const FileChangeStamp& other) const {
        return size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
};

// Waiting for a lock: attempts and the pause between them.
struct LockWait {
    int attempts = 100;  // 5000 ms / 50 ms
    int pauseMs = 50;
};

class RollbackJournal;

class GSO_DiskFile {
  public:
    // Opens an existing file (never creates one). The name is made absolute against the current
    // directory and its last component is matched without regard to case. Raises the error of
    // the system's error number with sub-code 1107 on failure (2 for a missing file, 32 for a
    // sharing conflict).
    GSO_DiskFile(std::string_view fileName, bool shared, bool readWrite);
    virtual ~GSO_DiskFile();

    GSO_DiskFile(const GSO_DiskFile&) = delete;
    GSO_DiskFile& operator=(const GSO_DiskFile&) = delete;

    // Creates the new, empty file `fileName`; does not open it. A file of that name (in any
    // letter case) that exists already is left as it is and raises 183 "File already exists"
    // (sub-code 1108, like every other failure).
    static void create(std::string_view fileName);

    // Reads up to `count` bytes at `offset`; returns the count read. Fewer bytes than asked set
    // lastError() to 221 without raising; a system failure raises (sub-code 1101).
    size_t read(uint64_t offset, void* buffer, size_t count);
    // The same, with a system call even when reads are mapped (see enableReadMapping): for
    // scattered reads of a few bytes each, which would otherwise map a run of pages around
    // every one of them into the resident set.
    size_t readPastMapping(uint64_t offset, void* buffer, size_t count);
    // Writes `count` bytes at `offset`; raises on failure (sub-code 1102).
    void write(uint64_t offset, const void* buffer, size_t count);
    // Writes two pieces back to back in one system call.
    void write2(uint64_t offset, const void* first, size_t firstCount, const void* second,
                size_t secondCount);
    uint64_t size();  // sub-code 1105
    // One look at the file's change stamp (a system call, no read). Every write of any process
    // to the file, and every change of its length, gives a stamp that differs from one taken
    // before it, provided the earlier stamp was settled. A failing call gives an unsettled
    // stamp.
    FileChangeStamp changeStamp() const;
    // True when the path still names the file this object has open (same device and inode):
    // another program that writes a new file and renames it into place, or deletes the file,
    // leaves this object with a file nobody else sees, whose locks keep nobody out.
    bool pathNamesThisFile() const;
    // Raises 1012 "File was replaced by another program" (sub-code 1102) when it does not.
    void requireSameFile() const;
    void flush();  // fsync; nothing on a closed file (sub-code 1111)
    // Cuts the file at `offset`. Needs read-write access and exclusive access, else error 5.
    void truncate(uint64_t offset);  // sub-code 1109
    // Releases a held lock, removes the file from the registry and closes it.
    void close();

    // Byte-range locking. Never raises; false with lastError() set on refusal.
    bool lock(uint64_t offset, uint64_t length);
    bool lock(LockRegion region) { return lock(region.offset, region.length); }
    bool unlock();
    // Lock (0, 0x7FFFFFFF) on a shared file; true at once on an unshared one.
    bool lockAll();
    // True for an unshared file, or one that holds exactly the lock-all region.
    bool hasExclusiveAccess() const;
    // True when another handle (of this or another process) holds a lock inside `region` of a
    // shared file. Only asks; takes nothing and never waits.
    bool lockedElsewhere(LockRegion region) const;
    // Tries lock(region) up to wait.attempts times, waiting up to wait.pauseMs between
    // attempts; while it waits, the request stands in the system's queue for the region and is
    // granted the moment the holder lets go, and the handle shows itself as a waiter. When
    // another handle is waiting already, the first attempt comes after a short pause that lets
    // that one have its turn. An unshared file counts as locked at once.
    bool lockWaiting(LockRegion region, LockWait wait);
    bool lockWaiting(LockRegion region) { return lockWaiting(region, defaultLockWait()); }

    // Raises the engine error `code` with `subCode` and this file's path as text.
    [[noreturn]] void fail(int code, int subCode) const;

    const std::string& path() const { return m_path; }
    bool isOpen() const { return m_fd >= 0; }
    bool isShared() const { return m_shared; }
    bool isReadWrite() const { return m_readWrite; }
    int lastError() const { return m_lastError; }
    int lockCount() const { return m_lockCount; }
    LockRegion lockedRegion() const { return {m_lockOffset, m_lockLength}; }
    bool writtenSinceFlush() const { return m_written; }
    // Writes (and truncations) made through this object since it was opened.
    uint64_t writeCount() const { return m_writes; }
    // Sets the file's modification time to now (the server's now on a network file system):
    // the mark by which a copy of the program tells that the table beside an index file was not
    // written after the index. Writes held for the push set it again when they go out. Raises
    // on a failure.
    void markModifiedNow();
    int descriptor() const { return m_fd; }
    // True when the file lies on a network file system (see above).
    bool onNetworkShare() const { return m_network; }
    // Pushes what this object wrote since the last push to the server of a network file system
    // (nothing on a local disk: other processes there see every write at once). Raises
    // (sub-code 1111) when the server does not take it: the writes may be lost.
    void pushWrites();
    // Declares that the lock now held keeps every other writer of the file's length out, until
    // the last level is let go: meanwhile size() needs no look at the server. With
    // `everyWriterOut` the lock keeps out every other writer of any byte, and changeStamp()
    // needs none either.
    void keepSizeUntilUnlock(bool everyWriterOut = false);
    // On a network file system: makes the client fetch what the server holds of the file from
    // here on, the contents it keeps of a small file included (a read-only object asks through
    // a descriptor for writing of its own, when its user may write the file), and forgets
    // the pages read. For a reader that found the file disagreeing with another one before it
    // reports so. Nothing on a local disk.
    void forgetClientCaches();
    // What this object asked of a network file system's server since it was opened (for
    // measurements): looks at the server, pushes of writes, and the looks that made the client
    // forget the pages it kept of the file.
    uint64_t serverLooks() const { return m_serverLooks; }
    uint64_t writePushes() const { return m_pushes; }
    uint64_t cacheDrops() const { return m_cacheDrops; }
    // Reads made through this object since it was opened (for measurements).
    uint64_t readCount() const { return m_reads; }
    // System calls that wrote to the file, and those that read it, since it was opened (for
    // measurements and tests).
    uint64_t systemWrites() const { return m_systemWrites; }
    uint64_t systemReads() const { return m_systemReads; }
    // Bytes of writes held in memory (see above), not sent to the file yet.
    size_t heldWriteBytes() const;

    // Journalled writes (see rollback_journal.h): while the journal set here has a transaction
    // open, every write that reaches the system is recorded in it, and the journal synced,
    // before it is made. Writes held in memory are recorded when they are sent.
    void setJournal(RollbackJournal* journal) { m_journal = journal; }
    RollbackJournal* journal() const { return m_journal; }
    // On a local disk too, holds this object's writes in memory (as a network file system's
    // lock does, see above) until they are sent, at the latest when the lock now held is let
    // go: a transaction then records all of them in its journal with one sync. Nothing when
    // no lock is held or writes are held already.
    void holdWritesUnderLock();
    // Records the held writes in the journal (not synced), then, after the caller synced it,
    // sendJournaledWrites() sends them without recording them again. Raises (sub-code 1102).
    void recordHeldWrites();
    void sendJournaledWrites();
    // The length of the file on the disk (or the server), past held writes; reads past held
    // writes and mappings. Both raise on a failure of the system.
    uint64_t systemSize() const;
    size_t readFromFile(uint64_t offset, void* buffer, size_t count);

    // Serves reads from a shared read-only memory mapping of the file instead of one system
    // call per read. The mapping follows the file's size: a read past its end looks at the
    // size again and maps the new length. What a reader sees is the same as through read():
    // writes of this and other processes land in the same page cache. Meant for table files,
    // which only grow while they are open. A file that another program cuts shorter while it
    // is mapped does not bring the process down: a read of the part cut off is answered by the
    // system call (a short read) and the mapping follows the new size.
    void enableReadMapping();
    // Maps the file for compareMapped alone; reads keep their system calls. Nothing on a
    // network file system, whose client pages may be out of date.
    void enableCompareMapping();
    // Whether the file holds `count` bytes equal to `bytes` at `offset` now, as the mapping
    // shows them (the same pages other processes write to): 1 equal, 0 different, -1 when the
    // mapping cannot tell (none, or the range lies past the file's end).
    int compareMapped(uint64_t offset, const void* bytes, size_t count);
    // Maps the file's current size (shrinks the mapping when the file got shorter).
    void refreshMapping();
    // Asks the processor to bring (offset, count) of a mapped file into its caches, so that a
    // read that follows soon does not wait for memory. Does nothing without a mapping.
    void prefetch(uint64_t offset, size_t count) const;
    // Asks the system to start reading (offset, count) from the disk into the page cache and
    // returns at once. Many ranges asked for in a row are read side by side, so reads of
    // scattered records that follow wait about as long as one would. Only a hint: nothing
    // changes when the system ignores it.
    void willNeed(uint64_t offset, size_t count) const;
    // Takes the mapped pages that hold any of (offset, count) out of this process's resident
    // set; the page cache keeps them, and the next read maps them in again. Without a range
    // (count 0) every page of the mapping goes. Does nothing without a mapping.
    void releaseMappedPages(uint64_t offset = 0, uint64_t count = 0);

    // Default pause for lockWaiting; tests shorten it.
    static LockWait& defaultLockWait();

    // Releases and closes every file still open (the end of the process does this too).
    static void closeAllOpenFiles();
    // Number of files in the process-wide registry.
    static size_t openFileCount();

  private:
    void takeShareMarker(const std::string& path);
    bool systemLock(uint64_t offset, uint64_t length);
    bool systemUnlock(uint64_t offset, uint64_t length);

    std::string m_path;
    int m_fd = -1;
    bool m_shared;
    bool m_readWrite;
    int m_lastError = 0;
    int m_lockCount = 0;
    uint64_t m_lockOffset = 0;
    uint64_t m_lockLength = 0;
    bool m_written = false;
    uint64_t m_writes = 0;
    uint64_t m_reads = 0;
    bool m_mappingEnabled = false;
    bool m_compareMapping = false;
    uint8_t* m_map = nullptr;
    uint64_t m_mapLength = 0;    // bytes of the file the mapping covers
    uint64_t m_mapCapacity = 0;  // bytes reserved for the mapping (page multiple)

    void unmap();
    // The network file system's look at the server when a lock is taken (see above).
    void lookAtServer();
    // One round trip to the server that leaves the client's attributes fresh.
    void refreshClientCaches();
    // The file's size and times as the server has them (a network file system) or as the
    // system has them (a local disk).
    bool freshStat(FileChangeStamp& stamp) const;
    // True when every write to come lands in a later tick of the clock than `stamp`'s times.
    static bool settledNow(const FileChangeStamp& stamp);
    // A push of the writes that does not raise; false with lastError() set when it failed.
    bool pushQuietly();
    void noteWritten(uint64_t end);

    // Pages held while a lock keeps the other writers out on a network file system (see above).
    static constexpr uint64_t kHeldPage = 4096;
    struct HeldPage {
        std::vector<uint8_t> bytes;  // kHeldPage bytes: the file's, with this object's writes
        uint32_t dirtyBegin = 0;     // written and not yet sent: [dirtyBegin, dirtyEnd)
        uint32_t dirtyEnd = 0;
        bool dirty() const { return dirtyBegin < dirtyEnd; }
    };
    // The page `page` as the file holds it (zeros past the server's end), added to the held ones.
    HeldPage& holdPage(uint64_t page);
    void holdWrite(uint64_t offset, const uint8_t* first, size_t firstCount, const uint8_t* second,
                   size_t secondCount);
    size_t readHeld(uint64_t offset, uint8_t* buffer, size_t count);
    size_t readSystem(uint64_t offset, uint8_t* buffer, size_t count);
    void writeSystem(uint64_t offset, const iovec* pieces, int pieceCount);
    // Sends the held writes to the file; false with lastError() set when the system refused.
    bool sendHeldWrites();
    // Sends the held writes and forgets the held pages; raises with `subCode` on failure.
    void stopHolding(int subCode);
    // Does so when too many pages are held.
    void makeRoomForHeldPages(int subCode);
    std::map<uint64_t, HeldPage> m_held;  // by page number
    bool m_holdWrites = false;
    bool m_holdReads = false;
    uint64_t m_serverSize = 0;  // the file's length at the server when holding began
    uint64_t m_systemWrites = 0;
    uint64_t m_systemReads = 0;

    RollbackJournal* m_journal = nullptr;
    bool m_journalCovered = false;  // the writes being sent are in the journal already

    bool m_network = false;
    bool m_unpushed = false;   // written since the last push to the server
    bool m_sizeKnown = false;  // see keepSizeUntilUnlock
    bool m_stampKept = false;
    uint64_t m_knownSize = 0;
    FileChangeStamp m_keptStamp;     // the server's stamp when the size began to be kept
    uint64_t m_writesWhileKept = 0;  // this object's writes since
    FileChangeStamp m_seenStamp;     // the server's stamp when this object last looked
    uint64_t m_serverLooks = 0;
    uint64_t m_pushes = 0;
    uint64_t m_cacheDrops = 0;
    bool readMapped(uint64_t offset, void* buffer, size_t count);
};

}  // namespace abonex
