// pack_bench DIR [EVERY]: the pack of the persons table in DIR (as "abonex-db demo DIR --persons
// N" makes it) after every EVERY-th record (10) was marked deleted: the time it takes and the
// process's peak memory. DIR is changed: its table is packed. The marks are written straight
// into the table file (a delete leaves the keys as they are), and the index is then dated
// after the table, as a delete through the program leaves it.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/bench_arguments.h"
#include "bench/process_memory.h"
#include "directory/directory_pack.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file.h"

using namespace abonex;

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "DIR [EVERY]",
                                "Marks every EVERY-th record (10) of the persons table in DIR "
                                "deleted and packs the table; prints the time and peak memory.\n",
                                {}, 2);
    if (!args.given(0)) args.refuse("DIR is needed");
    std::string dir = args.folder(0);
    if (dir.back() != '/') dir += '/';
    const int every = args.count(1, "EVERY", 10);
    const std::string table = dir + "Phone.DBF";
    int records = 0, headerLength = 0, recordLength = 0;
    {
        GSO_dBaseFld dbf(table, false, false);
        records = dbf.recordCount();
        headerLength = dbf.headerLength();
        recordLength = dbf.recordLength();
    }
    {
        const int fd = ::open(table.c_str(), O_RDWR);
        if (fd < 0) args.refuse("cannot open " + table);
        for (int n = every; n <= records; n += every) {
            const char mark = '*';
            const off_t at = headerLength + static_cast<off_t>(n - 1) * recordLength;
            if (::pwrite(fd, &mark, 1, at) != 1) args.refuse("cannot write " + table);
        }
        ::fsync(fd);
        ::close(fd);
        GSO_DiskFile index(dir + "Phone.MDX", false, true);
        index.markModifiedNow();
    }
    const long beforeKb = bench::statusKb("VmHWM");
    const auto start = std::chrono::steady_clock::now();
    const PackResult result = packDirectoryTable(dir, DirectoryMode::Persons);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d records, %d deleted\n", table.c_str(), records, result.deletedRecords);
    std::printf("pack: %.2f s, %d records kept (%.0f records/s)\n", seconds, result.liveRecords,
                result.liveRecords / seconds);
    std::printf("peak memory: %ld kB (%ld kB before the pack), private now %ld kB\n",
                bench::statusKb("VmHWM"), beforeKb, bench::statusKb("RssAnon"));
    return 0;
}
