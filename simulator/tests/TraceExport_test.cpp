#include "TraceExport.h"

#include <gtest/gtest.h>

namespace marlin::sim {
namespace {

TraceExport sample() {
    TraceExport e;
    e.type = "ANALYZER-SIM";
    e.version = "1.0";
    e.date = "2026-12-07";
    e.startHz = 100.0;
    e.stopHz = 300.0;
    e.centerHz = 200.0;
    e.spanHz = 200.0;
    e.refLevelDbm = -10.0;
    e.rbwHz = 3.0;
    e.vbwHz = 10.0;
    e.sweepTimeS = 0.005;
    e.traceMode = "Clear/Write";
    e.detector = "Auto Peak";
    e.values = {-50.5f, -51.0f, 2.5f};
    return e;
}

TEST(TraceExportTest, SettingsLinesThenValueCountThenOneLinePerPoint) {
    EXPECT_EQ(sample().text(),
              "Type;ANALYZER-SIM;\r\n"
              "Version;1.0;\r\n"
              "Date;2026-12-07;\r\n"
              "Mode;Spectrum;\r\n"
              "Center Freq;200;Hz\r\n"
              "Span;200;Hz\r\n"
              "Start;100;Hz\r\n"
              "Stop;300;Hz\r\n"
              "Ref Level;-10;dBm\r\n"
              "RBW;3;Hz\r\n"
              "VBW;10;Hz\r\n"
              "Sweep Time;0.005;s\r\n"
              "Trace Mode;Clear/Write;\r\n"
              "Detector;Auto Peak;\r\n"
              "X Unit;Hz;\r\n"
              "Y Unit;dBm;\r\n"
              "Values;3;\r\n"
              "100;-50.50;\r\n"
              "200;-51.00;\r\n"
              "300;2.50;\r\n");
}

// The recorder copies the export up to the ';' after the value count and one character more.
TEST(TraceExportTest, RecorderCutEndsRightAfterTheValueCount) {
    const std::string text = sample().text();
    const std::size_t f = text.find("Values;");
    ASSERT_NE(f, std::string::npos);
    const std::size_t g = text.find(';', f + 7);
    EXPECT_EQ(text.substr(f, g + 2 - f), "Values;3;\r");
}

}  // namespace
}  // namespace marlin::sim
