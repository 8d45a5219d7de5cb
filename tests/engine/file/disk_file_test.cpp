#include "engine/file/disk_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "bench/process_memory.h"
#include "engine/file/disk_file_tap.h"
#include "engine/file/engine_error.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::TempDir;

class DiskFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.file("Phone.DBF");
        test::writeFileBytes(m_path, std::vector<uint8_t>(100, 'x'));
    }
    TempDir m_dir;
    std::string m_path;
};

void expectEngineError(const std::function<void()>& action, int code, int subCode,
                       const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error raised; expected " << message;
    } catch (const EEngineError& error) {
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.subCode(), subCode);
        EXPECT_EQ(std::string(error.what()), message);
    }
}

TEST_F(DiskFileTest, MissingFileIsErrorTwoWithThePath) {
    std::string missing = m_dir.file("nothere.mdx");
    expectEngineError([&] { GSO_DiskFile file(missing, true, true); }, 2, 1107,
                      "File not found - " + missing);
    EXPECT_FALSE(test::fileSize(m_path) == 0);
}

TEST_F(DiskFileTest, CreateMakesOnlyNewFilesAndNeverEmptiesOne) {
    const std::string fresh = m_dir.file("Phone.MDX");
    GSO_DiskFile::create(fresh);
    EXPECT_EQ(test::fileSize(fresh), 0u);
    GSO_DiskFile open(m_path, true, false);  // another copy has the file open meanwhile
    for (const char* name : {"Phone.DBF", "phone.dbf"}) {
        expectEngineError([&] { GSO_DiskFile::create(m_dir.file(name)); }, 183, 1108,
                          "File already exists - " + m_path);
        EXPECT_EQ(test::readFileBytes(m_path), std::vector<uint8_t>(100, 'x')) << name;
    }
    uint8_t byte = 0;
    EXPECT_EQ(open.read(99, &byte, 1), 1u);
    EXPECT_EQ(byte, 'x');
}

TEST_F(DiskFileTest, NamesResolveWithoutRegardToCaseAndKeepTheNameOnDisk) {
    for (const char* name : {"phone.dbf", "PHONE.DBF", "Phone.DBF"}) {
        GSO_DiskFile file(m_dir.file(name), true, false);
        EXPECT_EQ(file.path(), m_path) << name;
    }
}

TEST_F(DiskFileTest, RelativeNamesExpandAgainstTheCurrentDirectory) {
    char* saved = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(m_dir.path().c_str()), 0);
    {
        GSO_DiskFile file("PHONE.dbf", true, false);
        EXPECT_EQ(file.path(), m_path);
    }
    ASSERT_EQ(chdir(saved), 0);
    free(saved);
}

TEST_F(DiskFileTest, SharingModesConflictInsideOneProcess) {
    {
        GSO_DiskFile first(m_path, true, true);
        GSO_DiskFile second(m_path, true, false);  // shared + shared is fine
        expectEngineError([&] { GSO_DiskFile third(m_path, false, true); }, 32, 1107,
                          "File access denied - " + m_path);
        expectEngineError([&] { GSO_DiskFile third(m_path, false, false); }, 32, 1107,
                          "File access denied - " + m_path);
    }
    {
        GSO_DiskFile exclusive(m_path, false, true);
        expectEngineError([&] { GSO_DiskFile other(m_path, true, false); }, 32, 1107,
                          "File access denied - " + m_path);
    }
    {
        GSO_DiskFile exclusiveReader(m_path, false, false);
        expectEngineError([&] { GSO_DiskFile other(m_path, true, false); }, 32, 1107,
                          "File access denied - " + m_path);
    }
    GSO_DiskFile again(m_path, false, true);  // every handle closed: unshared works again
}

TEST_F(DiskFileTest, SharingModesConflictAcrossProcesses) {
    test::ProcessSignal opened, release;
    int child = test::forkChild([&] {
        GSO_DiskFile exclusive(m_path, false, true);
        opened.notify();
        release.wait();
        return 0;
    });
    ASSERT_TRUE(opened.wait());
    expectEngineError([&] { GSO_DiskFile shared(m_path, true, false); }, 32, 1107,
                      "File access denied - " + m_path);
    release.notify();
    EXPECT_EQ(test::waitChild(child), 0);
    GSO_DiskFile shared(m_path, true, true);

    int second = test::forkChild([&] {
        try {
            GSO_DiskFile exclusive(m_path, false, true);
            return 1;
        } catch (const EEngineError& error) {
            return error.code() == 32 ? 0 : 2;
        }
    });
    EXPECT_EQ(test::waitChild(second), 0);
}

