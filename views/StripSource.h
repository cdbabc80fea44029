#pragma once

#include <atomic>

namespace velto {
class CPipeline;
}

// What the strip charts read at each drawing, filled by the frame. The strips
// keep no copy of the data: the rows and the level live in the pipeline, the
// counters in the capture ring. Any null member means there is nothing to draw.
struct CStripSource {
    const velto::CPipeline* pipeline = nullptr;
    const std::atomic<int>* inIndex = nullptr;    // buffer being filled now, 0..79
    const std::atomic<int>* inWrapped = nullptr;  // 1 once the index has wrapped
    const std::atomic<int>* inCount = nullptr;    // completed buffers, 0 = nothing yet
};
