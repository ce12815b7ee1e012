#include "channels/CServerInetCommunicationChannelFactory.h"

#include <stdexcept>

#include "channels/DebugOutput.h"
#include "channels/ErrorNumberFailure.h"
#include "channels/InetAddressing.h"

namespace qzib {

CServerInetCommunicationChannelFactory::CServerInetCommunicationChannelFactory(
    const char* protocol, const char* service, int backlog, const char* localAddress, bool reuseAddress) {
    std::optional<int> protocolNumber = mapProtocol(protocol);
    if (!protocolNumber) throw std::runtime_error("Unknown protocol name");
    std::optional<std::uint16_t> port = mapServicePort(service, protocol);
    if (!port) throw std::runtime_error("Unknown service for specified protocol");
    std::optional<SocketType> type = mapSocketType(protocol);
    if (!type) throw std::runtime_error("Unexpected protocol type");

    InetEndpoint local;
    local.port = *port;
    local.address = socketapi::anyAddress();
    if (localAddress != nullptr && !socketapi::parseDottedAddress(localAddress, local.address) &&
        !socketapi::resolveHostName(localAddress, local.address))
        throw std::runtime_error("Unknown local address");

    SocketHandle s = socketapi::openSocket(*type, *protocolNumber);
    if (s == kInvalidSocket)
        throw ErrorNumberFailure(
            ReportSocketError("CServerInetCommunicationChannelFactory::"
                              "CServerInetCommunicationChannelFactory(): error creating socket"));
    if (reuseAddress) socketapi::setReuseAddress(s);
    if (socketapi::bindTo(s, local) != 0) {
        int error = ReportSocketError(
            "CServerInetCommunicationChannelFactory::CServerInetCommunicationChannelFactory(): error binding "
            "socket");
        socketapi::closeSocket(s);
        throw ErrorNumberFailure(error);
    }
    if (*type == SocketType::Stream && socketapi::listenOn(s, backlog) != 0) {
        int error = ReportSocketError(
            "CServerInetCommunicationChannelFactory::CServerInetCommunicationChannelFactory(): error "
            "listening on "
            "socket");
        socketapi::closeSocket(s);
        throw ErrorNumberFailure(error);
    }
    m_ListenSocket = s;
}

CServerInetCommunicationChannelFactory::~CServerInetCommunicationChannelFactory() {
    if (m_ListenSocket != kInvalidSocket && socketapi::closeSocket(m_ListenSocket) != 0)
        ReportSocketError("CServerInetCommunicationChannelFactory: Error closing socket");
}

SocketHandle CServerInetCommunicationChannelFactory::acceptWithin(std::int64_t timeoutMs) {
    for (;;) {
        int error = 0;
        SocketHandle s = socketapi::acceptOne(m_ListenSocket, error);
        if (s != kInvalidSocket) return s;
        if (error == socketapi::kWouldBlock) {
            socketapi::WaitResult r =
                socketapi::waitFor(m_ListenSocket, socketapi::Direction::Read, timeoutMs, error);
            if (r == socketapi::WaitResult::Ready) continue;
            if (r == socketapi::WaitResult::TimedOut) return kInvalidSocket;
        }
        throw ErrorNumberFailure(ReportSocketError(
            "CServerInetCommunicationChannelFactory::WaitForConnection(): error waiting for connection",
            error));
    }
}

SocketHandle CServerInetCommunicationChannelFactory::WaitForConnection() {
    return acceptWithin(-1);
}

SocketHandle CServerInetCommunicationChannelFactory::WaitForConnection(std::uint32_t timeoutMs) {
    return acceptWithin(timeoutMs);
}

std::unique_ptr<CSocketCommunicationChannel> CServerInetCommunicationChannelFactory::AcceptChannel(
    std::uint32_t timeoutMs) {
    SocketHandle s = acceptWithin(timeoutMs);
    if (s == kInvalidSocket) return nullptr;
    return std::make_unique<CSocketCommunicationChannel>(s);
}

std::uint16_t CServerInetCommunicationChannelFactory::GetPort() const {
    return socketapi::localPort(m_ListenSocket);
}

}  // namespace qzib
