#pragma once

namespace velto {

// qsort comparison for a descending order of doubles. The difference is not
// truncated to int: that would be undefined for large values and would leave
// values within 1.0 of each other unordered.
int CompareDescending(const void* a, const void* b);

}  // namespace velto
