// Appends in batches: spans of one hold of the locks each, with the header written once per
// span, the other writers let in between spans, and every row and key there at the end.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/dataset/db_handler.h"
#include "engine/file/byte_order.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

TEST(AppendBatchTest, RowsGoInSpansThatWriteTheHeaderOnceAndLetOtherWritersInBetween) {
    test::TempDir dir;
    test::makePersonsTable(dir.path(), {});
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    GSobjMDXFile& othersIndex = *other.handler()->indexFile(0);

    constexpr int kRows = 2 * GSO_dBHandler::AppendBatch::kMaxRows + 40;
    test::HeaderWrites headers("/Phone.DBF");
    setDiskFileTap(&headers);
    int spans = 0;
    bool othersKeptOut = true;
    {
        GSO_dBHandler::AppendBatch batch(*set.handler());
        for (int i = 0; i < kRows; ++i) {
            set.Append();
            set.FieldByName("NAME").SetAsString("Row" + std::to_string(100000 + i));
            set.Post();
            // Between two appends of a span nobody else may write.
            if (i % 50 == 0) othersKeptOut = othersKeptOut && othersIndex.changingElsewhere();
        }
        batch.finish();
        EXPECT_FALSE(othersIndex.changingElsewhere());
        spans = batch.spans();
    }
    setDiskFileTap(nullptr);
    EXPECT_TRUE(othersKeptOut);
    // At most kMaxRows rows a span (a slow machine ends spans sooner, by their age).
    EXPECT_GE(spans, 3);
    EXPECT_EQ(headers.count, spans);

    const auto bytes = test::readFileBytes(dir.file("Phone.DBF"));
    EXPECT_EQ(getLE32(bytes.data() + dbf::kHdrRecordCount), static_cast<uint32_t>(kRows));
    test::expectIndexClean(dir.path());
    other.Refresh();
    EXPECT_EQ(test::visibleNames(other).size(), static_cast<size_t>(kRows));
}

TEST(AppendBatchTest, AnotherWriterAppendsBetweenSpansAndBothRowsAreKept) {
    test::TempDir dir;
    test::makePersonsTable(dir.path(), {});
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    {
        GSO_dBHandler::AppendBatch batch(*set.handler());
        for (int i = 0; i < 3; ++i) {
            set.Append();
            set.FieldByName("NAME").SetAsString("Mine" + std::to_string(i));
            set.Post();
            batch.finish();  // the other writer's turn
            other.Append();
            other.FieldByName("NAME").SetAsString("Theirs" + std::to_string(i));
            other.Post();
        }
    }
    test::expectIndexClean(dir.path());
    set.Refresh();
    EXPECT_EQ(test::visibleNames(set), (std::vector<std::string>{"Mine0", "Mine1", "Mine2",
                                                                 "Theirs0", "Theirs1", "Theirs2"}));
}

// Counts the system calls that wrote to the table and to its index file.
class WritesByFile : public DiskFileTap {
  public:
    void wrote(const std::string& path, uint64_t, const uint8_t*, size_t) override {
        if (path.ends_with("/Phone.DBF")) ++table;
        if (path.ends_with("/Phone.MDX")) ++index;
    }
    int table = 0;
    int index = 0;
};

TEST(AppendBatchTest, OnANetworkShareASpanWritesEachFileInAFewCallsAndEveryRowIsThere) {
    const test::OnNetworkShare share;
    test::TempDir dir;
    test::makePersonsTable(dir.path(), {});
    TEngineDataSet set;
    test::openPersons(set, dir.path());
    TEngineDataSet other;
    test::openPersons(other, dir.path());
    ASSERT_TRUE(set.handler()->onNetworkShare());

    constexpr int kRows = 2 * GSO_dBHandler::AppendBatch::kMaxRows + 40;
    WritesByFile writes;
    setDiskFileTap(&writes);
    int spans = 0;
    std::vector<std::string> expected;
    const uint64_t tableReadsBefore = set.handler()->systemReads();
    {
        GSO_dBHandler::AppendBatch batch(*set.handler());
        for (int i = 0; i < kRows; ++i) {
            set.Append();
            expected.push_back("Row" + std::to_string(100000 + i));
            set.FieldByName("NAME").SetAsString(expected.back());
            set.Post();
            if (i % 200 == 199) {
                // Another writer between two spans: its row and its keys are not lost under
                // what this one held.
                batch.finish();
                other.Append();
                expected.push_back("Row" + std::to_string(100000 + i) + "b");
                other.FieldByName("NAME").SetAsString(expected.back());
                other.Post();
            }
        }
        batch.finish();
        spans = batch.spans();
    }
    setDiskFileTap(nullptr);
    // Not a call per row: the records of a span and its header, and each index page it
    // changed, go out once at its end.
    EXPECT_GE(spans, 3);
    EXPECT_LE(writes.table, 2 * spans + 2 * 2);  // (+ the other writer's two appends)
    EXPECT_LE(writes.index, 12 * spans + 2 * 12);
    EXPECT_LT(writes.index, kRows / 4);
    // Nor a read of the table's header per row: a span reads its pages once.
    EXPECT_LT(set.handler()->systemReads() - tableReadsBefore, uint64_t{kRows} / 4);

    const auto bytes = test::readFileBytes(dir.file("Phone.DBF"));
    EXPECT_EQ(getLE32(bytes.data() + dbf::kHdrRecordCount), static_cast<uint32_t>(kRows + 2));
    test::expectIndexClean(dir.path());
    other.Refresh();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::visibleNames(other), expected);
}

}  // namespace
}  // namespace abonex
