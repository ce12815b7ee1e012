// The trace and the waterfall pane drawn into pictures and checked pixel by pixel.
#include <gtest/gtest.h>

#include <marlin/view/PlotFrame.h>
#include <marlin/view/TraceFollower.h>
#include <marlin/view/TracePane.h>
#include <marlin/view/WaterfallPane.h>

#include <QImage>
#include <QPainter>

#include <cmath>

#include "marlin/testing/Recordings.h"
#include "marlin/testing/TempDir.h"

namespace marlin::view {
namespace {

class PanesTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("trace.sft");
    }
    // A recording of `points` points at a floor of −60 with one carrier per reading.
    void record(std::size_t points, const std::vector<std::pair<int, std::pair<std::size_t, float>>>& readings) {
        TraceFile::emptyFile(path_);
        TraceFile::writeHead(path_, TraceFile::headText(1.0, marlin::testing::instrumentExport(points)));
        int k = 0;
        for (const auto& [second, carrier] : readings) {
            std::vector<float> values(points, -60.0f);
            values[carrier.first] = carrier.second;
            TimeStamp t = marlin::testing::stampOf(0);
            t.Second = static_cast<std::int16_t>(second);
            t.Milliseconds = 0;
            TraceFile::appendBinarySection(path_, ++k, t, marlin::testing::floatBytes(values));
        }
        TraceFollower follower(model, path_);
        follower.poll();
        span.setPoints(model.points());
    }
    QImage render(QWidget& pane, void (*draw)(QWidget&, QPainter&, const QRect&)) {
        QImage image(area.size(), QImage::Format_RGB32);
        QPainter p(&image);
        draw(pane, p, area);
        return image;
    }
    // Topmost row in column x with exactly this colour, or −1.
    static int topmost(const QImage& image, int x, QRgb colour) {
        for (int y = 0; y < image.height(); ++y) {
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) return y;
        }
        return -1;
    }

    marlin::testing::TempDir dir_;
    std::string path_;
    ViewModel model;
    FrequencySpan span;
    const QRect area{0, 0, 800, 400};
};

TEST_F(PanesTest, TraceLinePeakAndMaxHoldWhereTheLevelsSay) {
    record(101, {{0, {30, -10.0f}}, {1, {50, -20.0f}}});
    TracePane pane(model, span);
    pane.setShowMax(true);
    const QImage image = render(pane, [](QWidget& w, QPainter& p, const QRect& a) { static_cast<TracePane&>(w).draw(p, a); });
    const QRect plot = plotRect(area);
    // Levels fitted to −60 … −10 with 6 % room on either side.
    const double low = -60.0 - 3.0, high = -10.0 + 3.0;
    const auto yOf = [&](double v) { return plot.bottom() - (v - low) / (high - low) * (plot.height() - 1); };
    const auto xOf = [&](int point) { return static_cast<int>(span.xOf(point, plot)); };
    EXPECT_NEAR(topmost(image, xOf(50), TracePane::kTraceColour), yOf(-20.0), 2.0);
    EXPECT_NEAR(topmost(image, xOf(70), TracePane::kTraceColour), yOf(-60.0), 2.0);
    // Max hold keeps the first reading's carrier; the newest has only the floor there.
    EXPECT_NEAR(topmost(image, xOf(30), TracePane::kMaxColour), yOf(-10.0), 2.0);
    EXPECT_NEAR(topmost(image, xOf(30), TracePane::kTraceColour), yOf(-60.0), 2.0);
    // The peak marker (red) sits just above the newest reading's peak.
    const int marker = topmost(image, xOf(50), qRgb(200, 0, 0));
    EXPECT_GT(marker, yOf(-20.0) - 14);
    EXPECT_LT(marker, yOf(-20.0));
}

TEST_F(PanesTest, OneNarrowPeakAmongManyPointsIsNeverLost) {
    record(20001, {{0, {12345, -20.0f}}});
    TracePane pane(model, span);
    const QImage image = render(pane, [](QWidget& w, QPainter& p, const QRect& a) { static_cast<TracePane&>(w).draw(p, a); });
    const QRect plot = plotRect(area);
    const int x = static_cast<int>(span.xOf(12345, plot));
    const double low = -60.0 - 2.4, high = -20.0 + 2.4;
    EXPECT_NEAR(topmost(image, x, TracePane::kTraceColour), plot.bottom() - (-20.0 - low) / (high - low) * (plot.height() - 1), 2.0);
}

TEST_F(PanesTest, WaterfallRowsNewestOnTopWithTheGapEmpty) {
    // Readings at 0, 1, 2 s, then one at 5 s: two empty slots between.
    record(101, {{0, {10, -20.0f}}, {1, {20, -20.0f}}, {2, {30, -20.0f}}, {5, {40, -20.0f}}});
    model.setLevels(-70.0, -10.0);
    WaterfallPane pane(model, span);
    const QImage image = render(pane, [](QWidget& w, QPainter& p, const QRect& a) { static_cast<WaterfallPane&>(w).draw(p, a); });
    const QRect plot = plotRect(area);
    ASSERT_EQ(model.waterfall().rows(), 6);
    const int rowPixels = WaterfallPane::kMaxRowPixels;
    const auto yOfRow = [&](int fromTop) { return plot.top() + fromTop * rowPixels + rowPixels / 2; };
    const auto xOf = [&](int point) { return static_cast<int>(span.xOf(point, plot)); };
    const QRgb carrier = model.levels().colour(-20.0f), floor = model.levels().colour(-60.0f);
    EXPECT_EQ(image.pixel(xOf(40), yOfRow(0)), carrier);  // the newest reading on top
    EXPECT_EQ(image.pixel(xOf(10), yOfRow(0)), floor);
    EXPECT_EQ(image.pixel(xOf(40), yOfRow(1)), heatmap::ColourMap::noData());  // the gap
    EXPECT_EQ(image.pixel(xOf(40), yOfRow(2)), heatmap::ColourMap::noData());
    EXPECT_EQ(image.pixel(xOf(30), yOfRow(3)), carrier);
    EXPECT_EQ(image.pixel(xOf(10), yOfRow(5)), carrier);  // the oldest at the bottom
    EXPECT_EQ(image.pixel(xOf(10), yOfRow(8)), heatmap::ColourMap::noData());  // below it nothing

    // A zoomed frequency axis moves the waterfall with the trace: point 40 stays under its x.
    span.setRange(30.5, 50.5);
    const QImage zoomed = render(pane, [](QWidget& w, QPainter& p, const QRect& a) { static_cast<WaterfallPane&>(w).draw(p, a); });
    EXPECT_EQ(zoomed.pixel(xOf(40), yOfRow(0)), carrier);
    EXPECT_EQ(zoomed.pixel(xOf(40) + 3 * plot.width() / 20, yOfRow(0)), floor);

    // Clicking rows selects their readings; a gap row the reading beside it.
    EXPECT_EQ(pane.readingAt(area, QPoint(plot.center().x(), yOfRow(0))), 3u);
    EXPECT_EQ(pane.readingAt(area, QPoint(plot.center().x(), yOfRow(5))), 0u);
    EXPECT_TRUE(pane.readingAt(area, QPoint(plot.center().x(), yOfRow(1))).has_value());
    EXPECT_FALSE(pane.readingAt(area, QPoint(plot.center().x(), yOfRow(20))).has_value());
}

}  // namespace
}  // namespace marlin::view
