#pragma once

#include <array>
#include <cstdint>

namespace marlin::sim {

// The 7-byte header that starts every message on both connections:
// length (big-endian), flags, code, sequence.
struct WireHeader {
    static constexpr std::size_t kSize = 7;

    static constexpr std::uint8_t kFlagEnd = 0x80;
    static constexpr std::uint8_t kFlagCommand = 0x40;
    static constexpr std::uint8_t kFlagSrq = 0x20;
    static constexpr std::uint8_t kFlagRemote = 0x10;
    static constexpr std::uint8_t kFlagConsumed = 0x04;
    static constexpr std::uint8_t kFlagQuery = 0x01;

    std::uint32_t length = 0;
    std::uint8_t flags = 0;
    std::uint8_t code = 0;
    std::uint8_t sequence = 0;

    bool has(std::uint8_t flag) const { return (flags & flag) == flag; }

    std::array<std::uint8_t, kSize> encode() const;
    static WireHeader decode(const std::uint8_t* bytes);
};

// Interface command bytes carried in the code field of control messages.
namespace ifc {
constexpr std::uint8_t kGoToLocal = 0x01;
constexpr std::uint8_t kSelectedDeviceClear = 0x04;
constexpr std::uint8_t kGroupExecuteTrigger = 0x08;
constexpr std::uint8_t kDeviceClear = 0x14;
constexpr std::uint8_t kSerialPollEnable = 0x18;
constexpr std::uint8_t kListenAddressBase = 0x20;
}  // namespace ifc

// The protocol version both sides exchange first: the float 2.0 in the host's own (little-endian) order.
constexpr std::array<std::uint8_t, 4> kProtocolVersionBytes{0x00, 0x00, 0x00, 0x40};

}  // namespace marlin::sim
