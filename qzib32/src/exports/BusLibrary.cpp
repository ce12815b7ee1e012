#include "exports/BusLibrary.h"

namespace qzib {

BusLibrary::BusLibrary() {
    try {
        m_factory = std::make_unique<CClientInetCommunicationChannelFactory>();
    } catch (...) {
        // Without a socket layer every open fails and reports it; the host program lives on.
    }
}

BusLibrary::~BusLibrary() {
    m_devices.DestroyAll();
    // The lock goes with the object, then the factory, which stops the socket layer.
}

}  // namespace qzib
