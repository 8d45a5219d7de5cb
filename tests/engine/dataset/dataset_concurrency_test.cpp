// Two processes writing one table through data sets at the same time, and other programs that
// change or replace the table under an open data set.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using test::Person;
using test::TempDir;

std::string utf8(const std::string& ansiText) {
    return ansiToUtf8(ansiText);
}
std::string ansi(const std::string& utf8Text) {
    return *utf8ToAnsi(utf8Text);
}

TEST(DataSetConcurrency, TwoWritersKeepEveryIndexFileConsistent) {
    TempDir dir;
    std::vector<Person> people;
    for (int i = 0; i < 40; ++i) people.push_back({"Исходный" + std::to_string(i), "1"});
    test::makePersonsTable(dir.path(), people);

    constexpr int kAppends = 60;
    test::ProcessSignal go;
    auto writer = [&](char id, unsigned seed) {
        return test::forkChild([&, id, seed] {
            TEngineDataSet set;
            test::openPersons(set, dir.path());
            go.wait();
            std::mt19937 random(seed);
            for (int i = 0; i < kAppends; ++i) {
                set.Append();
                set.FieldByName("NAME").SetAsString(
                    std::string(1, id) + std::to_string(random() % 1000) + "-" + std::to_string(i));
                set.Post();
                // Edit some row: locked rows are skipped, as a user would retry later.
                set.First();
                int steps = static_cast<int>(random() % 30);
                for (int s = 0; s < steps && !set.Eof(); ++s) set.Next();
                if (set.Eof()) continue;
                try {
                    set.Edit();
                    set.FieldByName("PHONE1").SetAsString(std::string(1, id) + std::to_string(i));
                    set.Post();
                } catch (const EDatabaseError&) {
                }
            }
            return 0;
        });
    };
    int a = writer('A', 1);
    int b = writer('B', 2);
    go.notify();
    go.notify();
    EXPECT_EQ(test::waitChild(a), 0);
    EXPECT_EQ(test::waitChild(b), 0);

    test::expectIndexClean(dir.path());
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    EXPECT_EQ(set.RecordCount(), 40 + 2 * kAppends);
    std::set<std::string> names;
    for (set.First(); !set.Eof(); set.Next()) names.insert(set.Fields(0).AsString());
    EXPECT_EQ(names.size(), static_cast<size_t>(40 + 2 * kAppends));
}

// A copy of the program keeps the index file open while another process adds and deletes a
// tag: the copy's next write must give the new tag its key, and stop writing the deleted one.
TEST(DataSetConcurrency, AWriterFollowsTagsThatAnotherProcessCreatesAndDeletes) {
    TempDir dir;
    std::vector<Person> people;
    for (int i = 0; i < 30; ++i) people.push_back({"Первый" + std::to_string(i), "1"});
    test::makePersonsTable(dir.path(), people);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    auto inOtherProcess = [&](const std::function<void(GSobjMDXFile&)>& change) {
        const int child = test::forkChild([&] {
            GSO_dBaseFld table(dir.file("Phone.DBF"), true, true);
            GSobjMDXFile file(table, "Phone");
            change(file);
            return 0;
        });
        return test::waitChild(child);
    };
    auto append = [&](const std::string& name, const std::string& phone) {
        set.Append();
        set.FieldByName("NAME").SetAsString(*utf8ToAnsi(name));
        set.FieldByName("PHONE1").SetAsString(phone);
        set.Post();
    };
    ASSERT_EQ(inOtherProcess(
                  [](GSobjMDXFile& file) { file.TagCreate("PHONE", "PHONE1", "", false, false); }),
              0);
    append("Второй", "22-22-22");
    test::expectIndexClean(dir.path());
    ASSERT_EQ(inOtherProcess([](GSobjMDXFile& file) { file.TagDelete("PHONE"); }), 0);
    append("Третий", "33-33-33");
    EXPECT_EQ(set.handler()->indexFile(0)->tags().size(), 1u);
    ASSERT_EQ(inOtherProcess([](GSobjMDXFile& file) {
                  file.TagCreate("PHONE", "PHONE2 + NAME", "", false, true);
              }),
              0);
    append("Четвёртый", "44-44-44");
    set.Close();
    test::expectIndexClean(dir.path());
    GSO_dBaseFld table(dir.file("Phone.DBF"), true, false);
    GSobjMDXFile file(table, "Phone");
    ASSERT_EQ(file.tags().size(), 2u);
    EXPECT_EQ(file.findTag("PHONE")->keyExpression(), "PHONE2 + NAME");
    int keys = 0;
    file.findTag("PHONE")->walkKeys([&](const TgsVariant&) { ++keys; });
    EXPECT_EQ(keys, 33);
}

