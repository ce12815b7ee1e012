#include "ChunkPacker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace marlin::cli {

namespace {

constexpr int kLiteralCodes = 286;  // 256 literals, the end of a block, 29 match lengths
constexpr int kEndOfBlock = 256;
constexpr int kFirstLengthCode = 257;
constexpr int kMaxCodeLength = 15;
constexpr int kMaxPairedLength = 13;     // a pair of such codes fits in 26 bits
constexpr int kMaxLengthCodeLength = 7;  // of the code that sends the code lengths
constexpr int kLengthCodes = 19;
constexpr std::size_t kMinRun = 3;
constexpr std::size_t kMaxRun = 258;
constexpr std::size_t kMaxStored = 65535;  // bytes in one stored block

struct LengthCode {
    std::uint16_t symbol;
    std::uint8_t extraBits;
    std::uint8_t extra;
};

// The deflate symbol and extra bits of every match length 3..258.
constexpr std::array<LengthCode, kMaxRun + 1> makeLengthCodes() {
    constexpr std::uint16_t base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::uint8_t bits[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, kMaxRun + 1> codes{};
    // In rising order, so that 258 ends with its own symbol rather than the last of the one before.
    for (int s = 0; s < 29; ++s) {
        for (std::size_t length = base[s]; length < base[s] + (1u << bits[s]) && length <= kMaxRun;
             ++length) {
            codes[length] = {static_cast<std::uint16_t>(257 + s), bits[s],
                             static_cast<std::uint8_t>(length - base[s])};
        }
    }
    return codes;
}
constexpr auto kLengthCode = makeLengthCodes();

// The order in which a block's head gives the lengths of the code-length code.
constexpr std::uint8_t kLengthOrder[kLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

// Deflate's bit order: the first bit in the lowest bit of each byte. Each put stores eight bytes
// and moves on by the whole bytes among them, without a branch; the output needs 8 bytes of room
// beyond what is written.
class BitWriter {
public:
    explicit BitWriter(unsigned char* out) : out_(out) {}
    void put(std::uint64_t value, int count) {  // count <= 56
        pending_ |= value << bits_;
        bits_ += count;
        std::uint64_t bytesOut = pending_;
        if constexpr (std::endian::native == std::endian::big) bytesOut = __builtin_bswap64(bytesOut);
        std::memcpy(out_, &bytesOut, 8);
        const int bytes = bits_ >> 3;
        out_ += bytes;
        pending_ >>= 8 * bytes;
        bits_ &= 7;
    }
    // Pads to a whole byte; where the next byte goes.
    unsigned char* align() {
        if (bits_ > 0) ++out_;  // its bits are stored already
        bits_ = 0;
        pending_ = 0;
        return out_;
    }
    // Goes on after bytes that were written straight to the output (at a byte boundary).
    void skipTo(unsigned char* next) { out_ = next; }
    // Bits put since the writer was at `earlier`; going back to it (assigning it) drops them.
    std::uint64_t bitsSince(const BitWriter& earlier) const {
        return 8 * static_cast<std::uint64_t>(out_ - earlier.out_) + static_cast<std::uint64_t>(bits_) -
               static_cast<std::uint64_t>(earlier.bits_);
    }

private:
    unsigned char* out_;
    std::uint64_t pending_ = 0;
    int bits_ = 0;
};

// How many bytes from p[i] on repeat p[i - 1], at most kMaxRun.
std::size_t runAt(const unsigned char* p, std::size_t i, std::size_t size) {
    const std::size_t limit = std::min(size - i, kMaxRun);
    const std::uint64_t pattern = 0x0101010101010101ull * p[i - 1];
    std::size_t run = 0;
#if defined(__SSE2__)
    const __m128i same = _mm_set1_epi8(static_cast<char>(p[i - 1]));
    for (; run + 16 <= limit; run += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + run));
        if (const int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, same)); equal != 0xFFFF)
            return run + static_cast<std::size_t>(std::countr_one(static_cast<unsigned>(equal)));
    }
