#pragma once
// The shortest text of a single-precision value that reads back to the same value: the digits and
// the fixed or scientific form std::to_chars(first, last, value) chooses ("-80.12345", "0.001",
// "1e-05", "1.4e-45", "nan"), byte for byte, at a fraction of its cost. Exported tables hold one
// such text per value.

#include <cstddef>
#include <span>
#include "marlin/base/SplitWrite.h"

namespace marlin {

// Room writeShortestText needs at p: the text is at most kMaxShortestText bytes, the stores of
// fixed length that write it reach further.
inline constexpr std::size_t kShortestTextRoom = 32;
inline constexpr std::size_t kMaxShortestText = 15;  // "-1.1754944e-38" and the like

// Writes the text at p (room for kShortestTextRoom bytes) and returns its end.
char* writeShortestText(char* p, float value);
// Appends the texts of the values, each after the separator (",-80.1,-79.95").
void appendShortestTexts(TextBuffer& out, std::span<const float> values, char separator);

}  // namespace marlin
