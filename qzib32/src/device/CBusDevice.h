#pragma once

#include <cstdint>
#include <string>

namespace qzib {

class DeviceTable;

// An opened instrument as the exported calls see it: a handle, the address it was opened
// with, the per-device settings, and the bus operations a protocol implements.
//
// Creating a device takes the table's next handle (also when the rest of the creation fails)
// and puts the device at the head of the table; destroying it takes it out again.
class CBusDevice {
public:
    static constexpr std::int32_t kDefaultTimeoutMs = 5000;

    CBusDevice(DeviceTable& table, const char* address);
    CBusDevice(const CBusDevice&) = delete;
    CBusDevice& operator=(const CBusDevice&) = delete;

    // A false result: a wait ran out or a transfer came up short. Socket errors are raised as
    // ErrorNumberFailure, other failures as std::exception.
    virtual bool Write(const void* buffer, std::uint32_t count, std::uint32_t& sent, bool more) = 0;
    virtual bool Read(void* buffer, std::uint32_t count, std::uint32_t& received) = 0;
    virtual int TestSrq() = 0;
    virtual bool WaitSrq(std::int16_t& result) = 0;
    virtual bool SerialPoll(std::uint8_t& statusByte) = 0;
    virtual bool SetRemoteEnable(bool on) = 0;
    virtual bool GoToLocal() = 0;
    virtual bool DeviceClear() = 0;
    virtual ~CBusDevice();

    const std::int16_t ud;
    const std::string address;
    // Whether the last block of a write carries the END mark.
    bool eotEnabled = true;
    // Limit of each wait on the connections; 0: data-connection operations wait without limit.
    std::int32_t timeoutMs = kDefaultTimeoutMs;
    CBusDevice* next = nullptr;

    // Marks one call of the interface: every operation the device runs while it exists ends
    // by timeoutMs after its start (none with a timeout of 0), however much the instrument
    // sends. Operations called outside such a scope get a limit of their own.
    class CallTimeLimit {
    public:
        explicit CallTimeLimit(CBusDevice& device);
        ~CallTimeLimit();
        CallTimeLimit(const CallTimeLimit&) = delete;
        CallTimeLimit& operator=(const CallTimeLimit&) = delete;

    private:
        CBusDevice& m_device;
        bool m_outermost;
    };

protected:
    // End of the call under way in milliseconds of the steady clock, -1 for none.
    std::int64_t CallDeadlineMs() const { return m_callDeadlineMs; }

private:
    DeviceTable& m_table;
    bool m_inCall = false;
    std::int64_t m_callDeadlineMs = -1;
};

}  // namespace qzib
