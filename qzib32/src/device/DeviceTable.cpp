#include "device/DeviceTable.h"

#include <cstddef>

#include "channels/ErrorNumberFailure.h"
#include "device/CBusDevice.h"

namespace qzib {

DeviceTable::~DeviceTable() {
    DestroyAll();
}

std::int16_t DeviceTable::TakeNextUd() {
    std::lock_guard<std::mutex> guard(m_listMutex);
    auto advance = [this] {
        do {
            m_nextUd = static_cast<std::int16_t>(static_cast<std::uint16_t>(m_nextUd) + 1u);
        } while (m_nextUd == -1 || m_nextUd == 0);
    };
    auto inUse = [this](std::int16_t ud) {
        for (CBusDevice* d = m_head; d != nullptr; d = d->next)
            if (d->ud == ud) return true;
        return false;
    };
    // After the counter wraps, a handle still held by an open device is passed over like -1
    // and 0: two devices must never answer to one handle.
    for (std::uint32_t tries = 0; tries < 0x10000u; ++tries) {
        const std::int16_t ud = m_nextUd;
        advance();
        if (!inUse(ud)) return ud;
    }
    throw ErrorNumberFailure(0);  // every handle is held by an open device
}

void DeviceTable::Link(CBusDevice* device) {
    std::lock_guard<std::mutex> guard(m_listMutex);
    device->next = m_head;
    m_head = device;
}

void DeviceTable::Unlink(CBusDevice* device) {
    std::lock_guard<std::mutex> guard(m_listMutex);
    for (CBusDevice** link = &m_head; *link != nullptr; link = &(*link)->next) {
        if (*link == device) {
            *link = device->next;
            device->next = nullptr;
            return;
        }
    }
}

CBusDevice* DeviceTable::Find(std::int16_t ud) const {
    std::lock_guard<std::mutex> guard(m_listMutex);
    if (ud == -1) return nullptr;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next)
        if (d->ud == ud) return d;
    return nullptr;
}

CBusDevice* DeviceTable::FindByAddress(const char* address) const {
    std::lock_guard<std::mutex> guard(m_listMutex);
    if (address == nullptr) return nullptr;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next)
        if (d->address == address) return d;
    return nullptr;
}

void DeviceTable::DestroyAll() {
    // Each device unlinks itself, so the list lock is not held while one is destroyed.
    for (;;) {
        CBusDevice* newest = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_listMutex);
            newest = m_head;
        }
        if (newest == nullptr) return;
        delete newest;
    }
}

std::size_t DeviceTable::Count() const {
    std::lock_guard<std::mutex> guard(m_listMutex);
    std::size_t n = 0;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next) ++n;
    return n;
}

}  // namespace qzib
