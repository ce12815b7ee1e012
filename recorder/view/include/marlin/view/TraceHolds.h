#pragma once
// Max hold, min hold and average of the readings, point by point, over all readings or over the
// last N. The all-readings figures are always kept (three numbers a point), so switching between
// the two never needs the file again; the last N readings are kept only while asked for.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace marlin::view {

class TraceHolds {
public:
    // The most values the last-N window keeps (N × points); a larger N is cut to fit.
    static constexpr std::size_t kMaxWindowValues = std::size_t{16} << 20;

    void reset(std::uint32_t points);
    // 0: over all readings; N > 0: over the last N. Forgets the window's readings; refill()
    // gives them back.
    void setWindow(std::size_t readings);
    std::size_t window() const { return window_; }
    // The readings the window can hold at the current width.
    std::size_t windowCapacity() const;

    void add(std::span<const float> values);
    // Replaces the window's readings (oldest first), for a window that was just set.
    void refill(const std::vector<std::vector<float>>& readings);

    std::uint32_t points() const { return points_; }
    std::uint64_t count() const { return window_ == 0 ? allCount_ : ring_.size(); }
    std::span<const float> max() const { return window_ == 0 ? allMax_ : windowMax_; }
    std::span<const float> min() const { return window_ == 0 ? allMin_ : windowMin_; }
    std::span<const float> average() const { return average_; }
    // Over every reading whatever the window: what the level axis is fitted to.
    std::span<const float> allMax() const { return allMax_; }
    std::span<const float> allMin() const { return allMin_; }

private:
    void recomputeWindow();

    std::uint32_t points_ = 0;
    std::size_t window_ = 0;
    std::uint64_t allCount_ = 0;
    std::vector<float> allMax_, allMin_;
    std::vector<double> allSum_;
    std::deque<std::vector<float>> ring_;
    std::vector<double> windowSum_;
    std::vector<float> windowMax_, windowMin_;
    std::vector<float> average_;
};

}  // namespace marlin::view
