#include "marlin/net/ServerVerifier.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <icmpapi.h>
#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace marlin {

namespace {

std::atomic<unsigned> gAllowedSockets{ServerVerifier::kAnySocket};
std::atomic<unsigned> gSequence{0};

#ifndef _WIN32
std::uint16_t checksum(const unsigned char* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2) sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::int32_t statusForErrno(int error) {
    switch (error) {
        case ENETUNREACH:
            return 11002;
        case EHOSTUNREACH:
            return 11003;
        case ENOBUFS:
        case ENOMEM:
            return 11006;
        default:
            return ServerVerifier::kStatusGeneralFailure;
    }
}

// ICMP destination-unreachable codes as IP status numbers.
std::int32_t statusForUnreachable(int code) {
    switch (code) {
        case 0:
            return 11002;
        case 1:
            return 11003;
        case 2:
            return 11004;
        case 3:
            return 11005;
        default:
            return 11003;
    }
}

std::int32_t echoPosix(std::uint32_t destination, EchoReply& reply) {
    const unsigned allowed = gAllowedSockets.load();
    int datagramError = EPERM;
    int rawError = EPERM;
    bool raw = false;
    int fd = -1;
    if (allowed & ServerVerifier::kDatagram) {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd < 0) datagramError = errno;
    }
    if (fd < 0 && (allowed & ServerVerifier::kRaw)) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd < 0) rawError = errno;
        raw = fd >= 0;
    }
    if (fd < 0) {
        reply.Status = ServerVerifier::kStatusGeneralFailure;
        reply.problem = std::string(
                            "The echo request could not be sent: this system allows neither an ICMP datagram "
                            "socket (") +
                        std::strerror(datagramError) + ") nor a raw ICMP socket (" + std::strerror(rawError) +
                        ") to this program. Allow ICMP echo for this user's group (sysctl "
                        "net.ipv4.ping_group_range) or give the program the CAP_NET_RAW capability.";
        return -reply.Status;
    }
    Fd socketFd(fd);

    const std::uint16_t identifier = static_cast<std::uint16_t>(::getpid() ^ (gSequence.load() << 10));
    const std::uint16_t sequence = static_cast<std::uint16_t>(gSequence.fetch_add(1) + 1);
    unsigned char packet[8 + 9];
    packet[0] = 8;  // echo request
    packet[1] = 0;
    packet[2] = packet[3] = 0;
    packet[4] = static_cast<unsigned char>(identifier >> 8);
    packet[5] = static_cast<unsigned char>(identifier & 0xFF);
    packet[6] = static_cast<unsigned char>(sequence >> 8);
    packet[7] = static_cast<unsigned char>(sequence & 0xFF);
    std::memcpy(packet + 8, ServerVerifier::kPayload, 9);
    const std::uint16_t sum = checksum(packet, sizeof packet);
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum & 0xFF);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr, &destination, 4);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(ServerVerifier::kTimeoutMs);
    ssize_t sent;
    do {
        sent = ::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        const int error = errno;
        reply.Status = statusForErrno(error);
        if (error == EPERM || error == EACCES) {
            reply.problem = std::string("The echo request could not be sent: ") + std::strerror(error) +
                            " (a firewall rule may forbid it).";
        }
        return -reply.Status;
    }

    std::vector<unsigned char> buffer(1500);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready == 0) break;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        const unsigned char* icmp = buffer.data();
        std::size_t length = static_cast<std::size_t>(n);
        if (raw) {
            // A raw socket sees every ICMP packet of the host, our own request on loopback too.
            if (length < 20) continue;
            const std::size_t ipHeader = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
            if (length < ipHeader + 8) continue;
            icmp += ipHeader;
            length -= ipHeader;
            if (icmp[0] == 3 && length >= 8 + 20 + 8) {  // destination unreachable, quoting our request
                const unsigned char* quoted = icmp + 8;
                const std::size_t quotedHeader = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
                if (length >= 8 + quotedHeader + 8) {
                    const unsigned char* original = quoted + quotedHeader;
                    const auto id = static_cast<std::uint16_t>(original[4] << 8 | original[5]);
                    const auto seq = static_cast<std::uint16_t>(original[6] << 8 | original[7]);
                    if (original[0] == 8 && id == identifier && seq == sequence) {
                        reply.Status = statusForUnreachable(icmp[1]);
                        return -reply.Status;
                    }
                }
                continue;
            }
            if (from.sin_addr.s_addr != destination) continue;
        }
        if (length < 8 || icmp[0] != 0) continue;  // only echo replies
        const auto seq = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
        const auto id = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
        if (seq != sequence || (raw && id != identifier))
            continue;  // the kernel sets the id of datagram sockets
        reply.Status = ServerVerifier::kStatusSuccess;
        reply.RoundTripTime = static_cast<std::int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count());
        return reply.RoundTripTime;
    }
    reply.Status = ServerVerifier::kStatusTimedOut;
    return -reply.Status;
}
#endif

}  // namespace

