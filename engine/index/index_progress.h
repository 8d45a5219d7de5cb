// Progress notifications of a bulk index build.
//
// A build runs in two phases: 1 reads the table, 2 writes the tag's node blocks. Each phase is
// announced with its total (the table's record count), then reports the position reached after
// every record or key, then its end. The table handler passes them on to the data set as
// (-1, phase, total), (phase, position, 0) and (0, 0, 0).
#pragma once

#include <functional>

namespace abonex {

enum class ProgressEvent { Start, Step, End };

struct IndexProgress {
    ProgressEvent event = ProgressEvent::Start;
    int phase = 0;     // 1 reading the table, 2 writing the tree
    int total = 0;     // for Start
    int position = 0;  // for Step
};

using IndexProgressCallback = std::function<void(const IndexProgress&)>;

}  // namespace abonex
