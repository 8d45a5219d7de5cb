// sync_bench: synchronisation figures on two generated persons tables.
//
//   sync_bench [RECORDS] [DIR] [--no-rebuild]
//                                   (defaults: 500000, a fresh folder under /tmp; a DIR that
//                                    already holds own/ and external/ is measured as it is;
//                                    --no-rebuild compares with the index files as DIR holds
//                                    them, for profiles of the comparison and the apply alone)
//
// The external copy differs from the own table in about 5 % of its rows: 2 % have another
// first phone, 1 % another second phone, 1 % are missing and 1 % are new. Prints the rebuild of
// both index files, the comparison in both directions, and the apply of every import
// difference to a copy of the own table, with the peak resident set. Each figure is the wall
// time and, in brackets, the processor time of this process (the machine may be busy).
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_arguments.h"
#include "bench/process_memory.h"
#include "bench/sync_copies.h"
#include "engine/dataset/engine_dataset.h"
#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/table_comparison.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace abonex;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A stopwatch of wall and processor time.
struct Stopwatch {
    Clock::time_point wall = Clock::now();
    double cpu = cpuMs();
    double wallMs() const { return msSince(wall); }
    double cpuMsSince() const { return cpuMs() - cpu; }
};

struct Run {
    double rebuildMs = 0, rebuildCpuMs = 0;
    double compareMs = 0, compareCpuMs = 0;
    long privateKb = 0;  // the process's private memory with the comparison still held
    std::vector<DifferenceEntry> entries;
};

Run compare(const std::string& sourceDir, const std::string& targetDir, bool rebuildFirst) {
    TEngineDataSet source, target;
    openSyncTable(target, targetDir, "Phone.DBF");
    openSyncTable(source, sourceDir, "Phone.DBF");
    Run run;
    Stopwatch rebuild;
    // Both at once, as the window and the tool rebuild them.
    if (rebuildFirst) reindexSyncTables(source, target);
    run.rebuildMs = rebuild.wallMs();
    run.rebuildCpuMs = rebuild.cpuMsSince();
    Stopwatch comparing;
    TableComparison comparison(source, target);
    comparison.run();
    run.compareMs = comparing.wallMs();
    run.compareCpuMs = comparing.cpuMsSince();
    run.privateKb = bench::statusKb("RssAnon");
    run.entries = comparison.entries();
    return run;
}

// A hash of every entry's kind and texts, in order: equal lists give equal fingerprints.
uint64_t fingerprint(const std::vector<DifferenceEntry>& entries) {
    uint64_t hash = 1469598103934665603ull;
    const auto add = [&hash](std::string_view text) {
        for (const char c : text) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
        hash = (hash ^ 0xFFu) * 1099511628211ull;  // the end of a text
    };
    for (const DifferenceEntry& entry : entries) {
        add(std::string_view("0120" + static_cast<int>(entry.kind), 1));
        for (const RecordTexts* texts : {&entry.target, &entry.source}) {
            add(texts->name);
            add(texts->phone1);
            add(texts->phone2);
        }
    }
    return hash;
}

void report(const char* label, const Run& run) {
    int kinds[3] = {};
    for (const DifferenceEntry& entry : run.entries) ++kinds[static_cast<int>(entry.kind)];
    std::printf("%s: both rebuilds %.0f ms (%.0f) + comparison %.0f ms (%.0f) = %.0f ms (%.0f)\n",
                label, run.rebuildMs, run.rebuildCpuMs, run.compareMs, run.compareCpuMs,
                run.rebuildMs + run.compareMs, run.rebuildCpuMs + run.compareCpuMs);
    std::printf(
        "        %zu differences: %d first phone, %d second phone, %d missing; private "
        "memory at the end %ld kB; fingerprint %016llx\n",
        run.entries.size(), kinds[0], kinds[1], kinds[2], run.privateKb,
        static_cast<unsigned long long>(fingerprint(run.entries)));
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "[RECORDS] [DIR] [--no-rebuild]",
                                "Rebuilds, comparison both ways and apply on two persons tables\n"
                                "of RECORDS records (500000) that differ in 5 % of their rows.\n"
                                "DIR keeps the copies for the next run (made when missing);\n"
                                "--no-rebuild uses the index files as DIR holds them.\n",
                                {"--no-rebuild"}, 2);
    const int records = args.count(0, "RECORDS", 500000);
    const std::string dir = args.given(1) ? args.word(1)
                                          : std::filesystem::temp_directory_path().string() +
                                                "/abonex-sync-bench-" + std::to_string(::getpid());
    const bool rebuildFirst = !args.flag("--no-rebuild");
    const bool reuse = args.given(1) && std::filesystem::exists(dir + "/own/Phone.DBF") &&
                       std::filesystem::exists(dir + "/external/Phone.DBF");
    if (!reuse) bench::writeSyncCopies(dir, records);
    std::printf("persons tables: %d records, the external copy differing in about 5 %%\n", records);

    const Run import = compare(dir + "/external", dir + "/own", rebuildFirst);
    report("import", import);
    const Run exportRun = compare(dir + "/own", dir + "/external", rebuildFirst);
    report("export", exportRun);
    std::printf("peak resident set: %ld kB, of which the two mapped tables are file pages\n",
                bench::statusKb("VmHWM"));

    // The apply changes a copy, so that a folder can be measured again.
    std::filesystem::remove_all(dir + "/applied");
    std::filesystem::copy(dir + "/own", dir + "/applied");
    TEngineDataSet change;
    openChangeTable(change, dir + "/applied", "Phone.DBF");
    DifferenceApply applying(change, SyncDirection::Import, ChangeSide::Own);
    Stopwatch applyTime;
    applying.run(import.entries, std::vector<bool>(import.entries.size(), true));
    const double applyMs = applyTime.wallMs();
    const double applyCpuMs = applyTime.cpuMsSince();
    const ApplyCounts& counts = applying.counts();
    std::printf(
        "apply of every import difference to the own table: %.0f ms (%.0f); changed %d, "
        "added %d, deleted %d, skipped %d\n",
        applyMs, applyCpuMs, counts.changed, counts.added, counts.deleted, counts.skipped);
    change.Close();
    std::printf(
        "import, comparison + apply: %.0f ms (%.0f) (goal at 5,000,000 records: 10,000 ms); "
        "with both rebuilds: %.0f ms (%.0f)\n",
        import.compareMs + applyMs, import.compareCpuMs + applyCpuMs,
        import.rebuildMs + import.compareMs + applyMs,
        import.rebuildCpuMs + import.compareCpuMs + applyCpuMs);
    std::printf("peak resident set %ld MB (goal: 1,024 MB)\n", bench::statusKb("VmHWM") / 1024);

    if (!args.given(1)) std::filesystem::remove_all(dir);
    return 0;
}
