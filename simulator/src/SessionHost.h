#pragma once

#include <memory>
#include <string_view>

#include "MemoryBudget.h"
#include "analyzer_sim/SimulatorOptions.h"

namespace marlin::sim {

// What a device session needs from the server that runs it.
class SessionHost {
public:
    virtual ~SessionHost() = default;
    // The options in force now; faults changed while a session runs apply to its next reply.
    virtual std::shared_ptr<const SimulatorOptions> options() const = 0;
    virtual void log(std::string_view line) = 0;
    // A session's threads are ending: its connections can be closed and its threads joined.
    virtual void sessionFinished() = 0;
    // What all devices together may hold; shared by the sessions.
    virtual std::shared_ptr<MemoryBudget> memoryBudget() const = 0;
    // Readable once the server is stopping.
    virtual int stopFd() const = 0;
};

}  // namespace marlin::sim