#endif
    for (; run + 8 <= limit; run += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i + run, 8);
        if (const std::uint64_t differ = word ^ pattern; differ != 0) {
            // The first differing byte is the lowest one on a little-endian machine only.
            if constexpr (std::endian::native == std::endian::little)
                return run + std::countr_zero(differ) / 8;
            break;
        }
    }
    while (run < limit && p[i + run] == p[i - 1]) ++run;
    return run;
}

// Where the next run starts at or after `from`: the first i with p[i - 1] == p[i] == p[i + 1] ==
// p[i + 2] (a match of at least kMinRun at distance 1), or `size`.
std::size_t nextRun(const unsigned char* p, std::size_t from, std::size_t size) {
    std::size_t j = from > 0 ? from - 1 : 0;  // the run's first pair is (i - 1, i)
#if defined(__SSE2__)
    // Sixteen places at a time: lane k is all ones where p[j + k .. j + k + 3] are one byte.
    for (; j + 19 <= size; j += 16) {
        const auto at = [&](std::size_t offset) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + offset));
        };
        const __m128i a = at(0), b = at(1), c = at(2), d = at(3);
        const __m128i same =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(b, c)), _mm_cmpeq_epi8(c, d));
        if (const int mask = _mm_movemask_epi8(same); mask != 0)
            return j + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask))) + 1;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        for (; j + 8 <= size; j += 5) {
            std::uint64_t word;
            std::memcpy(&word, p + j, 8);
            // Byte k of `pairs` is 0 where p[j + k] == p[j + k + 1] (k < 7); of `triples` where
            // that holds for k, k + 1 and k + 2 (k < 5, the others are made non-zero).
            const std::uint64_t pairs = word ^ (word >> 8);
            const std::uint64_t triples = pairs | (pairs >> 8) | (pairs >> 16) | 0xFFFFFF0000000000ull;
            // The lowest zero byte is found exactly (the bits above it may be wrong).
            if (const std::uint64_t zero = (triples - ones) & ~triples & highs; zero != 0)
                return j + static_cast<std::size_t>(std::countr_zero(zero) / 8) + 1;
        }
    }
    for (; j + 3 < size; ++j) {
        if (p[j] == p[j + 1] && p[j] == p[j + 2] && p[j] == p[j + 3]) return j + 1;
    }
    return size;
}

// The plane as deflate sees it: spans of literals, and runs of the byte before (a match at
// distance 1), each run as long as it goes (up to kMaxRun).
template <class Literals, class Run>
void forEachToken(const unsigned char* p, std::size_t size, Literals literals, Run run) {
    std::size_t i = 0;
    while (i < size) {
        const std::size_t at = nextRun(p, i, size);
        if (at > i) literals(p + i, at - i);
        if (at >= size) break;
        const std::size_t length = runAt(p, at, size);
        run(p[at], length);
        i = at + length;
    }
}

// The lengths of a Huffman code for the symbol counts, none longer than maxLength. At least two
// symbols get a code (a code of one symbol is not complete), so a count of 0 may get one too.
void codeLengths(const std::uint32_t* counts, int symbols, int maxLength, std::uint8_t* lengths) {
    std::vector<std::pair<std::uint64_t, int>> used;  // (count, symbol), rarest first below
    for (int s = 0; s < symbols; ++s) {
        if (counts[s] > 0) used.emplace_back(counts[s], s);
    }
    for (int s = 0; used.size() < 2; ++s) {
        if (counts[s] == 0) used.emplace_back(0, s);
    }
    std::sort(used.begin(), used.end());
    // Huffman's merging with two queues: the sorted leaves, and the merged nodes, which are made
    // in rising order of weight.
    const int leaves = static_cast<int>(used.size());
    std::vector<std::uint64_t> weight(2 * leaves - 1);
    std::vector<int> parent(2 * leaves - 1);
    for (int i = 0; i < leaves; ++i) weight[i] = used[i].first;
    int nextLeaf = 0, nextNode = leaves;
    for (int k = leaves; k < 2 * leaves - 1; ++k) {
        auto take = [&] {
            if (nextLeaf < leaves && (nextNode >= k || weight[nextLeaf] <= weight[nextNode]))
                return nextLeaf++;
            return nextNode++;
        };
        const int a = take(), b = take();
        weight[k] = weight[a] + weight[b];
        parent[a] = parent[b] = k;
    }
    std::vector<int> depth(2 * leaves - 1, 0);
    for (int k = 2 * leaves - 3; k >= 0; --k) depth[k] = depth[parent[k]] + 1;

    // Codes deeper than allowed move up to the limit; then, while the code is over-full, one code
    // at the limit goes and a shorter one splits in two a level down (the way the usual encoders
    // do it). The lengths go to the symbols again by count, the most frequent the shortest.
    std::array<int, kMaxCodeLength + 1> perLength{};
    for (int i = 0; i < leaves; ++i) ++perLength[static_cast<std::size_t>(std::min(depth[i], maxLength))];
    std::uint64_t kraft = 0;
    for (int l = 1; l <= maxLength; ++l) kraft += static_cast<std::uint64_t>(perLength[l]) << (maxLength - l);
    for (; kraft > (std::uint64_t{1} << maxLength); --kraft) {
        --perLength[maxLength];
        for (int l = maxLength - 1; l > 0; --l) {
            if (perLength[l] > 0) {
                --perLength[l];
                perLength[l + 1] += 2;
                break;
            }
        }
    }
    std::fill(lengths, lengths + symbols, std::uint8_t{0});
    int next = leaves - 1;
    for (int l = 1; l <= maxLength; ++l) {
        for (int c = 0; c < perLength[l]; ++c) lengths[used[next--].second] = static_cast<std::uint8_t>(l);
    }
}

