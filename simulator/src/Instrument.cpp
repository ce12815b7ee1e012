#include "Instrument.h"

#include <algorithm>
#include <ctime>

#include <marlin/product.h>

#include "InstrumentCommands.h"
#include "ScpiErrors.h"
#include "ScpiHeaderPattern.h"
#include "ScpiParser.h"
#include "ScpiValues.h"

namespace marlin::sim {
using namespace instrument_detail;

namespace {

std::string localDate() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
    return buffer;
}

}  // namespace

struct Instrument::CommandEntry {
    ScpiHeaderPattern pattern;
    Handler handler;
    int setMin;  // -1: no set form
    int setMax;
    int queryMin;  // -1: no query form
    int queryMax;
};

const std::vector<Instrument::CommandEntry>& Instrument::commandTable() {
    static const std::vector<CommandEntry> table = [] {
        std::vector<CommandEntry> t;
        auto add = [&t](const char* pattern, Handler h, int sMin, int sMax, int qMin, int qMax) {
            t.push_back(CommandEntry{ScpiHeaderPattern(pattern), h, sMin, sMax, qMin, qMax});
        };
        // The recorder's reading loop comes first: the table is searched in order.
        add("TRACe[:DATA]", &Instrument::traceData, -1, -1, 1, 1);
        add("INITiate[:IMMediate]", &Instrument::initImmediate, 0, 0, -1, -1);
        add("FORMat[:DATA]", &Instrument::format, 1, 2, 0, 0);
        add("[SENSe:]SWEep:TIME", &Instrument::sweepTime, 1, 1, 0, 1);
        add("*IDN", &Instrument::idn, -1, -1, 0, 0);
        add("*RST", &Instrument::rst, 0, 0, -1, -1);
        add("*CLS", &Instrument::cls, 0, 0, -1, -1);
        add("*OPC", &Instrument::opc, 0, 0, 0, 0);
        add("*WAI", &Instrument::wai, 0, 0, -1, -1);
        add("*ESR", &Instrument::esr, -1, -1, 0, 0);
        add("*ESE", &Instrument::ese, 1, 1, 0, 0);
        add("*SRE", &Instrument::sre, 1, 1, 0, 0);
        add("*STB", &Instrument::stb, -1, -1, 0, 0);
        add("*TST", &Instrument::tst, -1, -1, 0, 0);
        add("*TRG", &Instrument::trg, 0, 0, -1, -1);
        add("SYSTem:ERRor[:NEXT]", &Instrument::systemError, -1, -1, 0, 0);
        add("SYSTem:ERRor:ALL", &Instrument::systemErrorAll, -1, -1, 0, 0);
        add("SYSTem:ERRor:CLEar[:ALL]", &Instrument::systemErrorClear, 0, 0, -1, -1);
        add("SYSTem:DISPlay:UPDate", &Instrument::displayUpdate, 1, 1, 0, 0);
        add("SYSTem:VERSion", &Instrument::systemVersion, -1, -1, 0, 0);
        add("INITiate:CONTinuous", &Instrument::initContinuous, 1, 1, 0, 0);
        add("ABORt", &Instrument::abort, 0, 0, -1, -1);
        add("[SENSe:]SWEep:POINts", &Instrument::sweepPoints, 1, 1, 0, 1);
        add("[SENSe:]FREQuency:CENTer", &Instrument::frequencyCenter, 1, 1, 0, 1);
        add("[SENSe:]FREQuency:SPAN", &Instrument::frequencySpan, 1, 1, 0, 1);
        add("[SENSe:]FREQuency:STARt", &Instrument::frequencyStart, 1, 1, 0, 1);
        add("[SENSe:]FREQuency:STOP", &Instrument::frequencyStop, 1, 1, 0, 1);
        add("[SENSe:]BANDwidth[:RESolution]", &Instrument::bandwidth, 1, 1, 0, 1);
        add("[SENSe:]BANDwidth:VIDeo", &Instrument::videoBandwidth, 1, 1, 0, 1);
        add("[SENSe:]DETector[:FUNCtion]", &Instrument::detector, 1, 1, 0, 0);
        add("DISPlay[:WINDow#]:TRACe#:Y[:SCALe]:RLEVel", &Instrument::referenceLevel, 1, 1, 0, 1);
        add("DISPlay[:WINDow#]:TRACe#[:STATe]", &Instrument::traceState, 1, 1, 0, 0);
        add("DISPlay[:WINDow#]:TRACe#:MODE", &Instrument::traceModeCmd, 1, 1, 0, 0);
        add("MMEMory:STORe#:TRACe", &Instrument::storeTrace, 2, 2, -1, -1);
        add("MMEMory:DATA", &Instrument::memoryData, 2, 2, 1, 1);
        add("MMEMory:DELete", &Instrument::memoryDelete, 1, 1, -1, -1);
        add("MMEMory:CATalog", &Instrument::memoryCatalog, -1, -1, 0, 0);
        return t;
    }();
    return table;
}

