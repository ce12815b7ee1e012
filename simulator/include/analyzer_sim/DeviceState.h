#pragma once

#include <cstdint>
#include <string>

namespace marlin::sim {

// A snapshot of one opened device of a running simulator, for tests and diagnostics.
struct DeviceState {
    std::uint64_t id = 0;
    std::string peer;  // address of the client's data connection
    bool controlConnected = false;
    bool remote = false;
    bool continuous = true;
    bool outputPending = false;
    std::uint64_t sweeps = 0;
    bool waiting = false;        // a message waits for a sweep (*WAI, *OPC?) or a reply delay
    std::uint64_t messages = 0;  // program messages run
    std::uint64_t replies = 0;   // replies sent
    std::size_t errorsQueued = 0;
    double dataThreadCpuSeconds = 0.0;  // processor time the thread serving the data connection used
};

// A device opened or closed, as Simulator::deviceEvents() lists them, in the order they happened.
struct DeviceEvent {
    enum class Kind { Opened, Closed };
    Kind kind = Kind::Opened;
    std::uint64_t id = 0;
    bool byClient = false;  // Closed: the client closed it (not a fault, a limit or stop())

    friend bool operator==(const DeviceEvent&, const DeviceEvent&) = default;
};

}  // namespace marlin::sim
