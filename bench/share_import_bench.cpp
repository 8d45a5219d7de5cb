// Imports into a persons table the way the tool's import does (appends through a data set, in
// batches), and prints what a row costs: on a local folder, through one mount of a shared
// folder, and through two mounts of it at once (one process on each).
//
//   share_import_bench ROWS LOCAL_FOLDER [MOUNT_A MOUNT_B]
//
// MOUNT_A and MOUNT_B name one shared folder as two machines see it (for example the two
// GlusterFS mounts that tests/support/gluster_volume.sh makes). Each run makes a new folder
// below the given one; the local one is removed afterwards.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_arguments.h"
#include "directory/directory_tables.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"

namespace {

using namespace abonex;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

void makeTable(const std::string& folder) {
    ::mkdir(folder.c_str(), 0777);
    const DirectoryTable& persons = directoryTable(DirectoryMode::Persons);
    const std::string table = folder + "/" + std::string(persons.tableFile);
    createDbfTable(table, directoryFieldSpecs(persons));
    GSO_dBaseFld dbf(table, false, true);
    auto index = GSobjMDXFile::create(dbf, folder + "/" + std::string(persons.indexFile));
    index->TagCreate(std::string(persons.tagName), std::string(nameTagExpression(persons)), "",
                     false, true);
}

// Appends `rows` rows named prefix + number; returns the milliseconds it took.
double importRows(const std::string& folder, const std::string& prefix, int rows) {
    const DirectoryTable& persons = directoryTable(DirectoryMode::Persons);
    TEngineDataSet set;
    set.setDatabaseName(folder);
    set.setTableName(std::string(persons.tableFile));
    set.setIndexFiles({std::string(persons.indexFile)});
    set.setIndexName(std::string(persons.tagName));
    set.setAutoFlush(kCommitPoints);  // as the tool's import writes
    set.Open();
    const auto begin = Clock::now();
    GSO_dBHandler::AppendBatch batch(*set.handler());
    for (int i = 0; i < rows; ++i) {
        set.Append();
        set.Fields(0).SetAsString(prefix + std::to_string(1000000 + i));
        set.Fields(1).SetAsString(std::to_string(i));
        set.Post();
    }
    batch.finish();
    return msSince(begin);
}

void report(const char* what, int rows, double ms) {
    std::printf("%-34s %7d rows %10.1f ms %8.3f ms/row\n", what, rows, ms, ms / rows);
}

// Two processes at once, one through each mount; prints each one's cost per row.
void importTwoAtOnce(const std::string& a, const std::string& b, int rows) {
    int pipes[2];
    if (::pipe(pipes) != 0) return;
    const auto begin = Clock::now();
    for (const std::string* folder : {&a, &b}) {
        if (::fork() == 0) {
            const double ms = importRows(*folder, folder == &a ? "Alpha" : "Beta", rows);
            if (::write(pipes[1], &ms, sizeof ms) != sizeof ms) std::_Exit(1);
            std::_Exit(0);
        }
    }
    double each[2] = {0, 0};
    for (double& ms : each) {
        if (::read(pipes[0], &ms, sizeof ms) != sizeof ms) ms = -1;
    }
    while (::wait(nullptr) > 0) {
    }
    const double total = msSince(begin);
    report("two mounts at once, first", rows, each[0]);
    report("two mounts at once, second", rows, each[1]);
    report("two mounts at once, all rows", 2 * rows, total);
}

}  // namespace

int main(int argc, char** argv) {
    const bench::Arguments args(argc, argv, "ROWS LOCAL_FOLDER [MOUNT_A MOUNT_B]",
                                "What an imported row costs on a local folder, through one mount\n"
                                "of a shared folder and through two mounts of it at once. Every\n"
                                "folder must exist; the tables are made in folders of their own\n"
                                "inside them.\n",
                                {}, 4);
    if (args.wordCount() != 2 && args.wordCount() != 4) {
        args.refuse("ROWS and LOCAL_FOLDER are needed, and both mounts or none");
    }
    const int rows = args.count(0, "ROWS", 0);
    const std::string run = "import" + std::to_string(::getpid());
    const std::string local = args.folder(1) + "/" + run;
    makeTable(local);
    report("local folder", rows, importRows(local, "Local", rows));
    std::filesystem::remove_all(local);
    if (args.wordCount() == 4) {
        const std::string one = args.folder(2) + "/" + run + "-one";
        makeTable(one);
        report("one mount", rows, importRows(one, "Alone", rows));
        const std::string a = args.folder(2) + "/" + run + "-two";
        const std::string b = args.folder(3) + "/" + run + "-two";
        makeTable(a);
        importTwoAtOnce(a, b, rows);
    }
    return 0;
}
