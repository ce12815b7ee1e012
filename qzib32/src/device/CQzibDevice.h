#pragma once

#include <cstdint>
#include <memory>

#include "channels/CClientInetCommunicationChannelFactory.h"
#include "channels/CSocketCommunicationChannel.h"
#include "device/CBusDevice.h"
#include "device/CSendList.h"
#include "wire/WireHeader.h"

namespace qzib {

// The bus protocol engine of one instrument, over a data and a control connection.
//
// Every message starts with a 7-byte header: payload length (big-endian), flags, code, and
// the sequence number of the data message it belongs to. Replies to older messages are
// recognised by their sequence byte and skipped. A block that did not fit the caller's
// buffer stays pending for the next Read; the next Write drops it.
class CQzibDevice : public CBusDevice {
public:
    // Opens the instrument at the address; raises ErrorNumberFailure(0) when it cannot, and
    // leaves nothing in the table then.
    CQzibDevice(DeviceTable& table, CClientInetCommunicationChannelFactory& factory, const char* address);
    // A device on a channel whose set-up exchange is done (the fuzzer feeds it bytes this way).
    CQzibDevice(DeviceTable& table, std::unique_ptr<CSocketCommunicationChannel> channel, const char* address);
    // Sends a pending consumed mark (its failure is ignored), then closes both connections.
    ~CQzibDevice() override;

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& sent, bool more) override;
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& received) override;
    int TestSrq() override;
    bool WaitSrq(std::int16_t& result) override;
    bool SerialPoll(std::uint8_t& statusByte) override;
    bool SetRemoteEnable(bool on) override;
    bool GoToLocal() override;
    bool DeviceClear() override;

    // Payload bytes of the current incoming block not yet handed to a caller.
    std::uint32_t PendingBytes() const { return pendingBytes; }

private:
    enum class ControlKind { SetRemote, TestSrq, WaitSrq, Listen, GoToLocal, SerialPoll, DeviceClear };
    class Operation;
    bool controlExchange(ControlKind kind, std::uint8_t (&reply)[WireHeader::kSize]);
    // Drops what is left of blocks that no caller will read; false when that ran out of time.
    bool dropStale();
    bool readHeader(WireHeader& header);
    bool readDataFor(void* buffer, std::uint32_t count, std::uint32_t& received);
    std::uint32_t waitLimit() const { return static_cast<std::uint32_t>(timeoutMs); }

    std::unique_ptr<CSocketCommunicationChannel> channel;
    std::uint8_t sequence = 0;
    bool remote = true;
    bool addressed = false;
    std::uint32_t pendingBytes = 0;
    bool blockEnded = false;
    bool consumedPending = false;
    CSendList sendList;
    // A header whose first bytes came before a wait ran out; the next read completes it.
    std::uint8_t m_partialHeader[WireHeader::kSize] = {};
    std::uint32_t m_partialHeaderBytes = 0;
    // Bytes of an earlier block still to be dropped before the next header: a skip that ran out
    // of time goes on at the next call, so the stream stays in step.
    std::uint64_t m_staleBytes = 0;
};

}  // namespace qzib
