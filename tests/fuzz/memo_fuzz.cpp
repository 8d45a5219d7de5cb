// libFuzzer target: the input is a memo file. Its first byte chooses the kind (dBASE III,
// dBASE IV, FoxPro) and the rest is the file, read through a table of that kind whose memo
// field points at the blocks a well-formed file would hold. EEngineError is the expected answer
// to damage; any other exception, a crash, a sanitizer report or a read past the file is a
// finding, as is a text longer than the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "engine/dbf/memo_file.h"
#include "engine/file/engine_error.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/support/memo_tables.h"

namespace {

using namespace abonex;

// The table of one kind, written once: six memos of growing length, one record without.
const std::string& tableFor(MemoFile::Kind kind) {
    static std::string paths[3];
    std::string& path = paths[static_cast<int>(kind)];
    if (path.empty()) {
        path = fuzz::scratchFolder() + "/M" + std::to_string(static_cast<int>(kind)) + ".DBF";
        std::vector<test::MemoRow> rows;
        for (int i = 0; i < 6; ++i)
            rows.push_back({"r", std::string(static_cast<size_t>(i * 300), 'm')});
        rows.push_back({"none", std::nullopt});
        test::writeMemoTable(path, kind, rows, kind == MemoFile::Kind::FoxPro ? 64 : 512);
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto kind = static_cast<MemoFile::Kind>(data[0] % 3);
    const std::string& table = tableFor(kind);
    const std::string memoPath =
        table.substr(0, table.size() - 4) + (kind == MemoFile::Kind::FoxPro ? ".FPT" : ".DBT");
    fuzz::writeWholeFile(memoPath, data + 1, size - 1);
    try {
        GSO_dBaseFld dbf(table, true, false);
        auto memo = MemoFile::openFor(dbf);
        const DbfField& field = dbf.FindField("NOTES");
        for (int n = 1; n <= dbf.recordCount(); ++n) {
            dbf.GotoRecord(n);
            const std::string text = memo->text(memo->blockOf(field, dbf.fieldBytes(field)));
            if (text.size() > size) __builtin_trap();
        }
    } catch (const EEngineError&) {
    }
    return 0;
}
