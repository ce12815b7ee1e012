#pragma once

#include <cstdint>
#include <memory>

#include "channels/CSocketCommunicationChannel.h"
#include "channels/CSocketCommunicationChannelFactory.h"

namespace qzib {

// The listening side: binds a port (any local address unless one is given), listens, and
// accepts connections one at a time. An accepted socket becomes a channel through
// CSocketCommunicationChannel, so a server reads and writes with the same timed operations
// as a client.
//
// Raises std::runtime_error for a protocol, service or local address it cannot map, and
// ErrorNumberFailure when the socket cannot be created, bound or put to listen.
class CServerInetCommunicationChannelFactory : public CSocketCommunicationChannelFactory {
public:
    // localAddress: a dotted IPv4 address or host name to bind to; nullptr binds to all.
    // reuseAddress lets a restarted server bind again while old connections linger.
    CServerInetCommunicationChannelFactory(const char* protocol, const char* service, int backlog,
                                           const char* localAddress = nullptr, bool reuseAddress = true);
    ~CServerInetCommunicationChannelFactory() override;

    // Accepts one connection, waiting without limit; returns the new socket, owned by the caller.
    SocketHandle WaitForConnection();
    // Accepts one connection within timeoutMs; kInvalidSocket when none came in time.
    SocketHandle WaitForConnection(std::uint32_t timeoutMs);
    // Accepts one connection within timeoutMs as a channel whose data connection it is;
    // none when no connection came in time.
    std::unique_ptr<CSocketCommunicationChannel> AcceptChannel(std::uint32_t timeoutMs);

    SocketHandle GetListeningSocket() const { return m_ListenSocket; }
    // The bound port, in host order.
    std::uint16_t GetPort() const;

private:
    SocketHandle acceptWithin(std::int64_t timeoutMs);

    SocketHandle m_ListenSocket = kInvalidSocket;
};

}  // namespace qzib
