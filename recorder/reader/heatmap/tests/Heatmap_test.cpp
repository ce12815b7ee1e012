#include "marlin/heatmap/Heatmap.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cmath>

namespace marlin::heatmap {
namespace {

// Three readings of four points, each reading one level: every pixel row of the plot has its
// reading's colour, and a reading's rows are as many as the enlargement.
TEST(HeatmapTest, PixelRowsShowTheirReadings) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    HeatmapRaster raster(3, 4, 1600, 1000, Reduce::Mean);
    const float levels[3] = {-90.0f, -60.0f, -30.0f};
    for (int r = 0; r < 3; ++r) {
        const std::vector<float> values(4, levels[r]);
        raster.add(static_cast<std::uint64_t>(r), values);
    }
    HeatmapLabels labels;
    labels.rowTimes = {"2010-03-02T09:05:07.040", "2010-03-02T09:05:08.040", "2010-03-02T09:05:09.040"};
    const QImage image = renderHeatmap(raster, labels, -90.0, -30.0, 1600, 1000);
    const HeatmapLayout layout = heatmapLayout(raster, 1600, 1000);
    ASSERT_EQ(layout.scale, 333);
    const ColourMap& map = ColourMap::perceptual();
    for (int y = 0; y < layout.plot.height(); ++y) {
        const QRgb expected = map.at((levels[y / layout.scale] + 90.0) / 60.0);
        for (int x : {0, layout.plot.width() / 2, layout.plot.width() - 1}) {
            ASSERT_EQ(image.pixel(layout.plot.left() + x, layout.plot.top() + y), expected) << x << "," << y;
        }
    }
    EXPECT_NE(map.at(0.0), map.at(1.0));
}

TEST(HeatmapTest, ManyReadingsAreReducedToThePixelRows) {
    HeatmapRaster mean(1000, 10, 5, 100, Reduce::Mean), max(1000, 10, 5, 100, Reduce::Max);
    for (std::uint64_t r = 0; r < 1000; ++r) {
        std::vector<float> values(10);
        for (int i = 0; i < 10; ++i) values[static_cast<std::size_t>(i)] = static_cast<float>(r % 10 + i);
        mean.add(r, values);
        max.add(r, values);
    }
    ASSERT_EQ(mean.rows(), 100);
    ASSERT_EQ(mean.columns(), 5);
    // Row 0 holds readings 0..9, column 0 points 0 and 1: values 0..9 and 1..10.
    EXPECT_FLOAT_EQ(mean.at(0, 0), 5.0f);
    EXPECT_FLOAT_EQ(max.at(0, 0), 10.0f);
    EXPECT_TRUE(std::isnan(HeatmapRaster(2, 2, 2, 2, Reduce::Mean).at(1, 1)));
}

TEST(HeatmapTest, LevelsComeFromThePercentiles) {
    LevelHistogram histogram;
    std::vector<float> values;
    for (int i = 0; i <= 1000; ++i) values.push_back(-100.0f + 0.1f * static_cast<float>(i));
    values.push_back(NAN);
    histogram.add(values);
    EXPECT_EQ(histogram.count(), 1001u);
    EXPECT_NEAR(histogram.quantile(0.01), -99.0, 0.06);
    EXPECT_NEAR(histogram.quantile(0.99), -1.0, 0.01);
    EXPECT_TRUE(std::isnan(LevelHistogram().quantile(0.5)));
}

TEST(HeatmapTest, EngineeringText) {
    EXPECT_EQ(engineeringText(1.5e9, "Hz"), "1.5 GHz");
    EXPECT_EQ(engineeringText(2500, "Hz"), "2.5 kHz");
    EXPECT_EQ(engineeringText(0, "Hz"), "0 Hz");
    EXPECT_EQ(engineeringText(17, ""), "17");
}

}  // namespace
}  // namespace marlin::heatmap
