#pragma once

namespace qzib {

// Base of the channel factories: keeps the process's socket layer started while any
// factory exists.
class CSocketCommunicationChannelFactory {
public:
    // Raises ErrorNumberFailure when the socket layer cannot be started.
    CSocketCommunicationChannelFactory();
    CSocketCommunicationChannelFactory(const CSocketCommunicationChannelFactory&) = delete;
    CSocketCommunicationChannelFactory& operator=(const CSocketCommunicationChannelFactory&) = delete;
    virtual ~CSocketCommunicationChannelFactory();
};

}  // namespace qzib
