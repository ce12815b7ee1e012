// The measurement's settings: sweeps (INITiate, ABORt, SWEep), the frequency axis, bandwidths
// and the detector.

#include <algorithm>
#include <cmath>

#include "Instrument.h"
#include "InstrumentCommands.h"
#include "ScpiErrors.h"
#include "ScpiHeaderPattern.h"
#include "ScpiValues.h"

namespace marlin::sim {
using namespace instrument_detail;

// ---- Sweeps ----------------------------------------------------------------------------------

void Instrument::initContinuous(Call& call) {
    if (call.query()) {
        call.reply(continuous_ ? "1" : "0");
        return;
    }
    const std::optional<bool> b = scpi::parseBoolean(call.param(0));
    if (!b) {
        pushError(scpi::kIllegalParameterValue);
        return;
    }
    if (*b && !continuous_) lastSweepAt_ = hooks_.now();
    continuous_ = *b;
}

void Instrument::initImmediate(Call&) {
    startSweep();
}

void Instrument::abort(Call&) {
    sweepEnd_.reset();
    if (opcArmed_) {
        opcArmed_ = false;
        status_.setEvent(StatusRegisters::kOperationComplete);
    }
    refreshStatus();
}

void Instrument::sweepTime(Call& call) {
    if (call.query()) {
        double value = sweepTime_;
        if (call.paramCount() == 1) {
            auto v = numberParameter(call, 0, static_cast<int>(scpi::Unit::Time), 0.0, kMaxSweepTimeS,
                                     options_.sweepTimeS);
            if (!v) return;
            value = *v;
        }
        call.reply(scpi::formatNumber(value));
        return;
    }
    if (auto v = numberParameter(call, 0, static_cast<int>(scpi::Unit::Time), 0.0, kMaxSweepTimeS,
                                 options_.sweepTimeS))
        sweepTime_ = *v;
}

void Instrument::sweepPoints(Call& call) {
    if (call.query()) {
        double value = points();
        if (call.paramCount() == 1) {
            auto v = numberParameter(call, 0, 0, 1, kMaxPoints, options_.points);
            if (!v) return;
            value = *v;
        }
        call.reply(scpi::formatNumber(value));
        return;
    }
    if (auto v = numberParameter(call, 0, 0, 1, kMaxPoints, options_.points)) {
        Spectrum::Settings s = spectrum_.settings();
        s.points = static_cast<std::uint32_t>(std::lround(*v));
        spectrum_.configure(s);
        reconfigure();
    }
}

// ---- Frequency axis and bandwidths -----------------------------------------------------------

void Instrument::setStartStop(double start, double stop) {
    Spectrum::Settings s = spectrum_.settings();
    s.startHz = std::clamp(start, 0.0, kMaxFrequencyHz);
    s.stopHz = std::clamp(stop, s.startHz, kMaxFrequencyHz);
    spectrum_.configure(s);
    reconfigure();
}

void Instrument::frequencyCenter(Call& call) {
    const double center = (startHz() + stopHz()) / 2.0;
    if (call.query()) {
        call.reply(scpi::formatNumber(center));
        return;
    }
    const int unit = static_cast<int>(scpi::Unit::Frequency);
    if (auto c =
            numberParameter(call, 0, unit, 0.0, kMaxFrequencyHz, (kDefaultStartHz + kDefaultStopHz) / 2)) {
        // The span shrinks where it would reach past either end of the frequency range.
        const double span = std::min(stopHz() - startHz(), 2.0 * std::min(*c, kMaxFrequencyHz - *c));
        setStartStop(*c - span / 2.0, *c + span / 2.0);
    }
}

void Instrument::frequencySpan(Call& call) {
    const double center = (startHz() + stopHz()) / 2.0;
    if (call.query()) {
        call.reply(scpi::formatNumber(stopHz() - startHz()));
        return;
    }
    const int unit = static_cast<int>(scpi::Unit::Frequency);
    if (auto s = numberParameter(call, 0, unit, 0.0, kMaxFrequencyHz, kDefaultStopHz - kDefaultStartHz)) {
        const double span = std::min(*s, 2.0 * std::min(center, kMaxFrequencyHz - center));
        setStartStop(center - span / 2.0, center + span / 2.0);
    }
}

void Instrument::frequencyStart(Call& call) {
    if (call.query()) {
        call.reply(scpi::formatNumber(startHz()));
        return;
    }
    if (auto v = numberParameter(call, 0, static_cast<int>(scpi::Unit::Frequency), 0.0, kMaxFrequencyHz,
                                 kDefaultStartHz))
        setStartStop(*v, std::max(stopHz(), *v));
}

void Instrument::frequencyStop(Call& call) {
    if (call.query()) {
        call.reply(scpi::formatNumber(stopHz()));
        return;
    }
    if (auto v = numberParameter(call, 0, static_cast<int>(scpi::Unit::Frequency), 0.0, kMaxFrequencyHz,
                                 kDefaultStopHz))
        setStartStop(std::min(startHz(), *v), *v);
}

void Instrument::bandwidth(Call& call) {
    if (call.query()) {
        call.reply(scpi::formatNumber(rbwHz_.value_or(autoRbw())));
        return;
    }
    const scpi::Number n = scpi::parseNumber(call.param(0), scpi::Unit::Frequency);
    if (n.error == 0 && n.kind == scpi::Number::Kind::Default) {
        rbwHz_.reset();
    } else if (auto v =
                   numberParameter(call, 0, static_cast<int>(scpi::Unit::Frequency), 1.0, kMaxRbwHz, 1e6)) {
        rbwHz_ = *v;
    } else {
        return;
    }
    reconfigure();
}

void Instrument::videoBandwidth(Call& call) {
    if (call.query()) {
        call.reply(
            scpi::formatNumber(vbwHz_.value_or(std::min(3.0 * rbwHz_.value_or(autoRbw()), kMaxRbwHz))));
        return;
    }
    const scpi::Number n = scpi::parseNumber(call.param(0), scpi::Unit::Frequency);
    if (n.error == 0 && n.kind == scpi::Number::Kind::Default) {
        vbwHz_.reset();
    } else if (auto v =
                   numberParameter(call, 0, static_cast<int>(scpi::Unit::Frequency), 1.0, kMaxRbwHz, 3e6)) {
        vbwHz_ = *v;
    }
}

void Instrument::detector(Call& call) {
    if (call.query()) {
        call.reply(detector_);
        return;
    }
    for (const DetectorName& d : kDetectors) {
        if (ScpiHeaderPattern::matchWord(d.mnemonic, call.param(0))) {
            detector_ = d.reply;
            return;
        }
    }
    pushError(scpi::kIllegalParameterValue);
}

}  // namespace marlin::sim
