// Tables for the synchronisation tests: directory tables written through the engine with chosen
// texts, blanks, letter case and deletion marks, and read back record by record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_tables.h"
#include "sync/difference.h"
#include "tests/support/test_support.h"

namespace abonex::test {

// A record as the test writes it: UTF-8 texts stored as given (blanks and case included).
struct SyncRow {
    std::string name;
    std::string phone1;
    std::string phone2;
    std::string comment;
    bool deleted = false;
    bool operator==(const SyncRow&) const = default;
};

// Writes the table `dir`/`fileName` (replacing it and its index file) with the fields of the
// directory table `schema` and `rows` in record order; with `withIndex`, also its production index
// file with the schema's name tag.
void writeSyncTable(const std::string& dir, std::string_view fileName, DirectoryMode schema,
                    const std::vector<SyncRow>& rows, bool withIndex = true);

// Every record of the table in file order, deleted ones included, texts without their trailing
// blanks (UTF-8).
std::vector<SyncRow> readSyncTable(const std::string& path);

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