std::string Instrument::defaultIdentity() {
    return upper(MARLIN_MAKER_NAME) + ",ANALYZER-SIM,100501," + MARLIN_VERSION_TEXT;
}

Instrument::Instrument(const InstrumentOptions& options, Hooks hooks)
    : options_(options), hooks_(std::move(hooks)) {
    if (!hooks_.now) hooks_.now = [] { return Clock::now(); };
    if (!hooks_.waitUntil) hooks_.waitUntil = [](Clock::time_point) { return false; };
    if (!hooks_.date) hooks_.date = localDate;
    identity_ = options_.identity.empty() ? defaultIdentity() : options_.identity;
    resetSettings();
}

void Instrument::resetSettings() {
    sweepEnd_.reset();
    opcArmed_ = false;
    sweepTime_ = std::clamp(options_.sweepTimeS, 0.0, kMaxSweepTimeS);
    rbwHz_.reset();
    vbwHz_.reset();
    refLevelDbm_ = -10.0;
    detector_ = "APE";
    format_ = DataFormat::Ascii;
    continuous_ = true;
    displayUpdate_ = false;
    static constexpr TraceMode kModes[kTraceCount] = {TraceMode::Write, TraceMode::MaxHold,
                                                      TraceMode::MinHold, TraceMode::Average};
    for (int i = 0; i < kTraceCount; ++i) {
        traces_[static_cast<std::size_t>(i)].active = options_.activeTraces[static_cast<std::size_t>(i)];
        traces_[static_cast<std::size_t>(i)].mode = kModes[i];
    }
    Spectrum::Settings s = spectrum_.settings();
    s.startHz = kDefaultStartHz;
    s.stopHz = kDefaultStopHz;
    s.points = std::clamp<std::uint32_t>(options_.points, 1, kMaxPoints);
    s.seed = options_.seed;
    spectrum_.configure(s);
    reconfigure();
    lastSweepAt_ = hooks_.now();
}

double Instrument::autoRbw() const {
    const double span = stopHz() - startHz();
    if (span <= 0.0) return 1e6;
    double best = 1.0;
    for (double decade = 1.0; decade <= kMaxRbwHz; decade *= 10.0) {
        for (double step : {1.0, 3.0}) {
            const double candidate = decade * step;
            if (candidate <= span / 100.0 && candidate <= kMaxRbwHz) best = candidate;
        }
    }
    return best;
}

// New settings restart the measurement: every trace, shown or not, takes a fresh sweep and the
// holds start over.
void Instrument::reconfigure() {
    Spectrum::Settings s = spectrum_.settings();
    s.rbwHz = rbwHz_.value_or(autoRbw());
    spectrum_.configure(s);
    scratch_.resize(s.points);
    spectrum_.sweep(sweepCount_, scratch_.data());
    ++sweepCount_;
    for (Trace& t : traces_) {
        t.values = scratch_;
        t.sweepsSinceReset = 1;
        t.realCache.clear();
        t.asciiCache.clear();
    }
}

