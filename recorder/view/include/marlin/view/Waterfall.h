#pragma once
// The waterfall's picture as cells: one row per slot of the row layout (a reading, or an empty slot
// for a gap in time), one column per point or per group of points. When the rows run out, pairs of
// rows are merged and every row then covers twice the slots, so memory stays that of the picture
// however long the recording. A column holds the highest level of its points (a narrow carrier
// never vanishes between pixels); a row of several readings holds their mean.

#include <marlin/view/LevelScale.h>
#include <marlin/view/RowLayout.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace marlin::view {

class Waterfall {
public:
    struct Row {
        std::uint32_t readings = 0;  // 0: a gap
        std::uint64_t first = 0, last = 0;  // reading numbers (0-based, in file order)
        double firstTime = 0.0, lastTime = 0.0;  // seconds since 1970 of those readings
    };

    explicit Waterfall(int maxRows = 1024, int maxColumns = 2048);

    void reset(std::uint32_t points);
    void add(std::uint64_t reading, double seconds, std::span<const float> values, const LevelScale& levels);
    // Colours every cell again, after the level range moved.
    void recolour(const LevelScale& levels);

    int rows() const { return rows_; }  // rows in use; row 0 is the oldest
    int columns() const { return columns_; }
    int maxRows() const { return maxRows_; }
    std::uint64_t slotsPerRow() const { return slotsPerRow_; }
    std::uint32_t points() const { return points_; }
    const Row& row(int r) const { return rowInfo_[static_cast<std::size_t>(r)]; }
    float cell(int r, int c) const;  // mean level; NaN for no data
    // rows() × columns() colours (0xffRRGGBB), row 0 the oldest.
    const std::uint32_t* colours() const { return colours_.data(); }
    // The newest reading of row r, or of the nearest row that has one.
    std::optional<std::uint64_t> readingAt(int r) const;
    // The row that holds a reading.
    std::optional<int> rowOf(std::uint64_t reading) const;
    std::size_t memoryBytes() const;

private:
    void mergeRows();
    void colourRow(int r, const LevelScale& levels);

    int maxRows_, maxColumns_;
    std::uint32_t points_ = 0;
    int columns_ = 1;
    int rows_ = 0;
    std::uint64_t slotsPerRow_ = 1;
    RowLayout layout_;
    std::vector<int> columnOf_;
    std::vector<float> sums_;
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> colours_;
    std::vector<Row> rowInfo_;
    std::vector<float> scratch_;
};

}  // namespace marlin::view
