#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "engine/file/engine_error.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

using test::Person;
using test::TempDir;
using test::visibleNames;

std::string utf8(const std::string& ansi) {
    return ansiToUtf8(ansi);
}
std::string ansi(const std::string& utf8Text) {
    return *utf8ToAnsi(utf8Text);
}

template <typename Error>
void expectMessage(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error; expected " << message;
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), message);
    }
}

class DataSetTest : public ::testing::Test {
  protected:
    void make(const std::vector<Person>& people) { test::makePersonsTable(m_dir.path(), people); }
    void open() { test::openPersons(m_set, m_dir.path()); }
    TempDir m_dir;
    TEngineDataSet m_set;
};

TEST_F(DataSetTest, DeletedAndRejectedRecordsAreSkippedButCounted) {
    std::vector<Person> people;
    for (int i = 0; i < 10; ++i) {
        // Names sort in reverse record order, so tag order differs from record order.
        people.push_back({"Фамилия" + std::string(1, static_cast<char>('J' - i)),
                          "22-00-0" + std::to_string(i), i == 2 || i == 7});
    }
    make(people);
    int calls = 0;
    m_set.setFiltered(true);
    m_set.OnFilterRecord = [&](TEngineDataSet& set, bool& accept) {
        ++calls;
        EXPECT_EQ(set.State(), DataSetState::Filter);
        std::string phone = set.FieldByName("PHONE1").AsString();
        accept = phone != "22-00-01" && phone != "22-00-04" && phone != "22-00-09";
    };
    open();
    auto names = visibleNames(m_set);
    // Records 3 (H) and 8 (C) are deleted; the filter rejects I, F and A.
    EXPECT_EQ(names, (std::vector<std::string>{"ФамилияB", "ФамилияD", "ФамилияE", "ФамилияG",
                                               "ФамилияJ"}));
    EXPECT_EQ(m_set.RecordCount(), 10);
    EXPECT_GT(calls, 0);
    m_set.setExactCount(true);
    EXPECT_EQ(m_set.RecordCount(), 5);
}

TEST_F(DataSetTest, AllDeletedTableIsEmptyWithoutAskingTheFilter) {
    make({{"А", "1", true}, {"Б", "2", true}, {"В", "3", true}});
    bool asked = false;
    m_set.setFiltered(true);
    m_set.OnFilterRecord = [&](TEngineDataSet&, bool&) { asked = true; };
    open();
    m_set.First();
    EXPECT_TRUE(m_set.Eof());
    EXPECT_TRUE(m_set.Bof());
    EXPECT_TRUE(m_set.IsEmpty());
    EXPECT_FALSE(asked);
    EXPECT_EQ(m_set.RecordCount(), 3);
}

TEST_F(DataSetTest, LiveRecordCountLeavesDeletedRecordsOutAndFollowsOtherWriters) {
    // Enough records for the count to read the file in more than one block.
    std::vector<Person> people;
    for (int i = 0; i < 7000; ++i) {
        people.push_back({"Фамилия" + std::to_string(i), "1", i % 100 == 3});
    }
    make(people);
    m_set.setFiltered(true);
    m_set.OnFilterRecord = [](TEngineDataSet&, bool& accept) { accept = false; };
    open();
    // Neither the filter nor the order decides: every record not marked deleted counts.
    EXPECT_EQ(m_set.RecordCount(), 7000);
    EXPECT_EQ(m_set.LiveRecordCount(), 6930);
    // Another handle on the same file (another copy of the program) deletes and appends.
    TEngineDataSet other;
    test::openPersons(other, m_dir.path());
    other.First();
    ASSERT_TRUE(other.Delete());
    EXPECT_EQ(m_set.LiveRecordCount(), 6929);
    other.Append();
    other.Fields(0).SetAsString(ansi("Новый"));
    other.Post();
    EXPECT_EQ(m_set.LiveRecordCount(), 6930);
    EXPECT_EQ(m_set.LiveRecordCount(), 6930);  // nothing changed: the count is kept
    other.Close();
    // Closed and opened on a table with all records deleted.
    m_set.Close();
    TempDir empty;
    test::makePersonsTable(empty.path(), {{"А", "1", true}, {"Б", "2", true}});
    test::openPersons(m_set, empty.path());
    EXPECT_EQ(m_set.LiveRecordCount(), 0);
}

