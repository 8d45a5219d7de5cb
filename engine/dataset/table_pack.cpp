// Packing a table (see table_pack.h).
#include "engine/dataset/table_pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/dataset/db_handler.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_file.h"

namespace abonex {

ETableInUse::ETableInUse(const std::string& path)
    : std::runtime_error(path +
                         " is open in another copy of the program (on this computer or another); "
                         "it can be packed only when no other copy has it open"),
      m_path(path) {}

std::string packedFilePath(const std::string& target) {
    return target + ".pack-new";
}

std::string packBackupPath(const std::string& target) {
    return target + ".pack-old";
}

namespace {

// Writes before this size is reached are gathered: the new file goes out in large writes.
constexpr size_t kWriteChunk = 1u << 20;
constexpr int kReleaseEvery = 262144;

[[noreturn]] void raiseSystem(int error, const std::string& what, const std::string& path) {
    throw EEngineError(errnoToEngineCode(error), sub::kWrite, path,
                       what + " " + path + ": " + std::strerror(error));
}

// Makes the names in `folder` durable: a rename or a new link there survives a power cut.
void flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) raiseSystem(errno, "cannot open the folder", folder);
    // Some network file systems refuse to flush a folder; their renames reach the server at
    // once.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        const int error = errno;
        ::close(fd);
        raiseSystem(error, "cannot flush the folder", folder);
    }
    ::close(fd);
}

void removeIfThere(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        raiseSystem(errno, "cannot remove", path);
    }
}

// The file a path names, links resolved.
std::string linkTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) raiseSystem(errno, "cannot resolve", path);
    return resolved;
}

// Copies `from` to `to` and flushes it, for file systems that have no hard links.
void copyDurably(GSO_DiskFile& from, const std::string& to) {
    GSO_DiskFile::create(to);
    GSO_DiskFile copy(to, false, true);
    std::vector<uint8_t> buffer(kWriteChunk);
    const uint64_t size = from.size();
    for (uint64_t at = 0; at < size;) {
        const size_t got = from.read(at, buffer.data(), buffer.size());
        if (got == 0) break;
        copy.write(at, buffer.data(), got);
        at += got;
    }
    copy.flush();
}

// Keeps the table at `target` under the name `backup` as well.
void keepBackup(DBFObject& table, const std::string& target, const std::string& backup) {
    if (::link(target.c_str(), backup.c_str()) == 0) return;
    const int error = errno;
    if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != EXDEV &&
        error != EMLINK) {
        raiseSystem(error, "cannot keep the table as", backup);
    }
    copyDurably(table, backup);
}

// Opens `set` exclusively; ETableInUse when another handle has a file of it open.
void openExclusively(TEngineDataSet& set) {
    try {
        set.Open();
    } catch (const EEngineError& error) {
        if (error.code() == err::kSharingViolation) throw ETableInUse(error.text());
        throw;
    }
    // The keys rebuilt here are cased by the letters of the page the text is stored in, as
    // every writer of the table cases them.
    set.handler()->setTextCodePage(casingOf(set.tableCodePage()));
}

struct Written {
    int records = 0;
};

// Writes the live records of the open `set` in its current order to `out`, header first.
// False when the walk did not meet every live record once (an index that lacks some).
bool writeLiveRecords(TEngineDataSet& set, GSO_DiskFile& out, Written& written) {
    DBFObject& table = *set.handler();
    table.RefreshHeader();
    const int count = table.recordCount();
    const int live = table.liveRecordCount();
    const auto headerLength = static_cast<size_t>(table.headerLength());
    const auto recordLength = static_cast<size_t>(table.recordLength());

    std::vector<uint8_t> header(headerLength);
    if (table.read(0, header.data(), headerLength) != headerLength) {
        table.fail(err::kShortRead, sub::kRead);
    }
    stampHeaderDate(&header[dbf::kHdrUpdateDate], engineLocalNow());
    putLE32(&header[dbf::kHdrRecordCount], static_cast<uint32_t>(live));
    out.write(0, header.data(), headerLength);

    std::vector<uint8_t> chunk;
    chunk.reserve(kWriteChunk + recordLength + 1);
    uint64_t at = headerLength;
    const auto send = [&] {
        if (chunk.empty()) return;
        out.write(at, chunk.data(), chunk.size());
        at += chunk.size();
        chunk.clear();
    };
    std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
    int records = 0;
    table.GotoRecord(PosTop);
    while (table.found()) {
        const int n = table.recordNumber();
        // An index entry of a record past the end, or a second entry of one, stands for none.
        if (n >= 1 && n <= count && !seen[static_cast<size_t>(n)] && !table.isDeleted()) {
            seen[static_cast<size_t>(n)] = true;
            const uint8_t* image = table.recordImage();
            chunk.insert(chunk.end(), image, image + recordLength);
            ++records;
            if (chunk.size() >= kWriteChunk) send();
            // The table's pages go back to the page cache now and then as the walk goes. Not
            // often: each time, the records read next map their pages in again.
            if (records % kReleaseEvery == 0) table.releaseReadPages();
        }
        table.GotoRecord(PosNext);
    }
    table.releaseReadPages();
    if (records != live) return false;
    chunk.push_back(kEndOfFileMark);
    send();
    written.records = records;
    return true;
}

