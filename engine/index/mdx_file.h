// GSobjMDXFile: a multiple-index (.MDX) file: its header, its tag table and its tags (layout in
// mdx_format.h).
//
// Blocks are only ever taken from the end of the file: the next free block number comes from
// the file length when the file is opened and goes up by one block per allocation; only Reindex
// gives space back, by truncating the file behind the tag headers, which it keeps in front.
//
// Blocks that walks read are kept (a few dozen, the least recently used go first) until the file
// may have changed: lookForChanges() compares the file's change stamp with the one of the last
// look and, when they differ, forgets them all and counts a new generation. A tag's held path and
// root block number belong to the generation they were read in. This process's own writes
// replace what is kept of the blocks they write.
//
// Invariant: the tag list is in tag-table order (ascending by name) and every tag's header block
// lies inside the file; a kept block holds what the file held at the generation's start or what
// this process wrote there since.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/index_file.h"
#include "engine/index/mdx_tag.h"

namespace abonex {

class GSobjMDXFile : public GSobjIndexFile {
  public:
    // Opens the existing index file `fileName` of `table` with the table's sharing mode: ".MDX"
    // is added when the name has no extension, the table's folder when it has no folder; the
    // name is found without regard to case. Reads the header and every tag header. Raises the
    // disk error (2 "File not found" for a missing file) or "Index file damaged".
    GSobjMDXFile(GSO_dBaseFld& table, std::string_view fileName);
    // Creates a new, empty index file (2048-byte header, no tags) and opens it. An existing
    // file of that name (any letter case) raises 183 "File already exists" and stays as it was.
    static std::unique_ptr<GSobjMDXFile> create(GSO_dBaseFld& table, std::string_view fileName);
    // The full path an index-file name stands for beside `table` (see the constructor).
    static std::string indexFilePath(const GSO_dBaseFld& table, std::string_view fileName);
    // Closes the file; never throws.
    ~GSobjMDXFile() override;

    // Creating and deleting a tag take the index lock (waiting for it as every writer does),
    // then work on the tag table as it is on disk then, with new blocks from the file's end.
    GSobjMDXTag& TagCreate(std::string_view name, std::string_view keyExpression,
                           std::string_view filterExpression, bool unique, bool ascending) override;
    void TagDelete(std::string_view name) override;
    // True when the last TagCreate replaced a tag of the same name.
    bool lastTagCreateReplaced() const { return m_lastCreateReplaced; }

    // Takes over the tag table as another writer may have left it: its new tags appear, its
    // deleted tags leave tags() (their objects stay alive until close), and a tag whose header
    // block moved reads its header again. Known tags keep their objects. Meant to be called
    // with the index lock held; reads nothing more than the header when the table is as last
    // seen.
    void refreshTags();
    uint32_t BlockAllocate() override;
    void BlockRecount() override;
    bool BlockRead(uint32_t block, void* buffer, size_t length) override;
    void BlockWrite(uint32_t block, const void* buffer, size_t length) override;

    // One node block, blockLength() bytes, served from the kept blocks or the run held (see
    // runBlock) when it is in them; false when the file ends before its end. `readNow`, when
    // given, tells whether the bytes were read from the file by this call: what was served from
    // the kept blocks or the run was read in this generation. A block that follows the one read
    // before is read with a run of those after it.
    bool nodeBlockRead(uint32_t block, uint8_t* buffer, bool* readNow = nullptr);
    // The blockLength() bytes of node block `block` out of a run of consecutive blocks read at
    // once (one read of kRunBytes from `block` on when it is not in the run held), for walks
    // that pass over many leaves; nullptr when the file ends before the block's end. The
    // pointer stays valid until the next call, a write or forgetReads. The run is forgotten
    // with the kept blocks, so it holds what the file held at the generation's start.
    const uint8_t* runBlock(uint32_t block);
    // The run the last runBlock served from; a look keeps it to hold the bytes it scanned
    // without copying them (a later run is read into a buffer of its own then).
    const std::shared_ptr<const std::vector<uint8_t>>& currentRun() const { return m_run; }
    static constexpr size_t kRunBytes = 256 * 1024;
    // One look at the change stamp (a system call, no read). When the file may have changed
    // since the last look (the stamps differ, or the last one was taken in the tick of a
    // write), the kept blocks are forgotten, the generation goes up and true is returned.
    bool lookForChanges();
    // Forgets the kept blocks; with `newGeneration`, as if the file had changed.
    void forgetReads(bool newGeneration);
    uint64_t generation() const { return m_generation; }
    // Rebuilds every tag from the table as it is once the rebuild holds the lock-all region
    // (and, under DB4Lock, the writers' lock), each waited for as writers wait for theirs.
    void Reindex() override;
    // The table as the last Reindex found it under its locks: its whole records, and the bytes
    // of a record that a writer left unfinished at its end (see partialRecordBytes).
    struct RebuiltTable {
        int records = 0;
        uint64_t partialBytes = 0;
    };
    const RebuiltTable& lastRebuild() const { return m_rebuilt; }
    void Rename(std::string_view newName) override;
    // Calls KeyUpdate on every tag in tag-table order.
    void RecordChanged(int recordNumber, bool isNew) override;

