// The quick look at start-up: whether an index file still holds the table as it is, so that rows
// can be shown from it before the rebuild. Each case leaves the index as a real mishap would: a
// rebuild killed before a tag's tree was written, rows another program appended or changed
// without touching the index, a table cut shorter behind the index.
#include <gtest/gtest.h>

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

    // Rewrites the name of record `n` in the table alone, as other dBASE software would.
    void renameBehindTheIndex(int n, const std::string& name) {
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

}  // namespace
}  // namespace abonex
