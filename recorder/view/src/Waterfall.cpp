#include "marlin/view/Waterfall.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace marlin::view {

Waterfall::Waterfall(int maxRows, int maxColumns) : maxRows_(std::max(2, maxRows)), maxColumns_(std::max(1, maxColumns)) {
    reset(0);
}

void Waterfall::reset(std::uint32_t points) {
    points_ = points;
    columns_ = static_cast<int>(std::clamp<std::uint64_t>(points, 1, static_cast<std::uint64_t>(maxColumns_)));
    rows_ = 0;
    slotsPerRow_ = 1;
    layout_.reset();
    columnOf_.resize(std::max<std::uint32_t>(points, 1));
    for (std::size_t i = 0; i < columnOf_.size(); ++i) {
        columnOf_[i] = static_cast<int>(i * static_cast<std::uint64_t>(columns_) / columnOf_.size());
    }
    const std::size_t cells = static_cast<std::size_t>(maxRows_) * static_cast<std::size_t>(columns_);
    sums_.assign(cells, 0.0f);
    counts_.assign(cells, 0);
    colours_.assign(cells, heatmap::ColourMap::noData());
    rowInfo_.assign(static_cast<std::size_t>(maxRows_), Row{});
    scratch_.assign(static_cast<std::size_t>(columns_), 0.0f);
}

float Waterfall::cell(int r, int c) const {
    const std::size_t i = static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(c);
    return counts_[i] == 0 ? std::numeric_limits<float>::quiet_NaN() : sums_[i] / static_cast<float>(counts_[i]);
}

void Waterfall::mergeRows() {
    const std::size_t w = static_cast<std::size_t>(columns_);
    const int merged = (rows_ + 1) / 2;
    for (int r = 0; r < merged; ++r) {
        const int a = 2 * r, b = 2 * r + 1;
        Row row = rowInfo_[static_cast<std::size_t>(a)];
        for (std::size_t c = 0; c < w; ++c) {
            float sum = sums_[static_cast<std::size_t>(a) * w + c];
            std::uint32_t count = counts_[static_cast<std::size_t>(a) * w + c];
            if (b < rows_) {
                sum += sums_[static_cast<std::size_t>(b) * w + c];
                count += counts_[static_cast<std::size_t>(b) * w + c];
            }
            sums_[static_cast<std::size_t>(r) * w + c] = sum;
            counts_[static_cast<std::size_t>(r) * w + c] = count;
        }
        if (b < rows_) {
            const Row& other = rowInfo_[static_cast<std::size_t>(b)];
            if (row.readings == 0) {
                row = other;
            } else if (other.readings != 0) {
                row.readings += other.readings;
                row.last = other.last;
                row.lastTime = other.lastTime;
            }
        }
        rowInfo_[static_cast<std::size_t>(r)] = row;
    }
    std::fill(sums_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(merged) * w), sums_.end(), 0.0f);
    std::fill(counts_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(merged) * w), counts_.end(), 0u);
    std::fill(rowInfo_.begin() + merged, rowInfo_.end(), Row{});
    rows_ = merged;
    slotsPerRow_ *= 2;
}

void Waterfall::add(std::uint64_t reading, double seconds, std::span<const float> values, const LevelScale& levels) {
    if (points_ == 0) return;
    const std::uint64_t slot = layout_.place(seconds);
    bool merged = false;
    while (slot / slotsPerRow_ >= static_cast<std::uint64_t>(maxRows_)) {
        mergeRows();
        merged = true;
    }
    const int r = static_cast<int>(slot / slotsPerRow_);
    rows_ = std::max(rows_, r + 1);

    std::fill(scratch_.begin(), scratch_.end(), -std::numeric_limits<float>::infinity());
    const std::size_t n = std::min<std::size_t>(values.size(), points_);
    for (std::size_t i = 0; i < n; ++i) {
        float& top = scratch_[static_cast<std::size_t>(columnOf_[i])];
        if (values[i] > top) top = values[i];  // NaN never wins
    }
    const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_);
    for (std::size_t c = 0; c < scratch_.size(); ++c) {
        if (scratch_[c] == -std::numeric_limits<float>::infinity()) continue;
        sums_[base + c] += scratch_[c];
        ++counts_[base + c];
    }
    Row& row = rowInfo_[static_cast<std::size_t>(r)];
    if (row.readings == 0) {
        row.first = reading;
        row.firstTime = seconds;
    }
    ++row.readings;
    row.last = reading;
    row.lastTime = seconds;
    if (merged) {
        recolour(levels);
    } else {
        colourRow(r, levels);
    }
}

void Waterfall::colourRow(int r, const LevelScale& levels) {
    const std::size_t base = static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_);
    for (int c = 0; c < columns_; ++c) {
        const std::size_t i = base + static_cast<std::size_t>(c);
        colours_[i] = counts_[i] == 0 ? heatmap::ColourMap::noData()
                                      : levels.colour(sums_[i] / static_cast<float>(counts_[i]));
    }
}

void Waterfall::recolour(const LevelScale& levels) {
    for (int r = 0; r < rows_; ++r) colourRow(r, levels);
    std::fill(colours_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_)),
              colours_.end(), heatmap::ColourMap::noData());
}

std::optional<std::uint64_t> Waterfall::readingAt(int r) const {
    if (rows_ == 0) return std::nullopt;
    r = std::clamp(r, 0, rows_ - 1);
    for (int d = 0; d < rows_; ++d) {
        for (const int candidate : {r + d, r - d}) {
            if (candidate >= 0 && candidate < rows_ && rowInfo_[static_cast<std::size_t>(candidate)].readings > 0) {
                return rowInfo_[static_cast<std::size_t>(candidate)].last;
            }
        }
    }
    return std::nullopt;
}

std::optional<int> Waterfall::rowOf(std::uint64_t reading) const {
    // Rows hold rising reading numbers: a binary search over the rows that have readings.
    int lo = 0, hi = rows_ - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const Row& row = rowInfo_[static_cast<std::size_t>(mid)];
        if (row.readings == 0) {
            int left = mid - 1;
            while (left >= lo && rowInfo_[static_cast<std::size_t>(left)].readings == 0) --left;
            if (left < lo) {
                lo = mid + 1;
                continue;
            }
            const Row& l = rowInfo_[static_cast<std::size_t>(left)];
            if (reading >= l.first && reading <= l.last) return left;
            if (reading < l.first) hi = left - 1;
            else lo = mid + 1;
            continue;
        }
        if (reading < row.first) hi = mid - 1;
        else if (reading > row.last) lo = mid + 1;
        else return mid;
    }
    return std::nullopt;
}

std::size_t Waterfall::memoryBytes() const {
    return sums_.capacity() * sizeof(float) + counts_.capacity() * 4 + colours_.capacity() * 4 +
           rowInfo_.capacity() * sizeof(Row) + columnOf_.capacity() * sizeof(int);
}

}  // namespace marlin::view
