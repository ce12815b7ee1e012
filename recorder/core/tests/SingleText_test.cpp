#include "marlin/core/SingleText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "marlin/core/TextHelpers.h"

namespace marlin {
namespace {

std::string fast(float value) {
    char buf[kMaxSingleNumberText];
    return std::string(buf, writeSingleText(buf, value));
}

std::string general(float value) {
    char buf[kMaxSingleNumberText];
    return std::string(buf, writeSingleTextGeneral(buf, value));
}

// Counts the values whose texts differ and reports the first few.
void expectSameTexts(const std::vector<float>& values) {
    int differ = 0;
    for (const float v : values) {
        if (fast(v) == general(v)) continue;
        if (++differ <= 10)
            ADD_FAILURE() << std::hex << std::bit_cast<std::uint32_t>(v) << ": \"" << fast(v) << "\" instead of \""
                          << general(v) << "\"";
    }
    EXPECT_EQ(differ, 0) << "of " << values.size();
}

// The single nearest to a decimal text (strtof, which unlike stof takes denormals).
float single(const std::string& text) {
    return std::strtof(text.c_str(), nullptr);
}

// A value and its neighbours one and two steps away on either side.
void addWithNeighbours(std::vector<float>& values, float v) {
    float down = v, up = v;
    values.push_back(v);
    for (int i = 0; i < 2; ++i) {
        down = std::nextafter(down, -std::numeric_limits<float>::infinity());
        up = std::nextafter(up, std::numeric_limits<float>::infinity());
        values.push_back(down);
        values.push_back(up);
    }
}

TEST(SingleTextEquivalence, EdgeValues) {
    using L = std::numeric_limits<float>;
    std::vector<float> values = {0.0f, -0.0f, L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN(),
                                 L::signaling_NaN(), L::max(), -L::max(), L::min(), L::denorm_min(),
                                 -L::denorm_min(), std::bit_cast<float>(0x007FFFFFu)};
    for (int e = -45; e <= 38; ++e) {
        const float power = single("1e" + std::to_string(e));
        addWithNeighbours(values, power);
        addWithNeighbours(values, -power);
        // 9.9999995 x 10^e and 9.999999 x 10^e: the last two that keep the exponent.
        addWithNeighbours(values, single("9.9999995e" + std::to_string(e - 1)));
        addWithNeighbours(values, single("9.999999e" + std::to_string(e - 1)));
    }
    // Exact decimal ties at the eighth digit (the library rounds them to even), in the fixed and
    // the scientific range, and where fixed and scientific notation meet.
    for (const float v : {1234567.5f, 1234568.5f, 9999999.5f, 12345675.0f, 12345665.0f, 16777215.0f, 2.5f,
                          0.5f, 0.0001f, 0.00001f, 9999999.0f, 10000000.0f, 0.00009999999f, 8388607.5f})
        addWithNeighbours(values, v);
    for (std::uint32_t bits = 1; bits < 5000; ++bits) values.push_back(std::bit_cast<float>(bits));  // denormals
    expectSameTexts(values);
}

TEST(SingleTextEquivalence, LargeRandomSample) {
    std::mt19937 rng(20100302);
    std::vector<float> values;
    // Every kind of bit pattern, and the values a spectrum trace holds (levels in dBm, a few
    // significant digits, many repeated decimals).
    std::uniform_int_distribution<std::uint32_t> anyBits;
    for (int i = 0; i < 2000000; ++i) values.push_back(std::bit_cast<float>(anyBits(rng)));
    std::uniform_real_distribution<float> level(-150.0f, 30.0f);
    for (int i = 0; i < 500000; ++i) values.push_back(level(rng));
    std::uniform_int_distribution<int> hundredths(-15000, 3000);
    for (int i = 0; i < 200000; ++i) values.push_back(static_cast<float>(hundredths(rng)) / 100.0f);
    expectSameTexts(values);
}

TEST(SingleTextEquivalence, KnownTexts) {
    EXPECT_EQ(fast(-80.12345f), "-80.12345");
    EXPECT_EQ(fast(0.25f), " .25");
    EXPECT_EQ(fast(1.2345678e-5f), " 1.234568E-05");
    EXPECT_EQ(fast(12345678.0f), " 1.234568E+07");
    EXPECT_EQ(fast(1.4e-45f), " 1.401298E-45");
    EXPECT_EQ(fast(1234567.0f), " 1234567");
    EXPECT_EQ(fast(100.0f), " 100");
    EXPECT_EQ(fast(-0.0f), " 0");
}

// A trace long enough to be written on two threads joins as value after value does.
TEST(SingleTextEquivalence, LongTraceJoinsInOrder) {
    std::vector<float> values(40001);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = -80.0f - static_cast<float>(i) * 0.001f;
    const std::string_view bytes(reinterpret_cast<const char*>(values.data()), values.size() * 4);
    for (const std::string separator : {",", "", " ; "}) {
        std::string expected;
        for (std::size_t i = 0; i < values.size(); ++i) expected += (i ? separator : "") + fast(values[i]);
        TextBuffer joined;
        joined += "Section 1;\r\n";
        appendSingleTexts(joined, bytes, separator);
        EXPECT_EQ(joined.view(), "Section 1;\r\n" + expected) << "separator \"" << separator << "\"";
    }
}

}  // namespace
}  // namespace marlin
