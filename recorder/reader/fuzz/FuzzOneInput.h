#pragma once
// What the fuzzer does with one input; the crash replay test does the same.

#include <string_view>

namespace marlin::reader {

// Writes the bytes to a file and reads it in every way the reader offers.
void fuzzOneInput(std::string_view bytes);

}  // namespace marlin::reader
