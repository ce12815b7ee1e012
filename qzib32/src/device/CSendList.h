#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "channels/SendBuffer.h"
#include "wire/WireHeader.h"

namespace qzib {

// The pieces of one gathered send: a copy of the message header and the caller's payload,
// which is sent in place.
class CSendList {
public:
    static constexpr std::uint32_t kCapacity = 3;
    static constexpr std::uint32_t kHeaderSize = WireHeader::kSize;

    void AddHeaderCopy(const std::uint8_t (&header)[kHeaderSize]) {
        std::memcpy(m_header, header, kHeaderSize);
        Add(m_header, kHeaderSize);
    }
    void Add(const void* data, std::uint32_t length) {
        if (m_count < kCapacity) m_buffers[m_count++] = SendBuffer{length, data};
    }
    void Clear() { m_count = 0; }
    const SendBuffer* Buffers() const { return m_buffers.data(); }
    std::uint32_t Count() const { return m_count; }

private:
    std::array<SendBuffer, kCapacity> m_buffers{};
    std::uint32_t m_count = 0;
    std::uint8_t m_header[kHeaderSize] = {};
};

}  // namespace qzib