// The canonical codes of deflate for the lengths, bit-reversed for the writer.
void canonicalCodes(const std::uint8_t* lengths, int symbols, std::uint16_t* codes) {
    std::array<int, kMaxCodeLength + 1> perLength{};
    for (int s = 0; s < symbols; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    std::array<std::uint32_t, kMaxCodeLength + 1> next{};
    std::uint32_t code = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l) {
        code = (code + static_cast<std::uint32_t>(perLength[l - 1])) << 1;
        next[l] = code;
    }
    for (int s = 0; s < symbols; ++s) {
        const int l = lengths[s];
        if (l == 0) continue;
        const std::uint32_t c = next[l]++;
        std::uint32_t reversed = 0;
        for (int b = 0; b < l; ++b) reversed |= ((c >> b) & 1u) << (l - 1 - b);
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

// Copies a stored block's bytes. Not memcpy: the string instructions it uses for large copies are
// several times slower on some processors when the two addresses are not aligned alike, and a
// stored block starts 5 bytes after the one before.
void copyBytes(unsigned char* to, const unsigned char* from, std::size_t size) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 64 <= size; i += 64) {
        const auto* in = reinterpret_cast<const __m128i*>(from + i);
        auto* o = reinterpret_cast<__m128i*>(to + i);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), c = _mm_loadu_si128(in + 2),
                      d = _mm_loadu_si128(in + 3);
        _mm_storeu_si128(o, a);
        _mm_storeu_si128(o + 1, b);
        _mm_storeu_si128(o + 2, c);
        _mm_storeu_si128(o + 3, d);
    }
#endif
    if (i < size) std::memcpy(to + i, from + i, size - i);
}

// The Adler-32 check that the zlib stream ends with, taken on over the next `size` bytes (it starts
// at 1).
constexpr std::uint32_t kAdlerBase = 65521;

std::uint32_t adler32Sse2(std::uint32_t check, const unsigned char* p, std::size_t size) {
    std::uint64_t a = check & 0xFFFFu, b = check >> 16;
#if defined(__SSE2__)
    // 16 bytes at a time, the sums reduced every 4 KiB: after n bytes x1..xn, a grows by the sum of
    // the bytes and b by n * a + the sum of (n - i + 1) * xi. Per block of 16: b's share is 16 times
    // the sum of the blocks before it (`before`) and the bytes weighted 16 .. 1 (`weighted`).
    const __m128i zero = _mm_setzero_si128();
    const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 16) {
        const std::size_t blocks = std::min<std::size_t>(size / 16, 256);
        __m128i sum = zero, before = zero, weighted = zero;
        for (std::size_t c = 0; c < blocks; ++c, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            before = _mm_add_epi32(before, sum);
            sum = _mm_add_epi32(sum, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weightsLow));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), weightsHigh));
        }
        const auto total = [](__m128i v) {
            alignas(16) std::uint32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
            return std::uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
        };
        const std::uint64_t n = 16 * blocks;
        b = (b + n * a + 16 * total(before) + total(weighted)) % kAdlerBase;
        a = (a + total(sum)) % kAdlerBase;
        size -= n;
    }
