// Whether an index file still describes the table: the quick look at start-up, before rows are
// shown from it, the looks a reader takes at the open, at each search and at the end of a walk,
// and the look at each row a walk hands out. Each case leaves the index as a real mishap would:
// a rebuild killed before a tag's tree was written, rows another program appended or changed
// without touching the index, a table cut shorter behind the index.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

// 300 persons in an order unlike the name order, so that the tag's first entries, the first
// records and the records spread over the table are different records.
std::vector<test::Person> manyPersons() {
    std::vector<test::Person> people;
    for (int i = 0; i < 300; ++i) {
        const int shuffled = (i * 37) % 300;
        people.push_back({"Житель " + std::to_string(1000 + shuffled), std::to_string(i)});
    }
    people[120].deleted = true;
    return people;
}

class IndexCoverTest : public ::testing::Test {
  protected:
    void SetUp() override { test::makePersonsTable(m_dir.path(), manyPersons()); }

    std::string table() const { return m_dir.file("Phone.DBF"); }
    std::string index() const { return m_dir.file("Phone.MDX"); }

    bool covers() {
        TEngineDataSet set;
        test::openPersons(set, m_dir.path());
        return set.IndexesCoverTable();
    }

    // A second tag, on the first phone, beside NAME.
    void addPhoneTag() {
        GSO_dBaseFld dbf(table(), false, true);
        GSobjMDXFile file(dbf, index());
        file.TagCreate("PHONE", "PHONE1", "", false, true);
        file.close();
    }

    // The tag header of `tag` names no root, as a rebuild leaves it until the tag's tree is
    // written.
    void clearRoot(const std::string& tag) {
        uint32_t headerBlock = 0;
        {
            GSO_dBaseFld dbf(table(), false, false);
            GSobjMDXFile file(dbf, index());
            headerBlock = file.findTag(tag)->headerBlock();
            file.close();
        }
        std::vector<uint8_t> bytes = test::readFileBytes(index());
        test::putLe32(bytes, size_t{headerBlock} * 512, 0);
        test::writeFileBytes(index(), bytes);
    }

    // Rewrites the name of record `n` in the table alone, as other dBASE software would, a while
    // after the index was written.
    void renameBehindTheIndex(int n, const std::string& name) {
        test::ageModifiedTime(index(), 10);
        GSO_dBaseFld dbf(table(), false, true);
        dbf.GotoRecord(n);
        dbf.FieldPut("NAME", *utf8ToOem(name));
        dbf.ReplaceRecord(n);
    }

    test::TempDir m_dir;
};

TEST_F(IndexCoverTest, AWholeIndexCoversAndTheSetStandsOnTheFirstRow) {
    addPhoneTag();
    TEngineDataSet set;
    test::openPersons(set, m_dir.path());
    EXPECT_TRUE(set.IndexesCoverTable());
    ASSERT_FALSE(set.Eof());
    EXPECT_EQ(ansiToUtf8(set.Fields(0).AsString()), "Житель 1000");
    test::expectIndexClean(m_dir.path());
}

TEST_F(IndexCoverTest, AnEmptyTableIsCovered) {
    test::TempDir empty;
    test::makePersonsTable(empty.path(), {});
    TEngineDataSet set;
    test::openPersons(set, empty.path());
    EXPECT_TRUE(set.IndexesCoverTable());
    EXPECT_TRUE(set.Eof());
}

TEST_F(IndexCoverTest, ATagLeftWithoutARootByAKilledRebuildIsNotCovered) {
    clearRoot("NAME");
    EXPECT_FALSE(covers());
    // The rebuild the start then makes repairs it.
    TEngineDataSet set;
    test::openPersons(set, m_dir.path());
    set.ReindexAll();
    EXPECT_TRUE(set.IndexesCoverTable());
    EXPECT_EQ(test::visibleNames(set).size(), 299u);
}

