// The index integrity check: a read-only verifier of a multiple-index file against its table.
//
// It decodes the index file on its own, block by block, without the index layer's reader or
// writer, so that it can serve as an independent judge of what that writer produced; only the
// decoding of a numeric key's digits is shared with them (mdx_format.h), so that the check and
// the dump read a number written by any writer alike. Every
// count, length and block number read from the file is checked before it is used; a damaged
// file gives problem lines, never a crash, an out-of-range read or an endless walk.
//
// Layout it relies on (integers little-endian; block numbers count 512-byte units):
//   File header          OFFSET  SIZE  CONTENT
//                        20      2     block length in 512-byte units
//                        22      2     block length in bytes (header size = units x length)
//                        28      2     number of tags
//                        512+32k 32    tag slot k (k >= 1): header block (4), name (11)
//   Tag header           0       4     root block
//                        8       1     flags: 0x08 descending
//                        9       1     key type 'C', 'N' or 'D'
//                        12      2     key length
//                        14      2     keys per node
//                        18      2     entry length
//                        23      1     unique when non-zero
//                        24      221   key expression, NUL-terminated
//                        245     1     1 when a filter expression follows
//                        762     ...   filter expression, NUL-terminated
//   Node block           0       4     key count n
//                        8       ...   entries of entry length: pointer (4), key bytes
//     The pointer after the last key (entry n) is 0 in a leaf and the last child in a branch.
//
// What a clean tag satisfies:
//   - every block it reaches lies inside the file on a block boundary, is reached once, and
//     holds no more keys than the tag's keys per node (nor than fit in the block);
//   - all leaves are at the same depth;
//   - the leaf keys, read left to right, are in the tag's order (ascending, or descending),
//     equal keys in record-number order of the same direction;
//   - each branch entry holds the largest key of its child's subtree (the extra last entry of
//     a branch is the high value and is not compared);
//   - every record of the table, deleted or not, that passes the tag's filter has exactly one
//     entry, carrying the key its key expression gives now, and no other record has one; in a
//     unique tag only the first record in the tag's order holding a key has an entry.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_fields.h"

namespace abonex {

// One problem found: the tag it concerns (empty for the file header) and one line of text
// that names the block or record involved.
struct IndexProblem {
    std::string tag;
    std::string message;
};

struct IndexCheckReport {
    std::vector<IndexProblem> problems;
    int tagsChecked = 0;   // tags whose tree was walked
    long keysChecked = 0;  // leaf entries read, over all tags

    bool clean() const { return problems.empty(); }
};

// "TAG: message", or the message alone for a problem of the file header.
std::string formatIndexProblem(const IndexProblem& problem);

// Checks every tag of the index file `mdxPath` against `table`. Reads the records of `table`
// (so its current record changes) and never writes either file.
// Raises EEngineError only when the index file cannot be opened or read at all; every kind of
// damage inside it is reported in the result.
IndexCheckReport checkIndexFile(GSO_dBaseFld& table, std::string_view mdxPath);

// checkIndexFile beside writers: problems found while another copy may be in the middle of a
// record (its row written, its keys not yet, or a page of the index being rewritten) are not
// taken for damage. When the first look finds any, the check is made again under the index-file
// lock of the table's lock protocol (a read lock, waited for as a writer waits for it), which
// every writer holds while it changes a record and its keys and every rebuild holds too, and
// only what that look finds is reported. Raises "Error <n> in Lock of <path>" when the lock
// cannot be had.
IndexCheckReport checkIndexFileBesideWriters(GSO_dBaseFld& table, std::string_view mdxPath);

// Runs `look` while holding the index-file lock of `table`'s lock protocol on the index file
// `mdxPath` as a read lock, waited for as a writer waits for it: no writer that follows the
// protocol is in the middle of a record meanwhile. The table's header is read again first.
// Raises "Error <n> in Lock of <path>" when the lock cannot be had.
void whileNoWriterWrites(GSO_dBaseFld& table, std::string_view mdxPath,
                         const std::function<void()>& look);

}  // namespace abonex