#endif
    for (std::size_t i = 0; i < size; ++i) {
        a += p[i];
        b += a;
        if ((i & 0xFFF) == 0xFFF) b %= kAdlerBase, a %= kAdlerBase;
    }
    return static_cast<std::uint32_t>(((b % kAdlerBase) << 16) | (a % kAdlerBase));
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARLIN_PACKER_AVX2 1
// The same 32 bytes at a time, for the processors that have AVX2 (most): the weighting of the bytes
// is two instructions instead of four for half as many bytes. With `to`, the bytes are copied there
// on the way, for a stored block.
template <bool kCopy>
__attribute__((target("avx2"))) std::uint32_t adler32Avx2(std::uint32_t check, const unsigned char* p,
                                                          std::size_t size, unsigned char* to) {
    std::uint64_t a = check & 0xFFFFu, b = check >> 16;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17,
                                             16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    while (size >= 32) {
        const std::size_t blocks = std::min<std::size_t>(size / 32, 128);
        __m256i sum = zero, before = zero, weighted = zero;
        for (std::size_t c = 0; c < blocks; ++c, p += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            if constexpr (kCopy) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), bytes);
                to += 32;
            }
            before = _mm256_add_epi32(before, sum);
            sum = _mm256_add_epi32(sum, _mm256_sad_epu8(bytes, zero));
            weighted =
                _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
        }
        alignas(32) std::uint32_t lanes[3][8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[0]), sum);
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[1]), before);
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[2]), weighted);
        std::uint64_t total[3] = {};
        for (int k = 0; k < 3; ++k) {
            for (const std::uint32_t lane : lanes[k]) total[k] += lane;
        }
        const std::uint64_t n = 32 * blocks;
        b = (b + n * a + 32 * total[1] + total[2]) % kAdlerBase;
        a = (a + total[0]) % kAdlerBase;
        size -= n;
    }
    for (std::size_t i = 0; i < size; ++i) {
        a += p[i];
        b += a;
    }
    if (kCopy && size > 0) std::memcpy(to, p, size);
    return static_cast<std::uint32_t>(((b % kAdlerBase) << 16) | (a % kAdlerBase));
}

bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// The shuffle 32 values at a time; returns how many values it did (a multiple of 32). Each register
// of 8 values has its bytes grouped by plane within each half, then its 32-bit groups put in plane
// order, which makes it 4 groups of 8 bytes, one per plane; four such registers are then transposed.
__attribute__((target("avx2"))) std::size_t shuffleAvx2(const unsigned char* in, std::size_t count,
                                                        unsigned char* const* plane) {
    const __m256i byPlane = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8,
                                             12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i halvesTogether = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i v[4];
        for (int r = 0; r < 4; ++r) {
            const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * i + 32 * r));
            v[r] = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(raw, byPlane), halvesTogether);
        }
        const __m256i low01 = _mm256_unpacklo_epi64(v[0], v[1]), high01 = _mm256_unpackhi_epi64(v[0], v[1]);
        const __m256i low23 = _mm256_unpacklo_epi64(v[2], v[3]), high23 = _mm256_unpackhi_epi64(v[2], v[3]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane[0] + i),
                            _mm256_permute2x128_si256(low01, low23, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane[1] + i),
                            _mm256_permute2x128_si256(high01, high23, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane[2] + i),
                            _mm256_permute2x128_si256(low01, low23, 0x31));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane[3] + i),
                            _mm256_permute2x128_si256(high01, high23, 0x31));
    }
    return i;
}
#endif

std::uint32_t adler32Of(std::uint32_t check, const unsigned char* p, std::size_t size) {
#ifdef MARLIN_PACKER_AVX2
    if (hasAvx2()) return adler32Avx2<false>(check, p, size, nullptr);
#endif
    return adler32Sse2(check, p, size);
}

