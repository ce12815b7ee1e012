#pragma once

// What the command handlers of the instrument share, split by command group over
// Instrument.cpp (dispatch, sweeps, status) and InstrumentCommon.cpp, InstrumentMeasurement.cpp,
// InstrumentDisplay.cpp and InstrumentMemory.cpp. Private to the simulator.

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Instrument.h"
#include "ScpiCommand.h"

namespace marlin::sim {
namespace instrument_detail {

inline constexpr double kDefaultStartHz = 950e6;
inline constexpr double kDefaultStopHz = 1050e6;
inline constexpr double kMaxRbwHz = 10e6;
inline constexpr double kRefLevelMinDbm = -130.0;
inline constexpr double kRefLevelMaxDbm = 30.0;

inline std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct DetectorName {
    const char* mnemonic;
    const char* reply;
    const char* exportName;
};
inline constexpr DetectorName kDetectors[] = {
    {"APEak", "APE", "Auto Peak"},
    {"POSitive", "POS", "Positive Peak"},
    {"NEGative", "NEG", "Negative Peak"},
    {"SAMPle", "SAMP", "Sample"},
    {"RMS", "RMS", "RMS"},
    {"AVERage", "AVER", "Average"},
};

}  // namespace instrument_detail

// One command of a message on its way through its handler: the parsed command, the header's
// numeric suffixes, and what the handler produced.
struct Instrument::Call {
    const ScpiCommand& cmd;
    const WaitFn& waitUntil;  // how the message waits for a sweep
    std::vector<int> suffixes;
    std::string unit;
    bool produced = false;
    bool aborted = false;
    std::size_t blockOffset = 0;
    std::size_t blockLength = 0;
    bool block = false;

    bool query() const { return cmd.query; }
    const std::string& param(std::size_t i) const { return cmd.params[i]; }
    std::size_t paramCount() const { return cmd.params.size(); }
    void reply(std::string text) {
        unit = std::move(text);
        produced = true;
    }
};

}  // namespace marlin::sim