TEST_F(DataSetTest, FieldsTranslateAndBlankFieldsAreNull) {
    make({{"Иванов И.И.", "22-33-44"}});
    open();
    EXPECT_EQ(m_set.FieldByName("NAME").AsString(), ansi("Иванов И.И."));
    EXPECT_TRUE(m_set.FieldByName("phone2").IsNull());
    EXPECT_FALSE(m_set.Fields(1).IsNull());
    expectMessage<EDatabaseError>([&] { m_set.Fields(0).SetAsString("x"); },
                                  "Dataset not in edit or insert mode");
    m_set.Edit();
    m_set.FieldByName("COMMENT").SetAsString(ansi("ул. Ленина, 5"));
    m_set.Post();
    test::expectIndexClean(m_dir.path());
    GSO_dBaseFld table(m_dir.file("Phone.DBF"), true, false);
    table.GotoRecord(1);
    EXPECT_EQ(table.FieldGet("COMMENT"), *utf8ToOem("ул. Ленина, 5"));
}

TEST_F(DataSetTest, InsertedFirstSortingRowIsFirstAndKeysFollowEdits) {
    make({{"Петров", "1"}, {"Сидоров", "2"}});
    open();
    m_set.Insert();
    m_set.FieldByName("NAME").SetAsString(ansi("Абрамов"));
    m_set.Post();
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Абрамов", "Петров", "Сидоров"}));
    // Move Петров to the end by renaming it.
    m_set.First();
    m_set.Next();
    m_set.Edit();
    m_set.Fields(0).SetAsString(ansi("Яковлев"));
    m_set.Post();
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Абрамов", "Сидоров", "Яковлев"}));
    test::expectIndexClean(m_dir.path());
}

TEST_F(DataSetTest, CancelDropsTheChangeAndReleasesTheLock) {
    make({{"Петров", "1"}});
    open();
    m_set.Edit();
    m_set.Fields(0).SetAsString("X");
    m_set.Cancel();
    EXPECT_EQ(m_set.State(), DataSetState::Browse);
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Петров");
    EXPECT_FALSE(test::regionLocked(m_dir.file("Phone.DBF"), 0x7FFFFFFD, 1));
    m_set.Insert();
    m_set.Cancel();
    EXPECT_EQ(m_set.RecordCount(), 1);
}

TEST_F(DataSetTest, EditOfARecordLockedElsewhereIsRefused) {
    make({{"Петров", "1"}, {"Сидоров", "2"}});
    test::ProcessSignal locked, release;
    int child = test::forkChild([&] {
        TEngineDataSet other;
        test::openPersons(other, m_dir.path());
        other.Edit();  // record 1, Петров: region 0x7FFFFFFE - 1
        locked.notify();
        release.wait();
        other.Cancel();
        return 0;
    });
    ASSERT_TRUE(locked.wait());
    open();
    expectMessage<EDatabaseError>([&] { m_set.Edit(); }, "Record is locked by another user");
    EXPECT_EQ(m_set.State(), DataSetState::Browse);
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Петров");
    m_set.Next();
    m_set.Edit();  // another record: free
    m_set.Cancel();
    release.notify();
    EXPECT_EQ(test::waitChild(child), 0);
}

TEST_F(DataSetTest, AFilterSwitchWhosePendingPostFailsSwitchesNothing) {
    make({{"Петров", "1"}, {"Сидоров", "2"}, {"Иванов", "3"}});
    open();
    m_set.OnFilterRecord = [](TEngineDataSet& set, bool& accept) {
        accept = utf8(set.Fields(0).AsString()) != "Сидоров";
    };
    m_set.First();
    m_set.Edit();
    m_set.Fields(1).SetAsString("99");
    // Another copy holds the index lock for longer than a post waits.
    test::ShortLockWait shortWait;
    const std::string indexPath = m_set.handler()->indexFile(0)->path();
    GSO_DiskFile writer(indexPath, true, true);
    ASSERT_TRUE(writer.lock(indexFileLockRegion(TgsLokProtocol::Default)));
    expectMessage<EEngineError>([&] { m_set.setFiltered(true); },
                                "Error 33 in Lock of " + indexPath);
    EXPECT_FALSE(m_set.Filtered());
    EXPECT_FALSE(m_set.handler()->filterActive());
    EXPECT_EQ(m_set.State(), DataSetState::Edit);  // the user may post again or cancel

    writer.unlock();
    m_set.setFiltered(true);
    EXPECT_TRUE(m_set.Filtered());
    EXPECT_TRUE(m_set.handler()->filterActive());
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Иванов", "Петров"}));
    m_set.First();
    EXPECT_EQ(utf8(m_set.Fields(1).AsString()), "99");
}

