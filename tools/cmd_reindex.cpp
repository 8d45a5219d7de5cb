// abonex-db reindex TABLE [MDXFILE...]: rebuilds every tag of the index files of a table (by
// default its production index file: same folder and base name, ".MDX"). A table that ends
// inside a record is rebuilt from its whole records, and the record left out is named.
//
// A directory table whose production index file is missing gets a new one with the tag the
// program uses (its name tag), said on standard output: a user who lost the index gets it back
// with this command. Any other table without one is told to make its tags with "index create".
// So does a directory table whose production index file cannot be read as one (its header or
// its tag table damaged): the new file is made beside it and put in its place under the lock
// every writer takes of the old one, so no file of this program is ever beyond this command.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "directory/directory_tables.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file.h"
#include "engine/file/engine_error.h"
#include "engine/file/lock_protocol.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/table_access.h"
#include "tools/tool_command.h"
#include "tools/tool_options.h"

namespace abonex::tool {

namespace {

constexpr std::string_view kUsage = "reindex TABLE [MDXFILE...]";
constexpr std::string_view kExitStatus =
    "0 done, 1 error or a table that ends inside a record (rebuilt without it), 2 usage error";

// Makes the directory's name tag in a new index file at `path` and reports what it made.
void writeNameTag(GSO_dBaseFld& table, const DirectoryTable& directory, const std::string& path) {
    std::unique_ptr<GSobjMDXFile> file = GSobjMDXFile::create(table, path);
    try {
        file->TagCreate(directory.tagName, nameTagExpression(directory), {}, false, true);
        file->close();
    } catch (...) {
        // No half-made index is left behind for the program to take as the table's.
        file.reset();
        ::unlink(path.c_str());
        throw;
    }
}

// The missing production index file `path` of `table`, made anew for a directory table.
int createProductionIndex(GSO_dBaseFld& table, const std::string& path) {
    const DirectoryTable* directory = locateTable(table.path()).directory;
    if (directory == nullptr) {
        printError("abonex-db: " + table.path() + " has no index file " + path +
                   "; abonex-db index create makes its tags");
        return kExitFailed;
    }
    writeNameTag(table, *directory, path);
    printLine("created " + path + " (it was missing): tag " + std::string(directory->tagName) +
              " on " + std::string(nameTagExpression(*directory)) + ", " +
              std::to_string(table.recordCount()) + " records");
    return kExitOk;
}

// The production index file `path` of a directory table, which cannot be read (`why`), made
// anew: written beside it, made durable and renamed over it while this command holds the old
// file's index lock, so that no writer of this program is half-way through a key meanwhile.
// A copy that had the old file open finds it replaced at its next lock and opens the new one.
int remakeUnreadableIndex(GSO_dBaseFld& table, const DirectoryTable& directory,
                          const std::string& path, const std::string& why) {
    GSO_DiskFile old(path, true, true);
    if (!old.lockWaiting(indexFileLockRegion(directory.protocol))) {
        raiseIndexLockError(old.lastError(), old.path());
    }
    const std::string fresh = path + ".new";
    // Left by a run of this command killed half-way: nobody else makes or reads such a file.
    ::unlink(fresh.c_str());
    writeNameTag(table, directory, fresh);
    const int kept = ::open(fresh.c_str(), O_RDONLY | O_CLOEXEC);
    const bool durable = kept >= 0 && ::fsync(kept) == 0;
    if (kept >= 0) ::close(kept);
    if (!durable || ::rename(fresh.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        throw std::runtime_error("cannot put a new index file in the place of " + path + ": " +
                                 std::strerror(error));
    }
    const std::string folder(directoryPart(path).empty() ? "." : directoryPart(path));
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    old.unlock();
    printLine("made " + path + " anew (its tags could not be read: " + why + "): tag " +
              std::string(directory.tagName) + " on " + std::string(nameTagExpression(directory)) +
              ", " + std::to_string(table.recordCount()) +
              " records; any other tag it held must be made again with abonex-db index create");
    return kExitOk;
}

int runReindex(const Args& args) {
    ToolOptions options(kUsage, {}, kExitStatus);
    if (auto exit = options.parse(args)) return *exit;
    const std::vector<std::string>& words = options.words();
    if (words.empty()) return options.usageError();
    auto table = openTableFile(words[0], true);
    std::vector<std::string> files(words.begin() + 1, words.end());
    const bool production = files.empty();
    if (production) {
        const std::string path = productionIndexPath(*table);
        if (!fileExistsAnyCase(path)) return createProductionIndex(*table, path);
        files.push_back(path);
    }
    GSobjMDXFile::RebuiltTable unfinished;
    for (const auto& name : files) {
        std::unique_ptr<GSobjMDXFile> opened;
        try {
            opened = std::make_unique<GSobjMDXFile>(*table, name);
        } catch (const EEngineError& error) {
            const DirectoryTable* directory = locateTable(table->path()).directory;
            // Only a file that reads wrong: one that cannot be opened or locked is left alone.
            const bool unreadable = dynamic_cast<const EIndexDamaged*>(&error) != nullptr ||
                                    error.code() == err::kHeaderInvalid ||
                                    error.code() == err::kShortRead ||
                                    error.code() == err::kBeyondEof;
            if (!production || directory == nullptr || !unreadable) throw;
            return remakeUnreadableIndex(*table, *directory, name, error.what());
        }
        GSobjMDXFile& file = *opened;
        file.Reindex();
        // The figures the rebuild took under its locks: a writer that appends after it is done
        // is no concern of this command.
        const GSobjMDXFile::RebuiltTable rebuilt = file.lastRebuild();
        if (rebuilt.partialBytes > 0) unfinished = rebuilt;
        printLine("reindexed " + file.path() + ": " + std::to_string(file.tags().size()) +
                  " tags, " + std::to_string(rebuilt.records) + " records");
        file.close();
    }
    if (const GSobjMDXFile::RebuiltTable& rebuilt = unfinished; rebuilt.partialBytes > 0) {
        printError("abonex-db: " + table->path() + " ends inside record " +
                   std::to_string(rebuilt.records + 1) + " (" +
                   std::to_string(rebuilt.partialBytes) + " of " +
                   std::to_string(table->recordLength()) + " bytes); that record is not indexed");
        return kExitFailed;
    }
    return kExitOk;
}

const CommandRegistrar kReindex({"reindex", std::string(kUsage), runReindex,
                                 std::string(kExitStatus)});

}  // namespace

}  // namespace abonex::tool
