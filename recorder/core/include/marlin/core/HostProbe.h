#pragma once
// The reachability check that START runs before it opens the instrument.

#include <string>

namespace marlin {

struct ReachabilityResult {
    bool reachable = false;
    // Set when the check itself could not be made (for example no ICMP socket is allowed); it
    // says what went wrong and what to do.
    std::string problem;
};

class HostProbe {
public:
    virtual ~HostProbe() = default;
    // The host text as a dotted IPv4 address, or empty when it does not resolve.
    virtual std::string NameToAddress(const std::string& host) = 0;
    // One ICMP echo to a dotted address, answered within the time limit.
    virtual ReachabilityResult CheckHostReachable(const std::string& dottedAddress) = 0;
    // After the bus library failed to open the instrument: what went wrong, in the user's words
    // ("could not connect to 127.0.0.91, port 2525: connection refused"); empty when it cannot
    // be told.
    virtual std::string explainOpenFailure(const std::string& /*dottedAddress*/) { return {}; }
};

}  // namespace marlin
