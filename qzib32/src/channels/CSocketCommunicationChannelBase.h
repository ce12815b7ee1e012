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

    // Sets TCP_NODELAY on both connections; true if both took it.
    bool SetNoDelay(bool on);
};

}  // namespace qzib
