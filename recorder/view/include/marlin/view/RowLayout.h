#pragma once
// Where each reading goes on the waterfall's time axis: one slot per reading, and a gap in time
// shows as empty slots, as many as readings would have fitted into it. The spacing of readings is
// learnt from the first ones (their lower median), so jitter never opens a gap.

#include <cstdint>
#include <vector>

namespace marlin::view {

class RowLayout {
public:
    // Readings learnt from before the spacing is fixed; later ones never move earlier slots.
    static constexpr std::size_t kLearnedDeltas = 32;
    // The longest gap in slots, so that a clock set back by years cannot blow up the picture.
    static constexpr std::uint64_t kMaxGapSlots = std::uint64_t{1} << 24;

    // The slot of the next reading, taken at `seconds` (any monotonic-ish time scale).
    std::uint64_t place(double seconds);
    std::uint64_t slotCount() const { return any_ ? lastSlot_ + 1 : 0; }
    double spacing() const { return spacing_; }  // 0 while fewer than two readings
    void reset();

private:
    std::vector<double> deltas_;
    double spacing_ = 0.0;
    double lastTime_ = 0.0;
    std::uint64_t lastSlot_ = 0;
    bool any_ = false;
};

}  // namespace marlin::view