// Writes the new file `path` from the open `set` and makes it durable; the file stays open in
// `out` (unshared), so that nobody else opens it before the pack is done with it.
int writePackedFile(TEngineDataSet& set, const std::string& path,
                    std::unique_ptr<GSO_DiskFile>& out) {
    for (int attempt = 0;; ++attempt) {
        removeIfThere(path);
        GSO_DiskFile::create(path);
        out = std::make_unique<GSO_DiskFile>(path, false, true);
        Written written;
        if (writeLiveRecords(set, *out, written)) {
            out->flush();
            return written.records;
        }
        out.reset();
        // The index lacks rows: rebuilt (nobody else has the table open), the walk meets them.
        if (attempt > 0)
            throw EEngineError("the index of " + set.tablePath() +
                               " does not hold every record even after a rebuild");
        set.ReindexAll();
    }
}

}  // namespace

int deletedRecordCount(TEngineDataSet& set) {
    DBFObject& table = *set.handler();
    table.RefreshHeader();
    return table.recordCount() - table.liveRecordCount();
}

PackResult packTable(TEngineDataSet& set) {
    const bool savedExclusive = set.Exclusive();
    const bool savedReadOnly = set.ReadOnly();
    const bool savedFiltered = set.Filtered();
    struct Restore {
        TEngineDataSet& set;
        bool exclusive, readOnly, filtered;
        ~Restore() {
            try {
                set.Close();
            } catch (...) {
            }
            set.setExclusive(exclusive);
            set.setReadOnly(readOnly);
            set.setFiltered(filtered);
        }
    } restore{set, savedExclusive, savedReadOnly, savedFiltered};
    set.Close();
    set.setExclusive(true);
    set.setReadOnly(false);
    // Every live record goes into the packed table, whatever a window's search shows.
    set.setFiltered(false);
    openExclusively(set);

    PackResult result;
    const std::string target = linkTarget(set.tablePath());
    const std::string folder(directoryPart(target));
    const std::string packed = packedFilePath(target);
    const std::string backup = packBackupPath(target);
    result.tablePath = target;

    // What a pack cut short left: the table at its name is whole either way.
    removeIfThere(backup);
    std::unique_ptr<GSO_DiskFile> out;
    // The new table, held unshared from before it takes the table's name until its index files
    // are rebuilt: another copy that opens the table meanwhile is refused, and so never meets
    // the new table with the old index.
    std::unique_ptr<GSO_dBaseFld> packedTable;
    std::vector<std::string> indexFiles;
    try {
        if (!set.IndexesCoverTable()) set.ReindexAll();
        result.deletedRecords = deletedRecordCount(set);
        result.liveRecords = writePackedFile(set, packed, out);
        out.reset();
        packedTable = std::make_unique<GSO_dBaseFld>(packed, false, true);
        packedTable->setLockProtocol(set.handler()->lockProtocol());
        packedTable->setTextCodePage(set.handler()->textCodePage());
        for (int slot = 0; slot < GSO_dBHandler::kIndexSlots; ++slot) {
            if (GSobjMDXFile* file = set.handler()->indexFile(slot)) {
                indexFiles.push_back(file->path());
            }
        }
        flushFolder(folder);
        keepBackup(*set.handler(), target, backup);
        flushFolder(folder);
        if (::rename(packed.c_str(), target.c_str()) != 0) {
            raiseSystem(errno, "cannot put the packed table in place of", target);
        }
    } catch (...) {
        out.reset();
        packedTable.reset();
        ::unlink(packed.c_str());
        ::unlink(backup.c_str());
        throw;
    }
    try {
        flushFolder(folder);
        // The old table's files are let go; its index files are rebuilt against the new one.
        set.Close();
        for (const std::string& path : indexFiles) {
            GSobjMDXFile file(*packedTable, path);
            file.Reindex();
            for (const auto& tag : file.tags()) {
                tag->TreeRelease();
                tag->HeaderWrite();
            }
            file.diskFile().flush();
            file.close();
        }
        packedTable->flush();
        packedTable.reset();
        removeIfThere(backup);
        flushFolder(folder);
    } catch (const std::exception& error) {
        throw EEngineError(target + " is packed (" + std::to_string(result.liveRecords) +
                           " records), but its index files were not rebuilt: " + error.what() +
                           "; the table before the pack is kept as " + backup);
    }
    return result;
}

}  // namespace abonex
