// PowerCutRecorder: what a power cut would leave of the files a process is writing.
//
// Installed as the disk files' tap, it keeps for every watched file the image the disk is known
// to hold (its contents when watching began, with every write up to its last flush) and the
// operations since that flush (writes and truncations, in order). At the moment chosen for the
// cut, during a write, it makes the files as the disk would hold them after the power failed:
// the image at the last flush, then of the later operations any subset, the write that was in
// flight at the cut last, torn inside its last sector (only a part of it reached the disk).
// From then on the recorder is frozen: what the process writes after the cut never happened.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/file/disk_file_tap.h"

namespace abonex::test {

inline constexpr uint64_t kSectorSize = 512;

class PowerCutRecorder : public DiskFileTap {
  public:
    using Bytes = std::vector<uint8_t>;

    // One operation on a file since its last flush.
    struct Operation {
        bool truncation = false;
        uint64_t offset = 0;  // a write's offset, or the length a truncation cut the file to
        Bytes bytes;          // a write's bytes
        bool landed = false;  // set by the cut: the operation reached the disk
        size_t landedBytes = 0;
    };

    // The write that was in flight when the power went.
    struct InFlight {
        std::string path;
        size_t index = 0;  // in pending(path)
        bool any = false;
    };

    explicit PowerCutRecorder(unsigned seed);
    ~PowerCutRecorder() override;

    // Watches `paths` from now on (and installs the recorder as the tap); what they hold now is
    // what the disk holds. Forgets an earlier cut.
    void watch(const std::vector<std::string>& paths);
    // Removes the recorder as the tap.
    void stop();
    // The power goes during the write that makes `writes` writes to watched files from now on.
    void cutAfterWrites(int writes);
    bool cutHappened() const { return m_cut; }
    // Cuts now, as if during the last write made (or, when none was made since the last flush,
    // when nothing was in flight).
    void cutNow();

    // After the cut: the file as the disk holds it, the image at its last flush, and the
    // operations since (with what of each landed).
    const Bytes& afterCut(const std::string& path) const { return m_afterCut.at(path); }
    const Bytes& flushed(const std::string& path) const { return m_flushed.at(path); }
    const std::vector<Operation>& pending(const std::string& path) const {
        return m_pending.at(path);
    }
    const InFlight& inFlight() const { return m_inFlight; }
    // Writes to watched files since watching began.
    int writeCount() const { return m_writes; }
    // Operations on `path` since its last flush, so far.
    size_t pendingCount(const std::string& path) const { return m_pending.at(path).size(); }

    void wrote(const std::string& path, uint64_t offset, const uint8_t* data,
               size_t count) override;
    void flushed(const std::string& path) override;
    void truncated(const std::string& path, uint64_t length) override;
    void created(const std::string& path) override;

  private:
    bool watched(const std::string& path) const;
    void cut(bool duringWrite);

    std::mt19937 m_random;
    std::map<std::string, Bytes> m_flushed;
    std::map<std::string, std::vector<Operation>> m_pending;
    std::map<std::string, Bytes> m_afterCut;
    InFlight m_inFlight;
    std::string m_lastWritten;
    int m_writesLeft = -1;
    int m_writes = 0;
    bool m_cut = false;
    bool m_installed = false;
};

}  // namespace abonex::test
