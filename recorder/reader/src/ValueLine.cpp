#include "ValueLine.h"

#include <charconv>
#include <limits>

namespace marlin::reader {

namespace {

// The longest separator looked for when guessing one.
constexpr std::size_t kMaxSeparator = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSign(char c) {
    return c == ' ' || c == '-';
}

// End of the longest value text starting at `at`, or npos.
std::size_t longestValue(std::string_view s, std::size_t at) {
    if (at >= s.size() || !isSign(s[at])) return std::string_view::npos;
    std::size_t p = at + 1;
    const std::string_view rest = s.substr(p);
    if (rest.starts_with("NaN") || rest.starts_with("Inf")) return p + 3;
    std::size_t digits = 0;
    while (p < s.size() && isDigit(s[p])) ++p, ++digits;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && isDigit(s[p])) ++p, ++digits;
    }
    if (digits == 0) return std::string_view::npos;
    if (p + 2 < s.size() && (s[p] == 'E' || s[p] == 'e') && (s[p + 1] == '+' || s[p + 1] == '-') &&
        isDigit(s[p + 2])) {
        p += 2;
        while (p < s.size() && isDigit(s[p])) ++p;
    }
    return p;
}

// Whether s[at, end) is a whole value text (a shorter end than the longest one).
bool isValue(std::string_view s, std::size_t at, std::size_t end) {
    return longestValue(s.substr(0, end), at) == end;
}

float valueOf(std::string_view text) {
    // text includes its sign character
    const bool negative = text[0] == '-';
    const std::string_view body = text.substr(1);
    if (body == "NaN") return std::numeric_limits<float>::quiet_NaN();
    if (body == "Inf") return negative ? -std::numeric_limits<float>::infinity()
                                       : std::numeric_limits<float>::infinity();
    float v = 0.0f;
    const char* first = negative ? text.data() : body.data();
    const auto r = std::from_chars(first, text.data() + text.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // below the smallest single: the recorder wrote what the float held, so this is its zero
        return negative ? -0.0f : 0.0f;
    }
    return v;
}

}  // namespace

std::optional<std::size_t> splitValues(std::string_view line, std::string_view separator,
                                       std::span<float> out) {
    std::size_t count = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t longest = longestValue(line, at);
        if (longest == std::string_view::npos) return std::nullopt;
        // A separator made of number characters can make the longest value too long: try shorter ends.
        std::size_t end = longest;
        bool last = false;
        for (;; --end) {
            if (end <= at + 1) return std::nullopt;
            if (end != longest && !isValue(line, at, end)) continue;
            if (end == line.size()) {
                last = true;
                break;
            }
            const std::string_view rest = line.substr(end);
            if (rest.starts_with(separator) && rest.size() > separator.size() && isSign(rest[separator.size()])) {
                break;
            }
        }
        if (count < out.size()) out[count] = valueOf(line.substr(at, end - at));
        ++count;
        if (last) return count;
        at = end + separator.size();
    }
}

std::optional<std::string> inferSeparator(std::string_view line, std::size_t expected) {
    if (expected == 1) {
        if (longestValue(line, 0) == line.size()) return std::string();
        return std::nullopt;
    }
    const std::size_t longest = longestValue(line, 0);
    if (longest == std::string_view::npos) return std::nullopt;
    // A separator of number characters can make a line read two ways (" 51 6": 51 and 6 with none,
    // 5 and 6 with "1"); one without them is taken first.
    auto numberLike = [](std::string_view sep) { return sep.find_first_of("0123456789.Ee") != std::string_view::npos; };
    for (const bool allowNumberLike : {false, true}) {
        for (std::size_t end = longest; end > 1; --end) {
            if (end != longest && !isValue(line, 0, end)) continue;
            const std::size_t stop = std::min(line.size(), end + kMaxSeparator);
            for (std::size_t next = end; next < stop; ++next) {
                if (!isSign(line[next])) continue;
                const std::string_view separator = line.substr(end, next - end);
                if (numberLike(separator) != allowNumberLike) continue;
                const auto count = splitValues(line, separator);
                if (count && (expected == 0 ? *count >= 2 : *count == expected)) return std::string(separator);
            }
        }
    }
    return std::nullopt;
}

}  // namespace marlin::reader
