#include "marlin/view/TraceHolds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlin::view {

namespace {
constexpr float kInf = std::numeric_limits<float>::infinity();
}

void TraceHolds::reset(std::uint32_t points) {
    const std::size_t window = window_;
    *this = TraceHolds{};
    points_ = points;
    window_ = window;
    allMax_.assign(points, -kInf);
    allMin_.assign(points, kInf);
    allSum_.assign(points, 0.0);
    average_.assign(points, std::numeric_limits<float>::quiet_NaN());
    recomputeWindow();
}

std::size_t TraceHolds::windowCapacity() const {
    return std::max<std::size_t>(1, std::min(window_, kMaxWindowValues / std::max<std::uint32_t>(points_, 1)));
}

void TraceHolds::setWindow(std::size_t readings) {
    window_ = readings;
    ring_.clear();
    recomputeWindow();
}

void TraceHolds::add(std::span<const float> values) {
    const std::size_t n = std::min<std::size_t>(values.size(), points_);
    ++allCount_;
    for (std::size_t i = 0; i < n; ++i) {
        const float v = values[i];
        allMax_[i] = std::max(allMax_[i], v);
        allMin_[i] = std::min(allMin_[i], v);
        allSum_[i] += v;
    }
    if (window_ == 0) {
        const double scale = 1.0 / static_cast<double>(allCount_);
        for (std::size_t i = 0; i < n; ++i) average_[i] = static_cast<float>(allSum_[i] * scale);
        return;
    }
    ring_.emplace_back(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
    ring_.back().resize(points_, std::numeric_limits<float>::quiet_NaN());
    const bool evicted = ring_.size() > windowCapacity();
    if (evicted) {
        // Max and min of a sliding window need the whole window again; the sum does not.
        const std::vector<float>& old = ring_.front();
        for (std::size_t i = 0; i < points_; ++i) windowSum_[i] -= old[i];
        ring_.pop_front();
    }
    const std::vector<float>& latest = ring_.back();
    for (std::size_t i = 0; i < points_; ++i) windowSum_[i] += latest[i];
    if (evicted) {
        windowMax_.assign(points_, -kInf);
        windowMin_.assign(points_, kInf);
        for (const auto& reading : ring_) {
            for (std::size_t i = 0; i < points_; ++i) {
                windowMax_[i] = std::max(windowMax_[i], reading[i]);
                windowMin_[i] = std::min(windowMin_[i], reading[i]);
            }
        }
    } else {
        for (std::size_t i = 0; i < points_; ++i) {
            windowMax_[i] = std::max(windowMax_[i], latest[i]);
            windowMin_[i] = std::min(windowMin_[i], latest[i]);
        }
    }
    const double scale = 1.0 / static_cast<double>(ring_.size());
    for (std::size_t i = 0; i < points_; ++i) average_[i] = static_cast<float>(windowSum_[i] * scale);
}

void TraceHolds::refill(const std::vector<std::vector<float>>& readings) {
    ring_.clear();
    recomputeWindow();
    if (window_ == 0) return;
    const std::size_t keep = std::min(readings.size(), windowCapacity());
    for (std::size_t r = readings.size() - keep; r < readings.size(); ++r) {
        // add() also counts into the all-readings figures; these readings are counted there already.
        ring_.emplace_back(readings[r]);
        ring_.back().resize(points_, std::numeric_limits<float>::quiet_NaN());
    }
    for (const auto& reading : ring_) {
        for (std::size_t i = 0; i < points_; ++i) {
            windowSum_[i] += reading[i];
            windowMax_[i] = std::max(windowMax_[i], reading[i]);
            windowMin_[i] = std::min(windowMin_[i], reading[i]);
        }
    }
    const double scale = ring_.empty() ? 0.0 : 1.0 / static_cast<double>(ring_.size());
    for (std::size_t i = 0; i < points_; ++i) {
        average_[i] = ring_.empty() ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(windowSum_[i] * scale);
    }
}

void TraceHolds::recomputeWindow() {
    windowSum_.assign(window_ == 0 ? 0 : points_, 0.0);
    windowMax_.assign(window_ == 0 ? 0 : points_, -kInf);
    windowMin_.assign(window_ == 0 ? 0 : points_, kInf);
    if (window_ == 0) {
        const double scale = allCount_ == 0 ? 0.0 : 1.0 / static_cast<double>(allCount_);
        for (std::size_t i = 0; i < points_; ++i) {
            average_[i] = allCount_ == 0 ? std::numeric_limits<float>::quiet_NaN()
                                         : static_cast<float>(allSum_[i] * scale);
        }
    } else {
        std::fill(average_.begin(), average_.end(), std::numeric_limits<float>::quiet_NaN());
    }
}

}  // namespace marlin::view
