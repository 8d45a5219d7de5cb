// RollbackJournal: the old bytes of a table's writes in place, kept until the writes are on the
// disk, so that a write torn by a power cut or left half done by a killed writer can be undone.
//
// The journal is one file beside the table, named after it with "-journal" appended
// ("PHONE.DBF-journal"); for a table reached through a symbolic link it lies beside the file
// the link names. It is empty, or missing, whenever no write is under way. Other dBASE
// programs do not know it and leave it alone.
//
// A writer (a transaction):
//   1. begin(): takes the journal's lock, a lock of its whole range (0, 0x7FFFFFFF), and holds
//      it until the transaction is over; a journal that is not empty when the lock is had is
//      hot (its writer died with it) and is rolled back first;
//   2. before every write in place of a file attached to it (a record rewritten, the header,
//      an index block changed) the bytes the write replaces and the bytes it puts there go to
//      the journal, and the journal reaches the disk (fdatasync) before the write is made;
//      many held writes can be recorded and made durable at once (record, then sync);
//   3. finish(): once every file written is on the disk, the journal is emptied (cut to
//      nothing and synced) and the lock let go. A transaction that failed leaves the journal
//      as it is: the next writer or opener rolls it back.
// Appends are not journalled: bytes past a file's in-place limit (the end of the table's last
// whole record, an index file's end) have no old contents, and a table's header, which counts
// the records, is written in place after them.
//
// Liveness. A journal is hot when it holds entries and nobody holds its lock. Its lock is a
// byte-range lock of the journal file, as every writer's lock is: the system (or the server of
// a network share, for a client that is gone) lets it go when its holder dies, and a copy on
// another machine asks the same server. Every writer holds the table's writers' lock (its
// index files' locks) around its transaction as well; a rollback takes the journal's lock and
// the writers' lock of every file it restores (the region kept with each entry) before it
// writes.
//
// Rollback goes through the entries from the last to the first. An entry's write is taken in
// spans, the runs of bytes it changed; a span is put back to its old bytes only where the file
// holds what the write left there: the new bytes, or the new ones up to some point and the old
// ones after it (a write that reached the disk only in part). A span that holds anything else
// was written by another program since and stays as it is.
//
// Entry layout (little-endian): "JREC", name length (2), name (the file's name when it lies
// in the journal's folder, else its full path), offset (8), length (4), writers' lock region
// offset (8) and length (8), old bytes, new bytes, FNV-1a hash of all that (4). An entry that
// does not check out ends the journal: it was being written when the writer stopped, and the
// write it announces was not made.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "engine/file/lock_protocol.h"

namespace abonex {

class GSO_DiskFile;

class RollbackJournal {
  public:
    // The journal of the table `tablePath` (an existing file); opens nothing yet.
    explicit RollbackJournal(std::string_view tablePath);
    ~RollbackJournal();
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;

    // The journal file's path for the table `tablePath`.
    static std::string journalPathFor(std::string_view tablePath);

    // Rolls the journal of `tablePath` back when it is hot, and empties it. Nothing when it is
    // missing or empty, when a writer holds it, or when its files cannot be written from here
    // (a reader without the right to write: a writer will). Returns true when it rolled back.
    // Raises when the rollback itself fails.
    static bool recoverIfHot(std::string_view tablePath);

    // Files whose writes go to the journal while a transaction is open. `inPlaceLimit` gives,
    // from the file's length on the disk, the end of the bytes a write replaces (nothing:
    // the length itself); `writersLock` is the region a rollback locks before it writes it.
    void attach(GSO_DiskFile& file, LockRegion writersLock,
                std::function<uint64_t(uint64_t)> inPlaceLimit = {});
    void detach(GSO_DiskFile& file);
    // Forgets every file attached (some may be gone; none is touched).
    void detachAll() { m_attached.clear(); }

    // See above. begin() waits for the journal's lock as for an index lock and raises
    // "Error n in Lock of path" when it cannot be had; true when it rolled a hot journal back.
    bool begin();
    bool active() const { return m_active; }
    // Records the write of `count` bytes at `offset` of `file`, which is about to be made:
    // the part below the file's in-place limit goes to the journal (not synced yet).
    void record(GSO_DiskFile& file, uint64_t offset, const uint8_t* bytes, size_t count);
    void record(GSO_DiskFile& file, uint64_t offset, const iovec* pieces, int pieceCount);
    // Makes what was recorded durable.
    void sync();
    // Empties the journal and lets its lock go (after every written file reached the disk).
    void finish();
    // Lets the lock go and leaves the journal as it is (a failed transaction: it is hot now).
    void abandon();
    // Undoes the transaction's writes now (a failed one), empties the journal and lets its lock
    // go. The files are written through descriptors of their own, as another copy would.
    void rollBack();
    // Entries recorded in this transaction (for tests and measurements).
    int entryCount() const { return m_entries; }
    const std::string& path() const { return m_path; }

  private:
    struct Attached {
        std::string name;
        LockRegion writersLock;
        std::function<uint64_t(uint64_t)> inPlaceLimit;
    };
    void open();
    // Rolls back what the journal holds (its lock held) and empties it. A writer (holding the
    // writers' lock of its attached files) waits for the others' locks; an opener takes none
    // of them when a writer holds it, and leaves the journal (false).
    bool rollBackHeld(bool asWriter);

    std::string m_path;
    std::string m_folder;
    std::unique_ptr<GSO_DiskFile> m_file;
    std::map<const GSO_DiskFile*, Attached> m_attached;
    uint64_t m_end = 0;
    bool m_active = false;
    bool m_unsynced = false;
    bool m_rollingBack = false;  // the rollback's own writes are not recorded
    int m_entries = 0;
};

}  // namespace abonex
