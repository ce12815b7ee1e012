#include "device/CQzibDevice.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

#include "channels/ErrorNumberFailure.h"

namespace qzib {
namespace {

struct ControlShape {
    std::uint8_t flags;
    std::uint8_t code;
};

}  // namespace

// One operation of the device: the channel ends its waits and reads by the end of the call.
class CQzibDevice::Operation {
public:
    explicit Operation(CQzibDevice& device) : m_limit(device), m_channel(*device.channel) {
        m_channel.SetCallDeadline(device.CallDeadlineMs());
    }
    ~Operation() { m_channel.SetCallDeadline(-1); }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    CallTimeLimit m_limit;
    CSocketCommunicationChannel& m_channel;
};

CQzibDevice::CQzibDevice(DeviceTable& table, CClientInetCommunicationChannelFactory& factory,
                         const char* address)
    : CBusDevice(table, address) {
    if (address != nullptr) channel = factory.Connect(address, "tcp", "qzib");
    if (!channel) throw ErrorNumberFailure(0);
    channel->SetNoDelay(true);
}

CQzibDevice::CQzibDevice(DeviceTable& table, std::unique_ptr<CSocketCommunicationChannel> connected,
                         const char* address)
    : CBusDevice(table, address), channel(std::move(connected)) {
    if (!channel) throw ErrorNumberFailure(0);
}

CQzibDevice::~CQzibDevice() {
    if (!channel) return;
    // The mark below and the drain of the connections share one bound, so that closing a
    // device never takes longer than that, whatever the instrument does.
    channel->SetCallDeadline(CSocketCommunicationChannel::SteadyMs() + CSocketCommunicationChannel::kShutdownDrainMs);
    if (consumedPending) {
        // Let the instrument know the last block was taken in; closing goes on whatever happens.
        try {
            std::uint8_t reply[WireHeader::kSize];
            controlExchange(ControlKind::Listen, reply);
        } catch (...) {
        }
    }
    channel.reset();
}

bool CQzibDevice::controlExchange(ControlKind kind, std::uint8_t (&reply)[WireHeader::kSize]) {
    ControlShape shape{0, 0};
    switch (kind) {
        case ControlKind::SetRemote:
            shape = {0, 0};
            break;
        case ControlKind::TestSrq:
            shape = {FLAG_QUERY, 0};
            break;
        case ControlKind::WaitSrq:
            shape = {FLAG_SRQ | FLAG_QUERY, 0};
            break;
        case ControlKind::Listen:
            shape = {FLAG_COMMAND, ifc::kListenAddressBase};
            break;
        case ControlKind::GoToLocal:
            shape = {FLAG_COMMAND, ifc::kGoToLocal};
            break;
        case ControlKind::SerialPoll:
            shape = {FLAG_COMMAND | FLAG_QUERY, ifc::kSerialPollEnable};
            break;
        case ControlKind::DeviceClear:
            shape = {FLAG_COMMAND, ifc::kSelectedDeviceClear};
            break;
    }
    std::uint8_t flags = FLAG_END | shape.flags;
    if (remote) flags |= FLAG_REMOTE;
    if (consumedPending) {
        flags |= FLAG_CONSUMED;
        consumedPending = false;
    }
    const WireHeader::Bytes request = WireHeader{0, flags, shape.code, 0}.encode();
    // A reply that came after an earlier exchange gave up must not pass for this one's.
    channel->DropStaleControlInput();
    // Control exchanges are always timed, also when the device's limit is 0.
    if (!channel->WriteControl(request.data(), WireHeader::kSize, waitLimit())) return false;
    return channel->ReadControl(reply, sizeof reply, waitLimit());
}

bool CQzibDevice::Write(const void* buffer, std::uint32_t count, std::uint32_t& sent, bool more) {
    const Operation operation(*this);
    sent = 0;
    remote = true;
    if (!addressed) {
        std::uint8_t reply[WireHeader::kSize];
        controlExchange(ControlKind::Listen, reply);
        addressed = true;
    }

    std::uint8_t flags = 0;
    if (!more && eotEnabled) flags |= FLAG_END;
    if (remote) flags |= FLAG_REMOTE;
    if (consumedPending) {
        flags |= FLAG_CONSUMED;
        consumedPending = false;
    }
    ++sequence;
    std::uint8_t header[WireHeader::kSize];
    WireHeader{count, flags, 0, sequence}.encodeTo(header);
    sendList.AddHeaderCopy(header);
    if (count > 0) sendList.Add(buffer, count);
    struct ClearAfterSend {
        CSendList& list;
        ~ClearAfterSend() { list.Clear(); }
    } clearAfterSend{sendList};

    if (pendingBytes > 0) {
        // The caller left the rest of the last reply unread; it must not be taken for the next
        // one. What cannot be dropped in time now is dropped before the next header is read.
        m_staleBytes += pendingBytes;
        pendingBytes = 0;
        dropStale();
    }

    std::uint32_t bytes = 0;
    bool ok = timeoutMs != 0 ? channel->WriteData(sendList.Buffers(), sendList.Count(), bytes, waitLimit())
                             : channel->WriteDataBlocking(sendList.Buffers(), sendList.Count(), bytes);
    if (bytes > CSendList::kHeaderSize) sent = bytes - CSendList::kHeaderSize;
    return ok;
}

bool CQzibDevice::readDataFor(void* buffer, std::uint32_t count, std::uint32_t& received) {
    if (timeoutMs != 0) return channel->ReadData(buffer, count, received, waitLimit());
    return channel->ReadDataBlocking(buffer, count, received);
}

bool CQzibDevice::dropStale() {
    while (m_staleBytes > 0) {
        const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_staleBytes, UINT32_MAX));
        std::uint32_t dropped = 0;
        const bool ok = channel->Discard(chunk, waitLimit(), dropped);
        m_staleBytes -= dropped;
        if (!ok) return false;
    }
    return true;
}

