// Records written over in place under the index lock: only when no tag of the open index files
// would change, with one header for many records, and never into a file the path no longer
// names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/dataset/db_handler.h"
#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "tests/engine/dataset/dataset_fixture.h"

namespace abonex {
namespace {

class OverwriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::makePersonsTable(m_dir.path(), {{"Анна", "111"}, {"Борис", "222"}, {"Вера", "333"}});
        // Beside the name tag: one on the first phone, and one whose filter leaves deleted
        // records out.
        GSO_dBaseFld dbf(m_dir.file("Phone.DBF"), false, true);
        GSobjMDXFile index(dbf, m_dir.file("Phone.MDX"));
        index.TagCreate("PHONE", "PHONE1", "", false, true);
        index.TagCreate("LIVE", "NAME", ".NOT. DELETED()", false, true);
        index.close();
    }
    // Record n's bytes as the file holds them now.
    std::vector<uint8_t> onDisk(int n) {
        const auto bytes = test::readFileBytes(m_dir.file("Phone.DBF"));
        const DBFObject& table = *m_set.handler();
        const auto length = static_cast<size_t>(table.recordLength());
        const auto at = static_cast<size_t>(table.headerLength()) + (n - 1) * length;
        return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + length)};
    }
    void put(std::vector<uint8_t>& image, const char* field, std::string_view text) {
        const DbfField& descriptor = m_set.handler()->FindField(field);
        std::memset(image.data() + descriptor.offset, ' ', static_cast<size_t>(descriptor.length));
        std::memcpy(image.data() + descriptor.offset, text.data(), text.size());
    }

    test::TempDir m_dir;
    TEngineDataSet m_set;
};

TEST_F(OverwriteTest, ARecordIsWrittenOnlyWhenNoTagWouldChange) {
    test::openPersons(m_set, m_dir.path());
    DBFObject& table = *m_set.handler();
    GSO_dBHandler::IndexLocks locks(table);
    const std::vector<uint8_t> before = onDisk(2);

    std::vector<uint8_t> comment = before;
    put(comment, "COMMENT", "note");
    EXPECT_TRUE(table.overwriteKeepingKeys(2, before.data(), comment.data()));
    EXPECT_EQ(onDisk(2), comment);

    // The first phone is the key of a tag; a deletion changes what the filtered tag holds.
    std::vector<uint8_t> phone = comment;
    put(phone, "PHONE1", "999");
    EXPECT_FALSE(table.overwriteKeepingKeys(2, comment.data(), phone.data()));
    std::vector<uint8_t> deleted = comment;
    deleted[0] = kDeletedFlag;
    EXPECT_FALSE(table.overwriteKeepingKeys(2, comment.data(), deleted.data()));
    EXPECT_EQ(onDisk(2), comment);
    // The images the caller gave are left as they were.
    EXPECT_EQ(phone[0], kLiveFlag);
    EXPECT_EQ(deleted[0], kDeletedFlag);
}

TEST_F(OverwriteTest, ManyRecordsGetOneHeaderAndTheIndexStaysClean) {
    test::openPersons(m_set, m_dir.path());
    DBFObject& table = *m_set.handler();
    const auto headerBefore = test::readFileBytes(m_dir.file("Phone.DBF"));
    test::HeaderWrites headers("/Phone.DBF");
    setDiskFileTap(&headers);
    {
        GSO_dBHandler::IndexLocks locks(table);
        for (int n = 1; n <= 3; ++n) {
            const std::vector<uint8_t> before = onDisk(n);
            std::vector<uint8_t> after = before;
            put(after, "PHONE2", std::to_string(n * 7));
            ASSERT_TRUE(table.overwriteKeepingKeys(n, before.data(), after.data()));
        }
        EXPECT_EQ(headers.count, 0);
        table.writeHeaderOfOverwrites();
        table.writeHeaderOfOverwrites();  // nothing more was written
    }
    setDiskFileTap(nullptr);
    EXPECT_EQ(headers.count, 1);
    const auto bytes = test::readFileBytes(m_dir.file("Phone.DBF"));
    EXPECT_EQ(getLE32(bytes.data() + dbf::kHdrRecordCount), 3u);
    EXPECT_EQ(bytes.size(), headerBefore.size());
    test::expectIndexClean(m_dir.path());

    // Another handle reads what was written.
    TEngineDataSet other;
    test::openPersons(other, m_dir.path());
    other.GotoRecNo(3);
    EXPECT_EQ(other.FieldByName("PHONE2").AsString(), "21");
    EXPECT_EQ(other.FieldByName("PHONE1").AsString(), "333");
}

TEST_F(OverwriteTest, AFileThePathNoLongerNamesIsNotWritten) {
    test::openPersons(m_set, m_dir.path());
    DBFObject& table = *m_set.handler();
    const std::vector<uint8_t> before = onDisk(1);
    // Another program writes a new table and renames it into place.
    const std::string path = m_dir.file("Phone.DBF");
    std::filesystem::copy_file(path, path + ".new");
    std::filesystem::rename(path + ".new", path);
    std::vector<uint8_t> after = before;
    put(after, "COMMENT", "lost?");
    try {
        table.overwriteKeepingKeys(1, before.data(), after.data());
        ADD_FAILURE() << "a replaced file was written";
    } catch (const EEngineError& error) {
        EXPECT_EQ(error.code(), err::kFileReplaced);
    }
    EXPECT_EQ(onDisk(1), before);
}

}  // namespace
}  // namespace abonex