TEST_F(DataSetTest, DeletingTheLastRowLandsOnThePreviousOne) {
    make({{"А", "1"}, {"Б", "2"}, {"В", "3"}});
    open();
    m_set.Last();
    ASSERT_EQ(utf8(m_set.Fields(0).AsString()), "В");
    EXPECT_TRUE(m_set.Delete());
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Б");
    EXPECT_TRUE(m_set.Eof());
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"А", "Б"}));
    test::expectIndexClean(m_dir.path());
}

TEST_F(DataSetTest, BeforeDeleteCanAbortSilently) {
    make({{"А", "1"}});
    open();
    m_set.BeforeDelete = [](TEngineDataSet&) { abortOperation(); };
    EXPECT_FALSE(m_set.Delete());
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"А"}));
}

TEST_F(DataSetTest, OpenIndexFilesSelectsTagByAnyCaseAndReportsMissingTags) {
    make({{"Б", "1"}, {"А", "2"}});
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("Phone.DBF");
    m_set.Open();  // no index files: record order
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Б", "А"}));
    m_set.OpenIndexFiles("PHONE.MDX", "name");
    EXPECT_EQ(m_set.IndexName(), "name");
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"А", "Б"}));
    expectMessage<EEngineError>([&] { m_set.OpenIndexFiles("PHONE.MDX", "nosuch"); },
                                "Cannot find index tag nosuch");
}

TEST_F(DataSetTest, MissingFilesAreReportedWithTheirFullPath) {
    make({{"А", "1"}});
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("Phone.DBF");
    m_set.setIndexFiles({"Other.MDX"});
    expectMessage<EDatabaseError>([&] { m_set.Open(); },
                                  "Cannot find file " + m_dir.file("Other.MDX"));
    EXPECT_FALSE(m_set.Active());
    m_set.setTableName("Nothing.dbf");
    expectMessage<EDatabaseError>([&] { m_set.Open(); },
                                  "Cannot find file " + m_dir.file("Nothing.dbf"));
    TEngineDataSet unnamed;
    expectMessage<EDatabaseError>([&] { unnamed.Open(); }, "Table name missing");
    expectMessage<EDatabaseError>([&] { unnamed.RecordCount(); },
                                  "Cannot perform this operation on a closed dataset");
}

TEST_F(DataSetTest, RenamingTheTableEmptiesIndexFilesAndTag) {
    make({{"Б", "1"}, {"А", "2"}});
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("Phone.DBF");
    m_set.setIndexFiles({"Phone.MDX"});
    m_set.setIndexName("NAME");
    m_set.setTableName("Phone.DBF");  // same text: nothing changes
    EXPECT_EQ(m_set.IndexFiles().size(), 1u);
    m_set.setTableName("phone.dbf");  // differs in case: the list is emptied
    EXPECT_TRUE(m_set.IndexFiles().empty());
    EXPECT_TRUE(m_set.IndexName().empty());
    m_set.Open();
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Б", "А"}));
    expectMessage<EDatabaseError>([&] { m_set.setTableName("Org.dbf"); },
                                  "Cannot perform this operation on an open dataset");
}

TEST_F(DataSetTest, NamingAnIndexFileTwiceFails) {
    make({{"А", "1"}});
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("Phone.DBF");
    m_set.Open();
    expectMessage<EDatabaseError>(
        [&] {
            m_set.setIndexFiles({"Phone.MDX", "PHONE.MDX"});
        },
        "Index file PHONE.MDX already open");
}

TEST_F(DataSetTest, BookmarksAndGotoRecNo) {
    make({{"Б", "1"}, {"А", "2"}});
    open();
    m_set.Last();
    EXPECT_EQ(m_set.Bookmark(), "         1");
    m_set.First();
    m_set.GotoBookmark("         1");
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Б");
    EXPECT_TRUE(m_set.BookmarkValid("2"));
    EXPECT_FALSE(m_set.BookmarkValid("3"));
    expectMessage<EDatabaseError>([&] { m_set.GotoBookmark("x1"); },
                                  "Bookmark is invalid for table Phone.DBF");
}

