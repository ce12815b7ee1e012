#include "device/DeviceTable.h"

#include <cstddef>

#include "device/CBusDevice.h"

namespace qzib {

DeviceTable::~DeviceTable() {
    DestroyAll();
}

std::int16_t DeviceTable::TakeNextUd() {
    std::int16_t ud = m_nextUd;
    do {
        m_nextUd = static_cast<std::int16_t>(static_cast<std::uint16_t>(m_nextUd) + 1u);
    } while (m_nextUd == -1 || m_nextUd == 0);
    return ud;
}

void DeviceTable::Link(CBusDevice* device) {
    device->next = m_head;
    m_head = device;
}

void DeviceTable::Unlink(CBusDevice* device) {
    for (CBusDevice** link = &m_head; *link != nullptr; link = &(*link)->next) {
        if (*link == device) {
            *link = device->next;
            device->next = nullptr;
            return;
        }
    }
}

CBusDevice* DeviceTable::Find(std::int16_t ud) const {
    if (ud == -1) return nullptr;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next)
        if (d->ud == ud) return d;
    return nullptr;
}

CBusDevice* DeviceTable::FindByAddress(const char* address) const {
    if (address == nullptr) return nullptr;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next)
        if (d->address == address) return d;
    return nullptr;
}

void DeviceTable::DestroyAll() {
    while (m_head != nullptr) delete m_head;  // each device unlinks itself
}

std::size_t DeviceTable::Count() const {
    std::size_t n = 0;
    for (CBusDevice* d = m_head; d != nullptr; d = d->next) ++n;
    return n;
}

}  // namespace qzib