// Copies the bytes of a stored block and takes the check on over them.
std::uint32_t copyWithAdler32(std::uint32_t check, const unsigned char* p, std::size_t size,
                              unsigned char* to) {
#ifdef MARLIN_PACKER_AVX2
    if (hasAvx2()) return adler32Avx2<true>(check, p, size, to);
#endif
    copyBytes(to, p, size);
    return adler32Sse2(check, p, size);
}

// The plane as stored blocks; takes the check on over it.
std::uint32_t storedBlocks(BitWriter& out, const unsigned char* p, std::size_t size, bool last,
                           std::uint32_t check) {
    do {
        const std::size_t n = std::min(size, kMaxStored);
        size -= n;
        out.put(last && size == 0 ? 1 : 0, 1);
        out.put(0, 2);
        unsigned char* o = out.align();
        o[0] = static_cast<unsigned char>(n);
        o[1] = static_cast<unsigned char>(n >> 8);
        o[2] = static_cast<unsigned char>(~n);
        o[3] = static_cast<unsigned char>(~n >> 8);
        if (n > 0) check = copyWithAdler32(check, p, n, o + 4);  // an empty chunk has no bytes to point to
        out.skipTo(o + 4 + n);
        p += n;
    } while (size > 0);
    return check;
}

std::uint64_t storedBits(std::size_t size) {
    return 8 * (size + 5 * std::max<std::size_t>(1, (size + kMaxStored - 1) / kMaxStored));
}

// Byte counts in four tables, so that a repeated byte does not wait on its own count.
class ByteCounts {
public:
    void add(const unsigned char* p, std::size_t size) {
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            ++partial_[0][p[i]];
            ++partial_[1][p[i + 1]];
            ++partial_[2][p[i + 2]];
            ++partial_[3][p[i + 3]];
        }
        for (; i < size; ++i) ++partial_[0][p[i]];
    }
    void addTo(std::uint32_t* counts) const {
        for (int b = 0; b < 256; ++b)
            counts[b] += partial_[0][b] + partial_[1][b] + partial_[2][b] + partial_[3][b];
    }

private:
    std::uint32_t partial_[4][256] = {};
};

// What a plane holds, as deflate would send it: the symbols counted over the whole plane or, in a
// large plane, over every sixteenth stretch of 512 bytes, which tells the code almost as well at a
// sixteenth of the cost.
struct PlaneSample {
    std::uint32_t counts[kLiteralCodes] = {};
    bool whole = true;   // the counts are those of the whole plane
    bool runs = false;   // runs were seen; without them the plane is sent as bytes only
    bool noise = false;  // no run, and the bytes spread so evenly (over 7.9 bits of entropy each) that
                         // no code could make the plane smaller: the low bytes of measured values
};

PlaneSample samplePlane(const unsigned char* p, std::size_t size) {
    constexpr std::size_t kStretch = 512, kEvery = 16;
    PlaneSample sample;
    sample.whole = size < 8 * kEvery * kStretch;  // a sample of fewer than 8 stretches tells too little
    const std::size_t stretch = sample.whole ? size : kStretch,
                      step = sample.whole ? size : kEvery * kStretch;
    ByteCounts literals;
    for (std::size_t at = 0; at + stretch <= size && stretch > 0; at += step) {
        // The next stretch is asked for early: a chunk's planes come fresh from another thread, and
        // the stretches are too short for the processor to see the pattern by itself.
        if (at + step + stretch <= size) {
            for (std::size_t line = 0; line < stretch; line += 64) __builtin_prefetch(p + at + step + line);
        }
        forEachToken(
            p + at, stretch, [&](const unsigned char* q, std::size_t n) { literals.add(q, n); },
            [&](unsigned char, std::size_t length) {
                ++sample.counts[kLengthCode[length].symbol];
                sample.runs = true;
            });
    }
    literals.addTo(sample.counts);
    if (sample.whole || sample.runs) return sample;
    std::uint64_t sampled = 0;
    for (int b = 0; b < 256; ++b) sampled += sample.counts[b];
    double bits = 0;
    for (int b = 0; b < 256; ++b) {
        if (const double c = sample.counts[b]; c > 0) bits -= c * std::log2(c / static_cast<double>(sampled));
    }
    sample.noise = bits > 7.9 * static_cast<double>(sampled);
    return sample;
}

