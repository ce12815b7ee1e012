#pragma once
// The level range that the waterfall's colours span: the 1st to 99th percentile of the levels seen
// so far, until the user sets a range of their own.

#include <marlin/heatmap/Heatmap.h>

#include <cstdint>
#include <span>

namespace marlin::view {

class LevelScale {
public:
    static constexpr double kLowQuantile = 0.01, kHighQuantile = 0.99;
    // Readings added to the distribution before only every k-th one is (k doubling as they grow),
    // so that opening a long recording does not pay for every level twice.
    static constexpr std::uint64_t kFullSample = 4096;

    void reset();  // forgets the levels, keeps a user's range
    void add(std::span<const float> values);
    // Recomputes the automatic range; true when it moved by more than `tolerance` of its width
    // (and so the colours should be redone).
    bool refresh(double tolerance = 0.01);

    void setManual(double low, double high);
    void setAutomatic();
    bool automatic() const { return automatic_; }
    double low() const { return low_; }
    double high() const { return high_; }
    QRgb colour(float value) const { return heatmap::ColourMap::perceptual().of(value, low_, high_); }

private:
    heatmap::LevelHistogram histogram_;
    std::uint64_t readings_ = 0;
    bool automatic_ = true;
    bool dirty_ = false;
    bool fitted_ = false;
    double low_ = -100.0, high_ = 0.0;
};

}  // namespace marlin::view
