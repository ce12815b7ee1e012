#pragma once

#include <cstdint>
#include <memory>

#include "channels/CSocketCommunicationChannel.h"
#include "channels/CSocketCommunicationChannelFactory.h"

namespace qzib {

// Opens the two connections of an instrument and runs the set-up exchange:
// version 2.0 out and back on the data connection, the instrument's 4-byte pairing token
// in, then the control connection, which hands the token back.
class CClientInetCommunicationChannelFactory : public CSocketCommunicationChannelFactory {
public:
    static constexpr std::uint32_t kSetupTimeoutMs = 5000;

    // setupTimeoutMs limits each step of the set-up (connecting included).
    explicit CClientInetCommunicationChannelFactory(std::uint32_t setupTimeoutMs = kSetupTimeoutMs);

    // A new channel owned by the caller, or none; the debug output says which step failed.
    std::unique_ptr<CSocketCommunicationChannel> Connect(const char* host, const char* protocol,
                                                         const char* service);

private:
    SocketHandle openConnection(SocketType type, int protocol, const InetEndpoint& peer) const;

    std::uint32_t m_setupTimeoutMs;
};

}  // namespace qzib
