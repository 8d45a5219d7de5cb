#include "tests/sync/sync_fixture.h"

#include <filesystem>
#include <stdexcept>

#include "directory/table_writer.h"
#include "engine/dbf/codepage.h"
#include "engine/file/path_util.h"

namespace abonex::test {

TwoFolders::TwoFolders() {
    std::filesystem::create_directory(own());
    std::filesystem::create_directory(external());
}

void writeSyncTable(const std::string& dir, std::string_view fileName, DirectoryMode schema,
                    const std::vector<DirectoryRow>& rows, bool withIndex) {
    const std::string path = dir + "/" + std::string(fileName);
    // A test writes a folder's table anew: the old one and its index file go first.
    std::filesystem::remove(path);
    std::filesystem::remove(replaceExtension(path, ".MDX"));
    writeDirectoryTable(path, directoryTable(schema), rows,
                        withIndex ? NameIndex::Build : NameIndex::None);
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
