// libFuzzer target: the input is a table file. It is opened shared and read-only, every record
// is read from the first to the last and every character field is read. EEngineError is the
// expected answer to damage; any other exception, a crash, a sanitizer report or a hang is a
// finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

// More records than any input this size can hold: reaching it means the walk does not end.
constexpr long kStepCap = 1L << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace abonex;
    static const std::string path = fuzz::scratchFolder() + "/T.DBF";
    fuzz::writeWholeFile(path, data, size);
    try {
        GSO_dBaseFld table(path, true, false);
        long steps = 0;
        for (table.GotoRecord(PosTop); !table.atEnd(); table.GotoRecord(PosNext)) {
            if (++steps > kStepCap) __builtin_trap();
            for (const DbfField& field : table.fields()) {
                if (field.type == 'C') (void)table.FieldGet(field);
            }
        }
    } catch (const EEngineError&) {
    }
    return 0;
}
