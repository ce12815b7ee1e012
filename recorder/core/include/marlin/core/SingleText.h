#pragma once
// The number text of a single-precision value (" -80.12345", " .5", " 1.234568E-05"), written fast
// enough for an ASCII section of 100,001 values per reading. The digits are those of the C++
// library's shortest-exact conversion to 7 significant digits; the fast path rounds in integers
// (exactly, ties to even) and hands zero, denormals, infinity and NaN to that conversion.

#include <cstddef>
#include <string>
#include <string_view>

#include "marlin/base/SplitWrite.h"

namespace marlin {

// Both write at p, which must have room for kMaxSingleNumberText (TextHelpers.h) bytes, and
// return the end of what they wrote.
char* writeSingleText(char* p, float value);
// The library conversion alone: the fast path's fallback, and the reference it is checked against.
char* writeSingleTextGeneral(char* p, float value);
// Appends the texts of the little-endian singles in `floatBytes`, joined by the separator.
void appendSingleTexts(TextBuffer& out, std::string_view floatBytes, std::string_view separator);

}  // namespace marlin
