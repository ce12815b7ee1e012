#include "marlin/view/LevelScale.h"

#include <bit>
#include <cmath>

namespace marlin::view {

void LevelScale::reset() {
    histogram_ = heatmap::LevelHistogram{};
    readings_ = 0;
    dirty_ = false;
    fitted_ = false;
}

void LevelScale::add(std::span<const float> values) {
    const std::uint64_t n = readings_++;
    if (n >= kFullSample) {
        const std::uint64_t stride = std::bit_floor(n / kFullSample) * 2;
        if (n % stride != 0) return;
    }
    histogram_.add(values);
    dirty_ = true;
}

bool LevelScale::refresh(double tolerance) {
    if (!automatic_ || !dirty_) return false;
    dirty_ = false;
    double low = histogram_.quantile(kLowQuantile);
    double high = histogram_.quantile(kHighQuantile);
    if (std::isnan(low) || std::isnan(high)) return false;
    if (!(high > low)) high = low + 1.0;  // a flat recording
    const double width = high_ - low_;
    const bool moved = !fitted_ || std::fabs(low - low_) > tolerance * width || std::fabs(high - high_) > tolerance * width;
    if (moved) {
        low_ = low;
        high_ = high;
        fitted_ = true;
    }
    return moved;
}

void LevelScale::setManual(double low, double high) {
    automatic_ = false;
    low_ = low;
    high_ = high > low ? high : low + 1.0;
}

void LevelScale::setAutomatic() {
    automatic_ = true;
    dirty_ = true;
}

}  // namespace marlin::view
