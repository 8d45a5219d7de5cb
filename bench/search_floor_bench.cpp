// search_floor_bench: each search of the directory window beside its floor, measured in one run,
// on a persons table as `abonex-db demo DIR --persons N` makes it. Nothing is written to DIR.
//
//   search_floor_bench DIR [RUNS] [--sqlite] [--order-only]
//
// Figures (medians of RUNS alternated runs, 5 by default), each printed with the ratio to its
// floor:
//  - the first 50 rows of a prefix, first of all: the peak resident memory above the process's
//    own at its start;
//  - a phone fragment anywhere in either phone, every row: beside a plain scan of both phones
//    read from the table file in 1 MB reads (memmem on each record's two fields' bytes);
//  - a name text anywhere in the name that no row holds: beside a plain scan of the name tag's
//    keys read from the index file (its leaf blocks in runs of up to 1 MB, memchr for the first
//    search byte, the key tested where it occurs);
//  - with --sqlite, every row in name order, each field's stored text taken (as SQLite's
//    column_bytes takes its own): beside SQLite's ordered scan of the same rows (an in-memory
//    database with an upper-cased name column and its index), stored in the table file's
//    record order, and again beside the same scan of the rows stored in name order; then the same
//    pass as `abonex-db search` writes it, every row as CSV, beside the sqlite3 shell writing the
//    rows stored in name order as CSV (each read through a pipe, its lines counted).
// With --order-only, only the name-order figures (--sqlite implied). The row counts of each
// search and of its floor are printed side by side: they must agree.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_arguments.h"
#include "bench/persons_table.h"
#include "bench/process_memory.h"
#include "directory/search_filter.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/expr/ansi_locale.h"
#include "engine/file/byte_order.h"
#include "engine/index/mdx_file.h"
#include "engine/index/mdx_format.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace abonex;

constexpr size_t kFloorRead = 1 << 20;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Timed {
    double ms = 0;
    long rows = 0;
};

// The median run of `runs` calls of `a` and `b`, alternated so that both meet the same load.
std::pair<Timed, Timed> alternated(int runs, const std::function<Timed()>& a,
                                   const std::function<Timed()>& b) {
    std::vector<Timed> as, bs;
    for (int i = 0; i < runs; ++i) {
        as.push_back(a());
        bs.push_back(b());
    }
    auto median = [](std::vector<Timed>& all) {
        std::sort(all.begin(), all.end(),
                  [](const Timed& x, const Timed& y) { return x.ms < y.ms; });
        return all[all.size() / 2];
    };
    return {median(as), median(bs)};
}

void print(const char* label, const Timed& search, const char* floorLabel, const Timed& floor) {
    std::printf("%-34s %9.1f ms %9ld rows | %-22s %9.1f ms %9ld rows | ratio %5.2f\n", label,
                search.ms, search.rows, floorLabel, floor.ms, floor.rows, search.ms / floor.ms);
}

// Runs `argv` with its output read through a pipe: the wall time and the lines it wrote, or
// rows -1 when it could not run or failed.
Timed timedCommand(const std::vector<std::string>& argv) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {0, -1};
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    Timed result;
    std::vector<char> buffer(size_t{1} << 20);
    for (;;) {
        const ssize_t got = ::read(pipeEnds[0], buffer.data(), buffer.size());
        if (got <= 0) break;
        result.rows += std::count(buffer.data(), buffer.data() + got, '\n');
    }
    ::close(pipeEnds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return {0, -1};
    }
    result.ms = msSince(start);
    return result;
}

class RawFile {
  public:
    explicit RawFile(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY)) {
        if (m_fd < 0) {
            std::perror(path.c_str());
            std::exit(2);
        }
    }
    ~RawFile() { ::close(m_fd); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    size_t read(uint64_t offset, uint8_t* into, size_t count) const {
        const ssize_t got = ::pread(m_fd, into, count, static_cast<off_t>(offset));
        return got < 0 ? 0 : static_cast<size_t>(got);
    }

  private:
    int m_fd;
};

