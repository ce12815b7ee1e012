#pragma once

#include <cstdint>

namespace marlin::sim {

// IEEE 488.2 status reporting: the standard event status register with its enable mask, the
// service request enable mask and the request-service latch that serial polls read and clear.
class StatusRegisters {
public:
    // Event status register bits.
    static constexpr std::uint8_t kOperationComplete = 0x01;
    static constexpr std::uint8_t kQueryError = 0x04;
    static constexpr std::uint8_t kDeviceError = 0x08;
    static constexpr std::uint8_t kExecutionError = 0x10;
    static constexpr std::uint8_t kCommandError = 0x20;
    static constexpr std::uint8_t kPowerOn = 0x80;
    // Status byte bits.
    static constexpr std::uint8_t kErrorAvailable = 0x04;
    static constexpr std::uint8_t kMessageAvailable = 0x10;
    static constexpr std::uint8_t kEventSummary = 0x20;
    static constexpr std::uint8_t kRequestService = 0x40;

    StatusRegisters() : esr_(kPowerOn) {}

    void setEvent(std::uint8_t bits) { esr_ |= bits; }
    // Reads and clears the event register (*ESR?).
    std::uint8_t takeEvents();
    void setEventEnable(std::uint8_t mask) { ese_ = mask; }
    std::uint8_t eventEnable() const { return ese_; }
    void setServiceEnable(std::uint8_t mask) { sre_ = mask & static_cast<std::uint8_t>(~kRequestService); }
    std::uint8_t serviceEnable() const { return sre_; }
    void clearEvents() { esr_ = 0; }

    // The status byte for the given error-queue and output states, with the master summary in
    // bit 6 (*STB?). refresh() must follow every change that can alter it.
    std::uint8_t statusByte(bool errorAvailable, bool messageAvailable) const;
    // Latches a service request on the rising edge of the summary; a summary that falls withdraws it.
    void refresh(bool errorAvailable, bool messageAvailable);
    bool serviceRequested() const { return rqs_; }
    // The byte a serial poll answers: the status byte with the latched request in bit 6, which the
    // poll clears.
    std::uint8_t serialPoll(bool errorAvailable, bool messageAvailable);

private:
    std::uint8_t esr_ = 0;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
    bool summary_ = false;
    bool rqs_ = false;
};

}  // namespace marlin::sim
