#include "marlin/view/RowLayout.h"

#include <algorithm>
#include <cmath>

namespace marlin::view {

std::uint64_t RowLayout::place(double seconds) {
    if (!any_) {
        any_ = true;
        lastTime_ = seconds;
        lastSlot_ = 0;
        return 0;
    }
    const double delta = seconds - lastTime_;
    lastTime_ = seconds;
    // A time stamp that stands still or goes back (clock changed) still gets a row of its own.
    if (!(delta > 0.0)) return ++lastSlot_;
    if (deltas_.size() < kLearnedDeltas) {
        deltas_.push_back(delta);
        std::vector<double> sorted = deltas_;
        std::sort(sorted.begin(), sorted.end());
        spacing_ = sorted[(sorted.size() - 1) / 2];
    }
    const double steps = std::round(delta / spacing_);
    const std::uint64_t advance =
        steps < 1.0 ? 1 : static_cast<std::uint64_t>(std::min(steps, static_cast<double>(kMaxGapSlots)));
    lastSlot_ += advance;
    return lastSlot_;
}

void RowLayout::reset() {
    *this = RowLayout{};
}

}  // namespace marlin::view
