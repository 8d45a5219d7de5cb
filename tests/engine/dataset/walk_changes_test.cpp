// A walk through the name tag keeps what it read; another copy that writes the index file while
// the walk is passing over rejected records must not lead it along branches that are no longer
// there. The walk notices the change when it leaves its leaf and goes on in the tree as it is.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/file/disk_file_tap.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

std::string ansi(const std::string& utf8) {
    return *utf8ToAnsi(utf8);
}

// Runs `change` once, at the first read of the file `path` that `when` (offset, byte count)
// picks. The reader gets the bytes it read before the change, or, with `showChange`, the bytes
// as the file holds them after it: its read came after another copy's writes, while what it
// read before (the branch above a leaf) came before them.
class ChangeAtRead : public DiskFileTap {
  public:
    ChangeAtRead(std::string path, std::function<bool(uint64_t, size_t)> when,
                 std::function<void()> change, bool showChange)
        : m_path(std::move(path)),
          m_when(std::move(when)),
          m_change(std::move(change)),
          m_showChange(showChange) {
        setDiskFileTap(this);
    }
    ~ChangeAtRead() override { setDiskFileTap(nullptr); }

    void read(const std::string& path, uint64_t offset, uint8_t* buffer, size_t count) override {
        if (done || m_busy || path != m_path || !m_when(offset, count)) return;
        m_busy = true;  // the change's own reads of the file pass by
        m_change();
        m_busy = false;
        done = true;
        if (!m_showChange) return;
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::pread(fd, buffer, count, static_cast<off_t>(offset)),
                  static_cast<ssize_t>(count));
        ::close(fd);
    }

    bool done = false;

  private:
    std::string m_path;
    std::function<bool(uint64_t, size_t)> m_when;
    std::function<void()> m_change;
    bool m_showChange;
    bool m_busy = false;
};

TEST(WalkChanges, AWalkThatLeavesItsLeafAfterAnotherCopySplitALeafAheadFindsEveryKey) {
    test::TempDir dir;
    std::vector<test::Person> people;
    for (int i = 0; i < 1000; ++i) people.push_back({"Житель" + std::to_string(1000 + i), "1"});
    test::makePersonsTable(dir.path(), people);

    TEngineDataSet walker;
    walker.setFiltered(true);
    walker.OnFilterRecord = [](TEngineDataSet& set, bool& accept) {
        accept = set.Fields(0).AsString().find('X') != std::string::npos;
    };
    test::openPersons(walker, dir.path());
    const std::string indexPath = walker.handler()->indexFile(0)->path();

    // While the walk reads its eighth node block (alone, or in a run with the leaves after it),
    // another copy adds 40 names far ahead of it, into one leaf, which splits: its first half
    // moves to a new block that the branch the walk holds does not know, and a run read before
    // holds the leaf as it was.
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    std::vector<std::string> added;
    size_t blocks = 0;
    auto eighthNodeRead = [&](uint64_t, size_t count) {
        if (count == 0 || count % 1024 != 0) return false;
        blocks += count / 1024;
        return blocks >= 8;
    };
    ChangeAtRead tap(
        indexPath, eighthNodeRead,
        [&] {
            for (int i = 0; i < 40; ++i) {
                added.push_back(ansi("Житель1700X") + std::to_string(10 + i));
                other.Append();
                other.Fields(0).SetAsString(added.back());
                other.Post();
            }
        },
        false);
    std::vector<std::string> found;
    for (walker.First(); !walker.Eof(); walker.Next()) found.push_back(walker.Fields(0).AsString());
    ASSERT_TRUE(tap.done);
    EXPECT_EQ(found, added);
    test::expectIndexClean(dir.path());
}

struct SplitCase {
    bool forward;
    bool filtered;
};

class SplitUnderAWalk : public ::testing::TestWithParam<SplitCase> {};

