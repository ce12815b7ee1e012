#pragma once
// A reachability check with a fixed answer that remembers what it was asked. Names resolve to the
// loopback address except "nowhere", which does not resolve; a dotted address stays as it is.

#include <algorithm>
#include <string>
#include <vector>

#include "marlin/core/HostProbe.h"

namespace marlin::testing {

class FakeHostProbe : public HostProbe {
public:
    std::string NameToAddress(const std::string& host) override {
        resolved.push_back(host);
        if (host == "nowhere") return {};
        const bool dotted = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
            return c == '.' || (c >= '0' && c <= '9');
        });
        return dotted ? host : std::string("127.0.0.1");
    }
    ReachabilityResult CheckHostReachable(const std::string& address) override {
        checked.push_back(address);
        return {reachable && !address.empty(), problem};
    }
    std::string explainOpenFailure(const std::string& address) override { return openFailure + address; }

    bool reachable = true;
    std::string problem;  // the reason the check could not be made, if it could not
    std::string openFailure = "could not connect to ";
    std::vector<std::string> resolved;
    std::vector<std::string> checked;
};

}  // namespace marlin::testing
