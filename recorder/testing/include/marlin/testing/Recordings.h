#pragma once
// Trace files written by the recorder's own writer, for the reader's and the exporters' tests.

#include <cstring>
#include <string>
#include <vector>

#include "marlin/core/TextHelpers.h"
#include "marlin/core/TraceFile.h"

namespace marlin::testing {

// An instrument export as the analyzer sends it (CR LF lines), cut by the writer after "Values;n;".
inline std::string instrumentExport(std::size_t values, double startHz = 1e6, double stopHz = 2e6) {
    return "Type;QSA-3;\r\nCenter Freq;" + TrimText((startHz + stopHz) / 2) + ";Hz\r\nSpan;" +
           TrimText(stopHz - startHz) + ";Hz\r\nStart;" + TrimText(startHz) + ";Hz\r\nStop;" + TrimText(stopHz) +
           ";Hz\r\nRef Level;-10;dBm\r\nRBW;3000;Hz\r\nVBW;10000;Hz\r\nSweep Time;0.005;s\r\nX Unit;Hz;\r\n"
           "Y Unit;dBm;\r\nValues;" + std::to_string(values) + ";\r\n1;-50;\r\n2;-51;\r\n";
}

inline std::string floatBytes(const std::vector<float>& values) {
    std::string bytes(values.size() * 4, '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Reading k (1-based) of a recording: distinct, exactly representable in 7 digits.
inline std::vector<float> readingValues(int k, std::size_t n) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = -80.0f + static_cast<float>(k) + 0.25f * static_cast<float>(i);
    return v;
}

inline TimeStamp stampOf(int k) {
    TimeStamp t;
    t.Year = 2010;
    t.Month = 3;
    t.Day = 2;
    t.Hour = 9;
    t.Minute = 5 + k / 60;
    t.Second = k % 60;
    t.Milliseconds = static_cast<std::int16_t>(k * 7 % 1000);
    return t;
}

struct Recording {
    bool ascii = false;
    std::string separator = ";";
    bool head = true;
    std::size_t values = 5;
    int first = 1;
    int readings = 3;
};

// Writes the recording as the recorder does: empties the file, writes the head, appends sections.
inline void record(const std::string& path, const Recording& r) {
    if (r.head) {
        TraceFile::emptyFile(path);
        TraceFile::writeHead(path, TraceFile::headText(1.5, instrumentExport(r.values)));
    }
    for (int k = r.first; k < r.first + r.readings; ++k) {
        const std::string data = floatBytes(readingValues(k, r.values));
        if (r.ascii) {
            TraceFile::appendAsciiSection(path, k, stampOf(k), TraceFile::JoinValues(data, r.separator));
        } else {
            TraceFile::appendBinarySection(path, k, stampOf(k), data);
        }
    }
}

}  // namespace marlin::testing