// The rows whose first or second phone holds `text`, from the table file's bytes.
Timed phoneFloor(const std::string& tablePath, std::string_view text) {
    const auto start = Clock::now();
    RawFile file(tablePath);
    uint8_t header[32];
    file.read(0, header, sizeof header);
    const uint32_t records = getLE32(header + 4);
    const uint16_t headerLength = getLE16(header + 8);
    const uint16_t recordLength = getLE16(header + 10);
    // The fields PHONE1's and PHONE2's places in the record.
    size_t place = 1;
    size_t offset = 0, length = 0, secondOffset = 0, secondLength = 0;
    for (uint64_t at = 32; at + 32 <= headerLength; at += 32) {
        uint8_t field[32];
        file.read(at, field, sizeof field);
        if (field[0] == 0x0D) break;
        if (std::strncmp(reinterpret_cast<const char*>(field), "PHONE1", 11) == 0) {
            offset = place;
            length = field[16];
        } else if (std::strncmp(reinterpret_cast<const char*>(field), "PHONE2", 11) == 0) {
            secondOffset = place;
            secondLength = field[16];
        }
        place += field[16];
    }
    std::vector<uint8_t> buffer(kFloorRead / recordLength * recordLength);
    Timed result;
    for (uint32_t first = 0; first < records;) {
        const size_t got =
            file.read(headerLength + uint64_t{first} * recordLength, buffer.data(), buffer.size());
        const size_t whole = got / recordLength;
        if (whole == 0) break;
        for (size_t r = 0; r < whole; ++r) {
            const uint8_t* record = buffer.data() + r * recordLength;
            if (record[0] == '*') continue;
            if (memmem(record + offset, length, text.data(), text.size()) != nullptr ||
                memmem(record + secondOffset, secondLength, text.data(), text.size()) != nullptr) {
                ++result.rows;
            }
        }
        first += static_cast<uint32_t>(whole);
    }
    result.ms = msSince(start);
    return result;
}

// The leaf blocks of the tree whose root is `root`, in file order, read without the engine
// (not timed). `entryLength`: the bytes of one entry (pointer and key).
std::vector<uint32_t> leafBlocks(const RawFile& file, uint32_t root, size_t entryLength) {
    std::vector<uint32_t> leaves;
    std::vector<uint32_t> pending{root};
    std::vector<uint8_t> block(mdx::kBlockLength);
    while (!pending.empty()) {
        const uint32_t at = pending.back();
        pending.pop_back();
        if (file.read(uint64_t{at} * mdx::kUnitSize, block.data(), block.size()) != block.size()) {
            continue;
        }
        const uint32_t count = getLE32(block.data() + mdx::kNodeCount);
        if (count > (block.size() - mdx::kNodeEntries - 4) / entryLength) continue;
        const uint8_t* entries = block.data() + mdx::kNodeEntries;
        const uint32_t extra = getLE32(entries + count * entryLength);
        if (extra == 0) {
            leaves.push_back(at);
            continue;
        }
        pending.push_back(extra);
        for (uint32_t i = 0; i < count; ++i) pending.push_back(getLE32(entries + i * entryLength));
    }
    std::sort(leaves.begin(), leaves.end());
    return leaves;
}

