#pragma once

#include <cstdint>

#include "channels/SendBuffer.h"

namespace qzib {

// A paired connection to one instrument: a data connection for messages in both
// directions and a control connection for short request/reply exchanges.
//
// Timed operations return false when a wait ran out (or the transfer came up short); the
// connection stays open and usable. Socket errors are raised as ErrorNumberFailure.
class CCommunicationChannel {
public:
    CCommunicationChannel() = default;
    CCommunicationChannel(const CCommunicationChannel&) = delete;
    CCommunicationChannel& operator=(const CCommunicationChannel&) = delete;
    virtual ~CCommunicationChannel() = default;

    // Reads exactly count bytes; each wait for more bytes is limited to timeoutMs.
    // received counts the bytes that arrived, also when the result is false.
    virtual bool ReadData(void* buffer, std::uint32_t count, std::uint32_t& received,
                          std::uint32_t timeoutMs) = 0;
    // Reads exactly count bytes without a time limit; false when the peer closed or reset.
    virtual bool ReadDataBlocking(void* buffer, std::uint32_t count, std::uint32_t& received) = 0;
    // Sends all buffers as one gathered send; false only if a wait ran out.
    virtual bool WriteData(const SendBuffer* buffers, std::uint32_t number, std::uint32_t& sent,
                           std::uint32_t timeoutMs) = 0;
    virtual bool WriteDataBlocking(const SendBuffer* buffers, std::uint32_t number, std::uint32_t& sent) = 0;
    // Reads exactly count bytes from the control connection within timeoutMs.
    virtual bool ReadControl(void* buffer, std::uint32_t count, std::uint32_t timeoutMs) = 0;
    // Sends exactly count bytes on the control connection within timeoutMs.
    virtual bool WriteControl(const void* buffer, std::uint32_t count, std::uint32_t timeoutMs) = 0;
    // Reads and drops count bytes of the data connection; timeoutMs 0 waits without limit.
    virtual bool Discard(std::uint32_t count, std::uint32_t timeoutMs) = 0;
};

}  // namespace qzib
