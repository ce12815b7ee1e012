#include "device/CBusDevice.h"

#include <chrono>

#include "device/DeviceTable.h"

namespace qzib {

CBusDevice::CBusDevice(DeviceTable& table, const char* address)
    : ud(table.TakeNextUd()), address(address != nullptr ? address : ""), m_table(table) {
    m_table.Link(this);
}

CBusDevice::~CBusDevice() {
    m_table.Unlink(this);
}

CBusDevice::CallTimeLimit::CallTimeLimit(CBusDevice& device) : m_device(device), m_outermost(!device.m_inCall) {
    if (!m_outermost) return;
    m_device.m_inCall = true;
    if (m_device.timeoutMs > 0) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        m_device.m_callDeadlineMs = now.count() + m_device.timeoutMs;
    } else {
        m_device.m_callDeadlineMs = -1;
    }
}

CBusDevice::CallTimeLimit::~CallTimeLimit() {
    if (!m_outermost) return;
    m_device.m_inCall = false;
    m_device.m_callDeadlineMs = -1;
}

}  // namespace qzib
