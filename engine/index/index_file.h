// GSobjIndexFile: an index file of a table, holding one or more tags. The table (the handler
// derived from GSO_dBaseFld) owns it; all I/O goes through one GSO_DiskFile opened with the
// table's sharing mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/dbf/dbf_fields.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/index_progress.h"
#include "engine/index/index_tag.h"

namespace abonex {

class GSobjIndexFile {
  public:
    virtual ~GSobjIndexFile() = default;
    GSobjIndexFile(const GSobjIndexFile&) = delete;
    GSobjIndexFile& operator=(const GSobjIndexFile&) = delete;

    // Creates (or replaces) the tag `name` and builds it from the table.
    virtual GSobjIndexTag& TagCreate(std::string_view name, std::string_view keyExpression,
                                     std::string_view filterExpression, bool unique,
                                     bool ascending) = 0;
    // Removes the tag `name`; raises "Cannot find index tag <name>" when there is none.
    virtual void TagDelete(std::string_view name) = 0;
    // Raises the engine error (code, subCode, text); the table handler may take it over later.
    [[noreturn]] virtual void ReportError(int code, int subCode, std::string_view text);
    // Returns the next free block number and advances it by one block.
    virtual uint32_t BlockAllocate() = 0;
    // Sets the next free block number from the file length.
    virtual void BlockRecount() = 0;
    // Reads `length` bytes at block * 512; false (no error) when fewer were read.
    virtual bool BlockRead(uint32_t block, void* buffer, size_t length) = 0;
    virtual void BlockWrite(uint32_t block, const void* buffer, size_t length) = 0;
    // Rebuilds every tag of the file from the table.
    virtual void Reindex() = 0;
    // Gives the file the base name `newName`, keeping its extension.
    virtual void Rename(std::string_view newName) = 0;
    // Brings every tag up to date with the record just written (isNew after an append).
    virtual void RecordChanged(int recordNumber, bool isNew) = 0;
    virtual void SetLockProtocol(TgsLokProtocol protocol) { m_protocol = protocol; }

    // The index-file lock of the lock protocol, waited for (100 attempts 50 ms apart); raises
    // "Error <n> in Lock of <path>" when it cannot be had. The table handler takes it before
    // every write and releases it with unlockIndexFile() afterwards.
    void lockIndexFile();
    void unlockIndexFile();
    // True when another handle holds this file's index lock or its lock-all region: a writer or
    // a rebuild of another copy may be changing its blocks at this moment. Only asks.
    bool changingElsewhere() const;

    // The table handler's exact-match setting, which seeks take over.
    void setExactMatch(bool on) { m_exactMatch = on; }
    bool exactMatch() const { return m_exactMatch; }

    void setProgressCallback(IndexProgressCallback callback) { m_progress = std::move(callback); }
    void reportProgress(ProgressEvent event, int phase, int total, int position) const;

    GSO_dBaseFld& table() { return m_table; }
    GSO_DiskFile& diskFile() { return *m_file; }
    const std::string& path() const { return m_file->path(); }
    TgsLokProtocol lockProtocol() const { return m_protocol; }

  protected:
    explicit GSobjIndexFile(GSO_dBaseFld& table)
        : m_table(table), m_protocol(table.lockProtocol()) {}

    GSO_dBaseFld& m_table;
    std::unique_ptr<GSO_DiskFile> m_file;
    TgsLokProtocol m_protocol;
    IndexProgressCallback m_progress;
    bool m_exactMatch = false;
};

}  // namespace abonex
