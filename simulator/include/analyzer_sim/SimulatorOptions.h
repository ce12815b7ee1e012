#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace marlin::sim {

// What the simulated analyzer looks like to a client.
struct InstrumentOptions {
    std::string identity;  // reply to *IDN?; empty: the default, which starts with "QUAZAR"
    std::uint32_t points = 501;
    double sweepTimeS = 0.005;
    std::uint64_t seed = 1;
    std::array<bool, 4> activeTraces{true, true, true, true};
};

// Faults to inject, counted per opened device (a pair of connections). "After N replies" means
// that the first N replies are sent normally.
struct FaultOptions {
    std::optional<std::uint32_t> closeAfterReplies;       // then close both connections instead of replying
    std::optional<std::uint32_t> stallAfterReplies;       // then send no more replies (commands still run)
    std::optional<std::uint32_t> shortBlockAfterReplies;  // then "#" blocks carry half the data they announce
    std::optional<std::uint32_t> shortMessageAfterReplies;  // then one bus block promises more bytes than
                                                            // it carries, and the connections close
    std::optional<float> versionReply;                      // answer the version exchange with this value
    std::chrono::milliseconds replyDelay{0};                // hold every reply this long
};

// What one client, or all of them together, may make the simulator hold. What goes over is
// answered with the instrument's own errors (-223 "Too much data", -225 "Out of memory",
// -254 "Media full") or, for devices and connections, refused.
struct ResourceLimits {
    std::size_t messageBytes = 16u << 20;          // one program message
    std::size_t replyBytes = 17u << 20;            // one reply
    std::size_t storedBytesPerDevice = 16u << 20;  // files of one device (MMEM)
    std::size_t storedFilesPerDevice = 64;
    std::size_t totalBytes = 256u << 20;  // messages being received and files, all devices together
    std::size_t devices = 64;             // open devices
    std::size_t pendingConnections = 512;  // accepted connections that have not sent their first bytes
};

struct SimulatorOptions {
    std::string bindAddress = "127.0.0.1";
    std::optional<std::uint16_t> port;  // none: the "qzib" service, else 2525
    InstrumentOptions instrument;
    FaultOptions faults;
    ResourceLimits limits;                // applies to devices opened from now on
    std::uint32_t maxBlockBytes = 32768;  // replies longer than this go out in several bus blocks
    bool verbose = false;                 // one log line per command message
    // Receives the verbose lines and notices (connections, failures); none: standard error.
    std::function<void(std::string_view)> log;
};

}  // namespace marlin::sim
