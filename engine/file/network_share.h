// What the engine must know of the file system a file lies on when copies of the program on
// several machines share it: whether it is a network file system, and whether its byte-range
// locks reach the server.
//
// A network file system's client keeps what it read (pages, file sizes and times) in caches of
// its own machine and may hold writes back for a while; another machine's writes show only when
// the client looks at the server again. The disk file therefore treats a file there otherwise
// (see GSO_DiskFile): it reads with system calls instead of a mapping, looks at the server afresh
// when it takes a lock, and pushes what it wrote to the server before it lets a lock go.
//
// Some mounts keep their locks on the client (NFS "nolock" or "local_lock=...", CIFS "nobrl"):
// two machines would then both hold the same lock, so writing there is refused at the open.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace abonex {

struct FileSystemKind {
    // The folder lies on a network file system (or one reached through FUSE, whose server the
    // engine cannot see).
    bool network = false;
    // The name of the mount option that keeps byte-range locks on this machine, or empty.
    std::string localLockOption;
};

// What the file open as `fd` lies on (statfs and the mount table of this process).
FileSystemKind fileSystemKindOf(int fd);

// The option among a mount's options (comma-separated, as the mount table lists them) and its
// file system's own options that keeps byte-range locks on this machine ("nolock",
// "local_lock=all", "local_lock=posix", "nobrl"), or empty.
std::string localLockOption(std::string_view mountOptions, std::string_view superOptions);

// Tests make every file opened from now on count as lying on `kind` (a local folder as a
// network one, say); nullopt gives the system's answer back.
void setFileSystemKindOverride(std::optional<FileSystemKind> kind);

// The message of a read-write open refused on a mount whose locks stay local.
std::string localLocksMessage(const std::string& path, const std::string& option);

}  // namespace abonex