void Instrument::completeSweep() {
    spectrum_.sweep(sweepCount_, scratch_.data());
    ++sweepCount_;
    for (Trace& t : traces_) {
        if (!t.active || t.mode == TraceMode::View) continue;
        const std::size_t n = scratch_.size();
        switch (t.mode) {
            case TraceMode::Write:
                std::copy(scratch_.begin(), scratch_.end(), t.values.begin());
                break;
            case TraceMode::MaxHold:
                for (std::size_t i = 0; i < n; ++i) t.values[i] = std::max(t.values[i], scratch_[i]);
                break;
            case TraceMode::MinHold:
                for (std::size_t i = 0; i < n; ++i) t.values[i] = std::min(t.values[i], scratch_[i]);
                break;
            case TraceMode::Average: {
                const float k = static_cast<float>(std::min<std::uint64_t>(t.sweepsSinceReset + 1, 10));
                for (std::size_t i = 0; i < n; ++i) t.values[i] += (scratch_[i] - t.values[i]) / k;
                break;
            }
            case TraceMode::View:
                break;
        }
        ++t.sweepsSinceReset;
        t.realCache.clear();
        t.asciiCache.clear();
    }
}

void Instrument::update() {
    if (sweepEnd_ && hooks_.now() >= *sweepEnd_) {
        sweepEnd_.reset();
        completeSweep();
        lastSweepAt_ = hooks_.now();
        if (opcArmed_) {
            opcArmed_ = false;
            status_.setEvent(StatusRegisters::kOperationComplete);
        }
    }
    refreshStatus();
}

void Instrument::startSweep() {
    update();
    if (sweepEnd_) {
        pushError(scpi::kInitIgnored);
        return;
    }
    sweepEnd_ =
        hooks_.now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sweepTime_));
    update();
}

void Instrument::trigger() {
    startSweep();
    refreshStatus();
}

bool Instrument::waitForSweep(const WaitFn& waitUntil) {
    update();
    while (sweepEnd_) {
        if (!waitUntil || !waitUntil(*sweepEnd_)) return false;
        update();
    }
    return true;
}

// In continuous mode the analyzer sweeps all the time; the traces show the newest sweep.
void Instrument::freshenContinuous() {
    update();
    if (!continuous_ || sweepEnd_) return;
    const Clock::time_point now = hooks_.now();
    if (sweepTime_ <= 0.0 || now - lastSweepAt_ >= std::chrono::duration<double>(sweepTime_)) {
        completeSweep();
        lastSweepAt_ = now;
    }
}

void Instrument::refreshStatus() {
    status_.refresh(!errors_.empty(), outputPending_);
}

void Instrument::pushError(int code) {
    errors_.push(code);
    if (code <= -100 && code > -200) status_.setEvent(StatusRegisters::kCommandError);
    if (code <= -200 && code > -300) status_.setEvent(StatusRegisters::kExecutionError);
    if (code <= -300 && code > -400) status_.setEvent(StatusRegisters::kDeviceError);
    if (code <= -400 && code > -500) status_.setEvent(StatusRegisters::kQueryError);
    refreshStatus();
}

std::uint8_t Instrument::serialPoll() {
    update();
    return status_.serialPoll(!errors_.empty(), outputPending_);
}

std::uint8_t Instrument::statusByte() const {
    return status_.statusByte(!errors_.empty(), outputPending_);
}

void Instrument::deviceClear() {
    opcArmed_ = false;
    outputPending_ = false;
    refreshStatus();
}

void Instrument::setOutputPending(bool pending) {
    outputPending_ = pending;
    refreshStatus();
}

void Instrument::setTraceActive(int trace, bool active) {
    Trace& t = traces_.at(static_cast<std::size_t>(trace - 1));
    t.active = active;
    t.realCache.clear();
    t.asciiCache.clear();
}

void Instrument::setLimits(const ResourceLimits& limits, std::shared_ptr<MemoryBudget> budget) {
    limits_ = limits;
    files_.clear();
    filesShare_.reset(std::move(budget));
}

Instrument::Response Instrument::execute(std::string_view message, const WaitFn& waitUntil) {
    Response response;
    std::vector<std::string> context;
    // One unit at a time, so that a message of many units holds no more than one.
    ScpiParser::Units units(message);
    ScpiCommand cmd;
    for (std::size_t n = 1; units.next(cmd); ++n) {
        response.query = response.query || cmd.query;
        executeOne(cmd, waitUntil, response, context);
        if (response.aborted) break;
        if (n % 16 == 0 && hooks_.abandoned && hooks_.abandoned()) {
            response.aborted = true;
            break;
        }
    }
    if (!response.bytes.empty()) response.bytes += '\n';
    refreshStatus();
    return response;
}

