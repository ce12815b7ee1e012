#include "ScpiValues.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "ScpiErrors.h"

namespace marlin::sim::scpi {
namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::optional<double> unitFactor(std::string_view suffix, Unit unit) {
    struct Entry {
        Unit unit;
        std::string_view name;
        double factor;
    };
    // In SCPI suffixes "M" means milli, except in MHZ, which every instrument reads as megahertz.
    static constexpr Entry kUnits[] = {
        {Unit::Frequency, "HZ", 1.0},   {Unit::Frequency, "KHZ", 1e3}, {Unit::Frequency, "MHZ", 1e6},
        {Unit::Frequency, "MAHZ", 1e6}, {Unit::Frequency, "GHZ", 1e9}, {Unit::Time, "S", 1.0},
        {Unit::Time, "MS", 1e-3},       {Unit::Time, "US", 1e-6},      {Unit::Time, "NS", 1e-9},
        {Unit::Time, "KS", 1e3},        {Unit::Level, "DBM", 1.0},     {Unit::Level, "DB", 1.0},
    };
    const std::string u = upper(suffix);
    for (const Entry& e : kUnits) {
        if (e.unit == unit && e.name == u) return e.factor;
    }
    return std::nullopt;
}

}  // namespace

Number parseNumber(std::string_view text, Unit unit) {
    Number n;
    const std::string word = upper(text);
    if (word == "MIN" || word == "MINIMUM") {
        n.kind = Number::Kind::Minimum;
        return n;
    }
    if (word == "MAX" || word == "MAXIMUM") {
        n.kind = Number::Kind::Maximum;
        return n;
    }
    if (word == "DEF" || word == "DEFAULT") {
        n.kind = Number::Kind::Default;
        return n;
    }
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end == first) {
        n.error = kDataTypeError;
        return n;
    }
    if (!std::isfinite(value)) {
        n.error = kDataOutOfRange;
        return n;
    }
    std::string_view suffix(end, static_cast<std::size_t>(last - end));
    while (!suffix.empty() && suffix.front() == ' ') suffix.remove_prefix(1);
    if (!suffix.empty()) {
        const std::optional<double> factor = unitFactor(suffix, unit);
        if (!factor) {
            n.error = kInvalidSuffix;
            return n;
        }
        value *= *factor;
    }
    n.value = value;
    return n;
}

std::optional<bool> parseBoolean(std::string_view text) {
    const std::string word = upper(text);
    if (word == "ON" || word == "1") return true;
    if (word == "OFF" || word == "0") return false;
    return std::nullopt;
}

std::optional<std::string> parseString(std::string_view text) {
    if (text.size() < 2) return std::nullopt;
    const char quote = text.front();
    if ((quote != '\'' && quote != '"') || text.back() != quote) return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == quote) {
            if (text[i + 1] != quote || i + 2 >= text.size()) return std::nullopt;
            ++i;
        }
    }
    return out;
}

std::string formatNumber(double value) {
    char buffer[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value));
        return std::string(buffer, end);
    }
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

}  // namespace marlin::sim::scpi
