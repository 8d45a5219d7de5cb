// Tables for the synchronisation tests: directory tables written by the directory's table writer
// with chosen texts (UTF-8, stored as given: blanks and letter case included) and deletion
// marks; readDirectoryTable reads them back record by record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/table_writer.h"
#include "sync/difference.h"
#include "tests/support/test_support.h"

namespace abonex::test {

// Writes the table `dir`/`fileName` (replacing it and its index file) with the fields of the
// directory table `schema` and `rows` in record order; with `withIndex`, also its production index
// file with the schema's name tag.
void writeSyncTable(const std::string& dir, std::string_view fileName, DirectoryMode schema,
                    const std::vector<DirectoryRow>& rows, bool withIndex = true);

// The program folder ("own") and the folder of the external copy, in a fresh temporary folder
// removed with them.
class TwoFolders {
  public:
    TwoFolders();
    std::string own() const { return m_dir.file("own"); }
    std::string external() const { return m_dir.file("external"); }

  private:
    TempDir m_dir;
};

// UTF-8 <-> the data sets' ANSI texts.
std::string ansi(std::string_view utf8);
std::string utf8(std::string_view ansi);
// Texts of a record, given in UTF-8, as ANSI.
RecordTexts texts(std::string_view name, std::string_view phone1, std::string_view phone2);

}  // namespace abonex::test
