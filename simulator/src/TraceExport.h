#pragma once

#include <string>
#include <vector>

namespace marlin::sim {

// A trace as MMEM:STOR:TRAC saves it on the instrument's drive: the settings it was taken with and
// its values. text() is the export file: "Name;value;unit" lines with CR LF line ends, then
// "Values;N;" and one "x;y;" line per point.
struct TraceExport {
    std::string type;  // instrument model
    std::string version;
    std::string date;  // "2026-12-07"
    double centerHz = 0.0;
    double spanHz = 0.0;
    double startHz = 0.0;
    double stopHz = 0.0;
    double refLevelDbm = 0.0;
    double rbwHz = 0.0;
    double vbwHz = 0.0;
    double sweepTimeS = 0.0;
    std::string traceMode;
    std::string detector;
    std::vector<float> values;

    std::string text() const;
    double frequencyOfPoint(std::size_t index) const;
};

}  // namespace marlin::sim
