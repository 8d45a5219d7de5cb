// A reader takes no lock, so it can read a page of the index file while another writer rewrites
// it and get part of the old block and part of the new one. These tests show the reader the
// image it gets when it reads the key count of a leaf that has just been split (half its old
// count) together with the entries it held before: the leaf then reads as a branch whose child
// blocks are record numbers, most of them beyond the end of the index file. The reader must look
// again and go on as if nothing had happened; damage that is still there when it looks again,
// with nobody changing the file, is reported with its exact text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "engine/file/byte_order.h"
#include "engine/file/disk_file_tap.h"
#include "engine/file/engine_error.h"
#include "engine/file/lock_protocol.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

constexpr int kRows = 300;
constexpr uint32_t kUnit = 512;
constexpr uint32_t kBlock = 1024;

// Names sort in the reverse of record order: record n holds the name of rank kRows + 1 - n.
std::string nameOf(int record) {
    return "Житель" + std::to_string(1000 + kRows + 1 - record);
}

// Halves the key count of every read of one node block (alone, or in a run of blocks that holds
// it) while `tears` lasts (negative: always).
class TearingTap : public DiskFileTap {
  public:
    TearingTap(std::string indexPath, uint32_t block)
        : m_path(std::move(indexPath)), m_block(block) {
        setDiskFileTap(this);
    }
    ~TearingTap() override { setDiskFileTap(nullptr); }

    void read(const std::string& path, uint64_t offset, uint8_t* buffer, size_t count) override {
        const uint64_t at = uint64_t{m_block} * kUnit;
        if (tears == 0 || path != m_path || at < offset || at + 4 > offset + count) return;
        uint8_t* keyCount = buffer + (at - offset);
        putLE32(keyCount, getLE32(keyCount) / 2);
        if (tears > 0) --tears;
        ++torn;
        if (onTear) onTear(torn);
    }

    int tears = 0;
    int torn = 0;
    // Called after each torn read with the count so far: what another copy does meanwhile.
    std::function<void(int)> onTear;

  private:
    std::string m_path;
    uint32_t m_block;
};

class ReaderFreshLookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<test::Person> people;
        for (int record = 1; record <= kRows; ++record) people.push_back({nameOf(record), "1"});
        test::makePersonsTable(m_dir.path(), people);
        test::openPersons(m_set, m_dir.path());
        m_indexPath = m_set.handler()->indexFile(0)->path();

        // The third leaf under the root: its first record number, taken for a block, lies far
        // beyond the end of the index file.
        const std::vector<uint8_t> bytes = test::readFileBytes(m_indexPath);
        const uint32_t header = test::le32(bytes, 512 + 32);
        const uint32_t root = test::le32(bytes, header * kUnit);
        const uint32_t entryLength = test::le16(bytes, header * kUnit + 18);
        ASSERT_GE(test::le32(bytes, root * kUnit), 3u) << "the tree needs a branch root";
        m_leaf = test::le32(bytes, root * kUnit + 8 + 2 * entryLength);
        m_leafFirstRecord = static_cast<int>(test::le32(bytes, m_leaf * kUnit + 8));
        ASSERT_GT(uint64_t{static_cast<uint32_t>(m_leafFirstRecord)} * kUnit + kBlock,
                  bytes.size());
    }

    std::vector<std::string> allNamesInOrder() const {
        std::vector<std::string> names;
        for (int record = kRows; record >= 1; --record) names.push_back(nameOf(record));
        return names;
    }

    // A second handle on the index file holding its index lock: a writer at work.
    std::unique_ptr<GSO_DiskFile> holdIndexLock() {
        auto writer = std::make_unique<GSO_DiskFile>(m_indexPath, true, true);
        EXPECT_TRUE(writer->lock(indexFileLockRegion(TgsLokProtocol::Default)));
        return writer;
    }

    std::string damageOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const EEngineError& error) {
            return error.what();
        }
        return {};
    }

    test::TempDir m_dir;
    TEngineDataSet m_set;
    std::string m_indexPath;
    uint32_t m_leaf = 0;
    int m_leafFirstRecord = 0;
};

TEST_F(ReaderFreshLookTest, WalksPastALeafCaughtMidRewriteInBothDirections) {
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 1;
    EXPECT_EQ(test::visibleNames(m_set), allNamesInOrder());
    EXPECT_EQ(tap.torn, 1);

    tap.tears = 1;
    std::vector<std::string> backwards;
    for (m_set.Last(); !m_set.Bof(); m_set.Prior()) {
        backwards.push_back(ansiToUtf8(m_set.Fields(0).AsString()));
    }
    std::vector<std::string> expected = allNamesInOrder();
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(backwards, expected);
    EXPECT_EQ(tap.torn, 2);
}

