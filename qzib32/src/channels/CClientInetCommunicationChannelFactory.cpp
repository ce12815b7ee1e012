#include "channels/CClientInetCommunicationChannelFactory.h"

#include <cstring>
#include <string>

#include "channels/DebugOutput.h"
#include "channels/InetAddressing.h"

namespace qzib {
namespace {

// The protocol version 2.0 as an IEEE-754 single in the host's own order; it is not converted.
float versionValue() {
    return 2.0f;
}

}  // namespace

CClientInetCommunicationChannelFactory::CClientInetCommunicationChannelFactory(std::uint32_t setupTimeoutMs)
    : m_setupTimeoutMs(setupTimeoutMs) {}

SocketHandle CClientInetCommunicationChannelFactory::openConnection(SocketType type, int protocol,
                                                                    const InetEndpoint& peer) const {
    SocketHandle s = socketapi::openSocket(type, protocol);
    if (s == kInvalidSocket) {
        ReportSocketError("CClientInetCommunicationChannelFactory::Connect(): error creating socket");
        return kInvalidSocket;
    }
    int error = socketapi::connectWithin(s, peer, m_setupTimeoutMs);
    if (error != 0) {
        ReportSocketError("CClientInetCommunicationChannelFactory::Connect(): error connecting socket",
                          error);
        if (socketapi::closeSocket(s) != 0)
            ReportSocketError("CClientInetCommunicationChannelFactory::Connect(): error closing socket");
        return kInvalidSocket;
    }
    return s;
}

std::unique_ptr<CSocketCommunicationChannel> CClientInetCommunicationChannelFactory::Connect(
    const char* host, const char* protocol, const char* service) {
    if (host == nullptr || protocol == nullptr || service == nullptr) return nullptr;

    std::optional<int> protocolNumber = mapProtocol(protocol);
    if (!protocolNumber) {
        debugOutput((std::string("CServerInetCommunicationChannelFactory::Connect(): Failed to map ") +
                     protocol + " to protocol number\n")
                        .c_str());
        return nullptr;
    }
    std::optional<std::uint16_t> port = mapServicePort(service, protocol);
    if (!port) {
        debugOutput(
            (std::string("CClientInetCommunicationChannelFactory::Connect(): Failed to map service ") +
             service + " to port address using protocol " + protocol + "\n")
                .c_str());
        return nullptr;
    }
    InetEndpoint peer;
    peer.port = *port;
    if (!socketapi::parseDottedAddress(host, peer.address) &&
        !socketapi::resolveHostName(host, peer.address)) {
        debugOutput((std::string("CClientInetCommunicationChannelFactory::Connect(): Failed to map ") + host +
                     " to IP address\n")
                        .c_str());
        return nullptr;
    }
    std::optional<SocketType> type = mapSocketType(protocol);
    if (!type) {
        debugOutput(
            (std::string("CClientInetCommunicationChannelFactory::Connect(): Unknown protocol ") + protocol)
                .c_str());
        return nullptr;
    }

    SocketHandle dataSocket = openConnection(*type, *protocolNumber, peer);
    if (dataSocket == kInvalidSocket) return nullptr;
    auto channel = std::make_unique<CSocketCommunicationChannel>(dataSocket);
    try {
        const float version = versionValue();
        SendBuffer versionBuffer{sizeof version, &version};
        std::uint32_t sent = 0;
        if (!channel->WriteData(&versionBuffer, 1, sent, m_setupTimeoutMs) || sent != sizeof version)
            return nullptr;
        float reply = 0;
        std::uint32_t received = 0;
        if (!channel->ReadData(&reply, sizeof reply, received, m_setupTimeoutMs) || reply != version)
            return nullptr;
        unsigned char token[4];
        if (!channel->ReadData(token, sizeof token, received, m_setupTimeoutMs)) return nullptr;

        SocketHandle controlSocket = openConnection(*type, *protocolNumber, peer);
        if (controlSocket == kInvalidSocket) return nullptr;
        channel->SetControlSocket(controlSocket);
        if (!channel->WriteControl(token, sizeof token, m_setupTimeoutMs)) return nullptr;
    } catch (...) {
        // Any failure of the set-up, socket errors included, means no channel.
        return nullptr;
    }
    return channel;
}

}  // namespace qzib
