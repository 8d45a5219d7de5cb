// Packing a table: the records marked deleted go for good.
//
// The live records are written, in the order of the set's tag (record-number order without
// one), to a new file beside the table, which is made durable (the file and its folder flushed
// to the disk) before anything else happens. The table is then kept under a second name as a
// backup (a hard link: the table's own name still names it), the new file is renamed over the
// table, the folder flushed again, the index files rebuilt against the new table and flushed,
// and the backup removed. A power cut at any moment leaves at the table's name either the old
// table or the new one, each whole: before the rename the old one (and, beside it, a part-made
// new file and perhaps the backup, which the next pack removes), after it the new one, whose
// index files the rebuild at the next open puts right if the cut came before they were rebuilt.
//
// A table reached through a symbolic link is packed where the link points: the new file and
// the backup lie beside that file, and the link stays a link.
//
// Only a table nobody else has open is packed: the set is opened exclusively, which every copy
// of the program that has the table (or its index files) open refuses, on this machine or
// another (each holds the share marker of disk_file.h while it has the file open).
#pragma once

#include <stdexcept>
#include <string>

#include "engine/dataset/engine_dataset.h"

namespace abonex {

// The pack was refused because another handle has the table or one of its index files open.
class ETableInUse : public std::runtime_error {
  public:
    explicit ETableInUse(const std::string& path);
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

struct PackResult {
    int liveRecords = 0;     // records the packed table holds
    int deletedRecords = 0;  // records that went
    std::string tablePath;   // the file packed (where a link points)
};

// The names the pack gives the new file and the backup beside the table file `target`.
std::string packedFilePath(const std::string& target);
std::string packBackupPath(const std::string& target);

// Packs the table of `set`, which must be closed and set up as it is opened for use (folder,
// table, index files, tag, lock protocol, code pages); it is closed again afterwards, with its
// Exclusive setting as it was. Raises ETableInUse when the table is open elsewhere (nothing
// changed then), the engine's errors otherwise. When the failure came before the rename, the
// table is as it was; after it, the message says that the table is packed and what is left.
PackResult packTable(TEngineDataSet& set);

// The records of the table of `set` (open) marked deleted: what a pack would remove.
int deletedRecordCount(TEngineDataSet& set);

}  // namespace abonex
