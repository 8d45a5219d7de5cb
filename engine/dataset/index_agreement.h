// What a reader finds when it looks whether the open index files still describe the table.
#pragma once

#include <string>

namespace abonex {

// What a look found disagreeing between the table and one of its index files: the index file's
// path and what it holds that the table does not give ("holds 500 keys in tag NAME").
struct IndexDisagreement {
    std::string indexPath;
    std::string what;
};

// How far a reader looks before it trusts the open index files:
//  - Marks: whether the table was written after the index files (local disks only; every writer
//    of this program marks the index files after its writes to the table). Two looks at the
//    files' times: a reader takes it at every search.
//  - Samples: that, and the records the quick look before rows are shown looks at, each under
//    its keys. A few hundred seeks whatever the table's size: a reader takes it at the open.
//  - EveryKey: that, and every key of every tag counted against the table's records: a reader
//    that walked the whole order takes it at the end.
enum class IndexLook { Marks, Samples, EveryKey };

}  // namespace abonex
