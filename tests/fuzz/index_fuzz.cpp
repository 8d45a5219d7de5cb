// libFuzzer target: the input is the multiple-index file of a fixed small table (written once).
// The index file is opened; each tag is walked from its first key forward, from its last key
// backward and through walkKeys, and searched once; the integrity check reads the file on its
// own. EEngineError is the expected answer to damage from the
// opening and the walks (the check reports damage as problems); any other exception, a crash,
// a sanitizer report or a walk that does not end is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/index/index_check.h"
#include "engine/index/mdx_file.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

// More steps than the table has records plus room for a damaged file's repeated keys: a walk
// past this does not end.
constexpr int kStepCap = 100000;

// Walks `tag` from `start` one `step` at a time until an edge, at most kStepCap steps.
void walk(abonex::GSobjMDXTag& tag, int start, int step) {
    try {
        int steps = 0;
        for (int record = tag.Navigate(start); record != 0; record = tag.Navigate(step)) {
            if (++steps > kStepCap) __builtin_trap();
        }
    } catch (const abonex::EEngineError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace abonex;
    static const std::string tablePath = [] {
        std::string path = fuzz::scratchFolder() + "/T.DBF";
        fuzz::writeSmallTable(path);
        return path;
    }();
    static const std::string indexPath = fuzz::scratchFolder() + "/T.MDX";
    fuzz::writeWholeFile(indexPath, data, size);

    GSO_dBaseFld table(tablePath, true, false);
    try {
        GSobjMDXFile index(table, indexPath);
        for (const auto& tag : index.tags()) {
            walk(*tag, PosTop, PosNext);
            walk(*tag, PosBottom, PosPrior);
            try {
                long keys = 0;
                tag->walkKeys([&](const TgsVariant&) {
                    if (++keys > kStepCap) __builtin_trap();
                });
            } catch (const EEngineError&) {
            }
            try {
                (void)tag->KeyFind(TgsVariant::character("P"));
            } catch (const EEngineError&) {
            }
        }
    } catch (const EEngineError&) {
    }
    try {
        (void)checkIndexFile(table, indexPath);
    } catch (const EEngineError&) {
    }
    return 0;
}