TEST_F(IndexCoverTest, EveryTagIsLookedAtNotOnlyTheOneThatOrdersTheRows) {
    // Killed while it wrote the second tag: the first is whole, the second has no root yet.
    addPhoneTag();
    ASSERT_TRUE(covers());
    clearRoot("PHONE");
    EXPECT_FALSE(covers());
}

TEST_F(IndexCoverTest, RowsAppendedWithoutTheirKeysAreNotCovered) {
    {
        GSO_dBaseFld dbf(table(), false, true);
        dbf.BlankRecord();
        dbf.FieldPut("NAME", *utf8ToOem("Новосёл"));
        dbf.AppendRecord();
    }
    EXPECT_FALSE(covers());
}

TEST_F(IndexCoverTest, AFirstRowRenamedBehindTheIndexIsNotCovered) {
    // Record 1 holds "Житель 1000", the first row in name order.
    renameBehindTheIndex(1, "Яковлев");
    EXPECT_FALSE(covers());
}

TEST_F(IndexCoverTest, ARecordInTheMiddleRenamedBehindTheIndexIsFoundBySampling) {
    // Record 200 is not among the first rows nor the first records; the stride meets it.
    const int stride = 300 / GSO_dBHandler::kCoverSamples;
    ASSERT_EQ(200 % stride, 0);
    renameBehindTheIndex(200, "Яковлев");
    EXPECT_FALSE(covers());
}

TEST_F(IndexCoverTest, ATableCutShorterThanItsIndexIsNotCovered) {
    // Another program drops the last hundred records, among them rows the index shows first:
    // the last record left is still indexed, the first entries now point past the end.
    std::vector<test::Person> people;
    for (int i = 0; i < 200; ++i) people.push_back({"Житель " + std::to_string(5000 + i), "1"});
    for (int i = 0; i < 100; ++i) people.push_back({"Абрамов " + std::to_string(i), "2"});
    test::TempDir dir;
    test::makePersonsTable(dir.path(), people);
    const std::string path = dir.file("Phone.DBF");
    std::vector<uint8_t> bytes = test::readFileBytes(path);
    const uint16_t headerLength = test::le16(bytes, 8);
    const uint16_t recordLength = test::le16(bytes, 10);
    test::putLe32(bytes, 4, 200);
    bytes.resize(size_t{headerLength} + 200u * recordLength);
    bytes.push_back(0x1A);
    test::writeFileBytes(path, bytes);
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    EXPECT_FALSE(set.IndexesCoverTable());
}

