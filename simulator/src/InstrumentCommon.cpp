// Common commands (*IDN?, *RST, *OPC, the status registers) and the SYSTem subsystem.

#include <cmath>
#include <string>

#include "Instrument.h"
#include "InstrumentCommands.h"
#include "ScpiErrors.h"
#include "ScpiValues.h"

namespace marlin::sim {
using namespace instrument_detail;

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
        if (!waitForSweep(call.waitUntil)) {
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
    if (!waitForSweep(call.waitUntil)) call.aborted = true;
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

}  // namespace marlin::sim
