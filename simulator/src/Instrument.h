#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ErrorQueue.h"
#include "MemoryBudget.h"
#include "ScpiCommand.h"
#include "Spectrum.h"
#include "StatusRegisters.h"
#include "TraceExport.h"
#include "analyzer_sim/SimulatorOptions.h"

namespace marlin::sim {

// The simulated spectrum analyzer behind one opened device: its settings, sweeps, traces, files,
// status registers and error queue, driven by SCPI program messages. It knows nothing of the
// network; time and waiting come in through the hooks so that tests can drive the clock.
class Instrument {
public:
    using Clock = std::chrono::steady_clock;

    // Blocks until the given time; false when the wait was broken off (device clear, shutdown).
    using WaitFn = std::function<bool(Clock::time_point)>;

    struct Hooks {
        std::function<Clock::time_point()> now;
        // How execute(message) waits for a sweep.
        WaitFn waitUntil;
        // The date written into trace exports ("2026-12-07").
        std::function<std::string()> date;
        // True once nobody waits for the message any more (the client left): a long message
        // stops between two of its commands.
        std::function<bool()> abandoned;
    };

    enum class TraceMode { Write, MaxHold, MinHold, Average, View };
    enum class DataFormat { Ascii, Real32 };

    struct Response {
        std::string bytes;     // units joined by ';' and ended by LF; empty when nothing was produced
        bool query = false;    // the message held at least one query
        bool aborted = false;  // a wait was broken off; the rest of the message was not run
        // Where definite-length block data sits in bytes (offset, length), for fault injection.
        std::vector<std::pair<std::size_t, std::size_t>> blocks;
    };

    static constexpr int kTraceCount = 4;
    static constexpr std::uint32_t kMaxPoints = 100001;
    static constexpr double kMaxFrequencyHz = 26.5e9;
    static constexpr double kMaxSweepTimeS = 16000.0;

    Instrument(const InstrumentOptions& options, Hooks hooks);

    // Limits on replies and stored files; the files also count against budget (when given).
    // Set before the first message.
    void setLimits(const ResourceLimits& limits, std::shared_ptr<MemoryBudget> budget);

    Response execute(std::string_view message) { return execute(message, hooks_.waitUntil); }
    // Runs the message with its own way of waiting: a server releases its locks for the wait.
    Response execute(std::string_view message, const WaitFn& waitUntil);

    // Completes a sweep whose time has come (and the *OPC waiting for it).
    void update();
    // When update() will next have something to do.
    std::optional<Clock::time_point> nextEvent() const { return sweepEnd_; }

    // Interface functions of the control connection.
    std::uint8_t serialPoll();
    std::uint8_t statusByte() const;
    bool serviceRequested() const { return status_.serviceRequested(); }
    void deviceClear();
    void setOutputPending(bool pending);
    bool outputPending() const { return outputPending_; }
    void setRemote(bool remote) { remote_ = remote; }
    bool remote() const { return remote_; }
    // Group execute trigger: one sweep, as *TRG.
    void trigger();

    // State, for the server's API and for tests.
    void setTraceActive(int trace, bool active);
    bool traceActive(int trace) const { return traces_.at(static_cast<std::size_t>(trace - 1)).active; }
    const std::vector<float>& traceValues(int trace) const {
        return traces_.at(static_cast<std::size_t>(trace - 1)).values;
    }
    bool continuous() const { return continuous_; }
    std::uint64_t sweepCount() const { return sweepCount_; }
    double sweepTime() const { return sweepTime_; }
    std::uint32_t points() const { return spectrum_.settings().points; }
    double startHz() const { return spectrum_.settings().startHz; }
    double stopHz() const { return spectrum_.settings().stopHz; }
    const std::string& identity() const { return identity_; }
    const ErrorQueue& errors() const { return errors_; }
    void pushError(int code);

    static std::string defaultIdentity();

private:
    struct Trace {
        bool active = true;
        TraceMode mode = TraceMode::Write;
        std::vector<float> values;
        std::uint64_t sweepsSinceReset = 0;
        std::string realCache;  // "#4..." block of the current values, empty when stale
        std::string asciiCache;
    };

    struct Call;
    using Handler = void (Instrument::*)(Call&);
    struct CommandEntry;
    static const std::vector<CommandEntry>& commandTable();

    void executeOne(const ScpiCommand& cmd, const WaitFn& waitUntil, Response& response,
                    std::vector<std::string>& context);
    void resetSettings();
    void reconfigure();
    void startSweep();
    void completeSweep();
    bool waitForSweep(const WaitFn& waitUntil);
    void freshenContinuous();
    void refreshStatus();
    void setStartStop(double start, double stop);
    double autoRbw() const;
    const std::string& traceBytes(Trace& trace);
    std::optional<int> traceParameter(Call& call, std::size_t index);
    std::optional<double> numberParameter(Call& call, std::size_t index, int unit, double min, double max,
                                          double def);
    std::optional<std::string> stringParameter(Call& call, std::size_t index);
    static std::string fileKey(std::string_view name);
    void storeFile(const std::string& key, std::string content);

    // Command handlers.
    void idn(Call&);
    void rst(Call&);
    void cls(Call&);
    void opc(Call&);
    void wai(Call&);
    void esr(Call&);
    void ese(Call&);
    void sre(Call&);
    void stb(Call&);
    void tst(Call&);
    void trg(Call&);
    void systemError(Call&);
    void systemErrorAll(Call&);
    void systemErrorClear(Call&);
    void displayUpdate(Call&);
    void systemVersion(Call&);
    void initContinuous(Call&);
    void initImmediate(Call&);
    void abort(Call&);
    void sweepTime(Call&);
    void sweepPoints(Call&);
    void frequencyCenter(Call&);
    void frequencySpan(Call&);
    void frequencyStart(Call&);
    void frequencyStop(Call&);
    void bandwidth(Call&);
    void videoBandwidth(Call&);
    void detector(Call&);
    void referenceLevel(Call&);
    void traceState(Call&);
    void traceModeCmd(Call&);
    void format(Call&);
    void traceData(Call&);
    void storeTrace(Call&);
    void memoryData(Call&);
    void memoryDelete(Call&);
    void memoryCatalog(Call&);

    InstrumentOptions options_;
    Hooks hooks_;
    std::string identity_;
    Spectrum spectrum_;
    std::array<Trace, kTraceCount> traces_;
    std::vector<float> scratch_;
    ErrorQueue errors_;
    StatusRegisters status_;
    std::map<std::string, std::string> files_;
    ResourceLimits limits_;
    BudgetShare filesShare_;  // the bytes of files_

    double sweepTime_ = 0.0;
    std::optional<double> rbwHz_;  // none: coupled to the span
    std::optional<double> vbwHz_;  // none: three times the resolution bandwidth
    double refLevelDbm_ = -10.0;
    std::string detector_ = "APE";
    DataFormat format_ = DataFormat::Ascii;
    bool continuous_ = true;
    bool displayUpdate_ = false;
    bool remote_ = false;
    bool outputPending_ = false;
    bool opcArmed_ = false;
    std::uint64_t sweepCount_ = 0;
    std::optional<Clock::time_point> sweepEnd_;
    Clock::time_point lastSweepAt_{};
};

}  // namespace marlin::sim
