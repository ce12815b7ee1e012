#include "TraceExport.h"

#include <cstdio>

#include "ScpiValues.h"

namespace marlin::sim {
namespace {

void line(std::string& out, const char* name, const std::string& value, const char* unit) {
    out += name;
    out += ';';
    out += value;
    out += ';';
    out += unit;
    out += "\r\n";
}

}  // namespace

double TraceExport::frequencyOfPoint(std::size_t index) const {
    if (values.size() < 2) return startHz;
    return startHz + (stopHz - startHz) * static_cast<double>(index) / static_cast<double>(values.size() - 1);
}

std::string TraceExport::text() const {
    std::string out;
    out.reserve(512 + values.size() * 24);
    line(out, "Type", type, "");
    line(out, "Version", version, "");
    line(out, "Date", date, "");
    line(out, "Mode", "Spectrum", "");
    line(out, "Center Freq", scpi::formatNumber(centerHz), "Hz");
    line(out, "Span", scpi::formatNumber(spanHz), "Hz");
    line(out, "Start", scpi::formatNumber(startHz), "Hz");
    line(out, "Stop", scpi::formatNumber(stopHz), "Hz");
    line(out, "Ref Level", scpi::formatNumber(refLevelDbm), "dBm");
    line(out, "RBW", scpi::formatNumber(rbwHz), "Hz");
    line(out, "VBW", scpi::formatNumber(vbwHz), "Hz");
    line(out, "Sweep Time", scpi::formatNumber(sweepTimeS), "s");
    line(out, "Trace Mode", traceMode, "");
    line(out, "Detector", detector, "");
    line(out, "X Unit", "Hz", "");
    line(out, "Y Unit", "dBm", "");
    out += "Values;";
    out += std::to_string(values.size());
    out += ";\r\n";
    char y[32];
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += scpi::formatNumber(frequencyOfPoint(i));
        std::snprintf(y, sizeof y, ";%.2f;\r\n", static_cast<double>(values[i]));
        out += y;
    }
    return out;
}

}  // namespace marlin::sim