void Instrument::executeOne(const ScpiCommand& cmd, const WaitFn& waitUntil, Response& response,
                            std::vector<std::string>& context) {
    if (cmd.syntaxError != 0) {
        pushError(cmd.syntaxError);
        return;
    }
    const CommandEntry* entry = nullptr;
    std::vector<int> suffixes;
    std::vector<std::string> path;
    auto find = [&](const std::vector<std::string>& tokens) {
        for (const CommandEntry& e : commandTable()) {
            if (e.pattern.common() != cmd.common) continue;
            if (auto s = e.pattern.match(tokens)) {
                entry = &e;
                suffixes = std::move(*s);
                path = tokens;
                return;
            }
        }
    };
    // A header without a leading ':' continues the path of the previous command in the message
    // ("FREQ:CENT 1GHz;SPAN 10MHz"); headers that do not fit there are read from the root.
    if (!cmd.common && !cmd.absolute && !context.empty()) {
        std::vector<std::string> joined = context;
        joined.insert(joined.end(), cmd.tokens.begin(), cmd.tokens.end());
        find(joined);
    }
    if (!entry) find(cmd.tokens);
    if (!entry) {
        pushError(scpi::kUndefinedHeader);
        return;
    }
    if (!cmd.common) context.assign(path.begin(), path.end() - 1);

    const int min = cmd.query ? entry->queryMin : entry->setMin;
    const int max = cmd.query ? entry->queryMax : entry->setMax;
    if (min < 0) {
        pushError(scpi::kUndefinedHeader);
        return;
    }
    if (cmd.params.size() < static_cast<std::size_t>(min)) {
        pushError(scpi::kMissingParameter);
        return;
    }
    if (cmd.params.size() > static_cast<std::size_t>(max)) {
        pushError(scpi::kParameterNotAllowed);
        return;
    }
    Call call{cmd, waitUntil, std::move(suffixes)};
    (this->*entry->handler)(call);
    if (call.aborted) {
        response.aborted = true;
        return;
    }
    if (!call.produced) return;
    if (response.bytes.size() + call.unit.size() + 2 > limits_.replyBytes) {
        pushError(scpi::kOutOfMemory);  // the reply would grow past what one reply may hold
        return;
    }
    if (!response.bytes.empty()) response.bytes += ';';
    if (call.block) response.blocks.emplace_back(response.bytes.size() + call.blockOffset, call.blockLength);
    response.bytes += call.unit;
}

std::optional<double> Instrument::numberParameter(Call& call, std::size_t index, int unit, double min,
                                                  double max, double def) {
    const scpi::Number n = scpi::parseNumber(call.param(index), static_cast<scpi::Unit>(unit));
    if (n.error != 0) {
        pushError(n.error);
        return std::nullopt;
    }
    switch (n.kind) {
        case scpi::Number::Kind::Minimum:
            return min;
        case scpi::Number::Kind::Maximum:
            return max;
        case scpi::Number::Kind::Default:
            return def;
        case scpi::Number::Kind::Value:
            break;
    }
    if (n.value < min || n.value > max) {
        pushError(scpi::kDataOutOfRange);
        return std::nullopt;
    }
    return n.value;
}

std::optional<std::string> Instrument::stringParameter(Call& call, std::size_t index) {
    std::optional<std::string> s = scpi::parseString(call.param(index));
    if (!s) pushError(scpi::kDataTypeError);
    return s;
}

std::optional<int> Instrument::traceParameter(Call& call, std::size_t index) {
    int trace = 0;
    if (!ScpiHeaderPattern::matchWord("TRACe#", call.param(index), &trace)) {
        pushError(scpi::kIllegalParameterValue);
        return std::nullopt;
    }
    if (trace < 1 || trace > kTraceCount) {
        pushError(scpi::kIllegalParameterValue);
        return std::nullopt;
    }
    return trace;
}

}  // namespace marlin::sim
