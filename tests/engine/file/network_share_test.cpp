// A file on a network file system, played by a local file that the tests make count as one:
// no mapping, a look at the server at the first level of a lock, writes pushed before the lock
// is let go, the size kept while a lock keeps other writers out, writes (and, under the index
// lock, reads) held in memory meanwhile, and writing refused on a mount whose locks stay on this
// machine.
#include "engine/file/network_share.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include "engine/file/disk_file.h"
#include "engine/file/disk_file_tap.h"
#include "engine/file/engine_error.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

TEST(LocalLockOptionTest, NamesTheOptionsThatKeepByteRangeLocksOnTheClient) {
    // NFS as mounted by default: locks go to the server.
    EXPECT_EQ(
        localLockOption("rw,relatime",
                        "rw,vers=4.2,rsize=1048576,hard,proto=tcp,local_lock=none,addr=10.0.0.2"),
        "");
    EXPECT_EQ(localLockOption("rw,relatime", "rw,vers=3,nolock,proto=tcp,addr=10.0.0.2"), "nolock");
    EXPECT_EQ(localLockOption("rw", "rw,vers=4.1,local_lock=posix,addr=10.0.0.2"),
              "local_lock=posix");
    EXPECT_EQ(localLockOption("rw", "rw,vers=3,local_lock=all"), "local_lock=all");
    // flock() locks only: the byte-range locks still reach the server.
    EXPECT_EQ(localLockOption("rw", "rw,vers=4.2,local_lock=flock"), "");
    // CIFS without byte-range locks, named in either list.
    EXPECT_EQ(localLockOption("rw,nobrl", "rw,vers=3.1.1,cache=strict"), "nobrl");
    EXPECT_EQ(localLockOption("rw", "rw,vers=3.1.1,nobrl,uid=0"), "nobrl");
    // Options that merely contain the words.
    EXPECT_EQ(localLockOption("rw", "rw,nolockd,nobrlx,local_lock=allx"), "");
}

class NetworkFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.file("Phone.DBF");
        test::writeFileBytes(m_path, std::vector<uint8_t>(1000, 'x'));
        setFileSystemKindOverride(FileSystemKind{true, ""});
    }
    void TearDown() override { setFileSystemKindOverride(std::nullopt); }
    test::TempDir m_dir;
    std::string m_path;
};

// True when the process maps the file `path`.
bool mapped(const std::string& path) {
    const auto maps = test::readFileBytes("/proc/self/maps");
    return std::string(maps.begin(), maps.end()).find(path) != std::string::npos;
}

TEST_F(NetworkFileTest, ReadsWithoutAMappingAndSeesAnotherHandlesWrites) {
    {
        setFileSystemKindOverride(FileSystemKind{false, ""});
        GSO_DiskFile local(m_path, true, false);
        local.enableReadMapping();
        EXPECT_TRUE(mapped(m_path));  // (the check below can see a mapping)
        setFileSystemKindOverride(FileSystemKind{true, ""});
    }
    GSO_DiskFile reader(m_path, true, false);
    GSO_DiskFile writer(m_path, true, true);
    EXPECT_TRUE(reader.onNetworkShare());
    reader.enableReadMapping();
    uint8_t byte = 0;
    ASSERT_EQ(reader.read(10, &byte, 1), 1u);
    EXPECT_FALSE(mapped(m_path));
    writer.write(10, "y", 1);
    writer.write(1000, "zz", 2);
    ASSERT_EQ(reader.read(10, &byte, 1), 1u);
    EXPECT_EQ(byte, 'y');
    EXPECT_EQ(reader.size(), 1002u);
}

