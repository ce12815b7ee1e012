#include "marlin/net/ClsIPResolve.h"

#include <cstring>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace marlin {

namespace {

std::vector<std::string> splitDots(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

// A decimal byte, as a strict conversion: digits only, 0 to 255.
bool toByte(const std::string& part, int& value) {
    if (part.empty() || part.size() > 3) return false;
    value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

}  // namespace

ClsIPResolve::ClsIPResolve() {
#ifdef _WIN32
    WSADATA data;
    socketsReady_ = WSAStartup(0x0101, &data) == 0;
#else
    socketsReady_ = true;  // no socket layer to start here
#endif
}

ClsIPResolve::~ClsIPResolve() {
#ifdef _WIN32
    if (socketsReady_) WSACleanup();
#endif
}

std::string ClsIPResolve::NameToAddress(const std::string& name) const {
    if (!socketsReady_ || name.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || !result) return {};
    std::string text;
    for (const addrinfo* ai = result; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        unsigned char bytes[4];
        std::memcpy(bytes, &in->sin_addr, 4);
        text = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) +
               "." + std::to_string(bytes[3]);
        break;
    }
    freeaddrinfo(result);
    return text;
}

std::string ClsIPResolve::AddressToName(const std::string& address) const {
    if (!socketsReady_ || !IsDottedAddress(address)) return {};
    sockaddr_in in{};
    in.sin_family = AF_INET;
    const std::int32_t value = DottedToLong(address);
    std::memcpy(&in.sin_addr, &value, 4);
    char host[1025];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return {};
    }
    return TrimAtNul(std::string(host, sizeof host));
}

bool ClsIPResolve::IsDottedAddress(const std::string& text) {
    const auto parts = splitDots(text);
    if (parts.size() < 4) return false;
    int value = 0;
    for (const auto& part : parts) {
        if (!toByte(part, value)) return false;
    }
    return true;
}

std::int32_t ClsIPResolve::DottedToLong(const std::string& text) {
    const auto parts = splitDots(text);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < parts.size() && i < 4; ++i) {
        int value = 0;
        if (!toByte(parts[i], value)) return 0;
        sum |= static_cast<std::uint32_t>(value) << (8 * i);
    }
    return static_cast<std::int32_t>(sum);
}

std::string ClsIPResolve::TrimAtNul(const std::string& text) {
    const auto nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

}  // namespace marlin
