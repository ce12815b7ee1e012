#pragma once
// A recording as a picture: readings down, points across, each value a colour of a perceptual
// colour map. The pieces are separate so that a live view can use the same colour map, the same
// reduction of many readings or points to few pixels, and the same level range.

#include <QImage>
#include <QRgb>
#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marlin::heatmap {

// 256 colours from dark blue-violet to light yellow whose lightness rises evenly, so that equal
// steps of level look like equal steps of colour.
class ColourMap {
public:
    static const ColourMap& perceptual();
    QRgb at(double fraction) const;  // 0..1, clamped; NaN gives noData()
    QRgb of(float value, double low, double high) const;
    static QRgb noData() { return qRgb(128, 128, 128); }

private:
    std::vector<QRgb> colours_;
};

enum class Reduce { Mean, Max };

// Readings × points reduced to at most maxRows × maxColumns cells: each cell the mean (or the
// maximum) of the values that fall on it. NaN values are left out.
class HeatmapRaster {
public:
    HeatmapRaster(std::uint64_t readings, std::uint32_t points, int maxColumns, int maxRows, Reduce reduce);
    void add(std::uint64_t reading, std::span<const float> values);  // reading: 0-based, < readings
    int rows() const { return rows_; }
    int columns() const { return columns_; }
    int rowOf(std::uint64_t reading) const;
    float at(int row, int column) const;  // NaN where nothing fell

private:
    std::uint64_t readings_;
    int rows_, columns_;
    Reduce reduce_;
    std::vector<int> columnOf_;
    std::vector<float> cells_;
    std::vector<std::uint32_t> counts_;
};

// The distribution of all values seen, to a relative resolution of 1/2048, in constant memory.
class LevelHistogram {
public:
    LevelHistogram();
    void add(std::span<const float> values);
    double quantile(double q) const;  // 0..1; NaN when nothing was added
    std::uint64_t count() const { return total_; }

private:
    std::vector<std::uint32_t> bins_;
    std::uint64_t total_ = 0;
};

struct HeatmapLabels {
    QString title;
    double frequencyStart = 0.0, frequencyStop = 0.0;  // of the first and last point
    QString frequencyUnit;                             // empty: the axis is the point number
    QString levelUnit;
    std::vector<QString> rowTimes;  // one per raster row: the time of its first reading
};

// Where the cells are drawn in a picture from renderHeatmap(): `scale` pixels per cell.
struct HeatmapLayout {
    QRect plot;
    int scale = 1;
};
HeatmapLayout heatmapLayout(const HeatmapRaster& raster, int maxWidth, int maxHeight);

// The picture with its axes (frequency across, time down) and a level scale; small rasters are
// enlarged by whole pixels to fit maxWidth × maxHeight.
QImage renderHeatmap(const HeatmapRaster& raster, const HeatmapLabels& labels, double low, double high,
                     int maxWidth, int maxHeight);

// "1.5 MHz"-style text of a value with the unit's SI prefix.
QString engineeringText(double value, const QString& unit);

}  // namespace marlin::heatmap
