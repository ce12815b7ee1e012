#pragma once
// The reachability check START runs before it opens the instrument: one ICMP echo request with a
// 9-byte payload and a 100 ms limit. Off Windows it uses an unprivileged ICMP datagram socket
// where the system allows one, else a raw socket; where neither is allowed the reply record's
// `problem` says that the echo could not be sent, why, and what to do about it.

#include <cstdint>
#include <string>

namespace marlin {

// The reply record of one echo request.
struct EchoReply {
    std::int32_t Status = 0;         // 0 = success, else one of the IP status numbers
    std::int32_t RoundTripTime = 0;  // milliseconds, when a reply came
    std::string problem;             // why the request could not be made at all; empty otherwise
};

class ServerVerifier {
public:
    static constexpr std::int32_t kStatusSuccess = 0;
    static constexpr std::int32_t kStatusTimedOut = 11010;
    static constexpr std::int32_t kStatusBadDestination = 11018;
    static constexpr std::int32_t kStatusGeneralFailure = 11050;
    static constexpr int kTimeoutMs = 100;
    static constexpr const char* kPayload = "Echo This";

    // Socket kinds the echo may use (a test can forbid both to see the message path).
    enum SocketKinds : unsigned { kDatagram = 1, kRaw = 2, kAnySocket = 3 };
    static void setAllowedSockets(unsigned kinds);

    // True when the host at the dotted address answered the echo. `problem`, when given, receives
    // the reason the echo could not be sent at all (empty when it was sent).
    static bool CheckHostReachable(const std::string& address, std::string* problem = nullptr);
    // One echo request: the round-trip time in ms when a reply came, else the negated status.
    static std::int32_t SendEcho(const std::string& address, EchoReply& reply);
    static std::string EchoStatusText(std::int32_t status);
    // "a.b.c.d" as the 32-bit value with a in its lowest byte (each part modulo 256); 0 with
    // fewer than four parts. Throws std::invalid_argument for a part that is not a number or a
    // fifth part.
    static std::int32_t DottedAddressToLong(const std::string& address);
    static bool StartSockets();
    static void StopSockets();
    static int LowByteOf(std::int32_t value) { return value & 0xFF; }
    static int HighByteOf(std::int32_t value) { return (value >> 8) & 0xFF; }
};

}  // namespace marlin
