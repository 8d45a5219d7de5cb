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

// Both copies are written row by row as the rows are drawn, so that the generator holds no
// table in memory.
inline void writeSyncCopies(const std::string& dir, int records) {
    const DirectoryTable& table = directoryTable(DirectoryMode::Persons);
    std::filesystem::create_directories(dir + "/own");
    std::filesystem::create_directories(dir + "/external");
    DirectoryTableWriter own(dir + "/own/" + std::string(table.tableFile), table);
    DirectoryTableWriter external(dir + "/external/" + std::string(table.tableFile), table);
    demo::PersonsGenerator generator(2026);
    demo::PersonsGenerator changes(7);
    for (int i = 0; i < records; ++i) {
        DirectoryRow row = generator.next();
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
                continue;  // missing in the external copy
            case 90:
                external.add(changes.next());  // new in the external copy
                break;
            default:
                break;
        }
        external.add(row);
    }
    own.finish();
    external.finish();
}

}  // namespace abonex::bench
