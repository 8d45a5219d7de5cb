#include "engine/file/path_util.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace abonex {

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

bool isAbsolutePath(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

std::string expandPath(std::string_view name) {
    if (isAbsolutePath(name) || name.empty()) return std::string(name);
    std::vector<char> buffer(4096);
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return std::string(name);
    std::string result(buffer.data());
    if (result.empty() || result.back() != '/') result += '/';
    if (name.starts_with("./")) name.remove_prefix(2);
    result.append(name);
    return result;
}

namespace {

bool existsExactly(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string resolveCaseInsensitive(std::string_view path) {
    std::string exact(path);
    if (exact.empty() || existsExactly(exact)) return exact;
    std::string_view folder = directoryPart(path);
    std::string_view name = fileNamePart(path);
    if (name.empty()) return exact;
    std::string folderText = folder.empty() ? std::string(".") : std::string(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folderText.c_str()), &::closedir);
    if (!dir) return exact;
    std::string wanted = upperAscii(name);
    while (dirent* entry = ::readdir(dir.get())) {
        if (upperAscii(entry->d_name) == wanted) {
            return std::string(folder) + entry->d_name;
        }
    }
    return exact;
}

bool fileExistsAnyCase(std::string_view path) {
    return existsExactly(resolveCaseInsensitive(path));
}

std::string programFolder() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return std::string(directoryPart(std::string_view(buffer.data(), static_cast<size_t>(length))));
}

std::string_view directoryPart(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string_view fileNamePart(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view extensionPart(std::string_view path) {
    std::string_view name = fileNamePart(path);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot);
}

std::string_view baseNamePart(std::string_view path) {
    std::string_view name = fileNamePart(path);
    return name.substr(0, name.size() - extensionPart(path).size());
}

std::string replaceExtension(std::string_view path, std::string_view extension) {
    std::string_view ext = extensionPart(path);
    std::string result(path.substr(0, path.size() - ext.size()));
    result.append(extension);
    return result;
}

bool samePathText(std::string_view a, std::string_view b) {
    return upperAscii(a) == upperAscii(b);
}

}  // namespace abonex
