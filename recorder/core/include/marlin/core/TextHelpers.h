#pragma once
// Text and number helpers shared by the recorder's windows and its recording session.
// They reproduce the recorder's long-standing text forms byte for byte: numbers always use "."
// as decimal mark whatever the locale, and a number that is not negative carries a leading blank.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlin {

// Type codes understood by ConvertText.
enum class ValueType : int { Int16 = 2, Int32 = 3, Single = 4, Double = 5, Byte = 17 };

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double nearestEven(double value);

// Signed number text: " 2", " .5", "-56.27", " 1.234568E-05". Up to 7 significant digits for a
// single-precision value, 15 for a double; scientific notation below 1E-4 and from 10^digits up.
std::string NumberText(float value);
std::string NumberText(double value);
std::string NumberText(std::int64_t value);
inline std::string NumberText(int value) {
    return NumberText(static_cast<std::int64_t>(value));
}

// The longest NumberText of a single-precision value, in bytes.
inline constexpr std::size_t kMaxSingleNumberText = 16;

// NumberText without its surrounding blanks ("2", ".5").
std::string TrimText(float value);
std::string TrimText(double value);
std::string TrimText(std::int64_t value);
inline std::string TrimText(int value) {
    return TrimText(static_cast<std::int64_t>(value));
}

// Removes surrounding blanks and then CR, LF and NUL characters from both ends.
std::string StripLineEnds(std::string_view text);

// Pads text to width with the first character of pad: alignment 0 left, 1 right, 2 centred.
// Any other alignment gives an empty text; a text of width characters or more is returned as is.
std::string PadText(std::string_view text, int width, int alignment, std::string_view pad);

// Value of the text's leading number, as a scan that skips blanks, tabs and line feeds, takes a
// sign, digits, a "." with digits and an exponent ("E" or "D"), and reads "&H"/"&O" integers.
// A text without a leading number gives 0.
double leadingNumber(std::string_view text);

// The leading number converted to the given type (integers rounded halves-to-even). A value out
// of the type's range gives the fallback (std::nullopt when none is given).
std::optional<double> ConvertText(std::string_view text, ValueType type,
                                  std::optional<double> fallback = std::nullopt);

// Number as typed by a user: the first of "," and "." is a thousands separator when both occur,
// a remaining "," is the decimal mark. "1,5" -> 1.5, "1.234,5" -> 1234.5, "abc" -> 0.
double ParseNumber(std::string_view text);

// Fixed notation with exactly `decimals` decimals and "." as the mark ("0.500000").
std::string fixedText(double value, int decimals);

// ASCII upper case, independent of the locale.
std::string upperAscii(std::string_view text);

}  // namespace marlin
