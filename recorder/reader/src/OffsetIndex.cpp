#include "OffsetIndex.h"

namespace marlin::reader {

void OffsetIndex::push(std::uint64_t offset) {
    const std::uint64_t index = deltas_.size();
    if ((index >> kBlockBits) == bases_.size()) bases_.push_back(offset);
    const std::uint64_t delta = offset - bases_.back();
    if (delta >= kFar) {
        far_.emplace(index, offset);
        deltas_.push_back(kFar);
    } else {
        deltas_.push_back(static_cast<std::uint32_t>(delta));
    }
}

std::uint64_t OffsetIndex::at(std::uint64_t index) const {
    const std::uint32_t delta = deltas_[index];
    if (delta == kFar) return far_.at(index);
    return bases_[index >> kBlockBits] + delta;
}

void OffsetIndex::clear() {
    bases_.clear();
    deltas_.clear();
    far_.clear();
}

}  // namespace marlin::reader
