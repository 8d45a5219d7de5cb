// The writer of new directory tables: what it stores and indexes, that it writes what the
// engine's record-at-a-time path writes, what it refuses, and that a table it did not finish is
// not left behind.
#include "directory/table_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/index_check.h"
#include "engine/index/production_index.h"
#include "tests/support/test_support.h"

namespace abonex {
namespace {

using test::TempDir;

// Rows with what a directory holds: Cyrillic with Ё, blanks inside and in front, empty fields,
// texts as wide as their fields, and deletion marks.
std::vector<DirectoryRow> sampleRows(const DirectoryTable& table, int count) {
    const std::string wide(static_cast<size_t>(table.fieldWidths[kFieldName]) - 1, 'x');
    std::vector<DirectoryRow> rows;
    for (int i = 0; i < count; ++i) {
        DirectoryRow row;
        switch (i % 5) {
            case 0:
                row.name = "Ёлкин-" + std::to_string(count - i) + " Ё.Ё.";
                break;
            case 1:
                row.name = " Пробел " + std::to_string(i);
                break;
            case 2:
                row.name = "Я" + wide;  // as many characters as the field holds
                break;
            case 3:
                row.name = "иванова " + std::to_string(i % 97);
                break;
            default:
                break;  // no name at all
        }
        row.phone1 = std::to_string(10 + i % 90) + "-" + std::to_string(10 + i % 83);
        if (i % 4 == 1) row.phone2 = "8w0-12";
        if (i % 3 == 0) row.comment = "звонить после 18:00, код " + std::to_string(i);
        row.deleted = i % 7 == 6;
        rows.push_back(row);
    }
    return rows;
}

// The table written record by record through the engine's own append path, then indexed.
void writeRecordByRecord(const std::string& path, const DirectoryTable& table,
                         const std::vector<DirectoryRow>& rows) {
    createDbfTable(path, directoryFieldSpecs(table));
    GSO_dBaseFld dbf(path, false, true);
    for (const DirectoryRow& row : rows) {
        dbf.BlankRecord();
        dbf.FieldPut(1, *utf8ToOem(row.name));
        dbf.FieldPut(2, *utf8ToOem(row.phone1));
        dbf.FieldPut(3, *utf8ToOem(row.phone2));
        dbf.FieldPut(4, *utf8ToOem(row.comment));
        dbf.AppendRecord();
        if (row.deleted) dbf.DeleteRecord();
    }
    createProductionIndex(dbf, table.tagName, nameTagExpression(table));
}

// The error `action` raises: its message, with its code for an engine error ("183: ...").
template <typename Action>
std::string errorOf(Action action) {
    try {
        action();
    } catch (const EEngineError& error) {
        return std::to_string(error.code()) + ": " + error.what();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

class TableWriterTest : public ::testing::Test {
  protected:
    std::string file(std::string_view name) const { return m_dir.file(name); }
    bool exists(std::string_view name) const { return std::filesystem::exists(file(name)); }
    static const DirectoryTable& persons() { return directoryTable(DirectoryMode::Persons); }
    static const DirectoryTable& organisations() {
        return directoryTable(DirectoryMode::Organisations);
    }

    TempDir m_dir;
};

TEST_F(TableWriterTest, StoresTheRowsAndIndexesThemByName) {
    for (const DirectoryTable* table : {&persons(), &organisations()}) {
        SCOPED_TRACE(std::string(table->tableFile));
        const std::string path = file(table->tableFile);
        DirectoryTableWriter writer(path, *table);
        // Two whole runs and part of a third.
        const auto count = static_cast<int>(2 * writer.rowsPerRun() + 17);
        const std::vector<DirectoryRow> rows = sampleRows(*table, count);
        for (const DirectoryRow& row : rows) writer.add(row);
        writer.finish();
        EXPECT_EQ(writer.rowCount(), count);

        EXPECT_EQ(readDirectoryTable(path), rows);
        const std::vector<uint8_t> bytes = test::readFileBytes(path);
        GSO_dBaseFld dbf(path, true, false);
        EXPECT_EQ(test::le32(bytes, 4), static_cast<uint32_t>(count));
        EXPECT_EQ(bytes.size(),
                  static_cast<size_t>(dbf.headerLength()) +
                      static_cast<size_t>(count) * static_cast<size_t>(dbf.recordLength()) + 1);
        EXPECT_EQ(bytes.back(), kEndOfFileMark);
        EXPECT_TRUE(dbf.tableFlags() & kFlagProductionIndex);

        const IndexCheckReport report = checkIndexFile(dbf, file(table->indexFile));
        for (const IndexProblem& problem : report.problems) {
            ADD_FAILURE() << formatIndexProblem(problem);
        }
        EXPECT_EQ(report.tagsChecked, 1);
        EXPECT_EQ(report.keysChecked, count);
    }
}

TEST_F(TableWriterTest, WritesTheBytesOfTheRecordAtATimePath) {
    // One clock for both, so that the headers' dates and change stamps agree.
    test::FixedClock clock({2026, 2, 12, 9, 30, 15, 125});
    std::filesystem::create_directory(file("engine"));
    std::filesystem::create_directory(file("writer"));
    for (const DirectoryTable* table : {&persons(), &organisations()}) {
        SCOPED_TRACE(std::string(table->tableFile));
        const std::vector<DirectoryRow> rows = sampleRows(*table, 700);
        const std::string engine = file("engine/") + std::string(table->tableFile);
        const std::string writer = file("writer/") + std::string(table->tableFile);
        writeRecordByRecord(engine, *table, rows);
        writeDirectoryTable(writer, *table, rows);
        EXPECT_EQ(test::readFileBytes(writer), test::readFileBytes(engine));
        EXPECT_EQ(test::readFileBytes(replaceExtension(writer, ".MDX")),
                  test::readFileBytes(replaceExtension(engine, ".MDX")));
    }
}

TEST_F(TableWriterTest, AnEmptyTableIsCompleteWithItsIndexFile) {
    writeDirectoryTable(file("Favor.dbf"), directoryTable(DirectoryMode::Favourites), {});
    EXPECT_TRUE(readDirectoryTable(file("Favor.dbf")).empty());
    GSO_dBaseFld dbf(file("Favor.dbf"), true, false);
    const IndexCheckReport report = checkIndexFile(dbf, file("Favor.MDX"));
    EXPECT_TRUE(report.clean());
    EXPECT_EQ(report.tagsChecked, 1);
}

TEST_F(TableWriterTest, RefusesAnExistingTableOrIndexFileAndChangesNothing) {
    test::writeFileBytes(file("phone.dbf"), {'k', 'e', 'p', 't'});
    EXPECT_EQ(errorOf([&] { DirectoryTableWriter writer(file("Phone.DBF"), persons()); }),
              "183: File already exists - " + file("phone.dbf"));
    EXPECT_EQ(test::readFileBytes(file("phone.dbf")), (std::vector<uint8_t>{'k', 'e', 'p', 't'}));
    EXPECT_FALSE(exists("Phone.MDX"));
    std::filesystem::remove(file("phone.dbf"));

    // An index file beside the new table would be changed by the writer's index: refused
    // before the table is made.
    test::writeFileBytes(file("PHONE.MDX"), {'m', 'd', 'x'});
    EXPECT_EQ(errorOf([&] { DirectoryTableWriter writer(file("Phone.DBF"), persons()); }),
              "183: File already exists - " + file("PHONE.MDX"));
    EXPECT_FALSE(exists("Phone.DBF"));
    // Without an index of its own the writer leaves that file alone.
    writeDirectoryTable(file("Phone.DBF"), persons(), {{"Иванов", "22-33-44"}}, NameIndex::None);
    EXPECT_EQ(readDirectoryTable(file("Phone.DBF")),
              (std::vector<DirectoryRow>{{"Иванов", "22-33-44"}}));
    EXPECT_EQ(test::readFileBytes(file("PHONE.MDX")), (std::vector<uint8_t>{'m', 'd', 'x'}));
}

TEST_F(TableWriterTest, ARowThatDoesNotFitIsRefusedAndTheUnfinishedTableRemoved) {
    const std::string path = file("Phone.DBF");
    const std::string tooLong(31, 'x');
    struct Case {
        DirectoryRow row;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{tooLong}, "row 3, field NAME: the text is 31 characters long, the field holds 30"},
        {{"Иванов", "22", "", std::string(251, 'z')},
         "row 3, field COMMENT: the text is 251 characters long, the field holds 250"},
        {{"Иванов", "22 €"},
         "row 3, field PHONE1: the text is not UTF-8 or holds a character that code page 866 "
         "cannot hold"},
        {{"Иванов", "", "\xFF"},
         "row 3, field PHONE2: the text is not UTF-8 or holds a character that code page 866 "
         "cannot hold"},
        {{std::string("Ива\0нов", 13)}, "row 3, field NAME: the text holds a NUL byte"},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.message);
        {
            DirectoryTableWriter writer(path, persons());
            writer.add({"Петров", "1"});
            writer.add({"Сидоров", "2"});
            EXPECT_EQ(errorOf([&] { writer.add(bad.row); }), path + ": " + bad.message);
        }
        EXPECT_FALSE(exists("Phone.DBF"));
        EXPECT_FALSE(exists("Phone.MDX"));
    }

    // Also when whole runs are on the disk already.
    {
        DirectoryTableWriter writer(path, persons());
        const auto count = static_cast<int>(writer.rowsPerRun() + 5);
        for (const DirectoryRow& row : sampleRows(persons(), count)) writer.add(row);
        EXPECT_GT(test::fileSize(path), writer.rowsPerRun() * 311);
        EXPECT_EQ(errorOf([&] { writer.add({tooLong}); }),
                  path + ": row " + std::to_string(count + 1) +
                      ", field NAME: the text is 31 characters long, the field holds 30");
    }
    EXPECT_FALSE(exists("Phone.DBF"));

    // A refused row is not added: the writer goes on with the next one.
    {
        DirectoryTableWriter writer(path, persons());
        writer.add({"Петров", "1"});
        EXPECT_THROW(writer.add({tooLong, "2"}), std::invalid_argument);
        writer.add({"Сидоров", "3"});
        writer.finish();
    }
    EXPECT_EQ(readDirectoryTable(path),
              (std::vector<DirectoryRow>{{"Петров", "1"}, {"Сидоров", "3"}}));
}

TEST_F(TableWriterTest, AWriterLeftUnfinishedRemovesItsTable) {
    {
        DirectoryTableWriter writer(file("Org.dbf"), organisations());
        writer.add({"Аптека №1", "2-11-11"});
        EXPECT_TRUE(exists("Org.dbf"));
    }
    EXPECT_FALSE(exists("Org.dbf"));
    EXPECT_FALSE(exists("Org.MDX"));
}

TEST_F(TableWriterTest, RunsGoBehindRecordsAnotherWriterAppendedMeanwhile) {
    const std::string path = file("Org.dbf");
    DirectoryTableWriter writer(path, organisations());
    const std::vector<DirectoryRow> rows =
        sampleRows(organisations(), static_cast<int>(writer.rowsPerRun() + 3));
    for (size_t i = 0; i < writer.rowsPerRun(); ++i) writer.add(rows[i]);
    {
        // Another copy appends while the writer's first run is on the disk.
        GSO_dBaseFld other(path, true, true);
        other.setLockProtocol(organisations().protocol);
        other.BlankRecord();
        other.FieldPut(1, *utf8ToOem("Чужая запись"));
        other.AppendRecord();
    }
    for (size_t i = writer.rowsPerRun(); i < rows.size(); ++i) writer.add(rows[i]);
    writer.finish();

    std::vector<DirectoryRow> expected(rows.begin(),
                                       rows.begin() + static_cast<long>(writer.rowsPerRun()));
    expected.push_back({"Чужая запись"});
    expected.insert(expected.end(), rows.begin() + static_cast<long>(writer.rowsPerRun()),
                    rows.end());
    EXPECT_EQ(readDirectoryTable(path), expected);
    GSO_dBaseFld dbf(path, true, false);
    EXPECT_TRUE(checkIndexFile(dbf, file("Org.MDX")).clean());
}

TEST_F(TableWriterTest, GivesUpWhenTheAppendLockStaysTakenAndLeavesNoTable) {
    test::ShortLockWait shortWait;
    const std::string path = file("Org.dbf");
    {
        DirectoryTableWriter writer(path, organisations());
        writer.add({"Аптека №1", "2-11-11"});
        // Another copy appends under the table's own protocol (DB4Lock) and does not let go.
        GSO_DiskFile holder(path, true, true);
        ASSERT_TRUE(holder.lock(lockLayout(TgsLokProtocol::DB4Lock).recordBase, 1));
        EXPECT_EQ(errorOf([&] { writer.finish(); }), "33: Error 33 in Lock of " + path);
    }
    EXPECT_FALSE(exists("Org.dbf"));
    EXPECT_FALSE(exists("Org.MDX"));
}

}  // namespace
}  // namespace abonex
