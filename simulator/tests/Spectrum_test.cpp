#include "Spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace marlin::sim {
namespace {

std::vector<float> sweepOf(const Spectrum& s, std::uint64_t n) {
    std::vector<float> out(s.settings().points);
    s.sweep(n, out.data());
    return out;
}

std::size_t nearestPoint(const Spectrum& s, double hz) {
    const auto& st = s.settings();
    return static_cast<std::size_t>(
        std::lround((hz - st.startHz) / (st.stopHz - st.startHz) * (st.points - 1)));
}

TEST(SpectrumTest, SweepsDependOnlyOnSeedAndSweepNumber) {
    Spectrum a;
    Spectrum b;
    EXPECT_EQ(sweepOf(a, 7), sweepOf(b, 7));
    EXPECT_NE(sweepOf(a, 7), sweepOf(a, 8));
    Spectrum::Settings s = a.settings();
    s.seed = 99;
    b.configure(s);
    EXPECT_NE(sweepOf(a, 7), sweepOf(b, 7));
}

TEST(SpectrumTest, NoiseFloorFollowsTheResolutionBandwidth) {
    Spectrum s;
    Spectrum::Settings st = s.settings();
    st.startHz = 2.0e9;  // no carriers up here
    st.stopHz = 2.1e9;
    st.rbwHz = 1e6;
    s.configure(st);
    const auto wide = sweepOf(s, 1);
    const double meanWide = std::accumulate(wide.begin(), wide.end(), 0.0) / wide.size();
    EXPECT_NEAR(meanWide, s.noiseFloorDbm(), 3.0);
    EXPECT_NEAR(s.noiseFloorDbm(), -92.0, 0.01);
    st.rbwHz = 10e3;
    s.configure(st);
    const auto narrow = sweepOf(s, 1);
    const double meanNarrow = std::accumulate(narrow.begin(), narrow.end(), 0.0) / narrow.size();
    EXPECT_NEAR(meanWide - meanNarrow, 20.0, 1.0);
    // It is noise: values spread.
    const auto [lo, hi] = std::minmax_element(wide.begin(), wide.end());
    EXPECT_GT(*hi - *lo, 3.0f);
}

TEST(SpectrumTest, SteadyCarriersStandOutAtTheirFrequencies) {
    Spectrum s;
    const auto values = sweepOf(s, 0);
    for (const Spectrum::Carrier& c : Spectrum::steadyCarriers()) {
        const std::size_t i = nearestPoint(s, c.frequencyHz);
        EXPECT_NEAR(values[i], c.levelDbm, 1.0) << c.frequencyHz;
        EXPECT_GT(values[i], s.noiseFloorDbm() + 40.0);
    }
}

TEST(SpectrumTest, MovingCarrierDriftsAndHops) {
    Spectrum s;
    const auto a = s.movingCarrier(0);
    const auto b = s.movingCarrier(20);
    EXPECT_NE(a.frequencyHz, b.frequencyHz);
    EXPECT_NEAR(a.frequencyHz, b.frequencyHz, 1e6);  // same channel, drifted
    bool hopped = false;
    for (std::uint64_t k = 1; k < 16 && !hopped; ++k) {
        hopped = std::fabs(s.movingCarrier(k * 64).frequencyHz - a.frequencyHz) > 5e6;
    }
    EXPECT_TRUE(hopped);
    const auto values = sweepOf(s, 30);
    const auto m = s.movingCarrier(30);
    EXPECT_NEAR(values[nearestPoint(s, m.frequencyHz)], m.levelDbm, 2.5);
}

TEST(SpectrumTest, OnePointAndZeroSpanWork) {
    Spectrum s;
    Spectrum::Settings st = s.settings();
    st.points = 1;
    s.configure(st);
    EXPECT_EQ(sweepOf(s, 3).size(), 1u);
    st.points = 11;
    st.startHz = st.stopHz = 1.0e9;
    s.configure(st);
    for (float v : sweepOf(s, 3)) EXPECT_NEAR(v, -20.0, 1.0);
}

}  // namespace
}  // namespace marlin::sim
