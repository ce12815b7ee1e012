#include "device/CQzibDevice.h"

#include <stdexcept>

#include "channels/ErrorNumberFailure.h"

namespace qzib {
namespace {

struct ControlShape {
    std::uint8_t flags;
    std::uint8_t code;
};

constexpr std::uint8_t kListenAddressZero = 0x20;
constexpr std::uint8_t kGoToLocal = 0x01;
constexpr std::uint8_t kSerialPollEnable = 0x18;
constexpr std::uint8_t kSelectedDeviceClear = 0x04;

}  // namespace

CQzibDevice::CQzibDevice(DeviceTable& table, CClientInetCommunicationChannelFactory& factory,
                         const char* address)
    : CBusDevice(table, address) {
    if (address != nullptr) channel = factory.Connect(address, "tcp", "qzib");
    if (!channel) throw ErrorNumberFailure(0);
    channel->SetNoDelay(true);
}

CQzibDevice::~CQzibDevice() {
    if (!channel) return;
    if (consumedPending) {
        // Let the instrument know the last block was taken in; closing goes on whatever happens.
        try {
            std::uint8_t reply[7];
            controlExchange(ControlKind::Listen, reply);
        } catch (...) {
        }
    }
    channel.reset();
}

bool CQzibDevice::controlExchange(ControlKind kind, std::uint8_t (&reply)[7]) {
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
            shape = {FLAG_COMMAND, kListenAddressZero};
            break;
        case ControlKind::GoToLocal:
            shape = {FLAG_COMMAND, kGoToLocal};
            break;
        case ControlKind::SerialPoll:
            shape = {FLAG_COMMAND | FLAG_QUERY, kSerialPollEnable};
            break;
        case ControlKind::DeviceClear:
            shape = {FLAG_COMMAND, kSelectedDeviceClear};
            break;
    }
    std::uint8_t flags = FLAG_END | shape.flags;
    if (remote) flags |= FLAG_REMOTE;
    if (consumedPending) {
        flags |= FLAG_CONSUMED;
        consumedPending = false;
    }
    const std::uint8_t request[7] = {0, 0, 0, 0, flags, shape.code, 0};
    // A reply that came after an earlier exchange gave up must not pass for this one's.
    channel->DropStaleControlInput();
    // Control exchanges are always timed, also when the device's limit is 0.
    if (!channel->WriteControl(request, sizeof request, waitLimit())) return false;
    return channel->ReadControl(reply, sizeof reply, waitLimit());
}

bool CQzibDevice::Write(const void* buffer, std::uint32_t count, std::uint32_t& sent, bool more) {
    sent = 0;
    remote = true;
    if (!addressed) {
        std::uint8_t reply[7];
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
    const std::uint8_t header[7] = {static_cast<std::uint8_t>(count >> 24),
                                    static_cast<std::uint8_t>(count >> 16),
                                    static_cast<std::uint8_t>(count >> 8),
                                    static_cast<std::uint8_t>(count),
                                    flags,
                                    0,
                                    sequence};
    sendList.AddHeaderCopy(header);
    if (count > 0) sendList.Add(buffer, count);
    struct ClearAfterSend {
        CSendList& list;
        ~ClearAfterSend() { list.Clear(); }
    } clearAfterSend{sendList};

    if (pendingBytes > 0) {
        // The caller left the rest of the last reply unread; it must not be taken for the next one.
        channel->Discard(pendingBytes, waitLimit());
        pendingBytes = 0;
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

bool CQzibDevice::readHeader(Header& header) {
    for (;;) {
        std::uint32_t got = 0;
        bool ok = readDataFor(m_partialHeader + m_partialHeaderBytes, 7 - m_partialHeaderBytes, got);
        m_partialHeaderBytes += got;
        if (!ok) return false;
        m_partialHeaderBytes = 0;
        const std::uint8_t* b = m_partialHeader;
        header.length =
            (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
        header.flags = b[4];
        header.code = b[5];
        header.sequence = b[6];
        if (header.sequence == sequence) return true;
        // A reply to an earlier message: skip it whole.
        if (!channel->Discard(header.length, waitLimit())) return false;
        consumedPending = true;
    }
}

bool CQzibDevice::Read(void* buffer, std::uint32_t count, std::uint32_t& received) {
    auto* target = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    received = 0;
    for (;;) {
        std::uint32_t chunk;
        if (pendingBytes == 0) {
            Header header;
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
    std::uint8_t reply[7];
    if (!controlExchange(ControlKind::TestSrq, reply)) return 0;
    return (reply[4] & FLAG_SRQ) != 0 ? 1 : 0;
}

bool CQzibDevice::WaitSrq(std::int16_t& result) {
    std::uint8_t reply[7];
    if (!controlExchange(ControlKind::WaitSrq, reply)) {
        result = 0;
        return false;
    }
    result = (reply[4] & FLAG_SRQ) != 0 ? 1 : 0;
    return true;
}

bool CQzibDevice::SerialPoll(std::uint8_t& statusByte) {
    std::uint8_t reply[7];
    if (!controlExchange(ControlKind::SerialPoll, reply)) {
        statusByte = 0;
        return false;
    }
    statusByte = reply[5];
    return true;
}

bool CQzibDevice::SetRemoteEnable(bool on) {
    remote = on;
    std::uint8_t reply[7];
    return controlExchange(ControlKind::SetRemote, reply);
}

bool CQzibDevice::GoToLocal() {
    std::uint8_t reply[7];
    return controlExchange(ControlKind::GoToLocal, reply);
}

bool CQzibDevice::DeviceClear() {
    std::uint8_t reply[7];
    return controlExchange(ControlKind::DeviceClear, reply);
}

}  // namespace qzib
