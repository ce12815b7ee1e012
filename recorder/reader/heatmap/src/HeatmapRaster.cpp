#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "marlin/heatmap/Heatmap.h"

namespace marlin::heatmap {

HeatmapRaster::HeatmapRaster(std::uint64_t readings, std::uint32_t points, int maxColumns, int maxRows,
                             Reduce reduce)
    : readings_(std::max<std::uint64_t>(readings, 1)),
      rows_(static_cast<int>(std::min<std::uint64_t>(readings_, static_cast<std::uint64_t>(std::max(maxRows, 1))))),
      columns_(static_cast<int>(std::min<std::uint64_t>(std::max<std::uint32_t>(points, 1),
                                                        static_cast<std::uint64_t>(std::max(maxColumns, 1))))),
      reduce_(reduce),
      columnOf_(std::max<std::uint32_t>(points, 1)),
      cells_(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_),
             reduce == Reduce::Max ? -std::numeric_limits<float>::infinity() : 0.0f),
      counts_(cells_.size(), 0) {
    for (std::size_t i = 0; i < columnOf_.size(); ++i) {
        columnOf_[i] = static_cast<int>(i * static_cast<std::uint64_t>(columns_) / columnOf_.size());
    }
}

int HeatmapRaster::rowOf(std::uint64_t reading) const {
    // Exact for any count below 2^49 readings, as rows stay below 2^15.
    return static_cast<int>(std::min<std::uint64_t>(reading, readings_ - 1) * static_cast<std::uint64_t>(rows_) /
                            readings_);
}

void HeatmapRaster::add(std::uint64_t reading, std::span<const float> values) {
    const std::size_t base = static_cast<std::size_t>(rowOf(reading)) * static_cast<std::size_t>(columns_);
    const std::size_t n = std::min(values.size(), columnOf_.size());
    for (std::size_t i = 0; i < n; ++i) {
        const float v = values[i];
        if (std::isnan(v)) continue;
        const std::size_t cell = base + static_cast<std::size_t>(columnOf_[i]);
        if (reduce_ == Reduce::Max) {
            cells_[cell] = std::max(cells_[cell], v);
        } else {
            cells_[cell] += v;
        }
        ++counts_[cell];
    }
}

float HeatmapRaster::at(int row, int column) const {
    const std::size_t cell = static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                             static_cast<std::size_t>(column);
    if (counts_[cell] == 0) return std::numeric_limits<float>::quiet_NaN();
    return reduce_ == Reduce::Max ? cells_[cell] : cells_[cell] / static_cast<float>(counts_[cell]);
}

namespace {
constexpr int kDroppedBits = 12;  // 2^20 bins: sign, exponent and 11 bits of the mantissa

std::uint32_t orderedKey(float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}
float fromKey(std::uint32_t key) {
    const std::uint32_t bits = (key & 0x80000000u) ? key & 0x7FFFFFFFu : ~key;
    return std::bit_cast<float>(bits);
}
}  // namespace

LevelHistogram::LevelHistogram() : bins_(std::size_t{1} << (32 - kDroppedBits), 0) {}

void LevelHistogram::add(std::span<const float> values) {
    for (const float v : values) {
        if (!std::isfinite(v)) continue;
        ++bins_[orderedKey(v) >> kDroppedBits];
        ++total_;
    }
}

double LevelHistogram::quantile(double q) const {
    if (total_ == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto wanted = static_cast<std::uint64_t>(std::clamp(q, 0.0, 1.0) * static_cast<double>(total_ - 1));
    std::uint64_t seen = 0;
    for (std::size_t bin = 0; bin < bins_.size(); ++bin) {
        seen += bins_[bin];
        if (seen > wanted) {
            const auto key = static_cast<std::uint32_t>((bin << kDroppedBits) | (1u << (kDroppedBits - 1)));
            return static_cast<double>(fromKey(key));
        }
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace marlin::heatmap
