#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace qzib {

class CBusDevice;

// The open devices, newest first, and the counter their handles come from. After the counter
// wraps it passes over -1 (the failure value of an open), 0 and the handles of open devices.
// Creation is serialised by the library lock; the list itself has a lock of its own so that
// a call on one device can look its handle up while another thread opens a new device.
class DeviceTable {
public:
    DeviceTable() = default;
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;
    // Destroys the devices still in the table.
    ~DeviceTable();

    // Raises ErrorNumberFailure(0) when every handle is in use.
    std::int16_t TakeNextUd();
    void Link(CBusDevice* device);
    void Unlink(CBusDevice* device);

    // nullptr when no open device has the handle; -1 never matches.
    CBusDevice* Find(std::int16_t ud) const;
    // The device opened with exactly this address text (letter case counts).
    CBusDevice* FindByAddress(const char* address) const;
    // Destroys every device, newest first.
    void DestroyAll();
    std::size_t Count() const;

private:
    mutable std::mutex m_listMutex;
    CBusDevice* m_head = nullptr;
    std::int16_t m_nextUd = 1;
};

}  // namespace qzib
