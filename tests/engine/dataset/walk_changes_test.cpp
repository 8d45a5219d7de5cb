// A walk through the name tag keeps what it read; another copy that writes the index file while
// the walk is passing over rejected records must not lead it along branches that are no longer
// there. The walk notices the change when it leaves its leaf and goes on in the tree as it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/file/disk_file_tap.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

std::string ansi(const std::string& utf8) {
    return *utf8ToAnsi(utf8);
}

// Runs `change` once, in the middle of the `at`-th node read of the index file `path`.
class ChangeDuringRead : public DiskFileTap {
  public:
    ChangeDuringRead(std::string path, int at, std::function<void()> change)
        : m_path(std::move(path)), m_at(at), m_change(std::move(change)) {
        setDiskFileTap(this);
    }
    ~ChangeDuringRead() override { setDiskFileTap(nullptr); }

    void read(const std::string& path, uint64_t, uint8_t*, size_t count) override {
        if (m_busy || path != m_path || count != 1024 || ++m_reads != m_at) return;
        m_busy = true;  // the change's own reads of the file pass by
        m_change();
        m_busy = false;
        done = true;
    }

    bool done = false;

  private:
    std::string m_path;
    int m_at;
    std::function<void()> m_change;
    int m_reads = 0;
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

    // While the walk reads its fifth leaf, another copy adds 40 names far ahead of it, into
    // one leaf, which splits: its first half moves to a new block that the branch the walk
    // holds does not know.
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    std::vector<std::string> added;
    ChangeDuringRead tap(indexPath, 8, [&] {
        for (int i = 0; i < 40; ++i) {
            added.push_back(ansi("Житель1700X") + std::to_string(10 + i));
            other.Append();
            other.Fields(0).SetAsString(added.back());
            other.Post();
        }
    });
    std::vector<std::string> found;
    for (walker.First(); !walker.Eof(); walker.Next()) found.push_back(walker.Fields(0).AsString());
    ASSERT_TRUE(tap.done);
    EXPECT_EQ(found, added);
    test::expectIndexClean(dir.path());
}

}  // namespace
}  // namespace abonex
