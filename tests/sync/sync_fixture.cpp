#include "tests/sync/sync_fixture.h"

#include <filesystem>
#include <stdexcept>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/path_util.h"
#include "engine/index/production_index.h"

namespace abonex::test {

namespace {

std::string oem(std::string_view utf8) {
    auto text = utf8ToOem(utf8);
    if (!text) throw std::invalid_argument("no code page 866 form: " + std::string(utf8));
    return *text;
}

}  // namespace

TwoFolders::TwoFolders() {
    std::filesystem::create_directory(own());
    std::filesystem::create_directory(external());
}

void writeSyncTable(const std::string& dir, std::string_view fileName, DirectoryMode schema,
                    const std::vector<SyncRow>& rows, bool withIndex) {
    const DirectoryTable& table = directoryTable(schema);
    const std::string path = dir + "/" + std::string(fileName);
    // A test writes a folder's table anew: the old one and its index file go first.
    std::filesystem::remove(path);
    std::filesystem::remove(replaceExtension(path, ".MDX"));
    createDbfTable(path, directoryFieldSpecs(table));
    GSO_dBaseFld dbf(path, false, true);
    for (const SyncRow& row : rows) {
        dbf.BlankRecord();
        dbf.FieldPut(1, oem(row.name));
        dbf.FieldPut(2, oem(row.phone1));
        dbf.FieldPut(3, oem(row.phone2));
        dbf.FieldPut(4, oem(row.comment));
        dbf.AppendRecord();
        if (row.deleted) dbf.DeleteRecord();
    }
    if (withIndex) createProductionIndex(dbf, table.tagName, nameTagExpression(table));
}

std::vector<SyncRow> readSyncTable(const std::string& path) {
    GSO_dBaseFld dbf(path, true, false);
    std::vector<SyncRow> rows;
    for (int n = 1; n <= dbf.recordCount(); ++n) {
        dbf.GotoRecord(n);
        rows.push_back({oemToUtf8(dbf.FieldGet(1)), oemToUtf8(dbf.FieldGet(2)),
                        oemToUtf8(dbf.FieldGet(3)), oemToUtf8(dbf.FieldGet(4)), dbf.isDeleted()});
    }
    return rows;
}

std::string ansi(std::string_view utf8) {
    auto text = utf8ToAnsi(utf8);
    if (!text) throw std::invalid_argument("no code page 1251 form: " + std::string(utf8));
    return *text;
}

std::string utf8(std::string_view ansi) {
    return ansiToUtf8(ansi);
}

RecordTexts texts(std::string_view name, std::string_view phone1, std::string_view phone2) {
    return {ansi(name), ansi(phone1), ansi(phone2)};
}

}  // namespace abonex::test
