#pragma once

#include <chrono>
#include <thread>

#include "analyzer_sim/Simulator.h"

namespace marlin::sim::test {

// Waits (at most five seconds) until the simulator's first open device satisfies the condition.
// The data and the control connection are two TCP connections, so a test that needs a control
// message to come after a data message waits for the data side to have taken it in.
template <typename Condition>
bool waitForDevice(const Simulator& sim, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto devices = sim.devices();
        if (!devices.empty() && condition(devices.front())) return true;
        std::this_thread::yield();
    }
    return false;
}

}  // namespace marlin::sim::test