TEST_F(IndexCoverTest, ARowRenamedWhereNoSampleLooksIsToldByTheTimesAndByTheWalk) {
    // Record 203 ("Житель 1274") is neither among the first records, nor on the stride, nor
    // among the first rows in name order.
    ASSERT_NE(203 % (300 / GSO_dBHandler::kCoverSamples), 0);
    renameBehindTheIndex(203, "Перлов");
    TEngineDataSet set;
    test::openPersons(set, m_dir.path());
    for (const IndexLook look : {IndexLook::Marks, IndexLook::Samples, IndexLook::EveryKey}) {
        const auto found = set.IndexDisagreesWithTable(look);
        ASSERT_TRUE(found.has_value()) << static_cast<int>(look);
        EXPECT_EQ(found->what, "was written before another program changed the table");
        EXPECT_EQ(found->indexPath, index());
    }
    EXPECT_FALSE(set.IndexesCoverTable());

    // Where the times cannot tell (a network file system), the walk meets the row under the
    // key it had: the rows fetched are as the table holds them, and the first that disagreed
    // is kept for the reader until it rebuilds.
    ::utimensat(AT_FDCWD, index().c_str(), nullptr, 0);
    ASSERT_FALSE(set.IndexDisagreesWithTable(IndexLook::Marks).has_value());
    set.First();
    std::vector<std::string> names;
    for (const DataSetRow& row : set.fetchRows(0, 400)) names.push_back(ansiToUtf8(row.values[0]));
    EXPECT_EQ(names.size(), 299u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Перлов"), 1);
    const auto walked = set.TakeRowDisagreement();
    ASSERT_TRUE(walked.has_value());
    EXPECT_EQ(walked->what, "holds record 203 in tag NAME under a key its row no longer gives");
    EXPECT_FALSE(set.TakeRowDisagreement().has_value()) << "told once";
    // A walk standing on the row.
    const auto walkTo = [&](int record) {
        for (set.First(); !set.Eof() && set.RecNo() != record;) set.Next();
        return !set.Eof();
    };
    ASSERT_TRUE(walkTo(203));
    EXPECT_TRUE(set.RowDisagreesWithIndex().has_value());
    set.ReindexAll();
    ASSERT_TRUE(walkTo(203));
    EXPECT_FALSE(set.RowDisagreesWithIndex().has_value());
    EXPECT_FALSE(set.IndexDisagreesWithTable(IndexLook::EveryKey).has_value());
}

TEST_F(IndexCoverTest, EachLookNamesWhatItFound) {
    {
        GSO_dBaseFld dbf(table(), false, true);
        dbf.BlankRecord();
        dbf.FieldPut("NAME", *utf8ToOem("Новосёл"));
        dbf.AppendRecord();
    }
    // As on a share, where the times do not count: only the keys tell.
    ::utimensat(AT_FDCWD, index().c_str(), nullptr, 0);
    TEngineDataSet set;
    test::openPersons(set, m_dir.path());
    EXPECT_FALSE(set.IndexDisagreesWithTable(IndexLook::Marks).has_value());
    const auto sampled = set.IndexDisagreesWithTable(IndexLook::Samples);
    ASSERT_TRUE(sampled.has_value());
    EXPECT_EQ(sampled->what, "holds no key for record 301 in tag NAME");
    const auto counted = set.IndexDisagreesWithTable(IndexLook::EveryKey);
    ASSERT_TRUE(counted.has_value());
    EXPECT_EQ(counted->what, "holds 300 keys in tag NAME");
}

TEST_F(IndexCoverTest, WritesOfThisProgramLeaveNothingForAnyLook) {
    // Every kind of write, with and without commit points, then the set closed and another one
    // opened: none of them may make a reader rebuild (a window would at every search).
    const auto expectAgreement = [](TEngineDataSet& set) {
        for (const IndexLook look : {IndexLook::Marks, IndexLook::Samples, IndexLook::EveryKey}) {
            const auto found = set.IndexDisagreesWithTable(look);
            EXPECT_FALSE(found.has_value())
                << static_cast<int>(look) << " " << (found ? found->what : "");
        }
    };
    for (const bool commitPoints : {false, true}) {
        SCOPED_TRACE(commitPoints);
        // The writes come a while after the index was last written, as they would in use.
        test::ageModifiedTime(index(), 10);
        test::ageModifiedTime(table(), 10);
        {
            TEngineDataSet set;
            set.setAutoFlush(commitPoints);
            test::openPersons(set, m_dir.path());
            set.Append();
            set.Fields(0).SetAsString(*utf8ToAnsi("Новиков"));
            set.Post();
            expectAgreement(set);
            set.GotoRecNo(5);
            set.Edit();
            set.Fields(0).SetAsString(*utf8ToAnsi("Перлов"));
            set.Post();
            expectAgreement(set);
            set.GotoRecNo(7);
            set.Delete();
            expectAgreement(set);
            ASSERT_TRUE(set.Recall(7));
            expectAgreement(set);
        }
        TEngineDataSet set;
        test::openPersons(set, m_dir.path());
        expectAgreement(set);
        set.First();
        EXPECT_EQ(set.fetchRows(0, 400).size(), commitPoints ? 301u : 300u);
        EXPECT_FALSE(set.TakeRowDisagreement().has_value());
        EXPECT_TRUE(set.IndexesCoverTable());
    }
}

}  // namespace
}  // namespace abonex
