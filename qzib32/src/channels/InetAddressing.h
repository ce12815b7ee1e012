#pragma once

#include <cstdint>
#include <optional>

#include "platform/SocketApi.h"

namespace qzib {

// Name-to-number maps shared by the client and the listening factory.

// Protocol number of a protocol name; empty when unknown.
std::optional<int> mapProtocol(const char* protocol);

// Port (host order) of a service for a protocol: the services database's entry; else 2525
// for "qzib" in any letter case; else the service's leading decimal digits. Empty when none
// of these gives a port other than 0.
std::optional<std::uint16_t> mapServicePort(const char* service, const char* protocol);

// Socket type for a protocol text: exactly "tcp" or "udp"; empty for anything else.
std::optional<SocketType> mapSocketType(const char* protocol);

}  // namespace qzib
