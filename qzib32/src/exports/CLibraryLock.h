#pragma once

#include <mutex>

namespace qzib {

// Serialises the look-up and creation of devices.
class CLibraryLock {
public:
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
};

}  // namespace qzib
