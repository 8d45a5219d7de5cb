// search_variants_bench: how long the searches tried after one that finds nothing take, the way
// the window runs them, on the demo town's persons table.
//
//   search_variants_bench [RECORDS] [DIR]   (defaults: 500000, a fresh folder under /tmp; a DIR
//                                            that already holds Phone.DBF, as
//                                            `abonex-db demo DIR --persons N` makes it, is
//                                            measured as it is)
//
// Each figure is the whole search a user waits for: every attempt that finds nothing (the
// search as typed first), then the one that finds rows, up to its first 50 rows. Printed with
// the variant that found them, the attempts made, the rows and the index blocks read; medians
// of several runs. The search as typed that finds rows is measured beside them as the base, and
// searches anywhere in the name, whose every attempt looks at every key.
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
#include "directory/search_variants.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace abonex;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const char* variantName(SearchVariant variant) {
    switch (variant) {
        case SearchVariant::AsTyped:
            return "as typed";
        case SearchVariant::YoAsYe:
            return "Е/Ё";
        case SearchVariant::Layout:
            return "layout";
        case SearchVariant::Transliteration:
            return "Latin";
        case SearchVariant::PhoneDigits:
            return "digits";
    }
    return "";
}

// `text` followed by blanks up to `width` characters (not bytes: the labels are UTF-8).
std::string padded(const std::string& text, size_t width) {
    size_t characters = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
    }
    return text + std::string(width > characters ? width - characters : 0, ' ');
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "[RECORDS] [DIR]",
                                "The whole wait for the first 50 rows of each search variant on\n"
                                "a persons table of RECORDS records (500000). DIR keeps the table\n"
                                "for the next run (made when missing).\n",
                                {}, 2);
    const int records = args.count(0, "RECORDS", 500000);
    const std::string dir = args.given(1)
                                ? args.word(1)
                                : std::filesystem::temp_directory_path().string() +
                                      "/abonex-variants-bench-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string table = dir + "/Phone.DBF";
    const bool reuse = std::filesystem::exists(table);
    if (!reuse) {
        // What `abonex-db demo` writes for the persons.
        demo::writePersonsTable(table, records, 2026);
    }

    SearchCriteria live;
    TEngineDataSet set;
    bench::setUpPersons(set, dir, live, true);
    set.Open();
    std::printf("persons table: %d records%s\n", set.RecordCount(), reuse ? " (as found)" : "");
    GSO_DiskFile& index = set.handler()->indexFile(0)->diskFile();

    struct Figures {
        double ms = 0;
        size_t rows = 0;
        size_t attempts = 0;
        uint64_t blocks = 0;
        SearchVariant variant = SearchVariant::AsTyped;
    };
    const auto runOnce = [&](const SearchCriteria& typed) {
        Figures figures;
        const uint64_t before = index.readCount();
        const auto begin = Clock::now();
        const SearchAttempt used = searchWithVariants(set, live, typed);
        if (!set.Eof()) figures.rows = 1 + set.fetchRows(set.RecNo(), 49).size();
        figures.ms = msSince(begin);
        figures.blocks = index.readCount() - before;
        figures.variant = used.variant;
        // Every attempt when none found rows, else those up to the one that did.
        for (const SearchAttempt& attempt : searchAttempts(typed)) {
            ++figures.attempts;
            if (figures.rows > 0 && attempt.criteria == used.criteria) break;
        }
        return figures;
    };
    const auto measure = [&](const char* label, const char* name, const char* phone, int runs,
                             bool atStart = true) {
        const SearchCriteria typed{*utf8ToAnsi(name), *utf8ToAnsi(phone), atStart};
        std::vector<Figures> all;
        for (int i = 0; i < runs; ++i) all.push_back(runOnce(typed));
        std::sort(all.begin(), all.end(),
                  [](const Figures& a, const Figures& b) { return a.ms < b.ms; });
        const Figures& f = all[all.size() / 2];
        std::printf("%s%9.3f ms  %s after %zu attempt(s), %zu rows, %llu index blocks\n",
                    padded(label, 34).c_str(), f.ms, padded(variantName(f.variant), 8).c_str(),
                    f.attempts, f.rows, static_cast<unsigned long long>(f.blocks));
    };

    measure("ПЕТРОВ (as typed, the base):", "ПЕТРОВ", "", 21);
    measure("елкин (Е and Ё as one):", "елкин", "", 21);
    measure("семенова (Е and Ё as one):", "семенова", "", 21);
    measure("Gtnhjd (QWERTY keys):", "Gtnhjd", "", 21);
    measure("gtnhjdf c/ (QWERTY keys):", "gtnhjdf c/", "", 21);
    measure("petrov (Latin):", "petrov", "", 21);
    measure("Solovyov (Latin):", "Solovyov", "", 21);
    measure("Belyaev (second Latin reading):", "Belyaev", "", 21);
    measure("Xrushhyov (nothing anywhere):", "Xrushhyov", "", 21);
    // Anywhere in the name: each attempt looks at every key of the name tag.
    measure("тровс anywhere (as typed):", "тровс", "", 5, false);
    measure("nhjdc anywhere (layout):", "nhjdc", "", 5, false);
    measure("Xrushhyov anywhere (nothing):", "Xrushhyov", "", 3, false);
    measure("ПЕТРОВ, phone 538 (digits):", "ПЕТРОВ", "538", 5);
    measure("phone 538752 alone (digits):", "", "538752", 3);
    set.Close();
    if (!args.given(1)) std::filesystem::remove_all(dir);
    return 0;
}