// A reader that found two files disagreeing makes the client forget the contents it keeps of
// a small file, by a space request for the first byte, which a sync does not do. A reader
// opened read-only makes it through a descriptor for writing of its own: on an empty file the
// request shows as a block given to the file while its length stays 0. The pages it held under
// the lock are read again.
TEST_F(NetworkFileTest, AReadOnlyReaderThatForgetsTheClientsCachesAsksForSpaceAsAWriterDoes) {
    const std::string empty = m_dir.file("Phone.MDX");
    test::writeFileBytes(empty, {});
    const auto blocks = [&] {
        struct stat info {};
        EXPECT_EQ(::stat(empty.c_str(), &info), 0);
        EXPECT_EQ(info.st_size, 0);
        return info.st_blocks;
    };
    ASSERT_EQ(blocks(), 0);
    GSO_DiskFile reader(empty, true, false);
    ASSERT_TRUE(reader.lock(0x7FFFFFFD, 1));
    EXPECT_EQ(blocks(), 0);  // a look at a lock only syncs: the stamp stays as it was
    const uint64_t drops = reader.cacheDrops();
    reader.forgetClientCaches();
    EXPECT_GT(blocks(), 0);
    EXPECT_EQ(reader.cacheDrops(), drops + 1);
    ASSERT_TRUE(reader.unlock());

    // Pages read under a lock that keeps every writer out are held; forgotten, they are read
    // from the file again.
    GSO_DiskFile held(m_path, true, false);
    GSO_DiskFile writer(m_path, true, true);
    ASSERT_TRUE(held.lock(0x7FFFFFFD, 1));
    held.keepSizeUntilUnlock(true);
    uint8_t byte = 0;
    ASSERT_EQ(held.read(5, &byte, 1), 1u);
    EXPECT_EQ(byte, 'x');
    ASSERT_EQ(::pwrite(writer.descriptor(), "n", 1, 5), 1);  // as another machine would
    ASSERT_EQ(held.read(5, &byte, 1), 1u);
    EXPECT_EQ(byte, 'x');  // held
    held.forgetClientCaches();
    ASSERT_EQ(held.read(5, &byte, 1), 1u);
    EXPECT_EQ(byte, 'n');
    ASSERT_TRUE(held.unlock());
}

TEST_F(NetworkFileTest, LooksAtTheFirstLevelOfALockAndPushesItsWritesBeforeLettingGo) {
    GSO_DiskFile file(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    EXPECT_EQ(file.serverLooks(), 1u);
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));  // a nested level only counts
    EXPECT_EQ(file.serverLooks(), 1u);
    file.write(0, "a", 1);
    ASSERT_TRUE(file.unlock());
    EXPECT_EQ(file.writePushes(), 0u);  // still locked: the last level pushes
    ASSERT_TRUE(file.unlock());
    EXPECT_EQ(file.writePushes(), 1u);
    // Nothing written under the next lock: nothing to push.
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    EXPECT_EQ(file.serverLooks(), 2u);
    ASSERT_TRUE(file.unlock());
    EXPECT_EQ(file.writePushes(), 1u);
    // An explicit push sends only what is not pushed yet.
    file.write(1, "b", 1);
    file.pushWrites();
    file.pushWrites();
    EXPECT_EQ(file.writePushes(), 2u);
}

// A copy that let go of a lock keeping every other writer out takes the file's stamp as the
// server's: at its next lock an unchanged stamp lets the client keep its pages. A stamp with
// times in the current tick of the clock (or later: a server whose clock runs ahead) would not
// show another machine's write in that same tick, and the pages are forgotten. (The reader's
// look at the server leaves the file's times as they are; a writer's may move them on.)
TEST_F(NetworkFileTest, TheNextLockKeepsTheClientsPagesOnlyWhenTheStampWouldShowAnyWriteSince) {
    GSO_DiskFile reader(m_path, true, false);
    GSO_DiskFile writer(m_path, true, true);
    auto lockedLook = [&] {
        ASSERT_TRUE(reader.lock(0x7FFFFFFD, 1));
        reader.keepSizeUntilUnlock(true);
        ASSERT_TRUE(reader.unlock());
    };
    auto dropsAtNextLock = [&] {
        const uint64_t before = reader.cacheDrops();
        EXPECT_TRUE(reader.lock(0x7FFFFFFD, 1));
        EXPECT_TRUE(reader.unlock());
        return reader.cacheDrops() - before;
    };
    auto setTimes = [&](time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, m_path.c_str(), times, 0), 0);
        // The change time moves on too: once the clock has passed it, the stamp is settled.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    };

    setTimes(::time(nullptr) - 3600);
    lockedLook();
    EXPECT_EQ(dropsAtNextLock(), 0u);
    // Nothing written since the settled stamp: the pages stay.
    lockedLook();
    EXPECT_EQ(dropsAtNextLock(), 0u);
    // Written since: the stamp shows it.
    lockedLook();
    writer.write(0, "b", 1);
    EXPECT_EQ(dropsAtNextLock(), 1u);
    // The stamp's times lie ahead of this machine's clock.
    setTimes(::time(nullptr) + 3600);
    lockedLook();
    EXPECT_EQ(dropsAtNextLock(), 1u);
    lockedLook();
    EXPECT_EQ(dropsAtNextLock(), 1u);
}

