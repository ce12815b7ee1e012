// Display and traces: reference level, trace state and mode, the data format and the trace
// data itself.

#include <charconv>
#include <cstring>
#include <utility>

#include "BlockFormat.h"
#include "Instrument.h"
#include "InstrumentCommands.h"
#include "ScpiErrors.h"
#include "ScpiHeaderPattern.h"
#include "ScpiValues.h"

namespace marlin::sim {
using namespace instrument_detail;

namespace {

const char* modeName(Instrument::TraceMode mode) {
    switch (mode) {
        case Instrument::TraceMode::Write:
            return "WRIT";
        case Instrument::TraceMode::MaxHold:
            return "MAXH";
        case Instrument::TraceMode::MinHold:
            return "MINH";
        case Instrument::TraceMode::Average:
            return "AVER";
        case Instrument::TraceMode::View:
            return "VIEW";
    }
    return "WRIT";
}

}  // namespace

const std::string& Instrument::traceBytes(Trace& trace) {
    if (format_ == DataFormat::Real32) {
        if (trace.realCache.empty()) {
            const std::size_t length = trace.values.size() * 4;
            trace.realCache = BlockFormat::header(length);
            const std::size_t head = trace.realCache.size();
            trace.realCache.resize(head + length);
            char* out = trace.realCache.data() + head;
            for (float v : trace.values) {
                std::uint32_t bits;
                std::memcpy(&bits, &v, 4);
                // Trace data goes out least significant byte first whatever the host.
                out[0] = static_cast<char>(bits);
                out[1] = static_cast<char>(bits >> 8);
                out[2] = static_cast<char>(bits >> 16);
                out[3] = static_cast<char>(bits >> 24);
                out += 4;
            }
        }
        return trace.realCache;
    }
    if (trace.asciiCache.empty()) {
        char buffer[32];
        trace.asciiCache.reserve(trace.values.size() * 9);
        for (std::size_t i = 0; i < trace.values.size(); ++i) {
            if (i) trace.asciiCache += ',';
            const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, trace.values[i]);
            trace.asciiCache.append(buffer, end);
        }
    }
    return trace.asciiCache;
}

// ---- Display and traces ----------------------------------------------------------------------

void Instrument::referenceLevel(Call& call) {
    if (call.suffixes.front() != 1) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return;
    }
    if (call.query()) {
        call.reply(scpi::formatNumber(refLevelDbm_));
        return;
    }
    if (auto v = numberParameter(call, 0, static_cast<int>(scpi::Unit::Level), kRefLevelMinDbm,
                                 kRefLevelMaxDbm, -10.0))
        refLevelDbm_ = *v;
}

void Instrument::traceState(Call& call) {
    const int trace = call.suffixes.back();
    if (call.suffixes.front() != 1 || trace < 1 || trace > kTraceCount) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return;
    }
    if (call.query()) {
        call.reply(traceActive(trace) ? "1" : "0");
        return;
    }
    if (auto b = scpi::parseBoolean(call.param(0))) {
        setTraceActive(trace, *b);
    } else {
        pushError(scpi::kIllegalParameterValue);
    }
}

void Instrument::traceModeCmd(Call& call) {
    const int trace = call.suffixes.back();
    if (call.suffixes.front() != 1 || trace < 1 || trace > kTraceCount) {
        pushError(scpi::kHeaderSuffixOutOfRange);
        return;
    }
    Trace& t = traces_[static_cast<std::size_t>(trace - 1)];
    if (call.query()) {
        call.reply(modeName(t.mode));
        return;
    }
    static constexpr std::pair<const char*, TraceMode> kModes[] = {{"WRITe", TraceMode::Write},
                                                                   {"MAXHold", TraceMode::MaxHold},
                                                                   {"MINHold", TraceMode::MinHold},
                                                                   {"AVERage", TraceMode::Average},
                                                                   {"VIEW", TraceMode::View}};
    for (const auto& [name, mode] : kModes) {
        if (ScpiHeaderPattern::matchWord(name, call.param(0))) {
            t.mode = mode;
            t.sweepsSinceReset = 0;
            return;
        }
    }
    pushError(scpi::kIllegalParameterValue);
}

void Instrument::format(Call& call) {
    if (call.query()) {
        call.reply(format_ == DataFormat::Real32 ? "REAL,32" : "ASC,0");
        return;
    }
    const std::string& kind = call.param(0);
    std::optional<double> length;
    if (call.paramCount() == 2) {
        length = numberParameter(call, 1, 0, 0, 64, 0);
        if (!length) return;
    }
    if (ScpiHeaderPattern::matchWord("ASCii", kind) && (!length || *length == 0.0)) {
        format_ = DataFormat::Ascii;
    } else if (ScpiHeaderPattern::matchWord("REAL", kind) && (!length || *length == 32.0)) {
        format_ = DataFormat::Real32;
    } else {
        pushError(scpi::kIllegalParameterValue);
    }
}

void Instrument::traceData(Call& call) {
    const std::optional<int> trace = traceParameter(call, 0);
    if (!trace) return;
    Trace& t = traces_[static_cast<std::size_t>(*trace - 1)];
    // A trace that is switched off has no data: the query answers nothing at all.
    if (!t.active) return;
    freshenContinuous();
    call.reply(traceBytes(t));
    if (format_ == DataFormat::Real32) {
        call.block = true;
        call.blockLength = t.values.size() * 4;
        call.blockOffset = call.unit.size() - call.blockLength;
    }
}

}  // namespace marlin::sim
