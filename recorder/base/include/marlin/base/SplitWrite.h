#pragma once
// Writing a long run of texts (the values of a 100,001-point trace) on two cores: a helper thread
// writes the second half into a buffer the calling thread keeps, while the caller writes the first
// half in place; the second half is copied after the first once both are done. Short runs, and
// every run on a single core, are written on the calling thread alone.

#include <cstddef>
#include <functional>

namespace marlin {

// From this many items on the work is split: starting a thread costs about what 2,000 values do.
inline constexpr std::size_t kSplitWriteFrom = 16384;

// Items [first, last) written at `at`; returns the end. Called with first == 0 for the run's start.
using WriteRange = std::function<char*(char* at, std::size_t first, std::size_t last)>;

// Writes items [0, count) at p (room for roomPerItem bytes each) and returns the end.
char* splitWrite(char* p, std::size_t count, std::size_t roomPerItem, const WriteRange& write);

}  // namespace marlin
