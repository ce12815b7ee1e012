#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analyzer_sim/DeviceState.h"
#include "analyzer_sim/SimulatorOptions.h"

namespace marlin::sim {

// A simulated spectrum analyzer serving the bus protocol on one address and port.
//
//     marlin::sim::SimulatorOptions options;
//     options.bindAddress = "127.0.0.42";
//     marlin::sim::Simulator sim(options);
//     sim.start();            // listening when it returns; throws std::system_error if it cannot bind
//     ...                     // clients open "127.0.0.42"
//     sim.stop();             // or let the destructor do it
//
// Every opened device (a data and a control connection) gets an instrument of its own, built
// from the instrument options in force when it was opened.
class Simulator {
public:
    explicit Simulator(SimulatorOptions options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    void start();
    // Closes every connection and joins every thread; safe to call more than once.
    void stop();
    bool listening() const;
    // The port listened on.
    std::uint16_t port() const;
    const std::string& bindAddress() const;

    // Faults, verbosity and block size apply to the next reply of every device; instrument
    // options to devices opened from now on. The address and port stay as started.
    void setOptions(const SimulatorOptions& options);
    SimulatorOptions options() const;
    void setFaults(const FaultOptions& faults);
    // Switches a trace (1 to 4) on or off on every open device and on those opened later.
    void setTraceActive(int trace, bool active);

    std::vector<DeviceState> devices() const;
    // Every device opened and closed since the simulator was made, kept over stop() and start().
    // A device is listed as closed before its connections are: a client that has closed one
    // and opens the next finds the close listed first.
    std::vector<DeviceEvent> deviceEvents() const;

    // The port of the "qzib" service for TCP, else 2525.
    static std::uint16_t defaultPort();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace marlin::sim