TEST_F(DataSetTest, ReindexAllReportsProgressAndStandsOnTheFirstRow) {
    make({{"В", "1"}, {"А", "2"}, {"Б", "3"}});
    open();
    std::vector<std::array<int, 3>> events;
    m_set.OnStatus = [&](int a, int b, int c) { events.push_back({a, b, c}); };
    m_set.Last();
    m_set.ReindexAll();
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "А");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), (std::array<int, 3>{-1, 1, 3}));
    EXPECT_EQ(events.back(), (std::array<int, 3>{0, 0, 0}));
    test::expectIndexClean(m_dir.path());
}

TEST_F(DataSetTest, RebuildThatFailsLeavesRecordNumberOrder) {
    make({{"В", "1"}, {"А", "2"}});
    open();
    GSO_DiskFile holder(m_dir.file("Phone.MDX"), true, true);
    ASSERT_TRUE(holder.lock(0x100, 1));  // inside the range a rebuild must lock whole
    expectMessage<EEngineError>([&] { m_set.ReindexAll(); },
                                "File access denied - " + m_dir.file("Phone.MDX"));
    holder.unlock();
    EXPECT_EQ(m_set.State(), DataSetState::Browse);
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"В", "А"}));
}

TEST_F(DataSetTest, FetchRowsReadsAheadWithoutMovingTheCurrentRow) {
    std::vector<Person> people;
    for (int i = 0; i < 50; ++i) people.push_back({"Имя" + std::to_string(100 + i), "1"});
    make(people);
    open();
    m_set.Next();
    m_set.Next();
    int current = m_set.RecNo();
    auto rows = m_set.fetchRows(0, 20);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(utf8(rows[0].values[0]), "Имя100");
    auto more = m_set.fetchRows(rows.back().recordNumber, 100);
    ASSERT_EQ(more.size(), 30u);
    EXPECT_EQ(utf8(more.front().values[0]), "Имя120");
    EXPECT_EQ(utf8(more.back().values[0]), "Имя149");
    EXPECT_EQ(m_set.RecNo(), current);
    m_set.Next();
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Имя103");
}

TEST_F(DataSetTest, AWalkEndsCleanlyAfterAnotherCopyRebuiltTheIndexUnderIt) {
    // Inserting one by one splits nodes into half-full blocks; a rebuild packs them anew, so
    // the blocks the walking set holds on its path no longer mean what they did. Next goes on
    // along that path: it may show rows out of order or end early, but it must not fail or
    // run forever, and a fresh First sees the rebuilt order.
    make({});
    open();
    for (int i = 0; i < 400; ++i) {
        m_set.Insert();
        m_set.Fields(0).SetAsString("N" + std::to_string(1000 + (i * 7919) % 400));
        m_set.Post();
    }
    m_set.First();
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i, m_set.Next()) seen.push_back(m_set.Fields(0).AsString());
    {
        TEngineDataSet other;
        test::openPersons(other, m_dir.path());
        other.ReindexAll();
    }
    int steps = 0;
    for (; !m_set.Eof() && steps <= 800; m_set.Next(), ++steps) {
        std::string name = m_set.Fields(0).AsString();
        EXPECT_EQ(name.size(), 5u) << "row " << m_set.RecNo() << " is not a record we wrote";
    }
    EXPECT_TRUE(m_set.Eof()) << "the walk did not end";
    std::vector<std::string> fresh;
    for (m_set.First(); !m_set.Eof(); m_set.Next()) fresh.push_back(m_set.Fields(0).AsString());
    EXPECT_EQ(fresh.size(), 400u);
    EXPECT_TRUE(std::is_sorted(fresh.begin(), fresh.end()));
    test::expectIndexClean(m_dir.path());
}

