#include "marlin/core/TextHelpers.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "marlin/core/SingleText.h"

namespace marlin {

double nearestEven(double value) {
    if (!std::isfinite(value)) return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

namespace {

constexpr std::ptrdiff_t kMaxNumberText = 32;
constexpr std::ptrdiff_t kMaxSingleText = static_cast<std::ptrdiff_t>(kMaxSingleNumberText);

// Writes the recorder's number form (" .5", "-56.27", " 1.5E-05") at p, which must have room for
// kMaxSingleText bytes for a single and kMaxNumberText for a double, and returns the end. The C++ library
// does the digits (shortest-exact to `digits` significant digits, "." always); only the sign blank, the zero
// before the point and the exponent letter are ours.
template <typename T>
char* writeGeneral(char* p, T value, int digits) {
    // A single needs at most 14 bytes (" 1.234568E-38"), a double at most 23.
    constexpr std::ptrdiff_t room = sizeof(T) == 4 ? kMaxSingleText : kMaxNumberText;
    if (std::isnan(value)) {
        std::memcpy(p, " NaN", 4);
        return p + 4;
    }
    if (std::isinf(value)) {
        std::memcpy(p, value < 0 ? "-Inf" : " Inf", 4);
        return p + 4;
    }
    if (value == 0) {  // also -0, which must not show a minus sign
        p[0] = ' ';
        p[1] = '0';
        return p + 2;
    }
    *p = value < 0 ? '-' : ' ';
    char* digitsStart = p + 1;
    char* last =
        std::to_chars(digitsStart, p + room, value < 0 ? -value : value, std::chars_format::general, digits)
            .ptr;
    // "0.xxx" -> ".xxx": the recorder never writes the zero before the decimal point.
    if (digitsStart[0] == '0' && digitsStart[1] == '.') {
        std::memmove(digitsStart, digitsStart + 1, static_cast<std::size_t>(last - digitsStart - 1));
        --last;
    }
    // The exponent, when there is one, is "e+dd" or "e-ddd" at the end.
    for (char* e = last - 1; e > digitsStart && e >= last - 5; --e) {
        if (*e == 'e') {
            *e = 'E';
            break;
        }
    }
    return last;
}

template <typename T>
void appendGeneral(std::string& out, T value, int digits) {
    char buf[kMaxNumberText];
    out.append(buf, writeGeneral(buf, value, digits));
}

bool isSkippable(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

std::string NumberText(float value) {
    char buf[kMaxSingleText];
    return std::string(buf, writeSingleText(buf, value));
}

std::string NumberText(double value) {
    std::string out;
    appendGeneral(out, value, 15);
    return out;
}

std::string NumberText(std::int64_t value) {
    std::array<char, 24> buf;
    buf[0] = ' ';
    char* first = buf.data() + 1;
    const auto res = std::to_chars(first, buf.data() + buf.size(), value);
    if (value < 0) return std::string(first, res.ptr);
    return std::string(buf.data(), res.ptr);
}

char* writeSingleTextGeneral(char* p, float value) {
    return writeGeneral(p, value, 7);
}

static std::string trimBlanks(std::string text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    const auto end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

std::string TrimText(float value) {
    return trimBlanks(NumberText(value));
}
std::string TrimText(double value) {
    return trimBlanks(NumberText(value));
}
std::string TrimText(std::int64_t value) {
    return trimBlanks(NumberText(value));
}

std::string StripLineEnds(std::string_view text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return {};
    const auto end = text.find_last_not_of(' ');
    text = text.substr(start, end - start + 1);
    auto isLineEnd = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
    while (!text.empty() && isLineEnd(text.back())) text.remove_suffix(1);
    while (!text.empty() && isLineEnd(text.front())) text.remove_prefix(1);
    return std::string(text);
}

std::string PadText(std::string_view text, int width, int alignment, std::string_view pad) {
    if (static_cast<long>(text.size()) >= width) return std::string(text);
    if (alignment < 0 || alignment > 2) return {};
    const char fill = pad.empty() ? ' ' : pad.front();
    const auto missing = static_cast<std::size_t>(width) - text.size();
    std::string out;
    out.reserve(static_cast<std::size_t>(width));
    switch (alignment) {
        case 0:
            out.append(text);
            out.append(missing, fill);
            break;
        case 1:
            out.append(missing, fill);
            out.append(text);
            break;
        default: {
            const auto left = static_cast<std::size_t>(nearestEven(static_cast<double>(missing) / 2.0));
            out.append(left, fill);
            out.append(text);
            out.append(missing - left, fill);
        }
    }
    return out;
}

double leadingNumber(std::string_view text) {
    std::size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && isSkippable(text[i])) ++i;
    };
    skip();
    if (i + 1 < text.size() && text[i] == '&') {
        const char kind = static_cast<char>(text[i + 1] & ~0x20);
        if (kind == 'H' || kind == 'O') {
            const int base = kind == 'H' ? 16 : 8;
            i += 2;
            std::string digits;
            for (; i < text.size(); ++i) {
                if (isSkippable(text[i])) continue;
                const char c = text[i];
                const bool ok =
                    base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '7');
                if (!ok) break;
                digits += c;
            }
            unsigned long long v = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
            return static_cast<double>(v);
        }
    }
    std::string clean;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        clean += text[i++];
    }
    bool anyDigit = false;
    auto takeDigits = [&] {
        for (; i < text.size(); ++i) {
            if (isSkippable(text[i])) continue;
            if (text[i] < '0' || text[i] > '9') break;
            clean += text[i];
            anyDigit = true;
        }
    };
    takeDigits();
    if (i < text.size() && text[i] == '.') {
        clean += '.';
        ++i;
        takeDigits();
    }
    if (!anyDigit) return 0.0;
    if (i < text.size()) {
        const char e = static_cast<char>(text[i] & ~0x20);
        if (e == 'E' || e == 'D') {
            std::size_t j = i + 1;
            while (j < text.size() && isSkippable(text[j])) ++j;
            std::string exponent = "e";
            if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
            bool expDigit = false;
            for (; j < text.size(); ++j) {
                if (isSkippable(text[j])) continue;
                if (text[j] < '0' || text[j] > '9') break;
                exponent += text[j];
                expDigit = true;
            }
            if (expDigit) clean += exponent;
        }
    }
    double value = 0.0;
    const char* begin = clean.data();
    if (*begin == '+') ++begin;
    const auto res = std::from_chars(begin, clean.data() + clean.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // from_chars leaves value untouched here: an exponent too large is infinity, too small zero.
        const bool negative = clean.front() == '-';
        const bool huge = clean.find("e-") == std::string::npos;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
        if (negative) value = -value;
    }
    return value;
}

std::optional<double> ConvertText(std::string_view text, ValueType type, std::optional<double> fallback) {
    const double v = leadingNumber(text);
    auto inRange = [&](double lo, double hi, bool round) -> std::optional<double> {
        const double r = round ? nearestEven(v) : v;
        if (!(r >= lo && r <= hi)) return fallback;
        return r;
    };
    switch (type) {
        case ValueType::Int16:
            return inRange(-32768.0, 32767.0, true);
        case ValueType::Int32:
            return inRange(-2147483648.0, 2147483647.0, true);
        case ValueType::Byte:
            return inRange(0.0, 255.0, true);
        case ValueType::Single: {
            const double maxSingle = std::numeric_limits<float>::max();
            if (!(v >= -maxSingle && v <= maxSingle)) return fallback;
            return static_cast<double>(static_cast<float>(v));
        }
        case ValueType::Double:
            if (!std::isfinite(v)) return fallback;
            return v;
    }
    return std::nullopt;
}

double ParseNumber(std::string_view input) {
    std::string text(input);
    const auto comma = text.find(',');
    const auto dot = text.find('.');
    if (comma != std::string::npos && dot != std::string::npos) {
        const char thousands = dot < comma ? '.' : ',';
        std::erase(text, thousands);
    }
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    return ConvertText(text, ValueType::Double).value_or(0.0);
}

std::string fixedText(double value, int decimals) {
    std::array<char, 400> buf;
    const auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return NumberText(value);
    return std::string(buf.data(), res.ptr);
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace marlin
