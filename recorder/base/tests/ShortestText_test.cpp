// The shortest text against the library's plain to_chars: the values where the form or the
// digit count changes, and a large sample of every kind of bit pattern. Every pattern is checked by
// hand with bench's marlin_single_text_exhaustive --shortest.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "marlin/base/ShortestText.h"

namespace {

std::string libraryText(float value) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

std::string ourText(float value) {
    char buf[marlin::kShortestTextRoom];
    return std::string(buf, marlin::writeShortestText(buf, value));
}

TEST(ShortestText, AgreesWithTheLibraryOnEdgesAndASample) {
    using limits = std::numeric_limits<float>;
    for (const float v : {0.0f, -0.0f, 1.0f, -80.12345f, 0.1f, 0.001f, 1e-5f, 123456.7f, 1234567.0f, 16777216.0f,
                          33554448.0f, 1e10f, 8589934592.0f, 1e15f, 3e-39f, limits::min(), limits::denorm_min(),
                          limits::max(), limits::lowest(), limits::infinity(), -limits::infinity(),
                          limits::quiet_NaN()}) {
        EXPECT_EQ(ourText(v), libraryText(v)) << libraryText(v);
    }
    std::mt19937 rng(11);
    int differ = 0;
    for (int i = 0; i < 2'000'000 && differ < 10; ++i) {
        const std::uint32_t bits = rng();
        float v;
        std::memcpy(&v, &bits, 4);
        const std::string ours = ourText(v), library = libraryText(v);
        if (ours != library) {
            ++differ;
            ADD_FAILURE() << std::hex << bits << ": " << ours << " against " << library;
        }
    }
}

// A run long enough to be written on two threads comes out as value after value does, the
// values with texts of their own among the others.
TEST(ShortestText, LongRunInOrder) {
    using limits = std::numeric_limits<float>;
    const float unusual[] = {0.0f, -0.0f, limits::infinity(), limits::quiet_NaN(), limits::denorm_min(), -0.5f, 1024.0f};
    std::vector<float> values(40001);
    std::string expected;
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = i % 997 == 5 ? unusual[i % 7] : -80.0f + static_cast<float>(i) * 1e-4f;
        expected += ',' + libraryText(values[i]);
    }
    marlin::TextBuffer written;
    written += "head";
    marlin::appendShortestTexts(written, values, ',');
    EXPECT_EQ(written.view(), "head" + expected);
}

}  // namespace
