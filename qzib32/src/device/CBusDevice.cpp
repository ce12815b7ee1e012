#include "device/CBusDevice.h"

#include "device/DeviceTable.h"

namespace qzib {

CBusDevice::CBusDevice(DeviceTable& table, const char* address)
    : ud(table.TakeNextUd()), address(address != nullptr ? address : ""), m_table(table) {
    m_table.Link(this);
}

CBusDevice::~CBusDevice() {
    m_table.Unlink(this);
}

}  // namespace qzib
