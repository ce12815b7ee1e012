#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marlin::sim::scpi {

enum class Unit { None, Frequency, Time, Level };

// A numeric parameter: a decimal number with an optional unit suffix of the given kind
// ("1.5 GHz", "100MHZ", "5ms", "-10dBm"), or MIN/MAX/DEF. error holds a SCPI error number when
// the text is not one.
struct Number {
    enum class Kind { Value, Minimum, Maximum, Default };
    Kind kind = Kind::Value;
    double value = 0.0;
    int error = 0;
};

Number parseNumber(std::string_view text, Unit unit);

// ON/OFF/1/0; nothing when the text is neither.
std::optional<bool> parseBoolean(std::string_view text);

// A quoted string parameter ('C:\TRACE.DAT' or "x"), doubled quotes folded; nothing when unquoted.
std::optional<std::string> parseString(std::string_view text);

// A reply number: whole numbers without exponent or fraction ("1000000000"), others in the
// shortest form that reads back to the same double ("0.005", "-92.5").
std::string formatNumber(double value);

}  // namespace marlin::sim::scpi
