// The table's rollback journal: a writer killed between its write in place and the end of its
// transaction leaves a hot journal, which the next copy that opens the table rolls back, and
// only then; bytes another program wrote since stay; a table reached through a link keeps its
// journal beside the file the link names; a post with commit points is on the disk and leaves
// the journal empty.
#include "engine/file/rollback_journal.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "engine/file/engine_error.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kHeaderLength = 32 + 4 * 32 + 1;
constexpr uint64_t kRecordLength = 1 + 30 + 15 + 15 + 250;

uint64_t recordOffset(int n) {
    return kHeaderLength + static_cast<uint64_t>(n - 1) * kRecordLength;
}

Bytes recordIn(const Bytes& table, int n) {
    const auto at = table.begin() + static_cast<long>(recordOffset(n));
    return Bytes(at, at + static_cast<long>(kRecordLength));
}

uint64_t fileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// In a child process: stops for good right after the write in place of record `record` of
// `table` reached the file, telling the parent through `ready`.
class StopAfterRecordWrite : public DiskFileTap {
  public:
    StopAfterRecordWrite(std::string table, int record, int ready)
        : m_table(std::move(table)), m_offset(recordOffset(record)), m_ready(ready) {}
    void wrote(const std::string& path, uint64_t offset, const uint8_t*, size_t) override {
        if (path != m_table || offset != m_offset) return;
        const char byte = 1;
        (void)!::write(m_ready, &byte, 1);
        for (;;) ::pause();
    }

  private:
    std::string m_table;
    uint64_t m_offset;
    int m_ready;
};

class RollbackJournalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<test::Person> people;
        for (int i = 0; i < 40; ++i) people.push_back({"Житель" + std::to_string(i), "1"});
        test::makePersonsTable(m_dir.path(), people);
        m_table = m_dir.file("Phone.DBF");
        m_journal = RollbackJournal::journalPathFor(m_table);
    }
    void TearDown() override {
        if (m_writer > 0) {
            ::kill(m_writer, SIGKILL);
            ::waitpid(m_writer, nullptr, 0);
        }
    }

    // Starts another copy that edits record `record` (name, phones and comment all new) with
    // commit points and stops for good after the record's write in place, before the end of
    // its transaction. Returns once the record is written.
    void startWriterThatStops(const std::string& folder, int record) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        m_writer = ::fork();
        ASSERT_GE(m_writer, 0);
        if (m_writer == 0) {
            ::close(pipeEnds[0]);
            TEngineDataSet set;
            set.setAutoFlush(true);
            test::openPersons(set, folder);
            StopAfterRecordWrite stop(set.tablePath(), record, pipeEnds[1]);
            set.GotoRecNo(record);
            set.Edit();
            set.FieldByName("NAME").SetAsString(*utf8ToAnsi("Новое имя"));
            set.FieldByName("PHONE1").SetAsString("55-55-55");
            set.FieldByName("PHONE2").SetAsString("66-66-66");
            set.FieldByName("COMMENT").SetAsString("новый комментарий");
            setDiskFileTap(&stop);
            set.Post();
            ::_exit(3);  // the tap never lets the post end
        }
        ::close(pipeEnds[1]);
        char byte = 0;
        ASSERT_EQ(::read(pipeEnds[0], &byte, 1), 1) << "the writer ended before its write";
        ::close(pipeEnds[0]);
    }
    void killWriter() {
        ::kill(m_writer, SIGKILL);
        ::waitpid(m_writer, nullptr, 0);
        m_writer = 0;
    }

    test::TempDir m_dir;
    std::string m_table;
    std::string m_journal;
    pid_t m_writer = 0;
};

TEST_F(RollbackJournalTest, AKilledWritersJournalIsRolledBackByTheNextOpenAndALiveOnesIsNot) {
    const Bytes before = test::readFileBytes(m_table);
    startWriterThatStops(m_dir.path(), 7);
    const Bytes written = test::readFileBytes(m_table);
    ASSERT_NE(recordIn(written, 7), recordIn(before, 7));
    ASSERT_GT(fileSize(m_journal), 0u);

    // The writer is alive and holds its journal: an open leaves its write alone.
    {
        GSO_dBaseFld table(m_table, true, false);
        EXPECT_EQ(recordIn(test::readFileBytes(m_table), 7), recordIn(written, 7));
        EXPECT_GT(fileSize(m_journal), 0u);
    }
    killWriter();
    // Gone: the next open puts the old record back and empties the journal.
    TEngineDataSet set;
    test::openPersons(set, m_dir.path());
    const Bytes after = test::readFileBytes(m_table);
    EXPECT_EQ(after, before);
    EXPECT_EQ(fileSize(m_journal), 0u);
    set.GotoRecNo(7);
    EXPECT_EQ(ansiToUtf8(set.Fields(0).AsString()), "Житель6");
    test::expectIndexClean(m_dir.path());
}

TEST_F(RollbackJournalTest, BytesAnotherProgramWroteSinceTheKillAreKept) {
    const Bytes before = test::readFileBytes(m_table);
    startWriterThatStops(m_dir.path(), 12);
    killWriter();
    // Another dBASE program, which knows no journal, writes the second phone of the record
    // before a copy of ours opens the table.
    Bytes changed = test::readFileBytes(m_table);
    const uint64_t phone2 = recordOffset(12) + 1 + 30 + 15;
    std::memcpy(changed.data() + phone2, "77-77-77       ", 15);
    test::writeFileBytes(m_table, changed);

    GSO_dBaseFld table(m_table, true, false);
    const Bytes after = test::readFileBytes(m_table);
    Bytes expected = before;
    std::memcpy(expected.data() + phone2, "77-77-77       ", 15);
    EXPECT_EQ(recordIn(after, 12), recordIn(expected, 12));
    EXPECT_EQ(fileSize(m_journal), 0u);
}

