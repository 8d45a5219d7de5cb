// Two copies of a generated persons table for the synchronisation benchmarks: DIR/own and
// DIR/external, each Phone.DBF with its index file. The external copy differs in about 5 % of
// its rows: 2 % have another first phone, 1 % another second phone, 1 % are missing and 1 % are
// new.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "directory/directory_tables.h"
#include "directory/persons_generator.h"
#include "directory/table_writer.h"

namespace abonex::bench {

inline void writeSyncTable(const std::string& dir, const std::vector<DirectoryRow>& rows) {
    std::filesystem::create_directories(dir);
    const DirectoryTable& table = directoryTable(DirectoryMode::Persons);
    writeDirectoryTable(dir + "/" + std::string(table.tableFile), table, rows);
}

inline void writeSyncCopies(const std::string& dir, int records) {
    demo::PersonsGenerator generator(2026);
    std::vector<DirectoryRow> own;
    own.reserve(static_cast<size_t>(records));
    for (int i = 0; i < records; ++i) own.push_back(generator.next());
    std::vector<DirectoryRow> external;
    external.reserve(own.size());
    demo::PersonsGenerator changes(7);
    for (size_t i = 0; i < own.size(); ++i) {
        DirectoryRow row = own[i];
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
                external.push_back(changes.next());  // new in the external copy
                break;
            default:
                break;
        }
        external.push_back(row);
    }
    writeSyncTable(dir + "/own", own);
    writeSyncTable(dir + "/external", external);
}

}  // namespace abonex::bench
