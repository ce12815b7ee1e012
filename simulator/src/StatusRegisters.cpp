#include "StatusRegisters.h"

namespace marlin::sim {

std::uint8_t StatusRegisters::takeEvents() {
    const std::uint8_t value = esr_;
    esr_ = 0;
    return value;
}

std::uint8_t StatusRegisters::statusByte(bool errorAvailable, bool messageAvailable) const {
    std::uint8_t stb = 0;
    if (errorAvailable) stb |= kErrorAvailable;
    if (messageAvailable) stb |= kMessageAvailable;
    if (esr_ & ese_) stb |= kEventSummary;
    if (stb & sre_) stb |= kRequestService;
    return stb;
}

void StatusRegisters::refresh(bool errorAvailable, bool messageAvailable) {
    const bool summary = (statusByte(errorAvailable, messageAvailable) & kRequestService) != 0;
    if (summary && !summary_) rqs_ = true;
    if (!summary) rqs_ = false;
    summary_ = summary;
}

std::uint8_t StatusRegisters::serialPoll(bool errorAvailable, bool messageAvailable) {
    refresh(errorAvailable, messageAvailable);
    std::uint8_t stb =
        statusByte(errorAvailable, messageAvailable) & static_cast<std::uint8_t>(~kRequestService);
    if (rqs_) stb |= kRequestService;
    rqs_ = false;
    return stb;
}

}  // namespace marlin::sim
