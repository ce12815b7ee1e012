#pragma once

#include <cstdint>

#include "channels/CCommunicationChannel.h"
#include "platform/SocketApi.h"

namespace qzib {

// The parts of a channel that need nothing but its two sockets.
class CSocketCommunicationChannelBase : public CCommunicationChannel {
public:
    virtual SocketHandle GetDataSocket() const = 0;
    virtual SocketHandle GetControlSocket() const = 0;

    bool ReadDataBlocking(void* buffer, std::uint32_t count, std::uint32_t& received) override;
    bool Discard(std::uint32_t count, std::uint32_t timeoutMs) override;
    // As Discard, and tells how many bytes were dropped also when it ends early.
    bool Discard(std::uint32_t count, std::uint32_t timeoutMs, std::uint32_t& dropped);

    // Sets TCP_NODELAY on both connections; true if both took it.
    bool SetNoDelay(bool on);

protected:
    // Takes what the data connection has for the caller right now, as socketapi::receiveSome
    // does. A channel that reads ahead serves its buffered bytes first.
    virtual long ReceiveData(void* buffer, std::size_t count, int& error);
};

}  // namespace qzib
