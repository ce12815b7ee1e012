#pragma once
// Test doubles for what the window drives: an instrument behind the bus interface that answers
// the recorder's commands, a reachability check with a fixed answer and a stopwatch that moves
// only when asked.

#include "marlin/core/Bus.h"
#include "marlin/core/HostProbe.h"
#include "marlin/core/Stopwatch.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace marlin::test {

class FakeInstrumentBus final : public Bus {
public:
    static constexpr std::int16_t kTimeoutError = 5;  // the bus's "timed out" error code

    std::string identity = "QUAZAR,FSX,100001,1.0";
    std::vector<bool> activeTraces = {true, true, true, true};
    std::vector<float> values = {-50.5f, -51.0f, 2.5f};
    bool openFails = false;
    // Runs after the instrument answered its n-th trace query (1-based).
    std::function<void(int)> afterTraceQuery;

    std::vector<std::string> opened;    // addresses passed to ibfind
    std::vector<std::string> commands;  // everything written, in order
    int localCalls = 0;
    int traceQueries = 0;

    static std::string block(const std::string& data) {
        const std::string length = std::to_string(data.size());
        return "#" + std::to_string(length.size()) + length + data + "\n";
    }
    static std::string exportText() {
        return "Type;FSX;\r\nVersion;1.0;\r\nCenter "
               "Freq;1000000000;Hz\r\nValues;3;\r\n1;-50;\r\n2;-51;\r\n3;2;\r\n";
    }

    std::int16_t ibfind(const char* address, BusState& state) override {
        opened.emplace_back(address);
        if (openFails) {
            state.ibsta = static_cast<std::int16_t>(kStatusErr);
            return -1;
        }
        state.ibsta = static_cast<std::int16_t>(kStatusCmpl);
        return 1;
    }

    std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& state) override {
        const std::string command(text);
        if (ud < 0) return fail(state);
        commands.push_back(command);
        pending_.clear();
        if (command == "*IDN?") {
            pending_ = identity + "\n";
        } else if (command == "SWE:TIME?") {
            pending_ = "0.005\n";
        } else if (command == "*OPC?") {
            pending_ = "1\n";
        } else if (command.rfind("MMEM:DATA?", 0) == 0) {
            pending_ = block(exportText());
        } else if (command.rfind("TRAC? TRACE", 0) == 0) {
            const int trace = std::stoi(command.substr(11));
            const bool active = trace >= 1 && trace <= 4 && activeTraces[static_cast<std::size_t>(trace - 1)];
            if (active) {
                std::string data(values.size() * 4, '\0');
                std::memcpy(data.data(), values.data(), data.size());
                pending_ = block(data);
            }
            ++traceQueries;
            if (afterTraceQuery) afterTraceQuery(traceQueries);
        }
        state.ibsta = static_cast<std::int16_t>(kStatusCmpl);
        state.ibcntl = static_cast<std::int32_t>(command.size());
        return state.ibsta;
    }

    std::int16_t ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& state) override {
        if (ud < 0) return fail(state);
        const std::size_t n = std::min<std::size_t>(count, pending_.size());
        std::memcpy(buffer, pending_.data(), n);
        pending_.erase(0, n);
        state.ibcntl = static_cast<std::int32_t>(n);
        // An instrument with nothing (more) to say lets the read time out.
        const bool timedOut = n < count;
        state.ibsta = static_cast<std::int16_t>(timedOut ? (kStatusErr | kStatusTimo) : kStatusCmpl);
        state.iberr = static_cast<std::int16_t>(timedOut ? kTimeoutError : 0);
        return state.ibsta;
    }

    std::int16_t ibtmo(std::int16_t ud, std::int16_t, BusState& state) override {
        if (ud < 0) return fail(state);
        return state.ibsta = static_cast<std::int16_t>(kStatusCmpl);
    }

    std::int16_t ibloc(std::int16_t ud, BusState& state) override {
        if (ud < 0) return fail(state);
        ++localCalls;
        return state.ibsta = static_cast<std::int16_t>(kStatusCmpl);
    }

    std::int16_t ibonl(std::int16_t ud, std::int16_t, BusState& state) override {
        if (ud < 0) return fail(state);
        return state.ibsta = 0;
    }

private:
    static std::int16_t fail(BusState& state) {
        state.ibsta = static_cast<std::int16_t>(kStatusErr);
        state.ibcntl = 0;
        return state.ibsta;
    }

    std::string pending_;
};

class FakeHostProbe final : public HostProbe {
public:
    bool reachable = true;
    std::vector<std::string> checked;

    std::string NameToAddress(const std::string& host) override {
        return host == "localhost" ? std::string("127.0.0.1") : host;
    }
    ReachabilityResult CheckHostReachable(const std::string& dottedAddress) override {
        checked.push_back(dottedAddress);
        return {reachable, {}};
    }
};

// Moves on by `step` milliseconds every time it is read.
class ManualStopwatch final : public Stopwatch {
public:
    explicit ManualStopwatch(double stepMs) : step_(stepMs) {}
    std::function<void(double)> onRead;

    void reset() override { now_ = 0; }
    double elapsedMs() const override {
        now_ += step_;
        if (onRead) onRead(now_);
        return now_;
    }

private:
    double step_;
    mutable double now_ = 0;
};

}  // namespace marlin::test
