#pragma once
// A scripted analyzer behind the Bus interface: it answers the commands the recorder sends the way
// the instrument does, logs every call, and can be told to misbehave. The core's tests and the
// window's tests both drive their recordings through it.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "marlin/core/Bus.h"

namespace marlin::testing {

class FakeBus : public Bus {
public:
    // What the instrument answers.
    std::string identity = "QUAZAR,FSX-7,100123/042,1.40";
    std::string sweepTime = "0.005";
    std::string exportText =
        "Type;FSX;\r\nVersion;1.40;\r\nCenter "
        "Freq;1000000000;Hz\r\nValues;4;\r\n1;-50;\r\n2;-51;\r\n3;-52;\r\n4;-53;\r\n";
    std::vector<float> trace = {-50.5f, -51.0f, 2.5f, 0.125f};
    std::vector<bool> activeTraces = {true, true, true, true};  // TRACE1 to TRACE4

    // How it misbehaves.
    std::string traceHeaderOverride;  // replaces "#<d><L>" when set
    std::size_t traceDataCut = 0;     // bytes removed from the end of the trace data
    std::string exportHeaderOverride;
    bool findFails = false;       // ibfind cannot open the instrument
    bool connectionLost = false;  // reads fail as after a closed connection
    bool silent = false;          // reads time out with nothing, as a stalled instrument's
    bool answersOpc = true;       // "*OPC?" is answered
    bool traceLate = false;       // the trace block comes only after the first read timed out
    std::string binding;          // bindingError(): every ibfind fails while it is set
    // Runs after the instrument answered its n-th trace query (1-based).
    std::function<void(int)> afterTraceQuery;

    // What it was asked.
    std::vector<std::string> log;           // every command and call, in order
    std::vector<std::string> commands;      // the texts written to the open device
    std::vector<std::string> opened;        // the addresses passed to ibfind
    std::vector<std::uint32_t> readCounts;  // counts asked by each ilrd
    int localCalls = 0;                     // ibloc calls on the open device
    int traceQueries = 0;
    std::int16_t nextUd = 7;  // the device ibfind hands out; closing it makes the next one another

    void setAllTracesActive(bool active) { activeTraces.assign(activeTraces.size(), active); }

    std::int16_t ibfind(const char* address, BusState& s) override {
        log.push_back(std::string("ibfind ") + address);
        opened.emplace_back(address);
        if (findFails || !binding.empty()) {
            s = {s.ud, static_cast<std::int16_t>(kStatusErr), QZ_EOPEN, 0};
            return -1;
        }
        done(s, 0);
        return nextUd;
    }

    std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& s) override {
        const std::string command(text);
        log.push_back(command);
        pending_.clear();
        position_ = 0;
        if (ud != nextUd) return fail(s);
        commands.push_back(command);
        if (command == "*IDN?") {
            pending_ = identity + "\n";
        } else if (command == "SWE:TIME?") {
            pending_ = sweepTime + "\n";
        } else if (command == "*OPC?") {
            if (answersOpc) pending_ = "1\n";
        } else if (command.rfind("MMEM:DATA?", 0) == 0) {
            pending_ = (exportHeaderOverride.empty() ? blockHeader(exportText.size()) : exportHeaderOverride) +
                       exportText + "\n";
        } else if (command.rfind("TRAC? TRACE", 0) == 0) {
            answerTraceQuery(std::atoi(command.c_str() + 11));
        }
        return done(s, static_cast<std::int32_t>(command.size()));
    }

    std::int16_t ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& s) override {
        readCounts.push_back(count);
        if (ud != nextUd) return fail(s);
        if (silent) return timedOut(s);
        if (connectionLost) {
            s = {s.ud, static_cast<std::int16_t>(kStatusErr), kErrOther, 0};
            return s.ibsta;
        }
        if (!late_.empty()) {
            pending_.swap(late_);  // arrives while this read times out
            late_.clear();
            return timedOut(s);
        }
        const std::size_t n = std::min<std::size_t>(count, pending_.size() - position_);
        std::memcpy(buffer, pending_.data() + position_, n);
        position_ += n;
        // An instrument with nothing (more) to say lets the read time out.
        if (n == 0 && count > 0) return timedOut(s);
        return done(s, static_cast<std::int32_t>(n));
    }

    std::int16_t ibtmo(std::int16_t ud, std::int16_t seconds, BusState& s) override {
        log.push_back("ibtmo " + std::to_string(seconds));
        return ud == nextUd ? done(s, 0) : fail(s);
    }

    std::int16_t ibloc(std::int16_t ud, BusState& s) override {
        log.push_back("ibloc");
        if (ud != nextUd) return fail(s);
        ++localCalls;
        return done(s, 0);
    }

    std::int16_t ibonl(std::int16_t ud, std::int16_t flag, BusState& s) override {
        log.push_back("ibonl " + std::to_string(flag));
        if (ud != nextUd) return fail(s);
        if (flag == 0) ++nextUd;  // a new device for the next open
        return done(s, 0);
    }

    std::string bindingError() const override { return binding; }

    // "#<d><L>" for a block of `length` data bytes.
    static std::string blockHeader(std::size_t length) {
        const std::string digits = std::to_string(length);
        return "#" + std::to_string(digits.size()) + digits;
    }

private:
    void answerTraceQuery(int number) {
        const bool active = number >= 1 && number <= static_cast<int>(activeTraces.size()) &&
                            activeTraces[static_cast<std::size_t>(number - 1)];
        if (active) {
            std::string data(trace.size() * 4, '\0');
            std::memcpy(data.data(), trace.data(), data.size());
            const std::string header =
                traceHeaderOverride.empty() ? blockHeader(data.size()) : traceHeaderOverride;
            data.resize(data.size() - std::min(traceDataCut, data.size()));
            pending_ = header + data + (traceDataCut ? "" : "\n");
            if (traceLate) late_.swap(pending_);
        }
        ++traceQueries;
        if (afterTraceQuery) afterTraceQuery(traceQueries);
    }
    static std::int16_t done(BusState& s, std::int32_t count) {
        s.ibsta = static_cast<std::int16_t>(kStatusCmpl);
        s.iberr = 0;
        s.ibcntl = count;
        return s.ibsta;
    }
    static std::int16_t timedOut(BusState& s) {
        s = {s.ud, static_cast<std::int16_t>(kStatusErr | kStatusTimo), kErrTimeout, 0};
        return s.ibsta;
    }
    static std::int16_t fail(BusState& s) {
        s = {s.ud, static_cast<std::int16_t>(kStatusErr), QZ_EUD, 0};
        return s.ibsta;
    }

    std::string pending_;
    std::string late_;
    std::size_t position_ = 0;
};

}  // namespace marlin::testing
