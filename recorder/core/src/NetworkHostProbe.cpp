#include "marlin/core/NetworkHostProbe.h"

#include "marlin/net/BusPortCheck.h"
#include "marlin/net/ClsIPResolve.h"
#include "marlin/net/ServerVerifier.h"

namespace marlin {

std::string NetworkHostProbe::NameToAddress(const std::string& host) {
    const ClsIPResolve resolver;
    return resolver.NameToAddress(host);
}

ReachabilityResult NetworkHostProbe::CheckHostReachable(const std::string& dottedAddress) {
    ReachabilityResult result;
    result.reachable = ServerVerifier::CheckHostReachable(dottedAddress, &result.problem);
    return result;
}

std::string NetworkHostProbe::explainOpenFailure(const std::string& dottedAddress) {
    return BusPortCheck::explainOpenFailure(dottedAddress);
}

}  // namespace marlin
