#include "marlin/base/ShortestText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "marlin/base/DecimalScale.h"
#include "marlin/base/SplitWrite.h"

namespace marlin {

namespace {

// The shortest decimal of v = c * 2^q is found in the interval of reals that round to v, scaled
// by 10^-k so that the interval is between 1 and 10 units wide: then at most one multiple of ten
// lies in it (one digit fewer), and otherwise the nearer of the two integers around v is taken.
// The scaled bounds come from one 64-bit multiplier per power of ten, rounded to odd, which keeps
// every comparison below exact for singles.

using namespace decimal;

struct Decimal {
    std::uint32_t digits;  // below 2 * 10^8, zeros at the end not yet taken off
    int exponent;
};

// Any finite, non-zero magnitude: denormals, and powers of two, whose lower neighbour is nearer
// than the upper one, included.
inline Decimal shortestDecimal(std::uint32_t magnitudeBits) {
    const std::uint32_t fraction = magnitudeBits & 0x7FFFFFu;
    const int biased = static_cast<int>(magnitudeBits >> 23);
    std::uint32_t c;
    int q;
    if (biased != 0) {
        c = fraction | 0x800000u;
        q = biased - 150;
    } else {
        c = fraction;
        q = -149;
    }
    const bool even = (c & 1) == 0;
    const bool lowerCloser = fraction == 0 && biased > 1;

    // v and the bounds of its interval, (4c - 2 + lowerCloser, 4c, 4c + 2) * 2^(q - 2), scaled.
    const std::uint32_t cb = 4 * c;
    const int k = lowerCloser ? floorLog10ThreeQuartersPow2(q) : floorLog10Pow2(q);
    const int h = q + floorLog2Pow10(-k) + 1;  // 1 .. 4
    const std::uint64_t g = pow10Multiplier(-k);
    const std::uint32_t vbl = roundToOdd(g, (cb - 2 + lowerCloser) << h);
    const std::uint32_t vb = roundToOdd(g, cb << h);
    const std::uint32_t vbr = roundToOdd(g, (cb + 2) << h);
    // An even significand's interval holds its bounds (a tie reads back to the even one).
    const std::uint32_t lower = vbl + !even;
    const std::uint32_t upper = vbr - !even;

    // One digit fewer when exactly one of the multiples of ten around v is inside; otherwise the
    // integer inside, or the nearer when both are (a tie to the even one).
    const std::uint32_t s = vb / 4;
    const std::uint32_t sp = s / 10;
    const bool upInside = lower <= 40 * sp;
    const bool wpInside = 40 * sp + 40 <= upper;
    if (s >= 10 && upInside != wpInside) return {sp + wpInside, k + 1};
    const bool uInside = lower <= 4 * s;
    const bool wInside = 4 * s + 4 <= upper;
    if (uInside != wInside) return {s + wInside, k};
    const std::uint32_t middle = 4 * s + 2;
    return {s + ((vb > middle) || (vb == middle && (s & 1))), k};
}

// The scale of each binary exponent of a normal value, looked up rather than worked out.
struct Scale {
    std::uint64_t g;  // the multiplier of 10^-k
    std::int32_t k;
    std::int32_t h;   // 1 .. 4
};
constexpr auto kScales = [] {
    std::array<Scale, 256> scales{};  // 0 and 255 (no normal values) stay zero
    for (int biased = 1; biased < 255; ++biased) {
        const int q = biased - 150;
        const int k = floorLog10Pow2(q);
        scales[static_cast<std::size_t>(biased)] = {pow10Multiplier(-k), k, q + floorLog2Pow10(-k) + 1};
    }
    return scales;
}();

// The same for the values measured data is made of: normal magnitudes that are no power of two,
// whose interval lies evenly around them, one scaled unit wide or more. So the integer nearest to
// v is always inside, and the interval, 4 .. 40 scaled quarters wide, can hold no more than one
// multiple of 40: the one at or below its upper bound.
[[gnu::always_inline]] inline Decimal shortestDecimalNormal(std::uint32_t magnitudeBits) {
    const std::uint32_t c = (magnitudeBits & 0x7FFFFFu) | 0x800000u;
    const Scale& scale = kScales[magnitudeBits >> 23];
    const std::uint64_t g = scale.g;
    const int k = scale.k;
    const int h = scale.h;
    const std::uint32_t cb = c << (h + 2);
    const std::uint32_t vb = roundToOdd(g, cb);
    const std::uint32_t odd = c & 1;
    const std::uint32_t lower = roundToOdd(g, cb - (2u << h)) + odd;
    const std::uint32_t upper = roundToOdd(g, cb + (2u << h)) - odd;

    const auto tens = static_cast<std::uint32_t>((static_cast<std::uint64_t>(upper / 8) * 0xCCCCCCCDu) >> 34);
    const std::uint32_t shorter = 40 * tens >= lower;
    // The nearest integer, a tie to the even one: the lowest bit of vb is sticky, so two quarters
    // are an exact tie.
    const std::uint32_t nearest = (vb + 1 + ((vb >> 2) & 1)) >> 2;
    // Masks, not a conditional: which case holds is as good as random for measured data.
    const std::uint32_t shorterMask = 0u - shorter;
    return {(tens & shorterMask) | (nearest & ~shorterMask), k + static_cast<int>(shorter)};
}

// The text of n digits, the first one and the word of the others after it (first digit in the
// lowest byte), the last of them at 10^k: fixed or scientific, whichever is shorter; fixed when
// both are as long. Written with stores of fixed length; the longest ends 26 bytes after p.
char* writeForms(char* p, char first, std::uint64_t others, int n, int k, std::uint32_t magnitudeBits) {
    const int whole = n + k;  // digits before the point
    if (k < 0 && whole > 0) {  // the point among the digits
        p[0] = first;
        std::memcpy(p + 1, &others, 8);
        p[whole] = '.';
        const std::uint64_t decimals = others >> (8 * (whole - 1));
        std::memcpy(p + whole + 1, &decimals, 8);
        return p + n + 1;
    }
    const int fixedLength = k >= 0 ? whole : 2 - k;
    const int scientificLength = n + (n > 1) + 4;  // "e+dd": singles need no third exponent digit
    if (fixedLength <= scientificLength) {
        if (k >= 0) {  // zeros up to the point
            // A whole number of 2^24 and up shows its exact value, as long as the rounded one
            // and nearer.
            const int q = static_cast<int>(magnitudeBits >> 23) - 150;
            if (q > 0) {
                const std::uint64_t exact = static_cast<std::uint64_t>((magnitudeBits & 0x7FFFFFu) | 0x800000u) << q;
                return std::to_chars(p, p + 16, exact).ptr;
            }
            p[0] = first;
            std::memcpy(p + 1, &others, 8);
            std::memcpy(p + n, "0000000000000000", 16);
            return p + whole;
        }
        // "0.", zeros, then the digits.
        std::memcpy(p, "0.00000000000000", 16);
        char* digitsAt = p + 2 - k - n;
        digitsAt[0] = first;
        std::memcpy(digitsAt + 1, &others, 8);
        return p + fixedLength;
    }
    p[0] = first;
    char* e = p + 1;
    if (n > 1) {
        p[1] = '.';
        std::memcpy(p + 2, &others, 8);
        e = p + 1 + n;
    }
    const int scientificExponent = whole - 1;
    e[0] = 'e';
    e[1] = scientificExponent < 0 ? '-' : '+';
    std::memcpy(e + 2, kTwoDigits + 2 * (scientificExponent < 0 ? -scientificExponent : scientificExponent),
                2);
    return e + 4;
}

// The text of d after the sign. The digits as text in registers (a store read back at another
// offset would wait for the store): up to eight in one word, first digit in the lowest byte; a
// ninth digit in front of them stands apart.
[[gnu::always_inline]] inline char* writeDecimal(char* p, Decimal d, std::uint32_t magnitudeBits) {
    // Digits stay below 2 * 10^8: the scaled significand is below 10 * 2^24, or 40/3 * 2^23 for
    // a power of two.
    const std::uint32_t top = d.digits >= 100000000u;
    const std::uint64_t raw = eightDigits(d.digits - (top ? 100000000u : 0u));
    if (top == 0) [[likely]] {
        // Zeros in front are the word's lowest bytes, zeros at the end its highest; the word is
        // not 0 (raw | 1 spares the test for it).
        const int leading = std::countr_zero(raw) / 8;
        const int trailing = std::countl_zero(raw | 1) / 8;
        const int n = 8 - leading - trailing;
        const int k = d.exponent + trailing;  // of the last digit
        const int whole = n + k;              // digits before the point
        const std::uint64_t text = (raw + 0x3030303030303030ull) >> (8 * leading);
        // The usual case: the point among the digits, 1 .. n - 1 of them before it.
        if (static_cast<unsigned>(whole - 1) < static_cast<unsigned>(n - 1)) {
            std::memcpy(p, &text, 8);
            p[whole] = '.';
            const std::uint64_t decimals = text >> (8 * whole);
            std::memcpy(p + whole + 1, &decimals, 8);
            return p + n + 1;
        }
        return writeForms(p, static_cast<char>(text), text >> 8, n, k, magnitudeBits);
    }
    const int trailing = std::countl_zero(raw) / 8;  // all eight for 10^8
    return writeForms(p, '1', raw + 0x3030303030303030ull, 9 - trailing, d.exponent + trailing, magnitudeBits);
}

// Zero, infinity, NaN, denormals and powers of two.
[[gnu::noinline]] char* writeUnusual(char* p, float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t magnitudeBits = bits & 0x7FFFFFFFu;
    if (magnitudeBits == 0 || magnitudeBits >= 0x7F800000u) return std::to_chars(p, p + 8, value).ptr;
    if (bits >> 31) *p++ = '-';
    return writeDecimal(p, shortestDecimal(magnitudeBits), magnitudeBits);
}

// A value's decimal, worked out while the text of the value before it is written: the two long
// chains of dependent steps then run side by side.
struct Ahead {
    Decimal decimal;
    std::uint32_t bits;
    bool unusual;
};

[[gnu::always_inline]] inline Ahead decimalAhead(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t magnitudeBits = bits & 0x7FFFFFFFu;
    // Worked out for every value (the table has harmless rows for the others), used for the
    // normal ones. Zero, denormals, infinity and NaN, or a zero fraction (a power of two): one
    // test for all.
    const bool unusual = (magnitudeBits - 0x00800000u >= 0x7F000000u) | ((bits << 9) == 0);
    return {shortestDecimalNormal(magnitudeBits), bits, unusual};
}

[[gnu::always_inline]] inline char* writeAhead(char* p, const Ahead& ahead) {
    if (ahead.unusual) [[unlikely]]
        return writeUnusual(p, std::bit_cast<float>(ahead.bits));
    *p = '-';
    p += ahead.bits >> 31;
    return writeDecimal(p, ahead.decimal, ahead.bits & 0x7FFFFFFFu);
}

}  // namespace

char* writeShortestText(char* p, float value) {
    return writeAhead(p, decimalAhead(value));
}

namespace {

// Values [first, last), each after the separator. The arguments are copies: read through the
// closure, they would be read again after every store of text, which may alias them.
char* writeRange(char* at, const float* values, std::size_t first, std::size_t last, char separator) {
    if (first == last) return at;
    Ahead ahead = decimalAhead(values[first]);
    for (std::size_t i = first + 1; i < last; ++i) {
        const Ahead next = decimalAhead(values[i]);
        *at++ = separator;
        at = writeAhead(at, ahead);
        ahead = next;
    }
    *at++ = separator;
    return writeAhead(at, ahead);
}

}  // namespace

void appendShortestTexts(TextBuffer& out, std::span<const float> values, char separator) {
    static_assert(kShortestTextRoom <= kWriteSlack);
    appendTexts(out, values.size(), kMaxShortestText + 1, [values, separator](char* at, std::size_t first, std::size_t last) {
        return writeRange(at, values.data(), first, last, separator);
    });
}

}  // namespace marlin
