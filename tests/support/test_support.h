// Small helpers shared by the engine's tests: temporary folders, file bytes, child processes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/file/disk_file.h"

namespace abonex::test {

// A fresh folder under $TMPDIR (or /tmp), removed with its contents when the object dies.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(std::string_view name) const;

  private:
    std::string m_path;
};

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Writes `bytes` over the file and gives it back the modification time it had: a table made so
// from the start, not one that another program changed after its index was written.
void writeFileBytesKeepingTime(const std::string& path, const std::vector<uint8_t>& bytes);
// Sets the file's modification time `seconds` back: written a while ago, as a file that another
// program changes later was (the clock's steps are coarser than one test's writes).
void ageModifiedTime(const std::string& path, int seconds);
void copyFile(const std::string& from, const std::string& to);
uint64_t fileSize(const std::string& path);

// Little-endian readers and writers for byte checks and for damaging files on purpose; an offset
// outside `bytes` throws std::out_of_range.
uint16_t le16(const std::vector<uint8_t>& bytes, size_t offset);
uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset);
void putLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void putLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

// Runs `body` in a forked child; the child exits with the value `body` returns (or 99 when it
// throws). Returns the child's pid.
int forkChild(const std::function<int()>& body);
// Waits for a child and returns its exit status (-1 when it did not exit normally).
int waitChild(int pid);

// A one-way signal between processes (a pipe): one side waits, the other signals.
class ProcessSignal {
  public:
    ProcessSignal();
    ~ProcessSignal();
    void notify();
    // Waits until notified; false after `timeoutMs` without a signal.
    bool wait(int timeoutMs = 10000);

  private:
    int m_fds[2];
};

// Runs a command line through /bin/sh, returning its exit status and capturing stdout/stderr.
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(const std::string& commandLine);
// Quotes a word for the shell.
std::string shellQuote(std::string_view word);

// True when some open file description holds a lock on any byte of (offset, length) of the
// file at `path` (asked through a fresh descriptor of this process with F_OFD_GETLK).
bool regionLocked(const std::string& path, uint64_t offset, uint64_t length);

// The environment variable `name` as a number, or `fallback` when it is unset or empty (longer
// runs of the bounded tests).
int envInt(const char* name, int fallback);

// Sets the clock of the header dates and change stamps to `when` while it lives.
class FixedClock {
  public:
    explicit FixedClock(LocalTimestamp when) {
        setLocalClockForTesting([when] { return when; });
    }
    ~FixedClock() { setLocalClockForTesting({}); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

// Sets the engine's wait for locks while it lives.
class ScopedLockWait {
  public:
    explicit ScopedLockWait(LockWait wait) : m_saved(GSO_DiskFile::defaultLockWait()) {
        GSO_DiskFile::defaultLockWait() = wait;
    }
    ~ScopedLockWait() { GSO_DiskFile::defaultLockWait() = m_saved; }
    ScopedLockWait(const ScopedLockWait&) = delete;
    ScopedLockWait& operator=(const ScopedLockWait&) = delete;

  private:
    LockWait m_saved;
};

// Shortens the wait for locks (3 attempts 10 ms apart) while it lives.
class ShortLockWait : public ScopedLockWait {
  public:
    ShortLockWait() : ScopedLockWait({3, 10}) {}
};

// The repository root (ABONEX_SOURCE_DIR) and the abonex-db tool (ABONEX_TOOL).
std::string sourceDir();
std::string toolPath();
// The folder of the peer-written fixture tables.
std::string peerFixtureDir();

}  // namespace abonex::test
