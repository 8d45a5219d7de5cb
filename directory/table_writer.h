// Writing a new directory table: create it, fill it with rows, index it by name.
//
// The writer creates the table file with the fields of a directory table (a file of that name,
// in any letter case, is refused with 183 "File already exists" and left as it is), opens it
// shared, with the table's lock protocol, and writes the rows in runs of whole records through
// the engine's bulk append: each run takes the append lock every writer of the table takes and
// leaves the header counting the records on the disk. finish() writes the last run and then
// builds the index file with the table's name tag under the index lock.
//
// Only when finish() has returned is the table complete. A writer destroyed before (an error on
// the way: a row that does not fit, a lock that could not be had, a full disk) removes the files
// it created, so that no half-filled table is left to be taken for a whole one.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"

namespace abonex {

class GSO_dBaseFld;

// Whether the writer builds the table's index file with its name tag.
enum class NameIndex { Build, None };

class DirectoryTableWriter {
  public:
    // Creates the table `path` with the fields of `table`. With NameIndex::Build, an index file
    // beside it (the table's name with ".MDX", in any letter case) is refused as well, before
    // anything is created. Raises the engine's errors.
    DirectoryTableWriter(std::string_view path, const DirectoryTable& table,
                         NameIndex index = NameIndex::Build);
    // Removes the table and the index file the writer created unless finish() completed.
    ~DirectoryTableWriter();
    DirectoryTableWriter(const DirectoryTableWriter&) = delete;
    DirectoryTableWriter& operator=(const DirectoryTableWriter&) = delete;

    // Adds a row after the ones added before. Its texts are stored in code page 866; a text
    // that is not UTF-8, holds a character that page lacks or a NUL byte, or is longer than its
    // field raises std::invalid_argument naming the table, the row and the field, and the row is
    // not added. Rows are held until a run is full, then written.
    void add(const DirectoryRow& row);
    // Writes the rows still held and builds the index file; the table is complete after it.
    void finish();

    const std::string& path() const { return m_path; }
    int rowCount() const { return m_rows; }
    // How many rows one run writes.
    size_t rowsPerRun() const { return m_runRecords; }

  private:
    void writeRun();
    void putText(uint8_t* at, int field, std::string_view utf8) const;

    std::string m_path;
    std::string m_indexPath;  // empty without an index
    const DirectoryTable m_definition;
    std::unique_ptr<GSO_dBaseFld> m_table;
    std::vector<int> m_offsets;  // of each field in the record
    size_t m_recordLength = 0;
    size_t m_runRecords = 0;
    std::vector<uint8_t> m_run;
    size_t m_held = 0;
    int m_rows = 0;
    bool m_indexCreated = false;
    bool m_finished = false;
};

// Writes the new table `path` of `table` with `rows`, in this order, and (with
// NameIndex::Build) its index file: a DirectoryTableWriter run to its end.
void writeDirectoryTable(std::string_view path, const DirectoryTable& table,
                         const std::vector<DirectoryRow>& rows, NameIndex index = NameIndex::Build);

// Every record of the table `path` in record order, deleted ones included, its first four
// fields as UTF-8 texts without their trailing blanks: the rows as a writer stored them.
std::vector<DirectoryRow> readDirectoryTable(std::string_view path);

}  // namespace abonex
