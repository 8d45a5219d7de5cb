// index_build_bench: rebuilds the NAME tag of a generated persons table and times SQLite's
// CREATE INDEX on the same rows, on the same machine, in one run.
//
//   index_build_bench [RECORDS] [DIR] [THREADS]
//                      (defaults: 500000, a fresh folder under /tmp, the threads the machine
//                       gives a build: see setBulkBuildThreads)
//
// Prints the rebuild time, the peak resident memory of the rebuild beyond the process's
// baseline (VmHWM after the build minus VmRSS before it, with the high-water mark reset), and
// SQLite's CREATE INDEX time on an in-memory database and on a temporary file.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_arguments.h"
#include "bench/process_memory.h"
#include "directory/persons_generator.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/index/mdx_file.h"
#include "engine/index/sort_mdx.h"

namespace {

using abonex::DirectoryRow;
using abonex::demo::PersonsGenerator;
using Clock = std::chrono::steady_clock;
using abonex::bench::statusKb;

constexpr uint64_t kSeed = 2026;

void resetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the process (user + system): on a machine shared with other work it varies far
// less than the wall clock.
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

void check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Loads the same rows (names as their stored bytes, so the index orders them byte by byte) and
// times CREATE INDEX on the name column.
Timing sqliteCreateIndex(const std::string& database, int records) {
    sqlite3* db = nullptr;
    check(sqlite3_open(database.c_str(), &db), db, "open");
    check(sqlite3_exec(db,
                       "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                       "CREATE TABLE persons(name BLOB, phone1 TEXT, phone2 TEXT, comment BLOB);",
                       nullptr, nullptr, nullptr),
          db, "create");
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO persons VALUES(?,?,?,?)", -1, &insert, nullptr), db,
          "prepare");
    PersonsGenerator generator(kSeed);
    for (int i = 0; i < records; ++i) {
        // The texts as the table stores them (code page 866), so that both sort the same bytes.
        const DirectoryRow row = generator.next();
        const std::string name = *abonex::utf8ToOem(row.name);
        const std::string comment = *abonex::utf8ToOem(row.comment);
        sqlite3_bind_blob(insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, row.phone1.data(), static_cast<int>(row.phone1.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, row.phone2.data(), static_cast<int>(row.phone2.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 4, comment.data(), static_cast<int>(comment.size()),
                          SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    check(sqlite3_exec(db, "CREATE INDEX persons_name ON persons(name)", nullptr, nullptr, nullptr),
          db, "create index");
    Timing timing{secondsSince(start), cpuSeconds() - cpuStart};
    sqlite3_close(db);
    return timing;
}

}  // namespace

int main(int argc, char** argv) {
    const abonex::bench::Arguments args(
        argc, argv, "[RECORDS] [DIR] [THREADS]",
        "Rebuild of the name tag of a persons table of RECORDS records\n"
        "(500000) against SQLite's CREATE INDEX, with the time of each\n"
        "phase. DIR, an existing folder, receives the files (without it\n"
        "a folder of its own under /tmp, removed); THREADS, 1 or 2,\n"
        "chooses the keying threads.\n",
        {}, 3);
    const int records = args.count(0, "RECORDS", 500000);
    std::string dir;
    if (args.given(1)) {
        dir = args.folder(1);
    } else {
        char pattern[] = "/tmp/abonex-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    if (args.given(2)) {
        abonex::setBulkBuildThreads(static_cast<unsigned>(args.count(2, "THREADS", 0)));
    }
    const std::string table = dir + "/Phone.DBF";
    std::printf("records: %d\n", records);
    // The index file and its tag are made while the table is empty, so that the rebuild below
    // is the first build of this process and its memory is measured from a clean heap.
    abonex::createDbfTable(table, {{"NAME", 'C', 30, 0}});
    {
        abonex::GSO_dBaseFld empty(table, false, true);
        abonex::GSobjMDXFile::create(empty, "Phone.MDX")
            ->TagCreate("NAME", "NAME", "", false, true);
    }
    // The rows replace the empty table; the index file made for it stays.
    std::filesystem::remove(table);
    auto start = Clock::now();
    abonex::demo::writePersonsTable(table, records, kSeed, abonex::NameIndex::None);
    std::printf("table written in %.3f s (%.1f MB)\n", secondsSince(start),
                static_cast<double>(std::filesystem::file_size(table)) / 1e6);
    // The generator leaves the table's pages dirty; written out now, they do not throttle the
    // rebuild's own writes.
    ::sync();

    Timing rebuild, phase1;
    long baseline = 0, peak = 0;
    {
        abonex::GSO_dBaseFld phone(table, false, true);
        abonex::GSobjMDXFile index(phone, "Phone.MDX");
        resetPeakRss();
        baseline = statusKb("VmRSS");
        start = Clock::now();
        const double cpuStart = cpuSeconds();
        // Where phase 1 (the table read, keyed and sorted) hands over to phase 2 (the tree
        // written).
        Timing keyed;
        index.setProgressCallback([&](const abonex::IndexProgress& p) {
            if (p.event == abonex::ProgressEvent::End && p.phase == 1) {
                keyed = Timing{secondsSince(start), cpuSeconds() - cpuStart};
            }
        });
        index.Reindex();
        rebuild = Timing{secondsSince(start), cpuSeconds() - cpuStart};
        phase1 = keyed;
        peak = statusKb("VmHWM");
        index.close();
    }
    std::printf("NAME rebuild (Reindex):                  %.3f s wall, %.3f s CPU\n", rebuild.wall,
                rebuild.cpu);
    std::printf(
        "  keys read and sorted %.3f s wall, %.3f s CPU; tree written %.3f s wall, %.3f s CPU\n",
        phase1.wall, phase1.cpu, rebuild.wall - phase1.wall, rebuild.cpu - phase1.cpu);
    std::printf("  peak RSS of the rebuild: %+.1f MB over a baseline of %.1f MB\n",
                static_cast<double>(peak - baseline) / 1024.0,
                static_cast<double>(baseline) / 1024.0);

    const Timing memory = sqliteCreateIndex(":memory:", records);
    std::printf("SQLite CREATE INDEX, in-memory database: %.3f s wall, %.3f s CPU\n", memory.wall,
                memory.cpu);
    const std::string file = dir + "/persons.sqlite";
    std::filesystem::remove(file);
    const Timing onDisk = sqliteCreateIndex(file, records);
    std::printf("SQLite CREATE INDEX, temporary file:     %.3f s wall, %.3f s CPU\n", onDisk.wall,
                onDisk.cpu);
    std::filesystem::remove(file);
    if (!args.given(1)) std::filesystem::remove_all(dir);
    return 0;
}
