// Writes the seed corpora of the table and index fuzz targets into the folder given as the
// only argument (its subfolders table_fuzz/ and index_fuzz/ must exist).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/index/mdx_file.h"
#include "engine/index/production_index.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

using namespace abonex;

void copyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds CORPUS_FOLDER\n";
        return 2;
    }
    const std::string out = argv[1];
    const std::string& scratch = fuzz::scratchFolder();

    // Tables: empty, the index target's table, one of every field type the tables use.
    const std::string empty = scratch + "/EMPTY.DBF";
    createDbfTable(empty, {{"NAME", 'C', 10, 0}});
    copyFile(empty, out + "/table_fuzz/empty.dbf");

    const std::string small = scratch + "/T.DBF";
    fuzz::writeSmallTable(small);
    copyFile(small, out + "/table_fuzz/small.dbf");

    const std::string mixed = scratch + "/MIXED.DBF";
    createDbfTable(
        mixed, {{"NAME", 'C', 300, 0}, {"SUM", 'N', 8, 2}, {"OK", 'L', 1, 0}, {"BORN", 'D', 8, 0}});
    {
        GSO_dBaseFld table(mixed, false, true);
        table.BlankRecord();
        table.FieldPut(1, "a long name");
        table.FieldPut(2, "-12.50");
        table.FieldPut(3, "T");
        table.FieldPut(4, "20021231");
        table.AppendRecord();
        table.AppendRecord();
        table.DeleteRecord();
    }
    copyFile(mixed, out + "/table_fuzz/mixed.dbf");

    // Index files of the index target's table: one tag; several tags of each key type,
    // descending, unique and filtered ones.
    {
        GSO_dBaseFld table(small, false, true);
        createProductionIndex(table, "NAME", "NAME");
    }
    copyFile(scratch + "/T.MDX", out + "/index_fuzz/one_tag.mdx");
    {
        GSO_dBaseFld table(small, false, true);
        auto index = GSobjMDXFile::create(table, "T2");
        index->TagCreate("PHONE", "PHONE", "", false, true);
        index->TagCreate("UNAME", "UPPER(NAME)", "", true, false);
        index->TagCreate("BORN", "BORN", "", false, true);
        index->TagCreate("LEN", "LEN(TRIM(NAME))", "PHONE <> ' '", false, true);
        index->close();
    }
    copyFile(scratch + "/T2.MDX", out + "/index_fuzz/four_tags.mdx");
    return 0;
}