void ServerVerifier::setAllowedSockets(unsigned kinds) {
    gAllowedSockets = kinds;
}

std::string ServerVerifier::EchoStatusText(std::int32_t status) {
    switch (status) {
        case 0:
            return "Ping erfolgreich!";
        case 100:
            return "ping timeout";
        case 11001:
            return "ip buf too_small";
        case 11002:
            return "ip dest net unreachable";
        case 11003:
            return "ip dest host unreachable";
        case 11004:
            return "ip dest prot unreachable";
        case 11005:
            return "ip dest port unreachable";
        case 11006:
            return "ip no resources";
        case 11007:
            return "ip bad option";
        case 11008:
            return "ip hw_error";
        case 11009:
            return "ip packet too_big";
        case 11010:
            return "ip req timed out";
        case 11011:
            return "ip bad req";
        case 11012:
            return "ip bad route";
        case 11013:
            return "ip ttl expired transit";
        case 11014:
            return "ip ttl expired reassem";
        case 11015:
            return "ip param_problem";
        case 11016:
            return "ip source quench";
        case 11017:
            return "ip option too_big";
        case 11018:
            return "ip bad destination";
        case 11019:
            return "ip addr deleted";
        case 11020:
            return "ip spec mtu change";
        case 11021:
            return "ip mtu_change";
        case 11022:
            return "ip unload";
        case 11023:
            return "ip addr added";
        case 11050:
            return "ip general failure";
        case 11255:
            return "ip pending";
        default:
            return "unknown msg returned";
    }
}

std::int32_t ServerVerifier::DottedAddressToLong(const std::string& address) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = address.find('.', start);
        parts.push_back(address.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() > 4)
        throw std::invalid_argument("an address has at most four parts: \"" + address + "\"");
    if (parts.size() < 4) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part.size() > 9 || part.find_first_not_of("0123456789") != std::string::npos) {
            throw std::invalid_argument("\"" + part + "\" is not a number in the address \"" + address +
                                        "\"");
        }
        const auto number = static_cast<std::uint32_t>(std::stoul(part)) % 256;
        value |= number << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

bool ServerVerifier::StartSockets() {
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(0x0101, &data) == 0;
#else
    return true;
#endif
}

void ServerVerifier::StopSockets() {
#ifdef _WIN32
    WSACleanup();
#endif
}

std::int32_t ServerVerifier::SendEcho(const std::string& address, EchoReply& reply) {
    reply = EchoReply{};
    std::int32_t destination = 0;
    try {
        destination = DottedAddressToLong(address);
    } catch (const std::invalid_argument&) {
        destination = 0;
    }
    // 0.0.0.0 is no instrument's address; some systems would deliver the echo to themselves.
    if (destination == 0) {
        reply.Status = kStatusBadDestination;
        return -reply.Status;
    }
#ifdef _WIN32
    HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE) {
        reply.Status = kStatusGeneralFailure;
        reply.problem = "The echo request could not be sent: the ICMP service could not be opened.";
        return -reply.Status;
    }
    char buffer[sizeof(ICMP_ECHO_REPLY) + 250] = {};
    const DWORD count = IcmpSendEcho(icmp, static_cast<IPAddr>(destination), const_cast<char*>(kPayload), 9,
                                     nullptr, buffer, sizeof buffer, kTimeoutMs);
    const auto* record = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer);
    std::int32_t result;
    if (count > 0) {
        reply.Status = static_cast<std::int32_t>(record->Status);
        reply.RoundTripTime = static_cast<std::int32_t>(record->RoundTripTime);
        result = reply.Status == 0 ? reply.RoundTripTime : -reply.Status;
    } else {
        const DWORD error = GetLastError();
        reply.Status = error >= 11000 && error <= 11255 ? static_cast<std::int32_t>(error) : kStatusTimedOut;
        result = -reply.Status;
    }
    IcmpCloseHandle(icmp);
    return result;
#else
    const std::int32_t result = echoPosix(static_cast<std::uint32_t>(destination), reply);
    return result;
#endif
}

bool ServerVerifier::CheckHostReachable(const std::string& address, std::string* problem) {
    if (!StartSockets()) {
        if (problem) *problem = "The system's socket layer is not responding.";
        return false;
    }
    EchoReply reply;
    SendEcho(address, reply);
    const bool reachable = EchoStatusText(reply.Status) == EchoStatusText(kStatusSuccess);
    if (problem) *problem = reply.problem;
    StopSockets();
    return reachable;
}

}  // namespace marlin
