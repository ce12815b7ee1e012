#include "exports/BusLibrary.h"

#include <cctype>
#include <mutex>

#include "channels/ErrorNumberFailure.h"
#include "device/CQzibDevice.h"

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

const char* BusLibrary::DeviceAddress(const char* address) {
    static const char kLocal[] = "@local";
    if (address == nullptr) return address;
    for (std::size_t i = 0; i < sizeof kLocal; ++i) {
        if (std::tolower(static_cast<unsigned char>(address[i])) != kLocal[i]) return address;
    }
    return "127.0.0.1";
}

CBusDevice& BusLibrary::Open(const char* address) {
    std::lock_guard<CLibraryLock> guard(m_lock);
    address = DeviceAddress(address);
    if (CBusDevice* known = m_devices.FindByAddress(address)) return *known;
    if (!m_factory) throw ErrorNumberFailure(0);
    // The device links itself into the table; a failed creation unlinks it again.
    return *new CQzibDevice(m_devices, *m_factory, address);
}

void BusLibrary::Close(CBusDevice& device) {
    // Not beside an open that walks the table.
    std::lock_guard<CLibraryLock> guard(m_lock);
    delete &device;
}

}  // namespace qzib