TEST_F(ReaderFreshLookTest, GoingToARecordPastALeafCaughtMidRewriteFindsItsPlace) {
    // A move by number puts the tag on the record from a fresh root: the path down reads the leaf.
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 1;
    m_set.GotoRecNo(m_leafFirstRecord);
    EXPECT_EQ(tap.torn, 1);
    EXPECT_EQ(m_set.RecNo(), m_leafFirstRecord);
    m_set.Next();
    EXPECT_EQ(ansiToUtf8(m_set.Fields(0).AsString()), nameOf(m_leafFirstRecord - 1));
}

TEST_F(ReaderFreshLookTest, KeepsLookingWhileAWriterHoldsTheIndexLock) {
    // The writer is slow to finish: the same torn image comes back several times in a row.
    auto writer = holdIndexLock();
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 5;
    EXPECT_EQ(test::visibleNames(m_set), allNamesInOrder());
    EXPECT_EQ(tap.torn, 5);
    tap.tears = 5;
    m_set.GotoRecNo(m_leafFirstRecord);
    EXPECT_EQ(m_set.RecNo(), m_leafFirstRecord);
}

TEST_F(ReaderFreshLookTest, KeepsLookingThroughAWriterThatTakesLongerThanFiftyLooks) {
    // Another copy's start-up rebuild rewrites the whole file under the index lock for longer
    // than fifty looks of a millisecond: a search meanwhile must wait for it, as a writer would
    // wait for the lock, not report damage.
    auto writer = holdIndexLock();
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 200;
    EXPECT_EQ(test::visibleNames(m_set), allNamesInOrder());
    EXPECT_EQ(tap.torn, 200);
}

TEST_F(ReaderFreshLookTest, AWriterThatLetsGoOfTheLockRightAfterATornReadIsNoDamage) {
    // Another copy's rebuild ends between the reader's read and its look at the locks: the
    // locks are free by the time the reader asks, but what it read was the rebuild's work.
    auto writer = holdIndexLock();
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 2;
    tap.onTear = [&](int torn) {
        if (torn == 2) writer->unlock();
    };
    EXPECT_EQ(test::visibleNames(m_set), allNamesInOrder());
    EXPECT_EQ(tap.torn, 2);
}

TEST_F(ReaderFreshLookTest, ATearMetAgainAfterAnotherWriteIsNoDamage) {
    // No lock is held when the reader looks, but the file was written between the two torn
    // reads: a writer came and went while the reader read.
    const int fd = ::open(m_indexPath.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::vector<uint8_t> first = test::readFileBytes(m_indexPath);
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = 2;
    tap.onTear = [&](int torn) {
        // The same byte written again: the file's bytes stay, its change stamp moves on.
        if (torn == 2) {
            ASSERT_EQ(::pwrite(fd, first.data(), 1, 0), 1);
        }
    };
    EXPECT_EQ(test::visibleNames(m_set), allNamesInOrder());
    EXPECT_EQ(tap.torn, 2);
    ::close(fd);
}

TEST_F(ReaderFreshLookTest, DamageThatStaysIsReportedWithItsExactText) {
    const std::string expected = "Index file damaged - " + m_indexPath + ": tag NAME: node block " +
                                 std::to_string(m_leafFirstRecord) + " lies outside the file";
    // The clock past the file's last write: a look can tell that nobody writes it (before, every
    // look drops what it read, runs of blocks that hold the torn one included).
    test::waitUntilSettled(m_indexPath);
    TearingTap tap(m_indexPath, m_leaf);
    tap.tears = -1;
    EXPECT_EQ(damageOf([&] { test::visibleNames(m_set); }), expected);
    // Nobody was changing the file: one more look was enough to tell.
    EXPECT_EQ(tap.torn, 2);

    // With another handle holding the index lock all along, the reader gives up once a writer
    // would have given up waiting for that lock (here 3 attempts 10 ms apart), and reports what
    // it reads.
    test::ShortLockWait shortWait;
    auto writer = holdIndexLock();
    tap.torn = 0;
    EXPECT_EQ(damageOf([&] { m_set.GotoRecNo(m_leafFirstRecord); }), expected);
    EXPECT_GT(tap.torn, 2);
    EXPECT_LT(tap.torn, 100);
}

}  // namespace
}  // namespace abonex
