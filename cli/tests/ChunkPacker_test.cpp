// The packed chunks are what HDF5's deflate and shuffle filters undo: zlib's inflate must take
// them, and un-shuffling what it gives must return the values.
#include "ChunkPacker.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Inflates with zlib and puts byte k of every value back in place.
std::vector<unsigned char> unpack(const std::vector<char>& packed, std::size_t size) {
    std::vector<unsigned char> shuffled(size + 1);
    uLongf length = static_cast<uLongf>(shuffled.size());
    const int rc = uncompress(shuffled.data(), &length, reinterpret_cast<const Bytef*>(packed.data()),
                              static_cast<uLong>(packed.size()));
    EXPECT_EQ(rc, Z_OK);
    EXPECT_EQ(length, size);
    std::vector<unsigned char> values(size);
    const std::size_t n = size / 4;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < 4; ++k) values[4 * i + k] = shuffled[k * n + i];
    }
    return values;
}

std::vector<char> packed(const std::vector<unsigned char>& values) {
    marlin::cli::ChunkPacker packer;
    std::vector<char> out(marlin::cli::ChunkPacker::packedBound(values.size()));
    out.resize(packer.pack(values.data(), values.size(), out.data()));
    return out;
}

TEST(marlin_cli_ChunkPacker, EveryKindOfPlaneInflatesToTheValues) {
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(-80.0f, 3.0f);
    std::uniform_int_distribution<int> byte(0, 255);
    // Sizes around the edges of the vector loops and of the 65535-byte stored blocks.
    for (const std::size_t n : {0u, 1u, 4u, 5u, 17u, 19u, 100u, 16383u, 65535u, 65537u, 262144u}) {
        std::vector<std::vector<unsigned char>> cases;
        std::vector<float> trace(n);
        for (auto& v : trace) v = noise(rng);
        cases.emplace_back(reinterpret_cast<unsigned char*>(trace.data()),
                           reinterpret_cast<unsigned char*>(trace.data() + n));
        cases.emplace_back(4 * n, 0);  // runs longer than one match
        std::vector<unsigned char> mixed(4 * n);
        for (std::size_t i = 0; i < mixed.size(); ++i) {
            // runs of every length from 1 to 300, random bytes, and a few values only
            const std::size_t phase = i % 997;
            mixed[i] = phase < 300   ? static_cast<unsigned char>(i / 997)
                       : phase < 600 ? byte(rng)
                                     : byte(rng) % 3;
        }
        cases.push_back(mixed);
        // A large plane's code comes from a sample of it (every sixteenth stretch of 512 bytes): here
        // the sample sees two byte values and the rest is random, so the code must be dropped for a
        // stored block.
        std::vector<unsigned char> misleading(4 * n);
        for (std::size_t i = 0; i < misleading.size(); ++i) {
            misleading[i] = (i / 4 % 8192 < 512) ? (i / 4 % 2) : static_cast<unsigned char>(byte(rng));
        }
        cases.push_back(misleading);
        for (const auto& values : cases) {
            const auto out = packed(values);
            EXPECT_EQ(unpack(out, values.size()), values) << n << " values";
            EXPECT_LE(out.size(), values.size() + 4 * 5 * (n / 65535 + 1) + 6) << "larger than stored";
        }
    }
}

TEST(marlin_cli_ChunkPacker, PacksMeasuredValuesAndRunsAndLeavesNoiseAlmostAsItIs) {
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(-80.0f, 3.0f);
    std::vector<float> trace(262144);
    for (auto& v : trace) v = noise(rng);
    const std::vector<unsigned char> measured(reinterpret_cast<unsigned char*>(trace.data()),
                                              reinterpret_cast<unsigned char*>(trace.data() + trace.size()));
    // Two noise bytes stored, the sign/exponent byte nearly free, the top of the mantissa coded.
    EXPECT_LT(packed(measured).size(), measured.size() * 7 / 10);
    EXPECT_LT(packed(std::vector<unsigned char>(measured.size(), 7)).size(), measured.size() / 200);
    std::vector<unsigned char> random(measured.size());
    for (auto& b : random) b = static_cast<unsigned char>(rng());
    EXPECT_LT(packed(random).size(), random.size() + random.size() / 1000);
}

}  // namespace
