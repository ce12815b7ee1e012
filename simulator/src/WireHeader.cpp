#include "WireHeader.h"

namespace marlin::sim {

std::array<std::uint8_t, WireHeader::kSize> WireHeader::encode() const {
    return {static_cast<std::uint8_t>(length >> 24),
            static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length),
            flags,
            code,
            sequence};
}

WireHeader WireHeader::decode(const std::uint8_t* bytes) {
    WireHeader h;
    h.length = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    h.flags = bytes[4];
    h.code = bytes[5];
    h.sequence = bytes[6];
    return h;
}

}  // namespace marlin::sim
