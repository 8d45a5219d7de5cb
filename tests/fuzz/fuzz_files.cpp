#include "tests/fuzz/fuzz_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"

namespace abonex::fuzz {

namespace {

struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/abonex-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) std::abort();
        path = buffer.data();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

void writeWholeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

void writeSmallTable(const std::string& path) {
    createDbfTable(path, {{"NAME", 'C', 12, 0}, {"PHONE", 'C', 8, 0}, {"BORN", 'D', 8, 0}});
    GSO_dBaseFld table(path, false, true);
    const char* rows[][3] = {{"\x88\xA2\xA0\xAD\xAE\xA2", "22-33-44", "19800101"},
                             {"Petrov", "11-22-33", "19751231"},
                             {"Adams", "", "20000229"},
                             {"Zorin", "99-00-11", ""},
                             {"petrov", "11-22-33", "19751231"},
                             {"", "55-66-77", "19990909"}};
    for (const auto& row : rows) {
        table.BlankRecord();
        for (int i = 0; i < 3; ++i) table.FieldPut(i + 1, row[i]);
        table.AppendRecord();
    }
    table.GotoRecord(4);
    table.DeleteRecord();
}

}  // namespace abonex::fuzz
