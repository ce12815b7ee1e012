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
};

}  // namespace marlin
