#pragma once
// The number text of a single-precision value (" -80.12345", " .5", " 1.234568E-05"), written fast
// enough for an ASCII section of 100,001 values per reading. The digits are those of the C++
// library's shortest-exact conversion to 7 significant digits; the fast path decides them with
// double arithmetic and hands the rare values it cannot decide for sure (a decimal tie within
// its error) to that conversion.

#include <cstddef>

namespace marlin {

// Both write at p, which must have room for kMaxSingleNumberText (TextHelpers.h) bytes, and
// return the end of what they wrote.
char* writeSingleText(char* p, float value);
// The library conversion alone: the fast path's fallback, and the reference it is checked against.
char* writeSingleTextGeneral(char* p, float value);

}  // namespace marlin
