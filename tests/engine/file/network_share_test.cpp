// A file on a network file system, played by a local file that the tests make count as one:
// no mapping, a look at the server at the first level of a lock, writes pushed before the lock
// is let go, the size kept while a lock keeps other writers out, and writing refused on a mount
// whose locks stay on this machine.
#include "engine/file/network_share.h"

#include <gtest/gtest.h>

#include "engine/file/disk_file.h"
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

}  // namespace
}  // namespace abonex
