#pragma once
// Writing a long run of texts (the values of a 100,001-point trace) on two cores: the calling
// thread writes the first half in place while a helper thread writes the second into a buffer the
// calling thread keeps for its next run; the second half is then copied after the first. Short
// runs, and every run on a single core, are written in place on the calling thread alone.

#include <cstddef>
#include <functional>
#include <string>

namespace marlin {

// From this many items on the work is split: starting a thread costs about what 2,000 values do.
inline constexpr std::size_t kSplitWriteFrom = 16384;

// What a writer may store past the end of its last text (stores of fixed length).
inline constexpr std::size_t kWriteSlack = 32;

// Writes items [first, last) at `at` and returns the end.
using WriteRange = std::function<char*(char* at, std::size_t first, std::size_t last)>;

// Appends items [0, count) to `out`, each at most maxItemBytes long (with its separator).
void appendTexts(std::string& out, std::size_t count, std::size_t maxItemBytes, const WriteRange& write);

}  // namespace marlin