// The codes of the literal pairs whose two codes are short, so that the coding of plain bytes
// takes two table look-ups and one put per four bytes. Code in the low 26 bits (the first byte's
// first), length above; kNone where a byte of the pair has no short code.
class PairCodes {
public:
    PairCodes() : codes_(65536, kNone) {}
    void set(const std::uint16_t* code, const std::uint8_t* lengths, const std::uint32_t* counts,
             std::size_t size) {
        for (const unsigned char a : paired_) {
            for (const unsigned char b : paired_) codes_[a | b << 8] = kNone;
        }
        paired_.clear();
        for (int b = 0; b < 256; ++b) {
            if (counts[b] > 0 && lengths[b] <= kMaxPairedLength)
                paired_.push_back(static_cast<unsigned char>(b));
        }
        // Filling the table must cost less than what it saves.
        if (paired_.size() * paired_.size() > size / 4) paired_.clear();
        for (const unsigned char a : paired_) {
            for (const unsigned char b : paired_) {
                codes_[a | b << 8] = (code[a] | std::uint32_t{code[b]} << lengths[a]) |
                                     static_cast<std::uint32_t>(lengths[a] + lengths[b]) << kLengthShift;
            }
        }
    }
    const std::uint32_t* table() const { return codes_.data(); }
    static constexpr int kLengthShift = 26;
    static constexpr std::uint32_t kCodeMask = (1u << kLengthShift) - 1;
    // What three pairs may have together to go in one put, and a pair without a code, whose length
    // alone is more than that.
    static constexpr int kMaxThreePairs = 54;
    static constexpr std::uint32_t kNone = 63u << kLengthShift;

private:
    std::vector<std::uint32_t> codes_;
    std::vector<unsigned char> paired_;
};

// Plain bytes: three pairs of codes per put where all three have a pair code and fit in one put
// (they mostly do: the frequent bytes have short codes), else one code at a time.
void putLiterals(BitWriter& out, const unsigned char* q, std::size_t n, const std::uint32_t* pairCode,
                 const std::uint32_t* literal) {
    BitWriter local = out;  // in registers: the output's bytes cannot change it
    const unsigned char* const end = q + n;
    const auto two = [&](const unsigned char* at) {  // 30 bits at most
        const std::uint32_t a = literal[at[0]], b = literal[at[1]];
        const int aBits = static_cast<int>(a >> 16);
        local.put((a & 0xFFFFu) | (std::uint64_t{b & 0xFFFFu} << aBits), aBits + static_cast<int>(b >> 16));
    };
    for (; q + 6 <= end; q += 6) {
        const std::uint32_t a = pairCode[q[0] | unsigned{q[1]} << 8],
                            b = pairCode[q[2] | unsigned{q[3]} << 8],
                            c = pairCode[q[4] | unsigned{q[5]} << 8];
        const int aBits = static_cast<int>(a >> PairCodes::kLengthShift);
        const int abBits = aBits + static_cast<int>(b >> PairCodes::kLengthShift);
        const int bits = abBits + static_cast<int>(c >> PairCodes::kLengthShift);
        if (bits > PairCodes::kMaxThreePairs) [[unlikely]] {
            two(q);
            two(q + 2);
            two(q + 4);
            continue;
        }
        local.put((a & PairCodes::kCodeMask) | (std::uint64_t{b & PairCodes::kCodeMask} << aBits) |
                      (std::uint64_t{c & PairCodes::kCodeMask} << abBits),
                  bits);
    }
    for (; q + 2 <= end; q += 2) two(q);
    if (q < end) local.put(literal[*q] & 0xFFFFu, static_cast<int>(literal[*q] >> 16));
    out = local;
}

