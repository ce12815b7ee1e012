#pragma once

// The bytes of the bus protocol that both ends share: the 7-byte header that starts every
// message on either connection, its flag bits, the interface command codes of control
// messages, and the protocol version of the set-up exchange. The library, the simulator and
// the benchmarks' bare peers all encode and decode through this one header; it has no
// dependencies so that programs linking only the shared library can use it too.
//
// The library's test fake (qzib32/tests/FakeInstrument.*) keeps an independent copy on
// purpose: a fault here must not be matched by the same fault in the peer that checks it.

#include <array>
#include <cstddef>
#include <cstdint>

namespace qzib {

// Flag bits of the header's flags byte.
inline constexpr std::uint8_t FLAG_END = 0x80;
inline constexpr std::uint8_t FLAG_COMMAND = 0x40;
inline constexpr std::uint8_t FLAG_SRQ = 0x20;
inline constexpr std::uint8_t FLAG_REMOTE = 0x10;
inline constexpr std::uint8_t FLAG_CONSUMED = 0x04;
inline constexpr std::uint8_t FLAG_QUERY = 0x01;

// Interface command bytes carried in the code field of control messages.
namespace ifc {
inline constexpr std::uint8_t kGoToLocal = 0x01;
inline constexpr std::uint8_t kSelectedDeviceClear = 0x04;
inline constexpr std::uint8_t kGroupExecuteTrigger = 0x08;
inline constexpr std::uint8_t kDeviceClear = 0x14;
inline constexpr std::uint8_t kSerialPollEnable = 0x18;
inline constexpr std::uint8_t kListenAddressBase = 0x20;  // listen address 0
}  // namespace ifc

// The protocol version both sides exchange first: the float 2.0 in the host's own
// (little-endian) order, not converted.
inline constexpr std::array<std::uint8_t, 4> kProtocolVersionBytes{0x00, 0x00, 0x00, 0x40};

// Length (big-endian), flags, code, sequence.
struct WireHeader {
    static constexpr std::size_t kSize = 7;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::uint32_t length = 0;
    std::uint8_t flags = 0;
    std::uint8_t code = 0;
    std::uint8_t sequence = 0;

    constexpr bool has(std::uint8_t flag) const { return (flags & flag) == flag; }

    constexpr void encodeTo(std::uint8_t* out) const {
        out[0] = static_cast<std::uint8_t>(length >> 24);
        out[1] = static_cast<std::uint8_t>(length >> 16);
        out[2] = static_cast<std::uint8_t>(length >> 8);
        out[3] = static_cast<std::uint8_t>(length);
        out[4] = flags;
        out[5] = code;
        out[6] = sequence;
    }
    constexpr Bytes encode() const {
        Bytes out{};
        encodeTo(out.data());
        return out;
    }
    static constexpr WireHeader decode(const std::uint8_t* bytes) {
        WireHeader h;
        h.length = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                   (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
        h.flags = bytes[4];
        h.code = bytes[5];
        h.sequence = bytes[6];
        return h;
    }
};

}  // namespace qzib
