// MemoFile: the memo file beside a table, read only: the text of its memo ('M') fields.
//
// A memo field holds the number of the block where its text starts, as blanks and up to ten
// decimal digits (blanks or 0: no text); in a Visual FoxPro table (version 0x30) whose memo
// field is 4 bytes long, as a 32-bit little-endian number. Which memo file a table has follows
// from its version byte:
//   0x83          dBASE III  .DBT  blocks of 512 bytes; the text runs to a 0x1A byte
//   0x8B          dBASE IV   .DBT  block length at header offset 20; each memo starts with a
//                                  block header
//   0xF5, 0x30    FoxPro     .FPT  block length at header offset 6; each memo starts with a
//                                  block header
//
// .DBT header (block 0, integers little-endian):
//   OFFSET  SIZE  CONTENT
//   0       4     next free block
//   16      1     0x03 in dBASE III files
//   20      2     block length in bytes (dBASE IV; dBASE III files use 512 whatever is here)
// dBASE IV memo: FF FF 08 00, then the memo's length in bytes counting these 8 (4, LE), text.
//
// .FPT header (integers big-endian):
//   OFFSET  SIZE  CONTENT
//   0       4     next free block
//   6       2     block length in bytes
//   (the header takes the first 512 bytes: blocks before them hold no memo)
// FoxPro memo: its type (4; 0 picture, 1 text, 2 object), its length without these 8 (4), text.
//
// Nothing read from the file is trusted: a block number, a block length or a memo length that
// points outside the file raises error 1005 ("dBase memo record has format error") naming the
// memo file and the block; no read goes past the file's end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dbf/dbf_table.h"
#include "engine/file/disk_file.h"

namespace abonex {

class MemoFile {
  public:
    enum class Kind { DBase3, DBase4, FoxPro };

    // The kind of memo file a table of this version has; nothing for versions without one
    // (0x03, and 0x30 without the memo flag bit).
    static std::optional<Kind> kindFor(uint8_t version, uint8_t tableFlags);
    // True when the table has a memo ('M') field.
    static bool hasMemoFields(const GSO_dBaseDBF& table);

    // Opens the memo file of `table` (its folder and base name with ".DBT" or ".FPT", in any
    // letter case), shared and read only. Errors: 2 "File not found" and the memo file's path
    // when it is missing, 1005 when its header is damaged or the table's version names no
    // memo file (the text is then the table's path).
    static std::unique_ptr<MemoFile> openFor(const GSO_dBaseDBF& table);

    // The block a memo field's bytes point at; 0 when the field holds no memo. Raises 1005
    // (text: the memo file's path, "->" and the field's name) for bytes that are no number.
    uint32_t blockOf(const DbfField& field, std::string_view bytes) const;
    // The text that starts at `block`, in the table's code page; "" for block 0. Raises 1005
    // when the block lies outside the file or its header is damaged.
    std::string text(uint32_t block);

    Kind kind() const { return m_kind; }
    uint32_t blockLength() const { return m_blockLength; }
    const std::string& path() const { return m_file->path(); }
    // Blocks the file holds (the header block counted), whole or not.
    uint64_t blockCount() const;

  private:
    MemoFile(std::unique_ptr<GSO_DiskFile> file, Kind kind, uint8_t tableVersion);
    [[noreturn]] void damaged(uint32_t block) const;

    std::unique_ptr<GSO_DiskFile> m_file;
    Kind m_kind;
    uint8_t m_tableVersion;
    uint32_t m_blockLength = 512;
    uint64_t m_size = 0;
};

// Name of a memo file kind for people: "dBASE III", "dBASE IV", "FoxPro".
std::string_view memoKindName(MemoFile::Kind kind);

}  // namespace abonex
