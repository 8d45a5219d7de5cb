// Two copies of a generated persons table for the synchronisation benchmarks: DIR/own and
// DIR/external, each Phone.DBF with its index file. The external copy differs in about 5 % of
// its rows: 2 % have another first phone, 1 % another second phone, 1 % are missing and 1 % are
// new.
#pragma once

#include <filesystem>
#include <string>

#include "directory/directory_tables.h"
#include "directory/persons_generator.h"
#include "directory/table_writer.h"

namespace abonex::bench {

// Writes an own and an external persons table in DIR/own and DIR/external row by row as the
// rows are drawn, so that no table is held in memory: `place` gets each generated row with its
// number and adds what it makes of it to either writer.
template <typename Place>
void writeCopyPair(const std::string& dir, int records, Place place) {
    const DirectoryTable& table = directoryTable(DirectoryMode::Persons);
    std::filesystem::create_directories(dir + "/own");
    std::filesystem::create_directories(dir + "/external");
    DirectoryTableWriter own(dir + "/own/" + std::string(table.tableFile), table);
    DirectoryTableWriter external(dir + "/external/" + std::string(table.tableFile), table);
    demo::PersonsGenerator generator(2026);
    for (int i = 0; i < records; ++i) place(i, generator.next(), own, external);
    own.finish();
    external.finish();
}

// The two copies the synchronisation benchmarks compare: every hundred rows, two phones
// changed, one second phone changed, one row missing and one new in the external copy.
inline void writeSyncCopies(const std::string& dir, int records) {
    demo::PersonsGenerator changes(7);
    writeCopyPair(
        dir, records,
        [&](int i, DirectoryRow row, DirectoryTableWriter& own, DirectoryTableWriter& external) {
            own.add(row);
            switch (i % 100) {
                case 10:
                case 30:
                    row.phone1 = changes.next().phone1;
                    break;
                case 50:
                    row.phone2 = changes.next().phone1;
                    break;
                case 70:
                    return;  // missing in the external copy
                case 90:
                    external.add(changes.next());  // new in the external copy
                    break;
                default:
                    break;
            }
            external.add(row);
        });
}

}  // namespace abonex::bench
