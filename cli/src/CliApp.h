#pragma once
// marlin-cli as a function, so that tests run it in process.

#include <ostream>
#include <string>
#include <vector>

#include "marlin/core/RecordingSession.h"

namespace marlin {
class HostProbe;
}

namespace marlin::cli {

// Runs marlin-cli with the arguments after the program name; returns the exit status.
// `terminal` says whether `out` is a terminal (status line and countdown bar). `probe` replaces
// the network's name resolution and echo check (tests hand one in where ICMP is not allowed);
// null: the network's. `reconnectSchedule` replaces the waits between attempts to reopen a lost
// instrument (tests shorten them); null: 1 s, doubled up to 60 s.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal,
        HostProbe* probe = nullptr, const RecordingSession::ReconnectSchedule* reconnectSchedule = nullptr);

}  // namespace marlin::cli
