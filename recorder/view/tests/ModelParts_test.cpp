// The view model's parts on their own: holds, level range and colours, row layout, waterfall cells.
#include <gtest/gtest.h>

#include <marlin/view/LevelScale.h>
#include <marlin/view/RowLayout.h>
#include <marlin/view/TraceHolds.h>
#include <marlin/view/Waterfall.h>

#include <cmath>
#include <vector>

namespace marlin::view {
namespace {

TEST(TraceHolds, AllReadingsAndLastNGiveMaxMinAverage) {
    TraceHolds holds;
    holds.reset(3);
    holds.add(std::vector<float>{1, 5, -2});
    holds.add(std::vector<float>{3, 0, -4});
    holds.add(std::vector<float>{2, 1, 0});
    EXPECT_EQ(std::vector<float>(holds.max().begin(), holds.max().end()), (std::vector<float>{3, 5, 0}));
    EXPECT_EQ(std::vector<float>(holds.min().begin(), holds.min().end()), (std::vector<float>{1, 0, -4}));
    EXPECT_FLOAT_EQ(holds.average()[0], 2.0f);
    EXPECT_FLOAT_EQ(holds.average()[2], -2.0f);

    // Over the last two: the first reading's 5 has left the window, the all-readings figures not.
    holds.setWindow(2);
    holds.refill({{1, 5, -2}, {3, 0, -4}, {2, 1, 0}});
    EXPECT_EQ(holds.count(), 2u);
    EXPECT_FLOAT_EQ(holds.max()[1], 1.0f);
    EXPECT_FLOAT_EQ(holds.min()[2], -4.0f);
    holds.add(std::vector<float>{0, 0, 0});  // evicts {3, 0, -4}
    EXPECT_FLOAT_EQ(holds.max()[0], 2.0f);
    EXPECT_FLOAT_EQ(holds.min()[2], 0.0f);
    EXPECT_FLOAT_EQ(holds.average()[0], 1.0f);
    EXPECT_FLOAT_EQ(holds.allMax()[1], 5.0f);
    holds.setWindow(0);
    EXPECT_EQ(holds.count(), 4u);
    EXPECT_FLOAT_EQ(holds.average()[0], 1.5f);
}

TEST(LevelScale, FollowsPercentilesUntilSetAndMapsToTheColourMap) {
    LevelScale scale;
    std::vector<float> values;
    for (int i = 0; i < 1000; ++i) values.push_back(static_cast<float>(i % 100));
    scale.add(values);
    EXPECT_TRUE(scale.refresh());
    EXPECT_NEAR(scale.low(), 0.0, 0.01);
    EXPECT_NEAR(scale.high(), 98.0, 0.1);
    EXPECT_FALSE(scale.refresh());  // nothing new
    const auto& map = heatmap::ColourMap::perceptual();
    EXPECT_EQ(scale.colour(-500.0f), map.at(0.0));
    EXPECT_EQ(scale.colour(500.0f), map.at(1.0));
    EXPECT_EQ(scale.colour(std::nanf("")), heatmap::ColourMap::noData());

    scale.setManual(-10.0, 10.0);
    scale.add(std::vector<float>(100, 1000.0f));
    EXPECT_FALSE(scale.refresh());
    EXPECT_EQ(scale.colour(0.0f), map.at(0.5));
    scale.setAutomatic();
    EXPECT_TRUE(scale.refresh());
    EXPECT_GT(scale.high(), 98.5);  // the 1000s now count
}

TEST(RowLayout, OneSlotPerReadingAndGapsAsEmptySlots) {
    RowLayout rows;
    const std::vector<double> times = {0.0, 1.02, 1.98, 3.05, 4.0, 9.0, 10.03, 10.0};
    std::vector<std::uint64_t> placed;
    for (const double t : times) placed.push_back(rows.place(t));
    // Jitter never opens a gap; five seconds of silence are four empty slots; a clock that went
    // back still gives the reading a slot of its own.
    EXPECT_EQ(placed, (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 9, 10, 11}));
    EXPECT_NEAR(rows.spacing(), 1.0, 0.05);
    EXPECT_EQ(rows.slotCount(), 12u);
}

TEST(Waterfall, CellsGapsAndMergedRows) {
    LevelScale levels;
    levels.setManual(0.0, 100.0);
    Waterfall fall(4, 2);  // 4 rows, 2 columns for 4 points
    fall.reset(4);
    fall.add(0, 0.0, std::vector<float>{10, 20, 30, 40}, levels);
    fall.add(1, 1.0, std::vector<float>{50, 0, 0, 60}, levels);
    fall.add(2, 3.0, std::vector<float>{0, 0, 0, 0}, levels);  // one empty row before it
    ASSERT_EQ(fall.rows(), 4);
    EXPECT_FLOAT_EQ(fall.cell(0, 0), 20.0f);  // the highest of its points
    EXPECT_FLOAT_EQ(fall.cell(0, 1), 40.0f);
    EXPECT_TRUE(std::isnan(fall.cell(2, 0)));
    EXPECT_EQ(fall.row(2).readings, 0u);
    EXPECT_EQ(fall.colours()[2 * 2], heatmap::ColourMap::noData());
    EXPECT_EQ(fall.colours()[1 * 2 + 1], levels.colour(60.0f));
    EXPECT_EQ(*fall.readingAt(2), 2u);  // a gap row selects a reading beside it
    EXPECT_EQ(*fall.rowOf(2), 3);

    // A fifth slot does not fit: rows are merged pairwise, the cells become means.
    fall.add(3, 4.0, std::vector<float>{100, 100, 100, 100}, levels);
    ASSERT_EQ(fall.slotsPerRow(), 2u);
    ASSERT_EQ(fall.rows(), 3);
    EXPECT_FLOAT_EQ(fall.cell(0, 0), 35.0f);
    EXPECT_EQ(fall.row(0).readings, 2u);
    EXPECT_EQ(fall.row(1).first, 2u);
    EXPECT_FLOAT_EQ(fall.cell(2, 1), 100.0f);
    EXPECT_EQ(fall.colours()[2 * 2 + 1], levels.colour(100.0f));
    EXPECT_EQ(*fall.rowOf(1), 0);
}

}  // namespace
}  // namespace marlin::view
