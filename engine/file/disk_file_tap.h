// DiskFileTap: a seam under every disk file of the process, for tests.
//
// With a tap installed, each GSO_DiskFile reports to it what reached the system, in the order the
// system calls returned: every write (the bytes and where they went), flush, truncation and
// creation; and it hands the tap every read before the caller sees the bytes, and tells it of
// every look at the server of a file on a network share. Tests record the writes and flushes to
// produce a file as a power cut would leave it, change a read to show a reader the page another
// writer was rewriting at that moment, or show reads what a network client kept of a file until
// its next look. The engine never installs one; without a tap the cost is one test of a pointer
// per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace abonex {

class DiskFileTap {
  public:
    virtual ~DiskFileTap() = default;
    // `count` bytes of `data` were written at `offset` of the file `path` (one system call,
    // however many pieces it took).
    virtual void wrote(const std::string& path, uint64_t offset, const uint8_t* data,
                       size_t count) {
        (void)path, (void)offset, (void)data, (void)count;
    }
    // Everything written to `path` so far has been flushed to the disk.
    virtual void flushed(const std::string& path) { (void)path; }
    // `path` was cut (or extended) to `length` bytes.
    virtual void truncated(const std::string& path, uint64_t length) { (void)path, (void)length; }
    // `path` was created (empty).
    virtual void created(const std::string& path) { (void)path; }
    // `count` bytes were read at `offset` into `buffer`; the tap may change them.
    virtual void read(const std::string& path, uint64_t offset, uint8_t* buffer, size_t count) {
        (void)path, (void)offset, (void)buffer, (void)count;
    }
    // A file on a network share looked at the server at the first level of a lock: from here
    // on its reads show what the server holds, not what the client kept of `path` before.
    virtual void lookedAtServer(const std::string& path) { (void)path; }
};

// Installs `tap` for every disk file (nullptr removes it); the caller keeps ownership.
void setDiskFileTap(DiskFileTap* tap);
DiskFileTap* diskFileTap();

}  // namespace abonex