TEST_F(NetworkFileTest, TheSizeIsKeptOnlyWhileALockKeepsOtherWritersOut) {
    GSO_DiskFile file(m_path, true, true);
    GSO_DiskFile other(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFFE, 1));
    other.write(1000, "1234", 4);
    // A lock that keeps no writer out: the size is asked for every time.
    EXPECT_EQ(file.size(), 1004u);
    file.keepSizeUntilUnlock();
    EXPECT_EQ(file.size(), 1004u);
    file.write(1004, "56", 2);  // its own writes grow the kept size
    EXPECT_EQ(file.size(), 1006u);
    other.write(2000, "!", 1);  // (not a writer that follows the locks)
    EXPECT_EQ(file.size(), 1006u);
    ASSERT_TRUE(file.unlock());
    EXPECT_EQ(file.size(), 2001u);
    // A lock that keeps every writer out keeps the change stamp too, moved on by every write
    // of its own.
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    file.keepSizeUntilUnlock(true);
    const FileChangeStamp atLock = file.changeStamp();
    EXPECT_TRUE(atLock.settled);
    EXPECT_EQ(file.changeStamp(), atLock);
    file.write(0, "r", 1);  // a write inside the file: the size stays
    const FileChangeStamp afterWrite = file.changeStamp();
    EXPECT_FALSE(afterWrite == atLock);
    EXPECT_EQ(afterWrite.size, atLock.size);
    ASSERT_TRUE(file.unlock());
    // A size kept from a look without a lock would be kept forever: it is not taken.
    file.keepSizeUntilUnlock();
    other.write(3000, "!", 1);
    EXPECT_EQ(file.size(), 3001u);
}

TEST_F(NetworkFileTest, AMountWhoseLocksStayLocalIsRefusedForWritingAndReadForReading) {
    setFileSystemKindOverride(FileSystemKind{true, "nolock"});
    const size_t openBefore = GSO_DiskFile::openFileCount();
    try {
        GSO_DiskFile file(m_path, true, true);
        ADD_FAILURE() << "opened for writing on a mount without server locks";
    } catch (const EEngineError& error) {
        EXPECT_EQ(error.code(), err::kAccessDenied);
        EXPECT_EQ(std::string(error.what()),
                  "The folder of " + m_path +
                      " is mounted with \"nolock\": its locks stay on this machine and cannot "
                      "keep the writers of other machines out; open it for reading only, or "
                      "mount it without that option to write there");
    }
    EXPECT_EQ(GSO_DiskFile::openFileCount(), openBefore);
    GSO_DiskFile reader(m_path, true, false);
    uint8_t byte = 0;
    EXPECT_EQ(reader.read(0, &byte, 1), 1u);
}

// Records where and in what order the bytes reached the system.
class WriteOrder : public DiskFileTap {
  public:
    void wrote(const std::string& path, uint64_t offset, const uint8_t* data,
               size_t count) override {
        (void)path, (void)data;
        writes.emplace_back(offset, count);
    }
    std::vector<std::pair<uint64_t, size_t>> writes;
};

