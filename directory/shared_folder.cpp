#include "directory/shared_folder.h"

#include <sys/stat.h>

namespace abonex {

bool isSharedFolder(const std::string& folder) {
    struct stat status {};
    if (folder.empty() || ::stat(folder.c_str(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && (status.st_mode & S_IWGRP) && (status.st_mode & S_ISGID);
}

bool shareNewFilesWithGroup(const std::string& folder) {
    if (!isSharedFolder(folder)) return false;
    // umask() can only be read by setting it; the second call puts back all but the group bits.
    const mode_t current = ::umask(0);
    ::umask(current & ~static_cast<mode_t>(S_IRWXG));
    return true;
}

}  // namespace abonex
