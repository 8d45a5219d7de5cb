// A persons table with its production index file, for the data-set tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/file/disk_file_tap.h"
#include "engine/file/network_share.h"
#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "tests/support/test_support.h"

namespace abonex::test {

inline const std::vector<FieldSpec> kPersonFields = {
    {"NAME", 'C', 30, 0}, {"PHONE1", 'C', 15, 0}, {"PHONE2", 'C', 15, 0}, {"COMMENT", 'C', 250, 0}};

struct Person {
    std::string name;  // UTF-8
    std::string phone;
    bool deleted = false;
};

// Writes Phone.DBF with `people` in record order and Phone.MDX with tag NAME on NAME.
inline void makePersonsTable(const std::string& dir, const std::vector<Person>& people) {
    std::string table = dir + "/Phone.DBF";
    createDbfTable(table, kPersonFields);
    GSO_dBaseFld dbf(table, false, true);
    for (const Person& person : people) {
        dbf.BlankRecord();
        dbf.FieldPut("NAME", *utf8ToOem(person.name));
        dbf.FieldPut("PHONE1", person.phone);
        dbf.AppendRecord();
        if (person.deleted) dbf.DeleteRecord();
    }
    auto index = GSobjMDXFile::create(dbf, dir + "/Phone.MDX");
    index->TagCreate("NAME", "NAME", "", false, true);
}

// Opens a data set on Phone.DBF with Phone.MDX and tag NAME.
inline void openPersons(TEngineDataSet& set, const std::string& dir) {
    set.setDatabaseName(dir);
    set.setTableName("Phone.DBF");
    set.setIndexFiles({"Phone.MDX"});
    set.setIndexName("NAME");
    set.Open();
}

// Every row of the set from First to Eof, as UTF-8 names.
inline std::vector<std::string> visibleNames(TEngineDataSet& set) {
    std::vector<std::string> names;
    for (set.First(); !set.Eof(); set.Next()) {
        names.push_back(ansiToUtf8(set.Fields(0).AsString()));
    }
    return names;
}

// Waits (a second at most) until the clock has moved past the file's last write: until then a
// look at the file cannot tell a later write from none, and every look reads its blocks again.
inline void waitUntilSettled(const std::string& path) {
    GSO_DiskFile file(path, true, false);
    for (int i = 0; i < 200 && !file.changeStamp().settled; ++i) ::usleep(5000);
}

// Another copy's edit: record `record` renamed `name` (UTF-8).
inline void renameRecord(TEngineDataSet& set, int record, const std::string& name) {
    set.GotoRecNo(record);
    set.Edit();
    set.Fields(0).SetAsString(*utf8ToAnsi(name));
    set.Post();
}

inline void expectIndexClean(const std::string& dir) {
    GSO_dBaseFld table(dir + "/Phone.DBF", true, false);
    IndexCheckReport report = checkIndexFile(table, dir + "/Phone.MDX");
    for (const auto& problem : report.problems) ADD_FAILURE() << formatIndexProblem(problem);
}

// While it lives, every file opened counts as one on a network share; at its end the kind is
// found again and any tap is taken away.
struct OnNetworkShare {
    OnNetworkShare() { setFileSystemKindOverride(FileSystemKind{true, ""}); }
    ~OnNetworkShare() {
        setDiskFileTap(nullptr);
        setFileSystemKindOverride(std::nullopt);
    }
    OnNetworkShare(const OnNetworkShare&) = delete;
    OnNetworkShare& operator=(const OnNetworkShare&) = delete;
};

// Counts the writes that reach the first bytes (the header) of one file.
class HeaderWrites : public DiskFileTap {
  public:
    explicit HeaderWrites(std::string name) : m_name(std::move(name)) {}
    void wrote(const std::string& path, uint64_t offset, const uint8_t*, size_t) override {
        if (offset == 0 && path.size() >= m_name.size() &&
            path.compare(path.size() - m_name.size(), m_name.size(), m_name) == 0) {
            ++count;
        }
    }
    int count = 0;

  private:
    std::string m_name;
};

}  // namespace abonex::test
