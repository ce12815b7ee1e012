#pragma once

#include <memory>

#include "channels/CClientInetCommunicationChannelFactory.h"
#include "device/CBusDevice.h"
#include "device/DeviceTable.h"
#include "exports/CLibraryLock.h"

namespace qzib {

// What the library holds while it is loaded: the device table, its lock and the client
// factory the devices connect through. Unloading destroys every device still open (each
// sends its pending consumed mark and closes its connections).
class BusLibrary {
public:
    BusLibrary();
    ~BusLibrary();
    BusLibrary(const BusLibrary&) = delete;
    BusLibrary& operator=(const BusLibrary&) = delete;

    // The instance of the loaded library.
    static BusLibrary& Instance();

    // The address text a device is kept under: "@local" in any letter case is 127.0.0.1.
    static const char* DeviceAddress(const char* address);

    // Returns the device open at exactly this address text, or opens one. Raises when the
    // instrument cannot be opened; nothing is left in the table then.
    CBusDevice& Open(const char* address);
    // Closes a device and takes it out of the table.
    void Close(CBusDevice& device);

    DeviceTable& Devices() { return m_devices; }
    CLibraryLock& Lock() { return m_lock; }

private:
    std::unique_ptr<CClientInetCommunicationChannelFactory> m_factory;
    CLibraryLock m_lock;
    DeviceTable m_devices;
};

}  // namespace qzib