TEST_F(NetworkFileTest, WritesUnderALockThatKeepsWritersOutWaitForThePushAndGoOutOnce) {
    GSO_DiskFile file(m_path, true, true);
    GSO_DiskFile other(m_path, true, false);
    std::vector<uint8_t> expected(1000, 'x');
    ASSERT_TRUE(file.lock(0x7FFFFFFE, 1));
    file.keepSizeUntilUnlock();
    const uint64_t writesBefore = file.systemWrites();
    // An appender's pattern: a record and the end mark after it, again and again, each record
    // over the last one's end mark; the header that counts them at the start of the file.
    for (int i = 0; i < 300; ++i) {
        std::string record = "record" + std::to_string(1000 + i);
        const uint64_t at = 1000 + 10 * static_cast<uint64_t>(i);
        file.write2(at, record.data(), record.size(), "\x1A", 1);
        expected.resize(at);
        expected.insert(expected.end(), record.begin(), record.end());
        expected.push_back(0x1A);
        const std::string count = std::to_string(i + 1);
        file.write(0, count.data(), count.size());
        std::copy(count.begin(), count.end(), expected.begin());
    }
    EXPECT_EQ(file.systemWrites(), writesBefore);
    EXPECT_EQ(file.heldWriteBytes(), expected.size());  // the first page is sent whole
    // The writer reads what it wrote, the size counts it; the file does not hold it yet.
    EXPECT_EQ(file.size(), expected.size());
    std::vector<uint8_t> seen(expected.size() + 10);
    EXPECT_EQ(file.read(0, seen.data(), seen.size()), expected.size());
    EXPECT_EQ(file.lastError(), err::kShortRead);
    seen.resize(expected.size());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(other.size(), 1000u);
    ASSERT_TRUE(file.unlock());
    // One system call for the neighbouring pages, one push.
    EXPECT_EQ(file.systemWrites(), writesBefore + 1);
    EXPECT_EQ(file.heldWriteBytes(), 0u);
    EXPECT_EQ(test::readFileBytes(m_path), expected);
    // Without a lock the writes go out at once.
    file.write(5, "w", 1);
    EXPECT_EQ(file.systemWrites(), writesBefore + 2);
    EXPECT_EQ(test::readFileBytes(m_path)[5], 'w');
}

