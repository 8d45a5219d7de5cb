// The shared program folder: which folders count as shared, the umask the program and the tool
// take at start, and the modes of the files the tool makes there.
#include "directory/shared_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::runCommand;
using test::shellQuote;
using test::TempDir;

mode_t modeOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return static_cast<mode_t>(-1);
    return status.st_mode & 07777;
}

std::string makeFolder(const TempDir& dir, const std::string& name, mode_t mode) {
    std::string path = dir.file(name);
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
    // chmod, not mkdir's mode: the test's own umask must not decide the bits.
    EXPECT_EQ(::chmod(path.c_str(), mode), 0) << path;
    return path;
}

// Sets the umask for one test and puts the process's own back afterwards.
class UmaskGuard {
  public:
    explicit UmaskGuard(mode_t mask) : m_saved(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_saved); }
    mode_t current() const {
        mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }

  private:
    mode_t m_saved;
};

TEST(SharedFolderTest, OnlyAGroupWritableFolderWithTheSetGroupIdBitIsShared) {
    TempDir dir;
    EXPECT_TRUE(isSharedFolder(makeFolder(dir, "shared", 02775)));
    EXPECT_TRUE(isSharedFolder(makeFolder(dir, "shared-private", 02770)));
    EXPECT_FALSE(isSharedFolder(makeFolder(dir, "plain", 0755)));
    EXPECT_FALSE(isSharedFolder(makeFolder(dir, "group-writable", 0775)));
    EXPECT_FALSE(isSharedFolder(makeFolder(dir, "setgid-read-only", 02755)));
    EXPECT_FALSE(isSharedFolder(dir.file("missing")));
    EXPECT_FALSE(isSharedFolder(""));
    // A file with those bits is no folder.
    std::string file = dir.file("file");
    test::writeFileBytes(file, {'x'});
    ASSERT_EQ(::chmod(file.c_str(), 02775), 0);
    EXPECT_FALSE(isSharedFolder(file));
    // The program folder is given with its trailing slash.
    EXPECT_TRUE(isSharedFolder(dir.file("shared") + "/"));
}

TEST(SharedFolderTest, StartingInASharedFolderOpensOnlyTheGroupBitsOfTheUmask) {
    TempDir dir;
    const std::string shared = makeFolder(dir, "shared", 02775);
    const std::string plain = makeFolder(dir, "plain", 0755);
    struct Case {
        mode_t before;
        mode_t after;
    };
    for (Case c : {Case{022, 002}, Case{077, 007}, Case{027, 007}, Case{002, 002}}) {
        UmaskGuard guard(c.before);
        EXPECT_TRUE(shareNewFilesWithGroup(shared));
        EXPECT_EQ(guard.current(), c.after) << std::oct << c.before;
    }
    UmaskGuard guard(022);
    EXPECT_FALSE(shareNewFilesWithGroup(plain));
    EXPECT_FALSE(shareNewFilesWithGroup(dir.file("missing")));
    EXPECT_EQ(guard.current(), 022u);
}

// The tool decides by its own folder: a copy of it in a shared folder makes tables and index
// files the group can write, the same copy in a plain folder does not.
TEST(SharedFolderTest, TheToolMakesGroupWritableFilesWhenItRunsFromASharedFolder) {
    TempDir dir;
    for (mode_t folderMode : {02775, 0755}) {
        const bool shared = folderMode == 02775;
        const std::string folder = makeFolder(dir, shared ? "shared" : "plain", folderMode);
        const std::string tool = folder + "/abonex-db";
        std::filesystem::copy_file(test::toolPath(), tool);
        auto created =
            runCommand("umask 022 && " + shellQuote(tool) + " create " + shellQuote(folder));
        ASSERT_EQ(created.status, 0) << created.err;
        for (const char* name :
             {"Phone.DBF", "Phone.MDX", "Org.dbf", "Org.MDX", "Favor.dbf", "Favor.MDX"}) {
            EXPECT_EQ(modeOf(folder + "/" + name), shared ? 0664u : 0644u)
                << name << " in " << (shared ? "a shared" : "a plain") << " folder";
        }
    }
}

// Installed, the tool is started through a link on the search path: it decides by the folder
// the link leads to, not by the link's own.
TEST(SharedFolderTest, TheToolStartedThroughALinkDecidesByTheFolderItLeadsTo) {
    TempDir dir;
    const std::string shared = makeFolder(dir, "shared", 02775);
    const std::string bin = makeFolder(dir, "bin", 0755);
    std::filesystem::copy_file(test::toolPath(), shared + "/abonex-db");
    std::filesystem::create_symlink(shared + "/abonex-db", bin + "/abonex-db");
    auto created = runCommand("umask 022 && " + shellQuote(bin + "/abonex-db") + " create " +
                              shellQuote(shared));
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(modeOf(shared + "/Phone.DBF"), 0664u);
    EXPECT_EQ(modeOf(shared + "/Phone.MDX"), 0664u);
}

}  // namespace
}  // namespace abonex