TEST_F(RollbackJournalTest, ATableReachedThroughALinkKeepsItsJournalBesideTheFileTheLinkNames) {
    test::TempDir linked;
    for (const char* name : {"Phone.DBF", "Phone.MDX"}) {
        ASSERT_EQ(::symlink(m_dir.file(name).c_str(), linked.file(name).c_str()), 0);
    }
    EXPECT_EQ(RollbackJournal::journalPathFor(linked.file("Phone.DBF")), m_journal);
    const Bytes before = test::readFileBytes(m_table);
    startWriterThatStops(linked.path(), 3);
    EXPECT_GT(fileSize(m_journal), 0u);
    EXPECT_FALSE(std::filesystem::exists(linked.file("Phone.DBF-journal")));
    killWriter();
    // A copy that opens the table by its own name finds the journal there.
    { GSO_dBaseFld table(m_table, true, false); }
    EXPECT_EQ(test::readFileBytes(m_table), before);
    EXPECT_TRUE(std::filesystem::is_symlink(linked.file("Phone.DBF")));
    EXPECT_EQ(fileSize(m_journal), 0u);
}

// Fails the first write to `path` (at `offset`, or anywhere when none is given) once it reached
// the file, as a disk that reports an error after taking a write does.
class FailWrite : public DiskFileTap {
  public:
    explicit FailWrite(std::string path, std::optional<uint64_t> offset = std::nullopt)
        : m_path(std::move(path)), m_offset(offset) {}
    void wrote(const std::string& path, uint64_t offset, const uint8_t*, size_t) override {
        if (path != m_path || (m_offset && offset != *m_offset) || m_failed) return;
        m_failed = true;
        throw EEngineError("the disk failed");
    }

  private:
    std::string m_path;
    std::optional<uint64_t> m_offset;
    bool m_failed = false;
};

TEST_F(RollbackJournalTest, APostThatFailsHalfWayIsUndoneAndCanBeMadeAgain) {
    const Bytes before = test::readFileBytes(m_table);
    TEngineDataSet set;
    set.setAutoFlush(true);
    test::openPersons(set, m_dir.path());
    set.GotoRecNo(20);
    set.Edit();
    set.FieldByName("NAME").SetAsString(*utf8ToAnsi("Неудачная правка"));
    FailWrite fail(set.tablePath(), recordOffset(20));
    setDiskFileTap(&fail);
    EXPECT_THROW(set.Post(), EEngineError);
    setDiskFileTap(nullptr);
    EXPECT_EQ(test::readFileBytes(m_table), before);
    EXPECT_EQ(fileSize(m_journal), 0u);
    // The edit is still there to be posted again.
    set.Post();
    set.GotoRecNo(20);
    EXPECT_EQ(ansiToUtf8(set.Fields(0).AsString()), "Неудачная правка");
    test::expectIndexClean(m_dir.path());
}

TEST_F(RollbackJournalTest, ACommitThatFailsAtTheIndexIsRolledBackByTheNextWriteOfTheSameCopy) {
    TEngineDataSet set;
    set.setAutoFlush(true);
    test::openPersons(set, m_dir.path());
    set.GotoRecNo(25);
    set.Edit();
    set.FieldByName("NAME").SetAsString(*utf8ToAnsi("Аааа первый"));
    FailWrite fail(set.handler()->indexFile(0)->path());
    setDiskFileTap(&fail);
    EXPECT_THROW(set.Post(), EEngineError);
    setDiskFileTap(nullptr);
    // Left hot, with the index page's old bytes in it: this copy's next write, under the
    // index lock it holds itself, rolls it back first.
    EXPECT_GT(fileSize(m_journal), 0u);
    set.Post();
    EXPECT_EQ(fileSize(m_journal), 0u);
    set.First();
    EXPECT_EQ(ansiToUtf8(set.Fields(0).AsString()), "Аааа первый");
    test::expectIndexClean(m_dir.path());
}

// Counts the flushes of each file.
class Flushes : public DiskFileTap {
  public:
    void flushed(const std::string& path) override { ++counts[path]; }
    std::map<std::string, int> counts;
};

TEST_F(RollbackJournalTest, APostWithCommitPointsIsFlushedAndLeavesTheJournalEmpty) {
    TEngineDataSet set;
    set.setAutoFlush(true);
    test::openPersons(set, m_dir.path());
    Flushes flushes;
    setDiskFileTap(&flushes);
    test::renameRecord(set, 5, "Переименован");
    set.Append();
    set.FieldByName("NAME").SetAsString(*utf8ToAnsi("Новый житель"));
    set.Post();
    set.GotoRecNo(9);
    set.Delete();
    setDiskFileTap(nullptr);
    const std::string index = set.handler()->indexFile(0)->path();
    // Each of the three is a commit point: the table and its index reach the disk each time.
    EXPECT_GE(flushes.counts[set.tablePath()], 3);
    EXPECT_GE(flushes.counts[index], 3);
    EXPECT_GE(flushes.counts[m_journal], 3);
    EXPECT_EQ(fileSize(m_journal), 0u);
    // Without commit points nothing is flushed.
    set.setAutoFlush(false);
    set.Close();
    test::openPersons(set, m_dir.path());
    Flushes none;
    setDiskFileTap(&none);
    test::renameRecord(set, 6, "Без сброса");
    setDiskFileTap(nullptr);
    EXPECT_EQ(none.counts.size(), 0u);
    test::expectIndexClean(m_dir.path());
}

}  // namespace
}  // namespace abonex
