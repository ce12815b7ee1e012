#pragma once
// A scripted analyzer behind the Bus interface: it answers the commands the recorder sends the way
// the instrument does, logs every call, and can be told to misbehave.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "marlin/core/Bus.h"

namespace marlin::testing {

class FakeBus : public Bus {
public:
    std::string identity = "QUAZAR,FSX-7,100123/042,1.40";
    std::string sweepTime = "0.005";
    std::string exportText =
        "Type;FSX;\r\nVersion;1.40;\r\nCenter "
        "Freq;1000000000;Hz\r\nValues;4;\r\n1;-50;\r\n2;-51;\r\n3;-52;\r\n4;-53;\r\n";
    std::vector<float> trace = {-50.5f, -51.0f, 2.5f, 0.125f};
    bool traceActive = true;
    std::string traceHeaderOverride;  // replaces "#<d><L>" when set
    std::size_t traceDataCut = 0;     // bytes removed from the end of the trace data
    std::string exportHeaderOverride;
    bool findFails = false;
    bool connectionLost = false;  // reads fail as after a closed connection
    bool silent = false;          // reads time out with nothing, as a stalled instrument's
    bool answersOpc = true;       // "*OPC?" is answered
    bool traceLate = false;       // the trace block comes only after the first read timed out
    std::string binding;          // bindingError()

    std::vector<std::string> log;           // every command and call, in order
    std::vector<std::uint32_t> readCounts;  // counts asked by each ilrd
    std::int16_t nextUd = 7;

    std::int16_t ibfind(const char* address, BusState& s) override {
        log.push_back(std::string("ibfind ") + address);
        if (findFails || !binding.empty()) {
            s = {s.ud, static_cast<std::int16_t>(kStatusErr), 2, 0};
            return -1;
        }
        s.ibsta = static_cast<std::int16_t>(kStatusCmpl);
        s.iberr = 0;
        s.ibcntl = 0;
        return nextUd;
    }

    std::int16_t ibwrt(std::int16_t ud, const char* text, BusState& s) override {
        const std::string command(text);
        log.push_back(command);
        pending_.clear();
        position_ = 0;
        if (ud != nextUd) return fail(s);
        if (command == "*IDN?") {
            pending_ = identity + "\n";
        } else if (command == "SWE:TIME?") {
            pending_ = sweepTime + "\n";
        } else if (command == "*OPC?") {
            if (answersOpc) pending_ = "1\n";
        } else if (command == "MMEM:DATA? 'C:\\TRACE.DAT'") {
            const std::string length = std::to_string(exportText.size());
            pending_ = (exportHeaderOverride.empty() ? "#" + std::to_string(length.size()) + length
                                                     : exportHeaderOverride) +
                       exportText + "\n";
        } else if (command.rfind("TRAC? TRACE", 0) == 0 && traceActive) {
            std::string data(trace.size() * 4, '\0');
            std::memcpy(data.data(), trace.data(), data.size());
            const std::string length = std::to_string(data.size());
            const std::string header = traceHeaderOverride.empty()
                                           ? "#" + std::to_string(length.size()) + length
                                           : traceHeaderOverride;
            data.resize(data.size() - std::min(traceDataCut, data.size()));
            pending_ = header + data + (traceDataCut ? "" : "\n");
            if (traceLate) late_.swap(pending_);
        }
        s.ibsta = static_cast<std::int16_t>(kStatusCmpl);
        s.iberr = 0;
        s.ibcntl = static_cast<std::int32_t>(command.size());
        return s.ibsta;
    }

    std::int16_t ilrd(std::int16_t ud, char* buffer, std::uint32_t count, BusState& s) override {
        readCounts.push_back(count);
        if (ud != nextUd) return fail(s);
        if (silent) {
            s = {s.ud, static_cast<std::int16_t>(0xC000), 5, 0};
            return s.ibsta;
        }
        if (connectionLost) {
            s = {s.ud, static_cast<std::int16_t>(kStatusErr), -1, 0};
            return s.ibsta;
        }
        if (!late_.empty()) {
            pending_.swap(late_);  // arrives while this read times out
            late_.clear();
            s = {s.ud, static_cast<std::int16_t>(0xC000), 5, 0};
            return s.ibsta;
        }
        const std::size_t n = std::min<std::size_t>(count, pending_.size() - position_);
        std::memcpy(buffer, pending_.data() + position_, n);
        position_ += n;
        s.ibcntl = static_cast<std::int32_t>(n);
        s.iberr = n < count && position_ >= pending_.size() && n == 0 ? 5 : 0;
        s.ibsta = static_cast<std::int16_t>(s.iberr ? 0xC000 : kStatusCmpl);
        return s.ibsta;
    }

    std::int16_t ibtmo(std::int16_t, std::int16_t seconds, BusState& s) override {
        log.push_back("ibtmo " + std::to_string(seconds));
        s = {s.ud, 0, 0, 0};
        return 0;
    }

    std::int16_t ibloc(std::int16_t, BusState& s) override {
        log.push_back("ibloc");
        s = {s.ud, 0, 0, 0};
        return 0;
    }

    std::int16_t ibonl(std::int16_t ud, std::int16_t flag, BusState& s) override {
        log.push_back("ibonl " + std::to_string(flag));
        if (flag == 0 && ud == nextUd) ++nextUd;  // a new device for the next open
        s = {s.ud, 0, 0, 0};
        return 0;
    }

    std::string bindingError() const override { return binding; }

private:
    std::int16_t fail(BusState& s) {
        s.ibsta = static_cast<std::int16_t>(kStatusErr);
        s.iberr = 3;
        s.ibcntl = 0;
        return s.ibsta;
    }
    std::string pending_;
    std::string late_;
    std::size_t position_ = 0;
};

}  // namespace marlin::testing