    // Writes the header back when tags were created or deleted, releases the tags, closes.
    void close();

    // The tag named `name` (compared without regard to case), or nullptr.
    GSobjMDXTag* findTag(std::string_view name);
    // The header block that the tag table on disk gives the tag `name` now (0 when the table
    // does not hold it). Another copy's rebuild moves every tag header; this is how a copy
    // that has the file open learns of it.
    uint32_t tagHeaderBlockOnDisk(std::string_view name);
    const std::vector<std::unique_ptr<GSobjMDXTag>>& tags() const { return m_tags; }

    uint32_t blockLength() const { return m_blockLength; }
    uint32_t headerSize() const { return m_headerSize; }
    uint32_t blockUnits() const { return m_blockUnits; }
    int64_t nextFreeBlock() const { return m_nextFree; }
    bool headerChanged() const { return m_headerChanged; }

  private:
    struct CreateTag {};
    GSobjMDXFile(GSO_dBaseFld& table, std::string_view path, CreateTag);
    void openFile(std::string_view path);
    void readHeader();
    // Makes the tag list follow the tag table of the header area `area`.
    void takeTagTable(const std::vector<uint8_t>& area);
    // The index lock, the next free block from the file length and the tag table from disk;
    // for a change of the tag table.
    void lockForTagChange();
    void markProductionIndex();
    // Reads the header area, stores the tag count and every slot from the tag list, writes it.
    void writeTagTable(bool clearSlots);
    std::vector<uint8_t> readHeaderArea();
    // Builds the tag from the table (or gives it one empty root leaf when the table is empty)
    // and writes its header.
    void buildTag(GSobjMDXTag& tag);
    // Whether the tag headers take the blocks right behind the file header, in tag-table
    // order; moveHeadersToTheFront puts them there, on the disk step by step.
    bool headersInFront() const;
    void moveHeadersToTheFront();
    [[noreturn]] void damaged(std::string_view detail) const;

    struct KeptBlock {
        uint32_t block = 0;
        uint64_t lastUse = 0;
        std::vector<uint8_t> bytes;
    };
    static constexpr size_t kKeptBlocks = 64;

    std::string m_name;  // file name without folder
    std::vector<KeptBlock> m_kept;
    // The run runBlock serves: the bytes from block m_runFirst on (null: none).
    std::shared_ptr<const std::vector<uint8_t>> m_run;
    uint32_t m_runFirst = 0;
    // The block nodeBlockRead last read from the file (0: none): the next one after it is read
    // with the blocks that follow, as a walk over the leaves of a tree built in one go reads
    // them in the order they lie in the file.
    uint32_t m_lastRead = 0;
    uint64_t m_uses = 0;
    uint64_t m_generation = 0;
    FileChangeStamp m_lastStamp;
    std::vector<std::unique_ptr<GSobjMDXTag>> m_tags;
    // Tags deleted or replaced since opening; kept so that no pointer to them dangles.
    std::vector<std::unique_ptr<GSobjMDXTag>> m_retiredTags;
    // Bytes 28 onward of the header area as last read or written: the tag table's image.
    std::vector<uint8_t> m_tagTableImage;
    bool m_lastCreateReplaced = false;
    RebuiltTable m_rebuilt;
    int64_t m_nextFree = -1;
    uint32_t m_blockLength = mdx::kBlockLength;
    uint32_t m_headerSize = mdx::kHeaderSize;
    uint32_t m_blockUnits = mdx::kBlockUnits;
    bool m_headerChanged = false;
    bool m_opened = false;
};

// Stamps today's date (years since 1900, month, day) into three header bytes.
void stampIndexDate(uint8_t* at);

}  // namespace abonex
