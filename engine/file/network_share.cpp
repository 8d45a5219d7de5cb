#include "engine/file/network_share.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace abonex {

namespace {

// statfs's f_type of the file systems whose files other machines may write meanwhile.
constexpr std::array<uint64_t, 14> kNetworkMagics = {
    0x65735546,  // FUSE (GlusterFS, sshfs, ...): the server is out of the kernel's sight
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x73757245,  // Coda
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x00C36400,  // Ceph
    0x01021997,  // 9P
    0x564C,      // NCP
    0x7461636F,  // OCFS2
    0x01161970,  // GFS2
    0x47504653,  // GPFS
};

// What a test decided; files are opened on one thread at a time where tests set it.
std::optional<FileSystemKind>& kindOverride() {
    static std::optional<FileSystemKind> kind;
    return kind;
}

std::vector<std::string> splitOn(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The lock option of the mount that holds device `device`, from /proc/self/mountinfo:
//   id parent major:minor root mount-point options [optional fields...] - type source super
std::string localLockOptionOfDevice(dev_t device) {
    std::ifstream table("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    std::string found;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point, options;
        if (!(fields >> id >> parent >> numbers >> root >> point >> options)) continue;
        if (numbers != wanted) continue;
        std::string word;
        while (fields >> word && word != "-") {
        }
        std::string type, source, superOptions;
        fields >> type >> source >> superOptions;
        // The last mount of the device is the one that is seen (mounts stack).
        found = localLockOption(options, superOptions);
    }
    return found;
}

}  // namespace

std::string localLockOption(std::string_view mountOptions, std::string_view superOptions) {
    for (std::string_view list : {mountOptions, superOptions}) {
        for (const std::string& option : splitOn(list, ',')) {
            // The locks of "local_lock=flock" are flock()s only; byte-range locks still cross.
            if (option == "nolock" || option == "nobrl" || option == "local_lock=all" ||
                option == "local_lock=posix") {
                return option;
            }
        }
    }
    return {};
}

FileSystemKind fileSystemKindOf(int fd) {
    if (kindOverride()) return *kindOverride();
    FileSystemKind kind;
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return kind;
    const auto magic = static_cast<uint64_t>(static_cast<uint32_t>(info.f_type));
    for (uint64_t known : kNetworkMagics) {
        if (magic == known) kind.network = true;
    }
    if (!kind.network) return kind;
    struct stat held {};
    if (::fstat(fd, &held) == 0) kind.localLockOption = localLockOptionOfDevice(held.st_dev);
    return kind;
}

void setFileSystemKindOverride(std::optional<FileSystemKind> kind) {
    kindOverride() = std::move(kind);
}

std::string localLocksMessage(const std::string& path, const std::string& option) {
    return "The folder of " + path + " is mounted with \"" + option +
           "\": its locks stay on this machine and cannot keep the writers of other machines "
           "out; open it for reading only, or mount it without that option to write there";
}

}  // namespace abonex
