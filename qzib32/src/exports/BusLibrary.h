#pragma once

#include <memory>

#include "channels/CClientInetCommunicationChannelFactory.h"
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

    DeviceTable& Devices() { return m_devices; }
    CLibraryLock& Lock() { return m_lock; }
    // nullptr when the socket layer could not be started; no device can be opened then.
    CClientInetCommunicationChannelFactory* Factory() { return m_factory.get(); }

private:
    std::unique_ptr<CClientInetCommunicationChannelFactory> m_factory;
    CLibraryLock m_lock;
    DeviceTable m_devices;
};

}  // namespace qzib
