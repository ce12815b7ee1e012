#include "marlin/core/SingleText.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "marlin/base/DecimalScale.h"
#include "marlin/base/SplitWrite.h"
#include "marlin/core/TextHelpers.h"

namespace marlin {

namespace {

// 10^-46 .. 10^52 as the compiler rounds them: every decimal exponent a single's text needs,
// and every scale that brings a single to seven digits before the point.
constexpr int kPow10Low = -46;
constexpr double kPow10[] = {
    1e-46, 1e-45, 1e-44, 1e-43, 1e-42, 1e-41,
    1e-40, 1e-39, 1e-38, 1e-37, 1e-36, 1e-35,
    1e-34, 1e-33, 1e-32, 1e-31, 1e-30, 1e-29,
    1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23,
    1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17,
    1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11,
    1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
    1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1,
    1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
    1e8, 1e9, 1e10, 1e11, 1e12, 1e13,
    1e14, 1e15, 1e16, 1e17, 1e18, 1e19,
    1e20, 1e21, 1e22, 1e23, 1e24, 1e25,
    1e26, 1e27, 1e28, 1e29, 1e30, 1e31,
    1e32, 1e33, 1e34, 1e35, 1e36, 1e37,
    1e38, 1e39, 1e40, 1e41, 1e42, 1e43,
    1e44, 1e45, 1e46, 1e47, 1e48, 1e49,
    1e50, 1e51, 1e52,
};

constexpr double pow10(int exponent) {
    return kPow10[exponent - kPow10Low];
}

// For each binary exponent of a normal single: the decimal exponent of its lowest value, and the
// bits of the least single that is not below the next power of ten (10^(low + 1), as the table
// above has it): from there on the decimal exponent is one more. A binade holds one power of ten
// at most.
struct Binade {
    std::uint32_t nextPowerBits;
    std::int32_t low;
};
constexpr auto kBinades = [] {
    std::array<Binade, 255> binades{};
    for (int biased = 1; biased < 255; ++biased) {
        const int e2 = biased - 127;
        const int low = (e2 * 78913) >> 18;  // floor(e2 * log10(2))
        const double next = pow10(low + 1);
        // The nearest single, or the one above it when that is below; past the largest single,
        // infinity's bits, which no finite value reaches.
        std::uint32_t bits = 0x7F800000u;
        if (next <= static_cast<double>(std::numeric_limits<float>::max())) {
            bits = std::bit_cast<std::uint32_t>(static_cast<float>(next));
            if (static_cast<double>(std::bit_cast<float>(bits)) < next) ++bits;
        }
        binades[static_cast<std::size_t>(biased)] = {bits, low};
    }
    return binades;
}();

}  // namespace

[[gnu::always_inline]] inline char* writeSingleTextInline(char* p, float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t magnitudeBits = bits & 0x7FFFFFFFu;
    // Zero, denormals, infinity and NaN go the library's way.
    if (magnitudeBits < 0x00800000u || magnitudeBits >= 0x7F800000u) return writeSingleTextGeneral(p, value);

    // Decimal exponent: that of the binade's lowest value, one more from its power of ten on.
    const int e2 = static_cast<int>(magnitudeBits >> 23) - 127;
    const Binade& binade = kBinades[magnitudeBits >> 23];
    int exponent = binade.low + (magnitudeBits >= binade.nextPowerBits);

    // Seven significant digits, rounded to nearest, a tie to even: the value c * 2^q scaled by
    // 10^(6 - exponent) in integers, with seven bits after the point (the last one sticky).
    const std::uint32_t c = (magnitudeBits & 0x7FFFFFu) | 0x800000u;
    const int q = e2 - 23;
    const int k = exponent - 6;
    const int h = q + decimal::floorLog2Pow10(-k) + 1;  // -4 .. 1
    const std::uint32_t scaled = decimal::roundToOdd(decimal::pow10Multiplier(-k), c << (7 + h));
    // Half a unit and up rounds up, an exact half (the sticky bit clear) to the even digit.
    auto digits = (scaled + 0x3Fu + ((scaled >> 7) & 1)) >> 7;
    if (digits >= 10000000u) {  // 9999999.5 and up rounds to the next power of ten
        digits = 1000000u;
        ++exponent;
    }

    // The seven digits in one 64-bit word, first digit in the lowest byte, an eighth digit 0
    // after them.
    const std::uint64_t lanes = decimal::eightDigits(digits * 10);
    // Significant digits: the zero digits at the end do not count (the word is not 0: lanes | 1
    // spares the test for it).
    const int count = 8 - std::countl_zero(lanes | 1) / 8;
    const std::uint64_t text = lanes + 0x3030303030303030ull;

    // Written with stores of fixed length (no library calls, nothing read back); the longest
    // store ends 16 bytes after p.
    p[0] = static_cast<char>(' ' + (bits >> 31) * ('-' - ' '));
    if (static_cast<unsigned>(exponent) < 7u) {
        const int whole = exponent + 1;
        std::memcpy(p + 1, &text, 8);  // a whole number keeps its zeros from the digit word
        if (count <= whole) return p + 1 + whole;
        p[1 + whole] = '.';
        const std::uint64_t decimals = text >> (8 * whole);
        std::memcpy(p + 2 + whole, &decimals, 8);
        return p + 2 + count;
    }
    if (exponent < 0 && exponent >= -4) {
        std::memcpy(p + 1, ".0000000", 8);  // no zero before the point
        std::memcpy(p + 1 - exponent, &text, 8);
        return p + 1 + count - exponent;
    }
    p[1] = static_cast<char>(text);
    p[2] = '.';
    const std::uint64_t rest = text >> 8;
    std::memcpy(p + 3, &rest, 8);
    char* e = count > 1 ? p + 2 + count : p + 2;
    e[0] = 'E';
    e[1] = exponent < 0 ? '-' : '+';
    std::memcpy(e + 2, decimal::kTwoDigits + 2 * (exponent < 0 ? -exponent : exponent), 2);
    return e + 4;
}

char* writeSingleText(char* p, float value) {
    return writeSingleTextInline(p, value);
}

namespace {

// Values [first, last) of the little-endian singles in `bytes`, each after the separator but
// the very first value of all.
char* joinRange(char* p, std::string_view bytes, std::size_t first, std::size_t last, std::string_view separator) {
    auto valueAt = [&](std::size_t i) {
        float value;
        std::memcpy(&value, bytes.data() + 4 * i, 4);  // little-endian data on a little-endian host
        return value;
    };
    if (first == 0 && first < last) p = writeSingleTextInline(p, valueAt(first++));
    // The usual one-character separator without a call to copy it.
    if (separator.size() == 1) {
        const char mark = separator[0];
        for (std::size_t i = first; i < last; ++i) {
            *p++ = mark;
            p = writeSingleTextInline(p, valueAt(i));
        }
        return p;
    }
    for (std::size_t i = first; i < last; ++i) {
        std::memcpy(p, separator.data(), separator.size());
        p = writeSingleTextInline(p + separator.size(), valueAt(i));
    }
    return p;
}

}  // namespace

void appendSingleTexts(TextBuffer& out, std::string_view bytes, std::string_view separator) {
    appendTexts(out, bytes.size() / 4, kMaxSingleNumberText + separator.size(),
                [&](char* at, std::size_t first, std::size_t last) {
                    return joinRange(at, bytes, first, last, separator);
                });
}

}  // namespace marlin
