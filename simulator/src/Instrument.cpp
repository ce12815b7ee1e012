#include "Instrument.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include <marlin/product.h>

#include "BlockFormat.h"
#include "ScpiErrors.h"
#include "ScpiHeaderPattern.h"
#include "ScpiParser.h"
#include "ScpiValues.h"

namespace marlin::sim {
namespace {

constexpr double kDefaultStartHz = 950e6;
constexpr double kDefaultStopHz = 1050e6;
constexpr double kMaxRbwHz = 10e6;
constexpr double kRefLevelMinDbm = -130.0;
constexpr double kRefLevelMaxDbm = 30.0;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string localDate() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
    return buffer;
}

// The second field of an identity text ("QUAZAR,ANALYZER-SIM,..."), the instrument's model.
std::string modelOf(const std::string& identity) {
    const std::size_t first = identity.find(',');
    if (first == std::string::npos) return identity;
    const std::size_t second = identity.find(',', first + 1);
    return identity.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

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

const char* modeExportName(Instrument::TraceMode mode) {
    switch (mode) {
        case Instrument::TraceMode::Write:
            return "Clear/Write";
        case Instrument::TraceMode::MaxHold:
            return "Max Hold";
        case Instrument::TraceMode::MinHold:
            return "Min Hold";
        case Instrument::TraceMode::Average:
            return "Average";
        case Instrument::TraceMode::View:
            return "View";
    }
    return "Clear/Write";
}

struct DetectorName {
    const char* mnemonic;
    const char* reply;
    const char* exportName;
};
constexpr DetectorName kDetectors[] = {
    {"APEak", "APE", "Auto Peak"},
    {"POSitive", "POS", "Positive Peak"},
    {"NEGative", "NEG", "Negative Peak"},
    {"SAMPle", "SAMP", "Sample"},
    {"RMS", "RMS", "RMS"},
    {"AVERage", "AVER", "Average"},
};

}  // namespace

struct Instrument::Call {
    const ScpiCommand& cmd;
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

bool Instrument::waitForSweep() {
    update();
    while (sweepEnd_) {
        if (!hooks_.waitUntil(*sweepEnd_)) return false;
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

Instrument::Response Instrument::execute(std::string_view message) {
    Response response;
    std::vector<std::string> context;
    for (const ScpiCommand& cmd : ScpiParser::parse(message)) {
        response.query = response.query || cmd.query;
        executeOne(cmd, response, context);
        if (response.aborted) break;
    }
    if (!response.bytes.empty()) response.bytes += '\n';
    refreshStatus();
    return response;
}

void Instrument::executeOne(const ScpiCommand& cmd, Response& response, std::vector<std::string>& context) {
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
    Call call{cmd, std::move(suffixes)};
    (this->*entry->handler)(call);
    if (call.aborted) {
        response.aborted = true;
        return;
    }
    if (!call.produced) return;
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

std::string Instrument::fileKey(std::string_view name) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return upper(name);
}

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

// ---- Common commands -------------------------------------------------------------------------

void Instrument::idn(Call& call) {
    call.reply(identity_);
}

void Instrument::rst(Call&) {
    resetSettings();
}

void Instrument::cls(Call&) {
    status_.clearEvents();
    errors_.clear();
    opcArmed_ = false;
    refreshStatus();
}

void Instrument::opc(Call& call) {
    if (call.query()) {
        if (!waitForSweep()) {
            call.aborted = true;
            return;
        }
        call.reply("1");
        return;
    }
    update();
    if (sweepEnd_) {
        opcArmed_ = true;
    } else {
        status_.setEvent(StatusRegisters::kOperationComplete);
        refreshStatus();
    }
}

void Instrument::wai(Call& call) {
    if (!waitForSweep()) call.aborted = true;
}

void Instrument::esr(Call& call) {
    call.reply(std::to_string(status_.takeEvents()));
    refreshStatus();
}

void Instrument::ese(Call& call) {
    if (call.query()) {
        call.reply(std::to_string(status_.eventEnable()));
        return;
    }
    if (auto v = numberParameter(call, 0, 0, 0, 255, 0)) {
        status_.setEventEnable(static_cast<std::uint8_t>(std::lround(*v)));
        refreshStatus();
    }
}

void Instrument::sre(Call& call) {
    if (call.query()) {
        call.reply(std::to_string(status_.serviceEnable()));
        return;
    }
    if (auto v = numberParameter(call, 0, 0, 0, 255, 0)) {
        status_.setServiceEnable(static_cast<std::uint8_t>(std::lround(*v)));
        refreshStatus();
    }
}

void Instrument::stb(Call& call) {
    update();
    call.reply(std::to_string(statusByte()));
}

void Instrument::tst(Call& call) {
    call.reply("0");
}

void Instrument::trg(Call&) {
    startSweep();
}

// ---- System ----------------------------------------------------------------------------------

void Instrument::systemError(Call& call) {
    call.reply(errors_.pop());
    refreshStatus();
}

void Instrument::systemErrorAll(Call& call) {
    std::string all = errors_.pop();
    while (!errors_.empty()) all += "," + errors_.pop();
    call.reply(std::move(all));
    refreshStatus();
}

void Instrument::systemErrorClear(Call&) {
    errors_.clear();
    refreshStatus();
}

void Instrument::displayUpdate(Call& call) {
    if (call.query()) {
        call.reply(displayUpdate_ ? "1" : "0");
        return;
    }
    if (auto b = scpi::parseBoolean(call.param(0))) {
        displayUpdate_ = *b;
    } else {
        pushError(scpi::kIllegalParameterValue);
    }
}

void Instrument::systemVersion(Call& call) {
    call.reply("1999.0");
}

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

// ---- Mass memory -----------------------------------------------------------------------------

void Instrument::storeTrace(Call& call) {
    const std::optional<double> n = numberParameter(call, 0, 0, 1, kTraceCount, 1);
    if (!n) return;
    const std::optional<std::string> name = stringParameter(call, 1);
    if (!name) return;
    if (fileKey(*name).empty()) {
        pushError(scpi::kIllegalParameterValue);
        return;
    }
    freshenContinuous();
    const Trace& t = traces_[static_cast<std::size_t>(std::lround(*n) - 1)];
    TraceExport e;
    e.type = modelOf(identity_);
    e.version = MARLIN_VERSION_TEXT;
    e.date = hooks_.date();
    e.startHz = startHz();
    e.stopHz = stopHz();
    e.centerHz = (startHz() + stopHz()) / 2.0;
    e.spanHz = stopHz() - startHz();
    e.refLevelDbm = refLevelDbm_;
    e.rbwHz = rbwHz_.value_or(autoRbw());
    e.vbwHz = vbwHz_.value_or(std::min(3.0 * e.rbwHz, kMaxRbwHz));
    e.sweepTimeS = sweepTime_;
    e.traceMode = modeExportName(t.mode);
    e.detector = "Auto Peak";
    for (const DetectorName& d : kDetectors) {
        if (detector_ == d.reply) e.detector = d.exportName;
    }
    e.values = t.values;
    files_[fileKey(*name)] = e.text();
}

void Instrument::memoryData(Call& call) {
    const std::optional<std::string> name = stringParameter(call, 0);
    if (!name) return;
    if (call.query()) {
        const auto it = files_.find(fileKey(*name));
        if (it == files_.end()) {
            pushError(scpi::kFileNameNotFound);
            return;
        }
        std::string unit = BlockFormat::header(it->second.size());
        call.blockOffset = unit.size();
        call.blockLength = it->second.size();
        call.block = true;
        unit += it->second;
        call.reply(std::move(unit));
        return;
    }
    std::string_view data;
    std::size_t consumed = 0;
    const std::string& block = call.param(1);
    if (!BlockFormat::parse(block, data, consumed) || consumed != block.size()) {
        pushError(scpi::kDataTypeError);
        return;
    }
    files_[fileKey(*name)] = std::string(data);
}

void Instrument::memoryDelete(Call& call) {
    const std::optional<std::string> name = stringParameter(call, 0);
    if (!name) return;
    if (files_.erase(fileKey(*name)) == 0) pushError(scpi::kFileNameNotFound);
}

void Instrument::memoryCatalog(Call& call) {
    std::string list;
    for (const auto& [name, content] : files_) {
        if (!list.empty()) list += ',';
        list += '"' + name + "\"," + std::to_string(content.size());
    }
    call.reply(list.empty() ? std::string("\"\"") : list);
}

}  // namespace marlin::sim