TEST_F(DiskFileTest, TwoHandlesInOneProcessConflictAndClosingOneKeepsTheOthersLock) {
    GSO_DiskFile first(m_path, true, true);
    auto second = std::make_unique<GSO_DiskFile>(m_path, true, true);
    ASSERT_TRUE(first.lock(0x7FFFFFFD, 1));
    EXPECT_FALSE(second->lock(0x7FFFFFFD, 1));
    EXPECT_EQ(second->lastError(), 33);
    EXPECT_EQ(second->lockCount(), 0);
    second.reset();  // closing another handle must not drop first's lock
    EXPECT_TRUE(test::regionLocked(m_path, 0x7FFFFFFD, 1));
    GSO_DiskFile third(m_path, true, true);
    EXPECT_FALSE(third.lock(0x7FFFFFFD, 1));
    ASSERT_TRUE(first.unlock());
    EXPECT_TRUE(third.lock(0x7FFFFFFD, 1));
}

TEST_F(DiskFileTest, LocksAreSeenByOtherProcesses) {
    test::ProcessSignal locked, release;
    int child = test::forkChild([&] {
        GSO_DiskFile file(m_path, true, true);
        if (!file.lock(0xEFFFFFFE, 2)) return 1;
        locked.notify();
        release.wait();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    EXPECT_TRUE(test::regionLocked(m_path, 0xEFFFFFFE, 2));
    EXPECT_FALSE(test::regionLocked(m_path, 0xEFFFFFFD, 1));
    GSO_DiskFile mine(m_path, true, true);
    EXPECT_FALSE(mine.lock(0xEFFFFFFF, 1));
    EXPECT_EQ(mine.lastError(), 33);
    release.notify();
    EXPECT_EQ(test::waitChild(child), 0);
    EXPECT_TRUE(mine.lock(0xEFFFFFFF, 1));
}

TEST_F(DiskFileTest, SameRegionNestsOtherRegionIsRefusedWithoutSystemCall) {
    GSO_DiskFile file(m_path, true, true);
    ASSERT_TRUE(file.lock(0x7FFFFFF4, 1));
    ASSERT_TRUE(file.lock(0x7FFFFFF4, 1));
    EXPECT_EQ(file.lockCount(), 2);
    EXPECT_FALSE(file.lock(0x7FFFFFF3, 1));
    EXPECT_EQ(file.lastError(), 33);
    EXPECT_FALSE(test::regionLocked(m_path, 0x7FFFFFF3, 1));
    ASSERT_TRUE(file.unlock());
    EXPECT_TRUE(test::regionLocked(m_path, 0x7FFFFFF4, 1));
    ASSERT_TRUE(file.unlock());
    EXPECT_FALSE(test::regionLocked(m_path, 0x7FFFFFF4, 1));
    EXPECT_EQ(file.lockCount(), 0);
    EXPECT_TRUE(file.unlock());  // nothing held: nothing happens
}

TEST_F(DiskFileTest, UnsharedFileLocksByCountingOnly) {
    GSO_DiskFile file(m_path, false, true);
    EXPECT_TRUE(file.lock(0x7FFFFFFD, 1));
    EXPECT_TRUE(file.lock(0x12345, 7));  // no region check either: nothing reaches the system
    EXPECT_EQ(file.lockCount(), 2);
    EXPECT_FALSE(test::regionLocked(m_path, 0x7FFFFFFD, 1));
    EXPECT_TRUE(file.hasExclusiveAccess());
}

TEST_F(DiskFileTest, LockWaitingGetsTheLockWhenTheHolderLetsGo) {
    test::ProcessSignal locked;
    int child = test::forkChild([&] {
        GSO_DiskFile file(m_path, true, true);
        if (!file.lock(0x7FFFFFFD, 1)) return 1;
        locked.notify();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return 0;  // the lock goes with the process
    });
    ASSERT_TRUE(locked.wait());
    GSO_DiskFile file(m_path, true, true);
    EXPECT_FALSE(file.lockWaiting({0x7FFFFFFD, 1}, {2, 10}));
    EXPECT_EQ(file.lastError(), 33);
    EXPECT_TRUE(file.lockWaiting({0x7FFFFFFD, 1}));  // 100 attempts, 50 ms apart
    EXPECT_EQ(test::waitChild(child), 0);
}

// A writer that takes the lock again the moment it has let it go (an import, a row at a time)
// leaves a waiter only moments of a few microseconds: a waiter that merely tried every 50 ms
// nearly never met one and gave up after its five seconds. The waiter must get its turn.
TEST_F(DiskFileTest, LockWaitingIsNotStarvedByAWriterThatLocksAgainAndAgain) {
    constexpr LockRegion kRegion{0x7FFFFFFD, 1};
    test::ProcessSignal started;
    test::ProcessSignal done;
    const int writer = test::forkChild([&] {
        GSO_DiskFile file(m_path, true, true);
        bool first = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int rows = 0;
        while (std::chrono::steady_clock::now() < until && !done.wait(0)) {
            if (!file.lockWaiting(kRegion)) return 1;
            if (first) started.notify();
            first = false;
            // A row's work under the lock: a little under a millisecond.
            const auto rowEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(800);
            while (std::chrono::steady_clock::now() < rowEnd) {
            }
            file.unlock();
            ++rows;
        }
        return rows > 0 ? 0 : 2;
    });
    ASSERT_TRUE(started.wait());
    GSO_DiskFile file(m_path, true, true);
    for (int turn = 0; turn < 5; ++turn) {
        ASSERT_TRUE(file.lockWaiting(kRegion, {40, 50})) << "turn " << turn;  // two seconds
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        file.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the writer writes on
    }
    done.notify();
    EXPECT_EQ(test::waitChild(writer), 0);
}

TEST_F(DiskFileTest, TruncateNeedsExclusiveAccess) {
    GSO_DiskFile file(m_path, true, true);
    GSO_DiskFile other(m_path, true, true);
    ASSERT_TRUE(other.lock(0x40000000, 1));
    expectEngineError([&] { file.truncate(10); }, 5, 1109, "File access denied - " + m_path);
    EXPECT_FALSE(file.lockAll());  // another handle holds a lock inside 0..0x7FFFFFFE
    other.unlock();
    ASSERT_TRUE(file.lockAll());
    EXPECT_TRUE(file.hasExclusiveAccess());
    file.truncate(10);
    EXPECT_EQ(file.size(), 10u);
    file.unlock();
    EXPECT_FALSE(file.hasExclusiveAccess());
}

TEST_F(DiskFileTest, ShortReadReportsTwoTwentyOneWithoutRaising) {
    GSO_DiskFile file(m_path, true, false);
    uint8_t buffer[64];
    EXPECT_EQ(file.read(80, buffer, sizeof buffer), 20u);
    EXPECT_EQ(file.lastError(), 221);
    EXPECT_EQ(file.read(0, buffer, 10), 10u);
    EXPECT_EQ(file.lastError(), 0);
}

TEST_F(DiskFileTest, WritesFarBeyondTwoGigabytesAndReadOnlyRefusal) {
    {
        GSO_DiskFile file(m_path, true, true);
        const char text[] = "far";
        file.write(0x90000000ull, text, 3);
        EXPECT_EQ(file.size(), 0x90000003ull);
        char back[3];
        ASSERT_EQ(file.read(0x90000000ull, back, 3), 3u);
        EXPECT_EQ(std::string(back, 3), "far");
        ASSERT_TRUE(file.lockAll());
        file.truncate(100);
    }
    EXPECT_EQ(test::fileSize(m_path), 100u);
}

TEST_F(DiskFileTest, ReadOnlyHandleRefusesWrites) {
    GSO_DiskFile file(m_path, true, false);
    expectEngineError([&] { file.write(0, "a", 1); }, 5, 1102, "File access denied - " + m_path);
}

// Only a regular file is a table or an index. A FIFO in a table's place would keep an open for
// reading waiting for a writer that never comes: the alarm ends the test process then, so a
// hang fails the test instead of blocking the suite.
TEST_F(DiskFileTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    const std::string fifo = m_dir.file("Phone.MDX");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const std::string folder = m_dir.file("Org.dbf");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ::alarm(10);
    for (const std::string& path : {fifo, folder, std::string("/dev/null")}) {
        for (bool shared : {true, false}) {
            for (bool readWrite : {false, true}) {
                SCOPED_TRACE(path + (shared ? " shared" : " exclusive") +
                             (readWrite ? " read-write" : " read-only"));
                expectEngineError([&] { GSO_DiskFile file(path, shared, readWrite); }, 1013, 1107,
                                  "Not a regular file - " + path);
            }
        }
    }
    ::alarm(0);
    EXPECT_EQ(GSO_DiskFile::openFileCount(), 0u) << "a refused file stays registered";
    // A regular file is opened without waiting too, but reads and writes it as before: the
    // descriptor blocks again once the file is known to be one.
    GSO_DiskFile file(m_path, true, true);
    const int flags = ::fcntl(file.descriptor(), F_GETFL);
    ASSERT_GE(flags, 0);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    char byte = 0;
    EXPECT_EQ(file.read(99, &byte, 1), 1u);
    EXPECT_EQ(byte, 'x');
}

TEST_F(DiskFileTest, MappedReadsSeeEveryWriteAndFollowTheFileSize) {
    GSO_DiskFile reader(m_path, true, false);
    reader.enableReadMapping();
    GSO_DiskFile writer(m_path, true, true);
    char buffer[8] = {};
    ASSERT_EQ(reader.read(10, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
    writer.write(10, "abcd", 4);  // another handle's write is seen at once
    ASSERT_EQ(reader.read(10, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    writer.write(20000, "tail", 4);  // the file grows far past the mapping
    ASSERT_EQ(reader.read(20000, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "tail");
    EXPECT_EQ(reader.read(20002, buffer, 8), 2u);  // past the end: a short read, as before
    EXPECT_EQ(reader.lastError(), 221);
    ASSERT_TRUE(writer.lockAll());
    writer.truncate(50);
    writer.unlock();
    reader.refreshMapping();
    EXPECT_EQ(reader.read(40, buffer, 8), 8u);
    EXPECT_EQ(reader.read(48, buffer, 8), 2u);
}

TEST_F(DiskFileTest, AMappedFileCutShorterByAnotherProgramGivesShortReads) {
    {
        GSO_DiskFile writer(m_path, true, true);
        writer.write(40000, "end", 3);
    }
    GSO_DiskFile reader(m_path, true, false);
    reader.enableReadMapping();
    char buffer[8] = {};
    ASSERT_EQ(reader.read(36000, buffer, 4), 4u);
    // Another program cuts the file behind the engine's back (no lock, no refresh): the pages
    // past the new end have nothing behind them any more.
    ASSERT_EQ(::truncate(m_path.c_str(), 100), 0);
    EXPECT_EQ(reader.read(36000, buffer, 4), 0u);
    EXPECT_EQ(reader.lastError(), 221);
    EXPECT_EQ(reader.read(40000, buffer, 3), 0u);
    ASSERT_EQ(reader.read(10, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
    // Grown again, the file is read through the mapping as before.
    {
        GSO_DiskFile writer(m_path, true, true);
        writer.write(30000, "back", 4);
    }
    ASSERT_EQ(reader.read(30000, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "back");
}

FileChangeStamp settledStamp(const GSO_DiskFile& file) {
    FileChangeStamp stamp = file.changeStamp();
    for (int i = 0; i < 200 && !stamp.settled; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stamp = file.changeStamp();
    }
    EXPECT_TRUE(stamp.settled) << "the stamp of a file nobody writes did not settle";
    return stamp;
}

TEST_F(DiskFileTest, TheChangeStampShowsEveryWriteOfAnotherHandleAndNothingElse) {
    GSO_DiskFile reader(m_path, true, false);
    GSO_DiskFile writer(m_path, true, true);
    const FileChangeStamp quiet = settledStamp(reader);
    char buffer[4];
    reader.read(0, buffer, sizeof buffer);
    EXPECT_EQ(reader.changeStamp(), quiet) << "a read changed the stamp";
    // Rewriting the bytes a file already holds is a change as well: the stamp cannot know.
    writer.write(10, "xxxx", 4);
    const FileChangeStamp written = reader.changeStamp();
    EXPECT_FALSE(written == quiet);
    const FileChangeStamp settled = settledStamp(reader);
    writer.write(10, "yyyy", 4);
    EXPECT_FALSE(reader.changeStamp() == settled);
    const FileChangeStamp again = settledStamp(reader);
    ASSERT_TRUE(writer.lockAll());
    writer.truncate(50);
    writer.unlock();
    EXPECT_FALSE(reader.changeStamp() == again);
    EXPECT_EQ(reader.changeStamp().size, 50u);
}

TEST_F(DiskFileTest, ReleasedMappedPagesLeaveTheResidentSetAndReadBackAsTheFileIsNow) {
    const std::vector<uint8_t> bytes(256 * 1024, 'r');
    test::writeFileBytes(m_path, bytes);
    GSO_DiskFile reader(m_path, true, false);
    reader.enableReadMapping();
    std::vector<uint8_t> buffer(bytes.size());
    ASSERT_EQ(reader.read(0, buffer.data(), buffer.size()), buffer.size());
    EXPECT_GE(bench::mappedFileKb(m_path), 200);

    // Part of the range: the pages holding it go, the others stay.
    reader.releaseMappedPages(100000, 20000);
    const long partly = bench::mappedFileKb(m_path);
    EXPECT_LT(partly, 256 - 16);
    EXPECT_GE(partly, 256 - 32);
    reader.releaseMappedPages();
    EXPECT_EQ(bench::mappedFileKb(m_path), 0);

    // What another handle wrote meanwhile is what the next read sees.
    {
        GSO_DiskFile writer(m_path, true, true);
        writer.write(100500, "new!", 4);
    }
    ASSERT_EQ(reader.read(100498, buffer.data(), 8), 8u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 8), "rrnew!rr");
    EXPECT_GT(bench::mappedFileKb(m_path), 0);
}

TEST_F(DiskFileTest, ABusErrorOutsideAMappedReadStillEndsTheProcess) {
    GSO_DiskFile reader(m_path, true, false);
    reader.enableReadMapping();  // installs the guard for mapped reads
    // Handed on to whatever handled SIGBUS before (the default action, or a sanitizer's
    // report): either way the process ends instead of carrying on.
    EXPECT_DEATH(::raise(SIGBUS), "");
}

// Writes down what the disk files tell their tap, in order; reads of one offset come back
// changed.
class RecordingTap : public DiskFileTap {
  public:
    RecordingTap() { setDiskFileTap(this); }
    ~RecordingTap() override { setDiskFileTap(nullptr); }
    void wrote(const std::string& path, uint64_t offset, const uint8_t* data,
               size_t count) override {
        events.push_back(name(path) + " write " + std::to_string(offset) + " " +
                         std::string(reinterpret_cast<const char*>(data), count));
    }
    void flushed(const std::string& path) override { events.push_back(name(path) + " flush"); }
    void truncated(const std::string& path, uint64_t length) override {
        events.push_back(name(path) + " truncate " + std::to_string(length));
    }
    void created(const std::string& path) override { events.push_back(name(path) + " create"); }
    void read(const std::string&, uint64_t offset, uint8_t* buffer, size_t count) override {
        if (offset == 7 && count > 0) buffer[0] = '#';
    }
    std::vector<std::string> events;

  private:
    static std::string name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
};

TEST_F(DiskFileTest, ATapSeesEveryWriteFlushTruncationAndCreationAndMayChangeReads) {
    RecordingTap tap;
    GSO_DiskFile::create(m_dir.file("New.MDX"));
    {
        GSO_DiskFile file(m_path, false, true);
        file.write(2, "ab", 2);
        file.write2(10, "cd", 2, "e", 1);  // one system call, one write
        file.flush();
        file.truncate(50);
        char got[3] = {};
        EXPECT_EQ(file.read(7, got, 2), 2u);
        EXPECT_EQ(std::string(got, 2), "#x");
        file.enableReadMapping();
        EXPECT_EQ(file.read(7, got, 2), 2u);
        EXPECT_EQ(std::string(got, 2), "#x");
    }
    EXPECT_EQ(tap.events, (std::vector<std::string>{"New.MDX create", "Phone.DBF write 2 ab",
                                                    "Phone.DBF write 10 cde", "Phone.DBF flush",
                                                    "Phone.DBF truncate 50"}));
    // What reached the file is what was written: the tap changed only what the reader saw.
    EXPECT_EQ(test::readFileBytes(m_path)[7], 'x');
}

TEST_F(DiskFileTest, OnlyLocksOfOtherHandlesCountAsHeldElsewhere) {
    GSO_DiskFile mine(m_path, true, true);
    GSO_DiskFile other(m_path, true, true);
    const LockRegion region{0x7FFFFFFD, 1};
    ASSERT_TRUE(mine.lock(region));
    EXPECT_FALSE(mine.lockedElsewhere(region));
    EXPECT_TRUE(other.lockedElsewhere(region));
    EXPECT_TRUE(other.lockedElsewhere(kLockAllRegion));  // the region lies inside it
    EXPECT_FALSE(other.lockedElsewhere({0xEFFFFFFE, 2}));
    mine.unlock();
    EXPECT_FALSE(other.lockedElsewhere(region));
}

TEST_F(DiskFileTest, RegistryTracksOpenFiles) {
    size_t before = GSO_DiskFile::openFileCount();
    {
        GSO_DiskFile a(m_path, true, false);
        GSO_DiskFile b(m_path, true, false);
        EXPECT_EQ(GSO_DiskFile::openFileCount(), before + 2);
        a.close();
        EXPECT_EQ(GSO_DiskFile::openFileCount(), before + 1);
    }
    EXPECT_EQ(GSO_DiskFile::openFileCount(), before);
}

}  // namespace
}  // namespace abonex
