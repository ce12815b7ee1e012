#pragma once
// Offsets of the sections of a file, about 4 bytes each: a 64-bit base for every 64 sections and
// a 32-bit distance from it for each section. A distance that does not fit (a block spanning more
// than 4 GiB, only possible with huge damaged stretches) is kept aside in full.

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace marlin::reader {

class OffsetIndex {
public:
    void push(std::uint64_t offset);
    std::uint64_t at(std::uint64_t index) const;
    std::uint64_t size() const { return deltas_.size(); }
    void clear();

private:
    static constexpr unsigned kBlockBits = 6;
    static constexpr std::uint32_t kFar = 0xFFFFFFFFu;
    std::vector<std::uint64_t> bases_;
    std::vector<std::uint32_t> deltas_;
    std::unordered_map<std::uint64_t, std::uint64_t> far_;
};

}  // namespace marlin::reader
