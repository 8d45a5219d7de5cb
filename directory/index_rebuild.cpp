#include "directory/index_rebuild.h"

#include <fcntl.h>
#include <spawn.h>

#include <array>
#include <cerrno>
#include <exception>

#include "engine/dataset/engine_dataset.h"

extern char** environ;

namespace abonex {

namespace {

constexpr std::array<std::string_view, 3> kRequestNames{"persons", "organisations", "favourites"};

}  // namespace

std::string_view rebuildRequestName(DirectoryMode mode) {
    return kRequestNames[static_cast<size_t>(mode)];
}

std::optional<DirectoryMode> modeFromRebuildRequestName(std::string_view name) {
    for (size_t i = 0; i < kRequestNames.size(); ++i) {
        if (kRequestNames[i] == name) return static_cast<DirectoryMode>(i);
    }
    return std::nullopt;
}

void rebuildDirectoryIndex(std::string_view folder, DirectoryMode mode,
                           const std::function<bool()>& keepGoing) {
    const DirectoryTable& table = directoryTable(mode);
    TEngineDataSet dataSet;
    dataSet.setDatabaseName(folder);
    dataSet.setExclusive(false);
    dataSet.setAutoFlush(kCommitPoints);
    dataSet.setLockProtocol(table.protocol);
    dataSet.setTableName(table.tableFile);
    dataSet.setIndexName(table.tagName);
    dataSet.setIndexFiles({std::string(table.indexFile)});
    if (keepGoing) {
        dataSet.OnStatus = [&keepGoing](int, int, int) {
            if (!keepGoing()) abortOperation();
        };
    }
    dataSet.Open();
    dataSet.ReindexAll();
    dataSet.Close();
}

int runRebuildRequest(const std::vector<std::string>& arguments, std::string& errors) {
    if (arguments.size() < 2) return 2;
    std::vector<DirectoryMode> modes;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::optional<DirectoryMode> mode = modeFromRebuildRequestName(arguments[i]);
        if (!mode) return 2;
        modes.push_back(*mode);
    }
    std::string folder = arguments[0];
    if (folder.empty()) return 2;
    if (folder.back() != '/') folder += '/';
    int status = 0;
    for (const DirectoryMode mode : modes) {
        try {
            rebuildDirectoryIndex(folder, mode);
        } catch (const std::exception& error) {
            errors += std::string(directoryTable(mode).tableFile) + ": " + error.what() + "\n";
            status = 1;
        }
    }
    return status;
}

pid_t startDetachedRebuild(const std::string& program, std::string_view folder,
                           const std::vector<DirectoryMode>& modes) {
    // Everything the child needs is made before it exists: between fork and exec a process
    // with threads may do next to nothing.
    std::vector<std::string> words{program, std::string(kRebuildIndexesArgument),
                                   std::string(folder)};
    for (const DirectoryMode mode : modes) words.emplace_back(rebuildRequestName(mode));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&files) != 0) return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&files);
        return -1;
    }
    for (const int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    // The window's connections and files stay with the window.
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    // A session of its own: the terminal's hang-up or the desktop ending the window's process
    // group does not end the rebuild with it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        errno = failed;
        return -1;
    }
    return pid;
}

}  // namespace abonex
