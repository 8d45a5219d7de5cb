// dataset_bench: the data set's figures on a generated persons table.
//
//   dataset_bench [RECORDS] [DIR]      (defaults: 500000, a fresh folder under /tmp; a DIR that
//                                       already holds Phone.DBF is measured as it is)
//
// Searches go the window's way: the directory's filter with its key filter, the filter switched
// off and on again, the rows read from the first one on. Prints: open; ReindexAll; a full
// filtered pass in name order with a prefix search and with a substring search that no row
// matches; every row of an empty search; the first 50 rows of a prefix at the start, the middle
// and the end of the alphabet and of one that nothing matches; the median of one append and of
// one key-changing edit with index maintenance; index blocks read per seek. Timings are medians
// of several runs; index blocks read are counted reads of the index file (the same on every
// machine), for the search alone and with the switching off the window does first.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_arguments.h"
#include "bench/persons_table.h"
#include "directory/persons_generator.h"
#include "directory/search_filter.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/index/mdx_file.h"
#include "engine/index/mdx_format.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace abonex;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "[RECORDS] [DIR]",
                                "Data-set figures on a persons table of RECORDS records (500000):\n"
                                "open, rebuild, filtered passes, first rows, append and edit.\n"
                                "DIR keeps the table for the next run (made when missing);\n"
                                "without it a folder under the temporary folder is used and "
                                "removed.\n",
                                {}, 2);
    int records = args.count(0, "RECORDS", 500000);
    std::string dir = args.given(1) ? args.word(1)
                                    : std::filesystem::temp_directory_path().string() +
                                          "/abonex-dataset-bench-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::string table = dir + "/Phone.DBF";
    bool reuse = args.given(1) && std::filesystem::exists(table);  // a table left by an earlier run
    if (!reuse) {
        demo::writePersonsTable(table, records, 2026);
    }
    std::printf("persons table: %d records\n", records);

    SearchCriteria search;
    TEngineDataSet set;
    bench::setUpPersons(set, dir, search, false);
    set.setFiltered(true);
    set.setAutoFlush(kCommitPoints);  // the posts are the window's: each one a commit point

    auto start = Clock::now();
    set.Open();
    std::printf("open:                         %8.1f ms\n", msSince(start));

    start = Clock::now();
    set.ReindexAll();
    std::printf("ReindexAll:                   %8.1f ms\n", msSince(start));

    GSO_DiskFile& index = set.handler()->indexFile(0)->diskFile();
    const uint64_t tagBlocks =
        (std::filesystem::file_size(dir + "/Phone.MDX") - mdx::kHeaderSize) / mdx::kBlockLength - 1;
    std::printf("name tag:                     %8llu node blocks\n",
                static_cast<unsigned long long>(tagBlocks));

    struct Figures {
        double ms = 0;
        size_t rows = 0;
        uint64_t blocks = 0;      // index reads of the search
        uint64_t withSwitch = 0;  // ... and of switching the filter off before it
    };
    // The window's search: filter off and on, then `wanted` rows from the first one on (every
    // row when `wanted` < 0).
    auto runSearch = [&](const char* name, bool atStart, int wanted) {
        search = {*utf8ToAnsi(name), "", atStart};
        Figures figures;
        const uint64_t before = index.readCount();
        auto begin = Clock::now();
        set.setFiltered(false);
        const uint64_t switched = index.readCount();
        set.setFiltered(true);
        if (wanted < 0) {
            for (; !set.Eof(); set.Next()) ++figures.rows;
        } else if (!set.Eof()) {
            figures.rows = 1 + set.fetchRows(set.RecNo(), wanted - 1).size();
        }
        figures.ms = msSince(begin);
        figures.blocks = index.readCount() - switched;
        figures.withSwitch = index.readCount() - before;
        return figures;
    };
    auto medianSearch = [&](const char* name, bool atStart, int wanted, int runs) {
        std::vector<Figures> all;
        for (int i = 0; i < runs; ++i) all.push_back(runSearch(name, atStart, wanted));
        std::sort(all.begin(), all.end(),
                  [](const Figures& a, const Figures& b) { return a.ms < b.ms; });
        return all[all.size() / 2];
    };
    auto pass = [&](const char* label, const char* name, bool atStart) {
        const Figures f = medianSearch(name, atStart, -1, 3);
        std::printf("%-30s%8.1f ms (%zu rows, %llu index blocks read, %.3f per node block)\n",
                    label, f.ms, f.rows, static_cast<unsigned long long>(f.blocks),
                    static_cast<double>(f.blocks) / static_cast<double>(tagBlocks));
    };
    pass("filtered pass, prefix:", "ЯЯЯЯ", true);
    pass("filtered pass, substring:", "ЯЯЯЯ", false);
    pass("every row, empty search:", "", true);

    auto firstRows = [&](const char* label, const char* name) {
        const Figures f = medianSearch(name, true, 50, 5);
        std::printf("%-30s%8.2f ms (%zu rows, %llu index blocks read, %llu with the switch)\n",
                    label, f.ms, f.rows, static_cast<unsigned long long>(f.blocks),
                    static_cast<unsigned long long>(f.withSwitch));
    };
    firstRows("first 50 rows, empty search:", "");
    firstRows("first 50 rows of АБРАМОВ:", "АБРАМОВ");
    firstRows("first 50 rows of ПЕТРОВ:", "ПЕТРОВ");
    firstRows("first 50 rows of петрова:", "петрова");
    firstRows("first 50 rows of ЯКОВЛЕВ:", "ЯКОВЛЕВ");
    firstRows("first 50 rows of ЩЮЩ:", "ЩЮЩ");

    search = {};
    set.setFiltered(false);
    demo::PersonsGenerator generator(7);
    std::vector<double> appends, edits;
    for (int i = 0; i < 1000; ++i) {
        const DirectoryRow row = generator.next();
        auto begin = Clock::now();
        set.Append();
        set.FieldByName("NAME").SetAsString(*utf8ToAnsi(row.name));
        set.FieldByName("PHONE1").SetAsString(row.phone1);
        set.Post();
        appends.push_back(msSince(begin));
    }
    for (int i = 0; i < 1000; ++i) {
        const DirectoryRow row = generator.next();
        set.GotoRecNo(1 + (i * 7919) % records);
        auto begin = Clock::now();
        set.Edit();
        set.FieldByName("NAME").SetAsString(*utf8ToAnsi(row.name));
        set.Post();
        edits.push_back(msSince(begin));
    }
    std::printf("append (median of 1000):      %8.3f ms\n", median(appends));
    std::printf("key-changing edit (median):   %8.3f ms\n", median(edits));

    uint64_t before = index.readCount();
    const int seeks = 1000;
    for (int i = 0; i < seeks; ++i) set.GotoRecNo(1 + (i * 104729) % records);
    std::printf("index blocks read per seek:   %8.2f\n",
                static_cast<double>(index.readCount() - before) / seeks);

    set.Close();
    if (!args.given(1)) std::filesystem::remove_all(dir);
    return 0;
}
