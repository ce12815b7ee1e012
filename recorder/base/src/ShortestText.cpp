#include "marlin/base/ShortestText.h"

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
    std::uint32_t digits;  // below 10^9, no zero at the end
    int exponent;
};

// Finite, non-zero magnitudes only.
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
    const bool lowerCloser = fraction == 0 && biased > 1;  // the power of two's lower neighbour is nearer

    // v and the bounds of its interval, (4c - 2 + lowerCloser, 4c, 4c + 2) * 2^(q - 2), scaled.
    const std::uint32_t cb = 4 * c;
    const int k = lowerCloser ? floorLog10ThreeQuartersPow2(q) : floorLog10Pow2(q);
    const int h = q + floorLog2Pow10(-k) + 1;  // 1 .. 4
    const std::uint64_t g = pow10Multiplier(-k);
#ifdef __SIZEOF_INT128__
    // One product: the bounds' products differ from v's by g * 2^(h + 1) (the lower one by
    // half that when it is nearer).
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(g) * (cb << h);
    const Wide step = static_cast<Wide>(g) << (h + 1);
    const std::uint32_t vbl = roundToOdd(product - (step >> lowerCloser));
    const std::uint32_t vb = roundToOdd(product);
    const std::uint32_t vbr = roundToOdd(product + step);
#else
    const std::uint32_t vbl = roundToOdd(g, (cb - 2 + lowerCloser) << h);
    const std::uint32_t vb = roundToOdd(g, cb << h);
    const std::uint32_t vbr = roundToOdd(g, (cb + 2) << h);
#endif
    // An even significand's interval holds its bounds (a tie reads back to the even one).
    const std::uint32_t lower = vbl + !even;
    const std::uint32_t upper = vbr - !even;

    // One digit fewer when exactly one of the multiples of ten around v is inside; otherwise the
    // integer inside, or the nearer when both are (a tie to the even one). Chosen without
    // branches: which case holds is as good as random for measured data.
    const std::uint32_t s = vb / 4;
    const std::uint32_t sp = s / 10;
    const bool upInside = lower <= 40 * sp;
    const bool wpInside = 40 * sp + 40 <= upper;
    const std::uint32_t shorter = (s >= 10) & (upInside != wpInside);
    const std::uint32_t uInside = lower <= 4 * s;
    const std::uint32_t wInside = 4 * s + 4 <= upper;
    const std::uint32_t middle = 4 * s + 2;
    const std::uint32_t nearerUp = (vb > middle) | ((vb == middle) & s);
    const std::uint32_t oneInside = uInside ^ wInside;
    const std::uint32_t up = (oneInside & wInside) | (~oneInside & nearerUp & 1);
    const std::uint32_t shorterMask = 0u - shorter;  // masks, not a conditional, keep it branch-free
    Decimal d{((sp + wpInside) & shorterMask) | ((s + up) & ~shorterMask), k + static_cast<int>(shorter)};
    while (d.digits % 10 == 0) {
        d.digits /= 10;
        ++d.exponent;
    }
    return d;
}

}  // namespace

[[gnu::always_inline]] inline char* writeShortestTextInline(char* p, float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t magnitudeBits = bits & 0x7FFFFFFFu;
    // Zero, infinity and NaN have texts of their own.
    if (magnitudeBits == 0 || magnitudeBits >= 0x7F800000u) return std::to_chars(p, p + 8, value).ptr;
    if (bits >> 31) *p++ = '-';

    const Decimal d = shortestDecimal(magnitudeBits);

    // The digits as text in registers (a store read back at another offset would wait for the
    // store): up to eight in one word, first digit in the lowest byte; a ninth digit in front of
    // them stands apart.
    const std::uint32_t top = d.digits / 100000000u;
    const std::uint32_t rest = d.digits - top * 100000000u;
    std::uint64_t lanes = eightDigits(rest);
    // As many digits as the word has after its zeros in front (lowest bytes), or nine.
    const int n = top != 0 ? 9 : 8 - std::countr_zero(lanes) / 8;
    lanes += 0x3030303030303030ull;

    // Fixed or scientific, whichever is shorter; fixed when both are as long. Written with stores
    // of fixed length; the longest ends 26 bytes after p.
    const int k = d.exponent;
    const int scientificExponent = n - 1 + k;
    const int fixedLength = k >= 0 ? n + k : (n + k > 0 ? n + 1 : 2 - k);
    const int scientificLength = n + (n > 1) + 4;  // "e+dd": singles need no third exponent digit
    const bool fixed = fixedLength <= scientificLength;
    // Where the digits go: at p, or after "0." and zeros.
    char* digitsAt = p;
    if (fixed && n + k <= 0) {
        std::memcpy(p, "0.00000000000000", 16);
        digitsAt = p + 2 - k - n;
    }
    // The first digit, and the word of the others that follow it.
    char first;
    std::uint64_t others;
    if (n == 9) {
        first = static_cast<char>('0' + top);
        others = lanes;
    } else {
        lanes >>= 8 * (8 - n);
        first = static_cast<char>(lanes);
        others = lanes >> 8;
    }
    digitsAt[0] = first;
    if (fixed) {
        std::memcpy(digitsAt + 1, &others, 8);
        if (k >= 0) {  // zeros up to the point
            // A whole number of 2^24 and up shows its exact value, as long as the rounded one
            // and nearer.
            const int q = static_cast<int>(magnitudeBits >> 23) - 150;
            if (q > 0) {
                const std::uint64_t whole =
                    static_cast<std::uint64_t>((magnitudeBits & 0x7FFFFFu) | 0x800000u) << q;
                return std::to_chars(p, p + 16, whole).ptr;
            }
            std::memcpy(p + n, "0000000000000000", 16);
        } else if (n + k > 0) {  // the point among the digits
            const int whole = n + k;
            p[whole] = '.';
            const std::uint64_t decimals = others >> (8 * (whole - 1));
            std::memcpy(p + whole + 1, &decimals, 8);
        }
        return p + fixedLength;
    }
    char* e = p + 1;
    if (n > 1) {
        p[1] = '.';
        std::memcpy(p + 2, &others, 8);
        e = p + 1 + n;
    }
    e[0] = 'e';
    e[1] = scientificExponent < 0 ? '-' : '+';
    std::memcpy(e + 2, kTwoDigits + 2 * (scientificExponent < 0 ? -scientificExponent : scientificExponent),
                2);
    return e + 4;
}

char* writeShortestText(char* p, float value) {
    return writeShortestTextInline(p, value);
}

void appendShortestTexts(std::string& out, std::span<const float> values, char separator) {
    static_assert(kShortestTextRoom <= kWriteSlack);
    appendTexts(out, values.size(), kMaxShortestText + 1, [&](char* at, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            *at++ = separator;
            at = writeShortestTextInline(at, values[i]);
        }
        return at;
    });
}

}  // namespace marlin
