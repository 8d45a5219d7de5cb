#include "tests/support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "engine/file/byte_order.h"

namespace abonex::test {

int envInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/abonex-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(std::string_view name) const {
    return m_path + "/" + std::string(name);
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeFileBytesKeepingTime(const std::string& path, const std::vector<uint8_t>& bytes) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) throw std::runtime_error("cannot stat " + path);
    writeFileBytes(path, bytes);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot set the times of " + path);
    }
}

void ageModifiedTime(const std::string& path, int seconds) {
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0) throw std::runtime_error("cannot stat " + path);
    timespec modified = now.st_mtim;
    modified.tv_sec -= seconds;
    const timespec times[2] = {now.st_atim, modified};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot set the times of " + path);
    }
}

void copyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(
        to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::add);
}

uint64_t fileSize(const std::string& path) {
    return std::filesystem::file_size(path);
}

namespace {

// The first byte of `count` bytes at `offset` of `bytes`, after checking that they all lie in it.
template <typename Bytes>
auto* bytesAt(Bytes& bytes, size_t offset, size_t count) {
    (void)bytes.at(offset + count - 1);
    return bytes.data() + offset;
}

}  // namespace

uint16_t le16(const std::vector<uint8_t>& bytes, size_t offset) {
    return getLE16(bytesAt(bytes, offset, 2));
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset) {
    return getLE32(bytesAt(bytes, offset, 4));
}

void putLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    putLE16(bytesAt(bytes, offset, 2), value);
}

void putLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    putLE32(bytesAt(bytes, offset, 4), value);
}

int forkChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
            status = 99;
        }
        ::_exit(status);
    }
    return pid;
}

int waitChild(int pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProcessSignal::ProcessSignal() {
    if (::pipe(m_fds) != 0) throw std::runtime_error("pipe failed");
}

ProcessSignal::~ProcessSignal() {
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void ProcessSignal::notify() {
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(m_fds[1], &byte, 1);
}

bool ProcessSignal::wait(int timeoutMs) {
    pollfd request{m_fds[0], POLLIN, 0};
    if (::poll(&request, 1, timeoutMs) <= 0) return false;
    char byte;
    return ::read(m_fds[0], &byte, 1) == 1;
}

bool regionLocked(const std::string& path, uint64_t offset, uint64_t length) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = static_cast<off_t>(offset);
    probe.l_len = static_cast<off_t>(length);
    int rc = ::fcntl(fd, F_OFD_GETLK, &probe);
    ::close(fd);
    if (rc != 0) throw std::runtime_error("F_OFD_GETLK failed");
    return probe.l_type != F_UNLCK;
}

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

CommandResult runCommand(const std::string& commandLine) {
    TempDir scratch;
    std::string outPath = scratch.file("out");
    std::string errPath = scratch.file("err");
    std::string full = commandLine + " >" + shellQuote(outPath) + " 2>" + shellQuote(errPath);
    int raw = std::system(full.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

std::string shellQuote(std::string_view word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string sourceDir() {
    const char* dir = std::getenv("ABONEX_SOURCE_DIR");
    return dir != nullptr ? dir : ABONEX_SOURCE_DIR_DEFAULT;
}

std::string toolPath() {
    const char* tool = std::getenv("ABONEX_TOOL");
    return tool != nullptr ? tool : ABONEX_TOOL_DEFAULT;
}

std::string peerFixtureDir() {
    std::string local = sourceDir() + "/../shared/fixtures/peer";
    if (std::filesystem::exists(local)) return local;
    return "/work/shared/fixtures/peer";
}

}  // namespace abonex::test