// The keys of the leaves that `filter` accepts, from the index file's bytes: runs of
// consecutive leaves read at once, the first search byte's stored forms found with memchr, the
// key tested where one occurs.
Timed nameFloor(const std::string& indexPath, const std::vector<uint32_t>& leaves,
                size_t entryLength, size_t keyLength, const KeyFilter& filter,
                std::string_view firstStored) {
    const auto start = Clock::now();
    RawFile file(indexPath);
    std::vector<uint8_t> buffer(kFloorRead);
    std::vector<uint32_t> matched;
    Timed result;
    constexpr uint32_t kUnitsPerBlock = mdx::kBlockLength / mdx::kUnitSize;
    for (size_t i = 0; i < leaves.size();) {
        size_t run = 1;
        while (i + run < leaves.size() && run < kFloorRead / mdx::kBlockLength &&
               leaves[i + run] == leaves[i] + run * kUnitsPerBlock) {
            ++run;
        }
        const size_t got =
            file.read(uint64_t{leaves[i]} * mdx::kUnitSize, buffer.data(), run * mdx::kBlockLength);
        for (size_t b = 0; b < got / mdx::kBlockLength; ++b) {
            const uint8_t* block = buffer.data() + b * mdx::kBlockLength;
            const uint32_t count = getLE32(block + mdx::kNodeCount);
            const uint8_t* entries = block + mdx::kNodeEntries;
            const uint8_t* end = entries + count * entryLength;
            matched.clear();
            for (const char stored : firstStored) {
                for (const uint8_t* at = entries; at < end; ++at) {
                    at = static_cast<const uint8_t*>(std::memchr(at, static_cast<uint8_t>(stored),
                                                                 static_cast<size_t>(end - at)));
                    if (at == nullptr) break;
                    const auto entry = static_cast<uint32_t>((at - entries) / entryLength);
                    std::string_view key(
                        reinterpret_cast<const char*>(entries) + entry * entryLength + 4,
                        keyLength);
                    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
                    if (filter.accepts(key)) matched.push_back(entry);
                }
            }
            std::sort(matched.begin(), matched.end());
            result.rows += std::unique(matched.begin(), matched.end()) - matched.begin();
        }
        i += run;
    }
    result.ms = msSince(start);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const long startKb = bench::statusKb("VmRSS");
    const bench::Arguments args(
        argc, argv, "DIR [RUNS] [--sqlite] [--order-only]",
        "Each search beside its floor, measured RUNS times (5) on the persons table and index\n"
        "in DIR (as \"abonex-db demo DIR --persons N\" makes them); nothing is written to DIR.\n"
        "--sqlite adds every row in name order against SQLite; --order-only measures those\n"
        "name-order figures alone.\n",
        {"--sqlite", "--order-only"}, 2);
    if (!args.given(0)) args.refuse("DIR is needed");
    const std::string dir = args.folder(0);
    const int runs = args.count(1, "RUNS", 5);
    const bool orderOnly = args.flag("--order-only");
    const bool sqlite = orderOnly || args.flag("--sqlite");

    SearchCriteria search;
    TEngineDataSet set;
    bench::setUpPersons(set, dir, search, true);
    set.Open();
    std::printf("%s: %d records, %d runs\n", dir.c_str(), set.RecordCount(), runs);

    // The window's search: the filter switched off and on, then `wanted` rows (all when < 0).
    auto runSearch = [&](const SearchCriteria& criteria, long wanted) {
        search = criteria;
        const auto start = Clock::now();
        set.setFiltered(false);
        set.setFiltered(true);
        Timed result;
        for (; !set.Eof() && result.rows != wanted; set.Next()) ++result.rows;
        result.ms = msSince(start);
        return result;
    };

    if (!orderOnly) {
        const Timed first = runSearch({*utf8ToAnsi("ПЕТРОВ"), "", true}, 50);
        const long peakKb = bench::statusKb("VmHWM");
        std::printf(
            "first 50 rows of ПЕТРОВ:           %9.1f ms %9ld rows | peak resident %.1f MB "
            "above the start\n",
            first.ms, first.rows, bench::megabytes(peakKb - startKb));
    }

    if (!orderOnly) {
        const std::string phone = "12-34-5";
        const auto [phoneSearch, phoneScan] = alternated(
            runs,
            [&] {
                // A search the user types anew: what an earlier one learnt of the table goes.
                runSearch({"", "0", true}, 1);
                return runSearch({"", phone, false}, -1);
            },
            [&] { return phoneFloor(dir + "/Phone.DBF", phone); });
        print("phone 12-34-5 anywhere, every row:", phoneSearch, "scan of both phones:", phoneScan);

        {
            const SearchCriteria nothing{*utf8ToAnsi("ЯЯЯЯ"), "", false};
            search = nothing;
            const std::optional<KeyFilter> filter = searchKeyFilter(nothing, set);
            // The stored bytes that stand for the first search byte.
            SearchCriteria firstOnly = nothing;
            firstOnly.name.resize(1);
            const std::optional<KeyFilter> first = searchKeyFilter(firstOnly, set);
            std::string firstStored;
            for (int b = 1; b < 256; ++b) {
                if (first->accepts(std::string(1, static_cast<char>(b)))) {
                    firstStored += static_cast<char>(b);
                }
            }
            GSobjMDXTag* tag = set.handler()->currentTag();
            const std::string indexPath = set.handler()->indexFile(0)->path();
            const auto entryLength = static_cast<size_t>(tag->entryLength());
            const std::vector<uint32_t> leaves =
                leafBlocks(RawFile(indexPath), tag->RootBlock(), entryLength);
            std::printf("name tag: %zu leaf blocks; \"%s\" stored as %zu bytes\n", leaves.size(),
                        "Я", firstStored.size());
            const auto [nameSearch, nameScan] = alternated(
                runs, [&] { return runSearch(nothing, -1); },
                [&] {
                    return nameFloor(indexPath, leaves, entryLength,
                                     static_cast<size_t>(tag->keyLength()), *filter, firstStored);
                });
            print("name ЯЯЯЯ anywhere (no row):", nameSearch, "scan of name keys:", nameScan);
        }
    }

    if (sqlite) {
        // The same rows in SQLite, with the name upper-cased as the tag orders it, twice: once
        // stored in the table file's record order, as the walk finds them (the index leads both
        // to rows spread over the table), and once stored in name order (the ordered scan then
        // reads the rows almost in sequence).
        struct Row {
            int record = 0;
            std::array<std::string, 5> texts;
        };
        std::vector<Row> rows;
        search = {};
        set.setFiltered(false);
        const int fields = std::min(4, set.FieldCount());
        for (set.First(); !set.Eof(); set.Next()) {
            Row row;
            row.record = set.RecNo();
            row.texts[0] = ansiToUtf8(ansiUpper(set.Fields(0).AsString()));
            for (int i = 0; i < fields; ++i) {
                row.texts[static_cast<size_t>(i) + 1] = ansiToUtf8(set.Fields(i).AsString());
            }
            rows.push_back(std::move(row));
        }
        auto load = [&](sqlite3* db) {
            sqlite3_exec(db,
                         "CREATE TABLE p(uname TEXT, name TEXT, phone1 TEXT, phone2 TEXT, note "
                         "TEXT)",
                         nullptr, nullptr, nullptr);
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(db, "INSERT INTO p VALUES(?,?,?,?,?)", -1, &insert, nullptr);
            for (const Row& row : rows) {
                for (int i = 0; i <= fields; ++i) {
                    const std::string& text = row.texts[static_cast<size_t>(i)];
                    sqlite3_bind_text(insert, i + 1, text.c_str(), -1, SQLITE_TRANSIENT);
                }
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_exec(db, "CREATE INDEX p_uname ON p(uname)", nullptr, nullptr, nullptr);
        };
        sqlite3* nameOrdered = nullptr;
        sqlite3_open(":memory:", &nameOrdered);
        load(nameOrdered);
        std::stable_sort(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) { return a.record < b.record; });
        sqlite3* db = nullptr;
        sqlite3_open(":memory:", &db);
        load(db);
        rows = {};
        set.setFiltered(true);
        auto ours = [&] {
            search = {};
            const auto start = Clock::now();
            set.setFiltered(false);
            set.setFiltered(true);
            Timed result;
            size_t bytes = 0;
            // Each field's text as stored, as SQLite's column_bytes takes its own.
            for (; !set.Eof(); set.Next()) {
                for (int i = 0; i < fields; ++i) bytes += set.storedFieldText(i).size();
                ++result.rows;
            }
            result.ms = msSince(start);
            return bytes > 0 ? result : Timed{};
        };
        auto ordered = [&](sqlite3* database) {
            const auto start = Clock::now();
            sqlite3_stmt* select = nullptr;
            sqlite3_prepare_v2(database, "SELECT name, phone1, phone2, note FROM p ORDER BY uname",
                               -1, &select, nullptr);
            Timed result;
            size_t bytes = 0;
            while (sqlite3_step(select) == SQLITE_ROW) {
                for (int i = 0; i < fields; ++i) {
                    bytes += static_cast<size_t>(sqlite3_column_bytes(select, i));
                }
                ++result.rows;
            }
            sqlite3_finalize(select);
            result.ms = msSince(start);
            return bytes > 0 ? result : Timed{};
        };
        const auto [pass, reference] = alternated(runs, ours, [&] { return ordered(db); });
        print("every row in name order:", pass, "SQLite ORDER BY, rows in table order:", reference);
        const auto [again, sequential] =
            alternated(runs, ours, [&] { return ordered(nameOrdered); });
        print("every row in name order:", again,
              "SQLite ORDER BY, rows in name order:", sequential);

        // The same pass as the tool writes it, every row as CSV, beside the sqlite3 shell writing
        // the rows stored in name order as CSV, both read through a pipe.
        char folder[] = "/tmp/abonex-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr) {
            std::perror("mkdtemp");
            return 2;
        }
        const std::string copy = std::string(folder) + "/name.db";
        sqlite3* file = nullptr;
        sqlite3_open(copy.c_str(), &file);
        sqlite3_backup* backup = sqlite3_backup_init(file, "main", nameOrdered, "main");
        sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        sqlite3_close(file);
        const std::vector<std::string> tool = {ABONEX_DB_TOOL, "search", set.tablePath()};
        const std::vector<std::string> shell = {
            "sqlite3", "-csv", copy, "SELECT name, phone1, phone2, note FROM p ORDER BY uname"};
        auto [written, shellWritten] = alternated(
            runs, [&] { return timedCommand(tool); }, [&] { return timedCommand(shell); });
        if (written.rows > 0) --written.rows;  // the tool's header line
        if (shellWritten.rows < 0) {
            std::printf("sqlite3 -csv: the sqlite3 shell did not run (package sqlite3)\n");
        } else {
            print("abonex-db search, every row, CSV:", written,
                  "sqlite3 -csv ORDER BY, rows in name order:", shellWritten);
        }
        std::remove(copy.c_str());
        ::rmdir(folder);
        sqlite3_close(db);
        sqlite3_close(nameOrdered);
    }
    return 0;
}