// The plane as one block with a Huffman code of its own, if that is smaller than storing it.
bool codedBlock(BitWriter& out, const unsigned char* p, std::size_t size, bool last,
                const PlaneSample& sample, PairCodes& pairs) {
    std::uint32_t counts[kLiteralCodes];
    std::copy(std::begin(sample.counts), std::end(sample.counts), counts);
    if (!sample.whole) {
        // Every byte, and every run length if there are runs, may occur outside the sample: all get
        // a code. A plane without runs in its sample is sent as bytes only: runs elsewhere in it
        // would be rare, and not looking for them saves a good part of the work.
        for (int s = 0; s < (sample.runs ? kLiteralCodes : kEndOfBlock); ++s) ++counts[s];
    }
    counts[kEndOfBlock] = 1;
    std::uint8_t lengths[kLiteralCodes];
    codeLengths(counts, kLiteralCodes, kMaxCodeLength, lengths);
    int literalCodes = kLiteralCodes;
    while (literalCodes > kFirstLengthCode && lengths[literalCodes - 1] == 0) --literalCodes;

    const BitWriter start = out;
    // The code lengths as the block's head sends them: the literal/length code, then two
    // distance codes of one bit (only distance 1 is used; two make the code complete).
    std::uint8_t sequence[kLiteralCodes + 2];
    std::copy(lengths, lengths + literalCodes, sequence);
    sequence[literalCodes] = sequence[literalCodes + 1] = 1;
    const int sequenceLength = literalCodes + 2;
    std::uint32_t lengthCounts[kLengthCodes] = {};
    for (int i = 0; i < sequenceLength; ++i) ++lengthCounts[sequence[i]];
    std::uint8_t lengthLengths[kLengthCodes];
    codeLengths(lengthCounts, kLengthCodes, kMaxLengthCodeLength, lengthLengths);
    int lengthCodes = kLengthCodes;
    while (lengthCodes > 4 && lengthLengths[kLengthOrder[lengthCodes - 1]] == 0) --lengthCodes;

    out.put(last ? 1 : 0, 1);
    out.put(2, 2);  // dynamic Huffman codes
    out.put(static_cast<std::uint32_t>(literalCodes - kFirstLengthCode), 5);
    out.put(2 - 1, 5);
    out.put(static_cast<std::uint32_t>(lengthCodes - 4), 4);
    for (int i = 0; i < lengthCodes; ++i) out.put(lengthLengths[kLengthOrder[i]], 3);
    std::uint16_t lengthCode[kLengthCodes] = {};
    canonicalCodes(lengthLengths, kLengthCodes, lengthCode);
    for (int i = 0; i < sequenceLength; ++i) out.put(lengthCode[sequence[i]], lengthLengths[sequence[i]]);

    std::uint16_t code[kLiteralCodes] = {};
    canonicalCodes(lengths, kLiteralCodes, code);
    // Code and length of each literal in one word, for the bytes that have no pair code.
    std::uint32_t literal[256];
    for (int b = 0; b < 256; ++b) literal[b] = code[b] | (std::uint32_t{lengths[b]} << 16);
    pairs.set(code, lengths, sample.counts, size);
    const std::uint32_t* const pairCode = pairs.table();
    const auto literals = [&out, pairCode, &literal](const unsigned char* q, std::size_t n) {
        putLiterals(out, q, n, pairCode, literal);
    };
    if (sample.runs) {
        forEachToken(p, size, literals, [&](unsigned char, std::size_t length) {
            const LengthCode& c = kLengthCode[length];
            // length symbol, its extra bits, then distance code 0 (distance 1), whose code is the bit 0
            out.put(code[c.symbol] | (std::uint32_t{c.extra} << lengths[c.symbol]),
                    lengths[c.symbol] + c.extraBits + 1);
        });
    } else {
        literals(p, size);
    }
    out.put(code[kEndOfBlock], lengths[kEndOfBlock]);
    if (out.bitsSince(start) < storedBits(size)) return true;
    out = start;
    return false;
}

#if defined(__SSE2__)
// The byte at bit `shift` of each of the sixteen 32-bit lanes of a, b, c and d, in order.
template <int shift>
__m128i planeBytes(__m128i a, __m128i b, __m128i c, __m128i d, __m128i low) {
    const auto pick = [&](__m128i x) { return _mm_and_si128(_mm_srli_epi32(x, shift), low); };
    return _mm_packus_epi16(_mm_packs_epi32(pick(a), pick(b)), _mm_packs_epi32(pick(c), pick(d)));
}
#endif

}  // namespace