TEST_F(DataSetTest, ATableCutShorterByAnotherProgramEndsTheWalkWithoutACrash) {
    // Another program packs the table behind our back (no lock): the index still names the
    // records that were cut off, and their pages are gone from under the read mapping.
    std::vector<test::Person> people;
    for (int i = 0; i < 300; ++i) people.push_back({"Имя" + std::to_string(1000 + i), "1"});
    make(people);
    open();
    m_set.First();
    const std::string table = m_dir.path() + "/Phone.DBF";
    const std::vector<uint8_t> header = test::readFileBytes(table);
    const off_t kept = test::le16(header, 8) + 20 * test::le16(header, 10);
    ASSERT_EQ(::truncate(table.c_str(), kept), 0);
    // The walk shows the records still there and blank rows for those cut off, and ends.
    std::vector<std::string> named;
    int rows = 0;
    for (m_set.First(); !m_set.Eof() && rows <= 400; m_set.Next(), ++rows) {
        std::string name = utf8(m_set.Fields(0).AsString());
        if (!name.empty()) named.push_back(name);
    }
    EXPECT_TRUE(m_set.Eof()) << "the walk did not end";
    EXPECT_EQ(rows, 300);
    ASSERT_EQ(named.size(), 20u);
    EXPECT_EQ(named.front(), "Имя1000");
    EXPECT_EQ(named.back(), "Имя1019");
    // The grid's rows are the records that are still there.
    const std::vector<DataSetRow> fetched = m_set.fetchRows(0, 400);
    ASSERT_EQ(fetched.size(), 20u);
    EXPECT_EQ(fetched.back().recordNumber, 20);
    EXPECT_EQ(utf8(fetched.back().values.at(0)), "Имя1019");
    // Rebuilt, the index agrees with the table again.
    m_set.ReindexAll();
    EXPECT_EQ(test::visibleNames(m_set).size(), 20u);
    test::expectIndexClean(m_dir.path());
}

TEST_F(DataSetTest, ARecordCutAwayWithTheTableCanNeitherBeGoneToNorEdited) {
    // Cut inside the mapped page: the records past the new end would read as blank bytes, and
    // an edit posted on one would write it back with blank records before it.
    std::vector<test::Person> people;
    for (int i = 0; i < 10; ++i) people.push_back({"Имя" + std::to_string(i), "1"});
    make(people);
    open();
    m_set.GotoRecNo(8);
    const std::string table = m_dir.path() + "/Phone.DBF";
    const std::vector<uint8_t> header = test::readFileBytes(table);
    const off_t kept = test::le16(header, 8) + 5 * test::le16(header, 10);
    ASSERT_EQ(::truncate(table.c_str(), kept), 0);
    expectMessage<EDatabaseError>([&] { m_set.Edit(); }, "Record request beyond range of table");
    EXPECT_EQ(m_set.State(), DataSetState::Browse);
    expectMessage<EDatabaseError>([&] { m_set.GotoRecNo(7); },
                                  "Record request beyond range of table");
    expectMessage<EDatabaseError>([&] { m_set.GotoRecNo(6); },
                                  "Record request beyond range of table");
    EXPECT_EQ(test::fileSize(table), static_cast<uint64_t>(kept));
    m_set.GotoRecNo(5);
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Имя4");
}

TEST_F(DataSetTest, ATagWhoseTreeCannotBeReadOpensForTheRebuildThatRepairsIt) {
    // A rebuild killed before it built the tree leaves the tag header without a root.
    make({{"Петров", "1"}, {"Иванов", "2"}});
    std::vector<uint8_t> index = test::readFileBytes(m_dir.file("Phone.MDX"));
    const uint32_t header = test::le32(index, 512 + 32);
    std::fill_n(index.begin() + header * 512, 4, 0);
    test::writeFileBytes(m_dir.file("Phone.MDX"), index);
    open();
    EXPECT_TRUE(m_set.Active());
    EXPECT_FALSE(m_set.IsEmpty());  // what the start-up asks before it rebuilds
    expectMessage<EEngineError>([&] { m_set.First(); },
                                "Index file damaged - " + m_set.handler()->indexFile(0)->path() +
                                    ": tag NAME: node block 0 lies outside the file");
    m_set.ReindexAll();
    m_set.OpenIndexFiles("PHONE.MDX", "NAME");
    EXPECT_EQ(visibleNames(m_set), (std::vector<std::string>{"Иванов", "Петров"}));
}

