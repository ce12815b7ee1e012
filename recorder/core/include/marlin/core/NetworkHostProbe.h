#pragma once
// The production reachability check: name resolution and one ICMP echo.

#include "marlin/core/HostProbe.h"

namespace marlin {

class NetworkHostProbe final : public HostProbe {
public:
    std::string NameToAddress(const std::string& host) override;
    ReachabilityResult CheckHostReachable(const std::string& dottedAddress) override;
    std::string explainOpenFailure(const std::string& dottedAddress) override;
};

}  // namespace marlin