void ChunkPacker::shuffle(const void* values, std::size_t count, unsigned char* planes,
                          std::size_t planeSize) {
    const auto* in = static_cast<const unsigned char*>(values);
    unsigned char* const plane[4] = {planes, planes + planeSize, planes + 2 * planeSize,
                                     planes + 3 * planeSize};
    std::size_t i = 0;
#ifdef MARLIN_PACKER_AVX2
    if (hasAvx2()) i = shuffleAvx2(in, count, plane);
#endif
#if defined(__SSE2__)
    // Sixteen values at a time: byte k of each 32-bit lane moved down, masked, and packed to bytes.
    const __m128i low = _mm_set1_epi32(0xFF);
    const auto store = [&](int k, __m128i bytes) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plane[k] + i), bytes);
    };
    for (; i + 16 <= count; i += 16) {
        const auto* at = reinterpret_cast<const __m128i*>(in + 4 * i);
        const __m128i a = _mm_loadu_si128(at), b = _mm_loadu_si128(at + 1), c = _mm_loadu_si128(at + 2),
                      d = _mm_loadu_si128(at + 3);
        store(0, planeBytes<0>(a, b, c, d, low));
        store(1, planeBytes<8>(a, b, c, d, low));
        store(2, planeBytes<16>(a, b, c, d, low));
        store(3, planeBytes<24>(a, b, c, d, low));
    }
#endif
    for (; i < count; ++i) {
        plane[0][i] = in[4 * i];
        plane[1][i] = in[4 * i + 1];
        plane[2][i] = in[4 * i + 2];
        plane[3][i] = in[4 * i + 3];
    }
}

// What a packer keeps from one chunk to the next, so that it is not made again every time.
struct ChunkPacker::Tables {
    std::vector<unsigned char> shuffled;
    PairCodes pairs;
};

ChunkPacker::ChunkPacker() : tables_(std::make_unique<Tables>()) {}
ChunkPacker::~ChunkPacker() = default;
ChunkPacker::ChunkPacker(ChunkPacker&&) noexcept = default;
ChunkPacker& ChunkPacker::operator=(ChunkPacker&&) noexcept = default;

std::size_t ChunkPacker::packedBound(std::size_t size) {
    const std::size_t n = size / 4;
    // Every plane stored, the one being coded coming out larger (at most 15 bits a byte) before it
    // is stored instead, and the 8 bytes that the bit writer stores at once.
    return 2 + size + 4 * (5 * (n / kMaxStored + 1) + 1) + (7 * n / 8 + 300) + 4 + 8;
}

std::size_t ChunkPacker::pack(const void* values, std::size_t size, char* out) {
    std::vector<unsigned char>& shuffled = tables_->shuffled;
    shuffled.resize(size);
    shuffle(values, size / 4, shuffled.data(), size / 4);
    return packShuffled(shuffled.data(), size, out);
}

std::size_t ChunkPacker::packShuffled(const unsigned char* planes, std::size_t size, char* out) {
    const std::size_t n = size / 4;
    auto* start = reinterpret_cast<unsigned char*>(out);
    start[0] = 0x78;  // deflate with a 32 KiB window
    start[1] = 0x01;  // no dictionary, fastest level; (0x78 << 8 | 0x01) is a multiple of 31
    BitWriter writer(start + 2);
    std::uint32_t check = 1;
    for (int k = 0; k < 4; ++k) {
        const unsigned char* plane = planes + k * n;
        const PlaneSample sample = samplePlane(plane, n);
        // The check is taken plane by plane, while the plane is in the cache.
        if (!sample.noise && codedBlock(writer, plane, n, k == 3, sample, tables_->pairs)) {
            check = adler32Of(check, plane, n);
        } else {
            check = storedBlocks(writer, plane, n, k == 3, check);
        }
    }
    unsigned char* end = writer.align();
    for (int i = 0; i < 4; ++i) end[i] = static_cast<unsigned char>(check >> (24 - 8 * i));
    return static_cast<std::size_t>(end + 4 - start);
}

}  // namespace marlin::cli
