#pragma once
// The value line of an ASCII section: the recorder's number texts (" .5", "-56.27", " 1.234568E-05",
// " NaN") joined by a separator of any length, also none. Every value starts with its sign character
// (a blank or "-"), which is what lets a line be split even without a separator.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace marlin::reader {

// Number of values in `line` when split by `separator`, or nullopt when the line does not consist
// of value texts joined by it. With `out`, the values are written there (out.size() at most).
std::optional<std::size_t> splitValues(std::string_view line, std::string_view separator,
                                       std::span<float> out = {});

// The separator that splits `line` into `expected` values (0: any count of two or more); one
// without digits, "." or "E" is preferred, as such a separator can make a line read two ways.
// nullopt when none does. A line with one value gives "".
std::optional<std::string> inferSeparator(std::string_view line, std::size_t expected);

}  // namespace marlin::reader