TEST_F(NetworkFileTest, HeldWritesGoFromTheEndOfTheFileTowardsItsStartAtAPushOrAFlush) {
    WriteOrder order;
    setDiskFileTap(&order);
    struct Untap {
        ~Untap() { setDiskFileTap(nullptr); }
    } untap;
    GSO_DiskFile file(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    file.keepSizeUntilUnlock(true);
    file.write(0, "head", 4);
    file.write(20000, "tail", 4);
    file.write(9000, "mid", 3);
    file.write(9003, "dle", 3);  // the same page: one write
    EXPECT_TRUE(order.writes.empty());
    // The gap between the old end and a write past it reads as zeros.
    std::vector<uint8_t> gap(10, 'g');
    ASSERT_EQ(file.read(995, gap.data(), gap.size()), gap.size());
    EXPECT_EQ(gap, std::vector<uint8_t>({'x', 'x', 'x', 'x', 'x', 0, 0, 0, 0, 0}));
    file.pushWrites();
    ASSERT_EQ(order.writes.size(), 3u);
    EXPECT_EQ(order.writes[0], std::make_pair(uint64_t{20000}, size_t{4}));
    EXPECT_EQ(order.writes[1], std::make_pair(uint64_t{9000}, size_t{6}));
    EXPECT_EQ(order.writes[2], std::make_pair(uint64_t{0}, size_t{4}));
    // Still locked: what follows is held again; a flush sends it too.
    file.write(9001, "I", 1);
    EXPECT_EQ(order.writes.size(), 3u);
    file.flush();
    ASSERT_EQ(order.writes.size(), 4u);
    EXPECT_EQ(order.writes[3], std::make_pair(uint64_t{9001}, size_t{1}));
    ASSERT_TRUE(file.unlock());
    EXPECT_EQ(order.writes.size(), 4u);
    const std::vector<uint8_t> onDisk = test::readFileBytes(m_path);
    ASSERT_EQ(onDisk.size(), 20004u);
    EXPECT_EQ(std::string(onDisk.begin(), onDisk.begin() + 5), "headx");
    EXPECT_EQ(std::string(onDisk.begin() + 9000, onDisk.begin() + 9006), "mIddle");
    EXPECT_EQ(std::string(onDisk.begin() + 20000, onDisk.end()), "tail");
    EXPECT_EQ(onDisk[5000], 0);
}

TEST_F(NetworkFileTest, PagesReadAreHeldOnlyUnderALockThatKeepsEveryWriterOut) {
    GSO_DiskFile file(m_path, true, true);
    GSO_DiskFile other(m_path, true, true);
    uint8_t byte = 0;
    // The append lock keeps out the appenders only: every read asks the file.
    ASSERT_TRUE(file.lock(0x7FFFFFFE, 1));
    file.keepSizeUntilUnlock();
    ASSERT_EQ(file.read(10, &byte, 1), 1u);
    other.write(10, "q", 1);
    ASSERT_EQ(file.read(10, &byte, 1), 1u);
    EXPECT_EQ(byte, 'q');
    ASSERT_TRUE(file.unlock());
    // The index lock keeps out every writer: a page is read once while it is held.
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    file.keepSizeUntilUnlock(true);
    const uint64_t readsBefore = file.systemReads();
    std::vector<uint8_t> block(600);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(file.read(300, block.data(), block.size()), 600u);
    EXPECT_EQ(file.systemReads(), readsBefore + 1);
    EXPECT_EQ(block, std::vector<uint8_t>(600, 'x'));
    ASSERT_TRUE(file.unlock());
    // Let go: the next read asks the file again and sees what another writer did since.
    other.write(300, "n", 1);
    ASSERT_EQ(file.read(300, &byte, 1), 1u);
    EXPECT_EQ(byte, 'n');
    EXPECT_EQ(file.systemReads(), readsBefore + 2);
}

TEST_F(NetworkFileTest, ALongWriteUnderOneLockIsSentBeforeTheHeldPagesGrowPastAFewMegabytes) {
    GSO_DiskFile file(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    file.keepSizeUntilUnlock(true);
    const std::vector<uint8_t> chunk(1 << 20, 'c');
    for (uint64_t i = 0; i < 12; ++i) file.write(i << 20, chunk.data(), chunk.size());
    // Still locked, most of it is in the file already and little is held.
    EXPECT_LE(file.heldWriteBytes(), size_t{8} << 20);
    EXPECT_GE(test::readFileBytes(m_path).size(), size_t{4} << 20);
    std::vector<uint8_t> back(16);
    ASSERT_EQ(file.read((12 << 20) - 8, back.data(), back.size()), 8u);
    EXPECT_EQ(back[7], 'c');
    ASSERT_TRUE(file.unlock());
    const std::vector<uint8_t> onDisk = test::readFileBytes(m_path);
    ASSERT_EQ(onDisk.size(), size_t{12} << 20);
    EXPECT_EQ(std::count(onDisk.begin(), onDisk.end(), 'c'), 12 << 20);
}

TEST_F(NetworkFileTest, ALocalFileWritesAtOnceUnderEveryLock) {
    setFileSystemKindOverride(FileSystemKind{false, ""});
    GSO_DiskFile file(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFFD, 1));
    file.keepSizeUntilUnlock(true);
    file.write(0, "L", 1);
    EXPECT_EQ(file.systemWrites(), 1u);
    EXPECT_EQ(file.heldWriteBytes(), 0u);
    EXPECT_EQ(test::readFileBytes(m_path)[0], 'L');
    ASSERT_TRUE(file.unlock());
}

}  // namespace
}  // namespace abonex