std::string namesOnDisk(const std::string& dir) {
    GSO_dBaseFld table(dir + "/Phone.DBF", true, false);
    std::string names;
    for (int n = 1; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        names +=
            (table.isDeleted() ? "*" : "") + ansiToUtf8(oemToAnsi(table.FieldGet("NAME"))) + ";";
    }
    return names;
}

template <typename Action>
std::string errorOf(Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

// Copy A holds the record lock of a row it edits; copy B deletes the row (a delete takes no
// record lock). A's post must not bring the row back to life with the image it read at Edit.
TEST(DataSetConcurrency, APostAfterAnotherCopyDeletedTheRowIsRefusedAndTheRowStaysDeleted) {
    TempDir dir;
    test::makePersonsTable(dir.path(), {{"Абрамов", "1"}, {"Борисов", "2"}, {"Васильев", "3"}});
    TEngineDataSet a;
    test::openPersons(a, dir.path());
    a.GotoRecNo(2);
    a.Edit();
    a.Fields(1).SetAsString("22-22");
    const int b = test::forkChild([&] {
        TEngineDataSet set;
        test::openPersons(set, dir.path());
        set.GotoRecNo(2);
        return set.Delete() ? 0 : 1;
    });
    ASSERT_EQ(test::waitChild(b), 0);
    EXPECT_EQ(errorOf([&] { a.Post(); }), std::string(kMsgRecordDeletedElsewhere));
    // Both versions are kept: the deleted row on disk, A's edit in its edit buffer.
    EXPECT_EQ(a.State(), DataSetState::Edit);
    EXPECT_EQ(a.Fields(1).AsString(), "22-22");
    EXPECT_EQ(namesOnDisk(dir.path()), "Абрамов;*Борисов;Васильев;");
    a.Cancel();
    EXPECT_EQ(test::visibleNames(a), (std::vector<std::string>{"Абрамов", "Васильев"}));
    test::expectIndexClean(dir.path());
}

// Another program rewrites the table in place under an open edit (a spreadsheet saving the rows
// sorted another way): the edit's post would write over whoever is at that record number now.
TEST(DataSetConcurrency, APostAfterAnotherProgramRewroteTheRowInPlaceIsRefused) {
    TempDir dir;
    test::makePersonsTable(dir.path(), {{"Абрамов", "1"}, {"Васильев", "3"}, {"Борисов", "2"}});
    TEngineDataSet a;
    test::openPersons(a, dir.path());
    a.GotoRecNo(2);
    ASSERT_EQ(utf8(a.Fields(0).AsString()), "Васильев");
    a.Edit();
    a.Fields(1).SetAsString("33-33");
    // Records 2 and 3 swap places, byte for byte, without the record locks or the index.
    const std::string path = dir.file("Phone.DBF");
    std::vector<uint8_t> bytes = test::readFileBytes(path);
    const size_t header = test::le16(bytes, 8), length = test::le16(bytes, 10);
    std::swap_ranges(bytes.begin() + static_cast<long>(header + length),
                     bytes.begin() + static_cast<long>(header + 2 * length),
                     bytes.begin() + static_cast<long>(header + 2 * length));
    const int other = test::forkChild([&] {
        test::writeFileBytes(path, bytes);  // the same file, written over
        return 0;
    });
    ASSERT_EQ(test::waitChild(other), 0);
    EXPECT_EQ(errorOf([&] { a.Post(); }), std::string(kMsgRecordChangedElsewhere));
    EXPECT_EQ(namesOnDisk(dir.path()), "Абрамов;Борисов;Васильев;");
    a.Cancel();
    // With the record read again, the edit goes through.
    a.GotoRecNo(3);
    a.Edit();
    a.Fields(1).SetAsString("33-33");
    a.Post();
    GSO_dBaseFld table(path, true, false);
    table.GotoRecord(3);
    EXPECT_EQ(table.FieldGet("PHONE1"), "33-33");
    table.GotoRecord(2);
    EXPECT_EQ(table.FieldGet("PHONE1"), "2");
}

// One machine's network client: its reads of the table show what the file held at that machine's
// last look at the server, changed by its own writes only. Another machine (another path to the
// same file) reads and writes the server's bytes.
class ClientCache : public DiskFileTap {
  public:
    ClientCache(std::string clientPath, std::string serverPath)
        : m_client(std::move(clientPath)), m_server(std::move(serverPath)) {}
    void read(const std::string& path, uint64_t offset, uint8_t* buffer, size_t count) override {
        if (path != m_client) return;
        if (!m_taken) lookedAtServer(path);
        for (size_t i = 0; i < count && offset + i < m_kept.size(); ++i) {
            buffer[i] = m_kept[offset + i];
        }
    }
    void wrote(const std::string& path, uint64_t offset, const uint8_t* data,
               size_t count) override {
        if (path != m_client || !m_taken) return;
        if (m_kept.size() < offset + count) m_kept.resize(offset + count);
        std::copy(data, data + count, m_kept.begin() + static_cast<long>(offset));
    }
    void lookedAtServer(const std::string& path) override {
        if (path != m_client) return;
        m_kept = test::readFileBytes(m_server);
        m_taken = true;
        ++looks;
    }
    int looks = 0;

  private:
    std::string m_client, m_server;
    std::vector<uint8_t> m_kept;
    bool m_taken = false;
};

// Two desks edit one row through a network share in turn: each edit starts from the row as the
// last holder of its lock left it, even when the desk's client still keeps its own older copy.
TEST(DataSetConcurrency, OnANetworkShareAnEditStartsFromWhatTheLastHolderOfTheLockWrote) {
    const test::OnNetworkShare share;
    TempDir dir;
    const std::string shared = dir.file("share");
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    test::makePersonsTable(shared, {{"Абрамов", "1"}, {"Борисов", "2"}, {"Васильев", "3"}});
    // Desk A reaches the folder by another name, as another machine mounts it elsewhere.
    const std::string mountA = dir.file("a");
    ASSERT_EQ(::symlink(shared.c_str(), mountA.c_str()), 0);
    ClientCache clientA(mountA + "/Phone.DBF", shared + "/Phone.DBF");
    setDiskFileTap(&clientA);

    TEngineDataSet a, b;
    test::openPersons(a, mountA);
    test::openPersons(b, shared);
    ASSERT_TRUE(a.handler()->onNetworkShare());
    a.GotoRecNo(2);
    b.GotoRecNo(2);
    a.Edit();
    a.Fields(1).SetAsString("from A");
    a.Post();
    b.Edit();
    EXPECT_EQ(b.Fields(1).AsString(), "from A");
    b.Fields(1).SetAsString("from B");
    b.Post();

    // A's client still keeps "from A"; the edit looks at the server as it takes the lock.
    const int looksBefore = clientA.looks;
    a.Edit();
    EXPECT_GT(clientA.looks, looksBefore);
    EXPECT_EQ(a.Fields(1).AsString(), "from B");
    EXPECT_EQ(utf8(a.Fields(0).AsString()), "Борисов");
    a.Fields(1).SetAsString("from A again");
    a.Post();  // the row read under the lock is the row on the server: no "changed elsewhere"
    setDiskFileTap(nullptr);
    GSO_dBaseFld table(shared + "/Phone.DBF", true, false);
    table.GotoRecord(2);
    EXPECT_EQ(table.FieldGet("PHONE1"), "from A again");
    test::expectIndexClean(shared);
}

// Rows another copy appends come with their keys; rows other dBASE software appends do not.
TEST(DataSetConcurrency, ASetTellsRowsAppendedWithoutKeysFromRowsAnotherCopyAppended) {
    TempDir dir;
    test::makePersonsTable(dir.path(), {{"Абрамов", "1"}, {"Борисов", "2"}});
    {
        // A second tag, filtered: records that fail its filter have no key in it.
        GSO_dBaseFld table(dir.file("Phone.DBF"), true, true);
        GSobjMDXFile file(table, "Phone");
        file.TagCreate("P1", "PHONE1", "PHONE1 > \"1\"", false, true);
    }
    TEngineDataSet a, b;
    test::openPersons(a, dir.path());
    test::openPersons(b, dir.path());
    EXPECT_TRUE(a.IndexHoldsAppendedRows());
    for (const char* phone : {"1", "7"}) {
        b.Append();
        b.Fields(0).SetAsString(ansi("Васильев"));
        b.Fields(1).SetAsString(phone);
        b.Post();
    }
    EXPECT_TRUE(a.IndexHoldsAppendedRows());
    {
        GSO_dBaseFld other(dir.file("Phone.DBF"), true, true);
        other.BlankRecord();
        other.FieldPut("NAME", *utf8ToOem("Гусев"));
        other.AppendRecord();
    }
    EXPECT_FALSE(a.IndexHoldsAppendedRows());
    EXPECT_FALSE(a.IndexHoldsAppendedRows());  // still missing: nothing counted it covered
    a.ReindexAll();
    EXPECT_TRUE(a.IndexHoldsAppendedRows());
    EXPECT_EQ(test::visibleNames(a),
              (std::vector<std::string>{"Абрамов", "Борисов", "Васильев", "Васильев", "Гусев"}));
    test::expectIndexClean(dir.path());
}

// Another tool writes a new table and renames it into place while a copy has the old one open:
// what that copy writes would go to a file nobody sees, under locks nobody else takes.
TEST(DataSetConcurrency, WritesToATableAnotherProgramReplacedAreRefused) {
    TempDir dir;
    test::makePersonsTable(dir.path(), {{"Абрамов", "1"}, {"Борисов", "2"}});
    TEngineDataSet a;
    test::openPersons(a, dir.path());
    TempDir elsewhere;
    test::makePersonsTable(elsewhere.path(), {{"Абрамов", "1"}, {"Борисов", "2"}, {"Гусев", "4"}});
    const std::string table = dir.file("Phone.DBF");
    test::copyFile(elsewhere.file("Phone.DBF"), table + ".new");
    ASSERT_EQ(std::rename((table + ".new").c_str(), table.c_str()), 0);
    const auto before = test::readFileBytes(table);

    a.Append();
    a.Fields(0).SetAsString(ansi("Дмитриев"));
    EXPECT_EQ(errorOf([&] { a.Post(); }), "File was replaced by another program - " + table);
    a.Cancel();
    a.GotoRecNo(1);
    a.Edit();
    a.Fields(1).SetAsString("11");
    EXPECT_EQ(errorOf([&] { a.Post(); }), "File was replaced by another program - " + table);
    a.Cancel();
    EXPECT_EQ(test::readFileBytes(table), before);

    // Then the index file is replaced too: refused for the index file first.
    const std::string index = dir.file("Phone.MDX");
    test::copyFile(elsewhere.file("Phone.MDX"), index + ".new");
    ASSERT_EQ(std::rename((index + ".new").c_str(), index.c_str()), 0);
    a.Append();
    a.Fields(0).SetAsString(ansi("Дмитриев"));
    EXPECT_EQ(errorOf([&] { a.Post(); }), "File was replaced by another program - " + index);
    a.Cancel();
    EXPECT_EQ(test::readFileBytes(table), before);

    // Opened again, the table is the new one and takes the row.
    a.Close();
    test::openPersons(a, dir.path());
    a.Append();
    a.Fields(0).SetAsString(ansi("Дмитриев"));
    a.Post();
    EXPECT_EQ(namesOnDisk(dir.path()), "Абрамов;Борисов;Гусев;Дмитриев;");
    test::expectIndexClean(dir.path());
}

}  // namespace
}  // namespace abonex