TEST_F(DataSetTest, DisabledControlsHoldDataChangeUntilEnabled) {
    make({{"А", "1"}});
    open();
    int changes = 0;
    m_set.OnDataChange = [&](TEngineDataSet&) { ++changes; };
    m_set.DisableControls();
    m_set.setFiltered(false);
    m_set.setFiltered(true);
    EXPECT_EQ(changes, 0);
    m_set.EnableControls();
    EXPECT_EQ(changes, 1);
}

TEST_F(DataSetTest, PeerWrittenTableStaysConsistentThroughTheDataSet) {
    for (const char* name : {"PEOPLE.DBF", "PEOPLE.MDX"}) {
        test::copyFile(test::peerFixtureDir() + "/" + name, m_dir.file(name));
    }
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("PEOPLE.DBF");
    m_set.setIndexFiles({"PEOPLE.MDX"});
    m_set.setIndexName("NAME");
    m_set.Open();
    m_set.Insert();
    m_set.FieldByName("NAME").SetAsString(ansi("Аааа Новый"));
    m_set.FieldByName("PHONE1").SetAsString("99-99-99");
    m_set.Post();
    m_set.First();
    EXPECT_EQ(utf8(m_set.Fields(0).AsString()), "Аааа Новый");
    for (int i = 0; i < 5; ++i) m_set.Next();
    m_set.Edit();
    m_set.Fields(0).SetAsString(ansi("Ээээ Изменённый"));
    m_set.Post();
    m_set.First();
    m_set.Next();
    EXPECT_TRUE(m_set.Delete());
    m_set.Close();
    GSO_dBaseFld table(m_dir.file("PEOPLE.DBF"), true, false);
    IndexCheckReport report = checkIndexFile(table, m_dir.file("PEOPLE.MDX"));
    for (const auto& problem : report.problems) ADD_FAILURE() << formatIndexProblem(problem);
    EXPECT_EQ(report.tagsChecked, 2);
}

// PEOPLE.DBF holds 866 text although its language byte names code page 437: a data set that
// translates its text from 866 must case it by 866's letters in the keys it writes.
TEST_F(DataSetTest, TranslatedTextIsCasedByTheLettersOf866) {
    for (const char* name : {"PEOPLE.DBF", "PEOPLE.MDX"}) {
        test::copyFile(test::peerFixtureDir() + "/" + name, m_dir.file(name));
    }
    {
        GSO_dBaseFld table(m_dir.file("PEOPLE.DBF"), true, true);
        EXPECT_EQ(table.textCodePage(), TextCodePage::Ansi1251);
        table.setTextCodePage(TextCodePage::Oem866);
        GSobjMDXFile file(table, "PEOPLE");
        file.TagCreate("UNAME", "UPPER(NAME)", "", false, true);
    }
    m_set.setDatabaseName(m_dir.path());
    m_set.setTableName("PEOPLE.DBF");
    m_set.setIndexFiles({"PEOPLE.MDX"});
    m_set.setIndexName("UNAME");
    m_set.setTranslateASCII(false);
    m_set.Open();
    EXPECT_EQ(m_set.handler()->textCodePage(), TextCodePage::Ansi1251);
    m_set.Close();
    m_set.setTranslateASCII(true);
    m_set.Open();
    EXPECT_EQ(m_set.handler()->textCodePage(), TextCodePage::Oem866);
    m_set.Insert();
    m_set.FieldByName("NAME").SetAsString(ansi("ёжиков Ю."));
    m_set.Post();
    const int added = m_set.RecNo();
    m_set.Close();

    GSO_dBaseFld table(m_dir.file("PEOPLE.DBF"), true, false);
    table.setTextCodePage(TextCodePage::Oem866);
    GSobjMDXFile file(table, "PEOPLE");
    std::string key;
    file.findTag("UNAME")->walkKeys([&](const TgsVariant& entry) {
        if (entry.pointer() == static_cast<uint32_t>(added)) key = entry.bytes();
    });
    EXPECT_EQ(oemToUtf8(key), "ЁЖИКОВ Ю.");
    IndexCheckReport report = checkIndexFile(table, m_dir.file("PEOPLE.MDX"));
    for (const auto& problem : report.problems) ADD_FAILURE() << formatIndexProblem(problem);
    EXPECT_EQ(report.tagsChecked, 3);
}

}  // namespace
}  // namespace abonex