// The walk leaves a leaf for the next one (in its direction) through the branch it holds; the
// next leaf is read (alone, or in a run with the leaves after it) just after another copy split it:
// the branch knows only the block that kept the leaf's second half. Every name that was in the
// table all along comes once.
TEST_P(SplitUnderAWalk, EveryNameThatStaysComesOnce) {
    const SplitCase param = GetParam();
    test::TempDir dir;
    std::vector<test::Person> people;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("Name" + std::to_string(1000 + i));
        people.push_back({names.back(), "1"});
    }
    test::makePersonsTable(dir.path(), people);

    TEngineDataSet walker;
    if (param.filtered) {
        // Every name passes, but through the filter: the walk tests each key and passes over
        // the keys it rejects leaf by leaf.
        auto table = std::make_shared<KeyMatchTable>([](uint8_t a, uint8_t b) { return a == b; });
        walker.OnFilterRecord = [](TEngineDataSet& set, bool& accept) {
            accept = set.Fields(0).AsString().find("Name") != std::string::npos;
        };
        walker.OnFilterKey = [table](TEngineDataSet&) {
            return std::optional<KeyFilter>(KeyFilter(KeyFilter::Kind::Contains, 0, "Name", table));
        };
        walker.setFiltered(true);
    }
    test::openPersons(walker, dir.path());
    const std::string indexPath = walker.handler()->indexFile(0)->path();

    // The fourth leaf under the root (third from the end going backwards): its middle name
    // gets 40 names right behind it, so that it splits when written.
    const std::vector<uint8_t> bytes = test::readFileBytes(indexPath);
    const uint32_t header = test::le32(bytes, 512 + 32);
    const uint32_t root = test::le32(bytes, header * 512);
    const uint32_t entryLength = test::le16(bytes, header * 512 + 18);
    const uint32_t leaves = test::le32(bytes, root * 512) + 1;
    ASSERT_GE(leaves, 7u);
    const uint32_t index = param.forward ? 3 : leaves - 4;
    const uint32_t leaf = test::le32(bytes, root * 512 + 8 + index * entryLength);
    const uint32_t leafKeys = test::le32(bytes, leaf * 512);
    const std::string middle(reinterpret_cast<const char*>(bytes.data()) + leaf * 512 + 8 +
                                 (leafKeys / 2) * entryLength + 4,
                             8);

    TEngineDataSet other;
    test::openPersons(other, dir.path());
    // The read that brings the leaf's bytes: the leaf alone, or a run of blocks that holds it.
    auto leafRead = [&](uint64_t offset, size_t count) {
        const uint64_t at = uint64_t{leaf} * 512;
        return offset <= at && at + 1024 <= offset + count;
    };
    ChangeAtRead tap(
        indexPath, leafRead,
        [&] {
            for (int i = 0; i < 40; ++i) {
                other.Append();
                other.Fields(0).SetAsString(middle + "x" + std::to_string(10 + i));
                other.Post();
            }
        },
        true);
    std::map<std::string, int> seen;
    if (param.forward) {
        for (walker.First(); !walker.Eof(); walker.Next()) ++seen[walker.Fields(0).AsString()];
    } else {
        for (walker.Last(); !walker.Bof(); walker.Prior()) ++seen[walker.Fields(0).AsString()];
    }
    ASSERT_TRUE(tap.done);
    for (const std::string& name : names) EXPECT_EQ(seen[name], 1) << name;
    for (const auto& [name, count] : seen) EXPECT_EQ(count, 1) << name;
    test::expectIndexClean(dir.path());
}

INSTANTIATE_TEST_SUITE_P(Walks, SplitUnderAWalk,
                         ::testing::Values(SplitCase{true, false}, SplitCase{false, false},
                                           SplitCase{true, true}, SplitCase{false, true}),
                         [](const ::testing::TestParamInfo<SplitCase>& walk) {
                             return std::string(walk.param.forward ? "Forward" : "Backward") +
                                    (walk.param.filtered ? "Filtered" : "");
                         });

}  // namespace
}  // namespace abonex