bool CQzibDevice::readHeader(WireHeader& header) {
    for (;;) {
        if (!dropStale()) return false;
        std::uint32_t got = 0;
        bool ok = readDataFor(m_partialHeader + m_partialHeaderBytes, WireHeader::kSize - m_partialHeaderBytes, got);
        m_partialHeaderBytes += got;
        if (!ok) return false;
        m_partialHeaderBytes = 0;
        header = WireHeader::decode(m_partialHeader);
        if (header.sequence == sequence) return true;
        // A reply to an earlier message: skip it whole.
        m_staleBytes = header.length;
        if (!dropStale()) return false;
        consumedPending = true;
    }
}

bool CQzibDevice::Read(void* buffer, std::uint32_t count, std::uint32_t& received) {
    const Operation operation(*this);
    auto* target = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    received = 0;
    for (;;) {
        std::uint32_t chunk;
        if (pendingBytes == 0) {
            WireHeader header;
            if (!readHeader(header)) return false;
            consumedPending = false;
            blockEnded = (header.flags & FLAG_END) != 0;
            chunk = header.length;
        } else {
            chunk = pendingBytes;
            pendingBytes = 0;
        }
        if (chunk > count) {
            pendingBytes = chunk - count;
            chunk = count;
        }
        std::uint32_t got = 0;
        if (!readDataFor(target + total, chunk, got)) {
            total += got;
            received = total;
            // What did not arrive still belongs to the block: the next Read hands it out, the
            // next Write drops it, and the stream stays in step either way.
            pendingBytes += chunk - got;
            if (timeoutMs != 0) return false;
            throw std::runtime_error("Connection closed");
        }
        count -= chunk;
        total += chunk;
        received = total;
        if (blockEnded || count == 0) break;
    }
    if (pendingBytes == 0) consumedPending = true;
    return true;
}

int CQzibDevice::TestSrq() {
    const Operation operation(*this);
    std::uint8_t reply[WireHeader::kSize];
    if (!controlExchange(ControlKind::TestSrq, reply)) return 0;
    return WireHeader::decode(reply).has(FLAG_SRQ) ? 1 : 0;
}

bool CQzibDevice::WaitSrq(std::int16_t& result) {
    const Operation operation(*this);
    std::uint8_t reply[WireHeader::kSize];
    if (!controlExchange(ControlKind::WaitSrq, reply)) {
        result = 0;
        return false;
    }
    result = WireHeader::decode(reply).has(FLAG_SRQ) ? 1 : 0;
    return true;
}

bool CQzibDevice::SerialPoll(std::uint8_t& statusByte) {
    const Operation operation(*this);
    std::uint8_t reply[WireHeader::kSize];
    if (!controlExchange(ControlKind::SerialPoll, reply)) {
        statusByte = 0;
        return false;
    }
    statusByte = WireHeader::decode(reply).code;
    return true;
}

bool CQzibDevice::SetRemoteEnable(bool on) {
    const Operation operation(*this);
    remote = on;
    std::uint8_t reply[WireHeader::kSize];
    return controlExchange(ControlKind::SetRemote, reply);
}

bool CQzibDevice::GoToLocal() {
    const Operation operation(*this);
    std::uint8_t reply[WireHeader::kSize];
    return controlExchange(ControlKind::GoToLocal, reply);
}

bool CQzibDevice::DeviceClear() {
    const Operation operation(*this);
    std::uint8_t reply[WireHeader::kSize];
    return controlExchange(ControlKind::DeviceClear, reply);
}

}  // namespace qzib
