// dataset_bench: the data set's figures on a generated persons table.
//
//   dataset_bench [RECORDS] [DIR]      (defaults: 500000, a fresh folder under /tmp; a DIR that
//                                       already holds Phone.DBF is measured as it is)
//
// Prints: open; ReindexAll; a full filtered pass in name order with a prefix search and with a
// substring search that no row matches (every record goes through the filter, as the window
// does); the first 50 rows of a common surname; the median of one append and of one
// key-changing edit with index maintenance; index blocks read per seek.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/search_filter.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tools/persons_generator.h"

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
    int records = argc > 1 ? std::atoi(argv[1]) : 500000;
    std::string dir = argc > 2 ? argv[2]
                               : std::filesystem::temp_directory_path().string() +
                                     "/abonex-dataset-bench-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::string table = dir + "/Phone.DBF";
    bool reuse = argc > 2 && std::filesystem::exists(table);  // a table left by an earlier run
    if (!reuse) {
        demo::writePersonsTable(table, records, 2026);
        GSO_dBaseFld dbf(table, false, true);
        createProductionIndex(dbf, "NAME", "NAME");
    }
    std::printf("persons table: %d records\n", records);

    SearchCriteria search;
    TEngineDataSet set;
    set.setDatabaseName(dir);
    set.setTableName("Phone.DBF");
    set.setIndexFiles({"Phone.MDX"});
    set.setIndexName("NAME");
    set.OnFilterRecord = [&](TEngineDataSet& dataSet, bool& accept) {
        DSetFilterRecord(search, dataSet, accept);
    };
    set.setFiltered(true);

    auto start = Clock::now();
    set.Open();
    std::printf("open:                         %8.1f ms\n", msSince(start));

    start = Clock::now();
    set.ReindexAll();
    std::printf("ReindexAll:                   %8.1f ms\n", msSince(start));

    auto pass = [&](const char* label, const char* name, bool atStart) {
        search = {*utf8ToAnsi(name), "", atStart};
        auto begin = Clock::now();
        set.setFiltered(false);
        set.setFiltered(true);  // runs the filter over the table from the first key
        int rows = 0;
        for (; !set.Eof(); set.Next()) ++rows;
        std::printf("%-30s%8.1f ms (%d rows)\n", label, msSince(begin), rows);
    };
    pass("filtered pass, prefix:", "ЯЯЯЯ", true);
    pass("filtered pass, substring:", "ЯЯЯЯ", false);

    auto firstRows = [&](const char* label, const char* name) {
        search = {*utf8ToAnsi(name), "", true};
        auto begin = Clock::now();
        set.setFiltered(false);
        set.setFiltered(true);
        auto first = set.fetchRows(0, 50);
        std::printf("%-30s%8.1f ms (%zu rows)\n", label, msSince(begin), first.size());
    };
    firstRows("first 50 rows, empty search:", "");
    firstRows("first 50 rows of АБРАМОВ:", "АБРАМОВ");

    search = {*utf8ToAnsi("ПЕТРОВ"), "", true};
    start = Clock::now();
    set.setFiltered(false);
    set.setFiltered(true);
    auto rows = set.fetchRows(0, 50);
    std::printf("first 50 rows of ПЕТРОВ:      %8.1f ms (%zu rows)\n", msSince(start), rows.size());

    search = {};
    set.setFiltered(false);
    demo::PersonsGenerator generator(7);
    std::vector<double> appends, edits;
    for (int i = 0; i < 1000; ++i) {
        demo::PersonRow row = generator.next();
        auto begin = Clock::now();
        set.Append();
        set.FieldByName("NAME").SetAsString(oemToAnsi(row.name));
        set.FieldByName("PHONE1").SetAsString(row.phone1);
        set.Post();
        appends.push_back(msSince(begin));
    }
    for (int i = 0; i < 1000; ++i) {
        demo::PersonRow row = generator.next();
        set.GotoRecNo(1 + (i * 7919) % records);
        auto begin = Clock::now();
        set.Edit();
        set.FieldByName("NAME").SetAsString(oemToAnsi(row.name));
        set.Post();
        edits.push_back(msSince(begin));
    }
    std::printf("append (median of 1000):      %8.3f ms\n", median(appends));
    std::printf("key-changing edit (median):   %8.3f ms\n", median(edits));

    GSO_dBHandler& handler = *set.handler();
    GSO_DiskFile& index = handler.indexFile(0)->diskFile();
    uint64_t before = index.readCount();
    const int seeks = 1000;
    for (int i = 0; i < seeks; ++i) set.GotoRecNo(1 + (i * 104729) % records);
    std::printf("index blocks read per seek:   %8.2f\n",
                static_cast<double>(index.readCount() - before) / seeks);

    set.Close();
    if (argc <= 2) std::filesystem::remove_all(dir);
    return 0;
}
