#include "channels/InetAddressing.h"

#include <cctype>
#include <cstring>

namespace qzib {
namespace {

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

}  // namespace

std::optional<int> mapProtocol(const char* protocol) {
    int number = socketapi::protocolNumber(protocol);
    if (number < 0) return std::nullopt;
    return number;
}

std::optional<std::uint16_t> mapServicePort(const char* service, const char* protocol) {
    std::uint32_t port = 0;
    int known = socketapi::servicePort(service, protocol);
    if (known >= 0) {
        port = static_cast<std::uint32_t>(known);
    } else if (equalsIgnoringCase(service, "qzib")) {
        port = 2525;
    } else {
        for (const char* p = service; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
            port = port * 10 + static_cast<std::uint32_t>(*p - '0');
            if (port > 0xFFFF) return std::nullopt;  // no port has that number
        }
    }
    if (port == 0) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<SocketType> mapSocketType(const char* protocol) {
    if (std::strcmp(protocol, "udp") == 0) return SocketType::Datagram;
    if (std::strcmp(protocol, "tcp") == 0) return SocketType::Stream;
    return std::nullopt;
}

}  // namespace qzib
