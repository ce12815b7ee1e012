#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace marlin::platform {

// Random access to the bytes of a file or a buffer. Every read states its offset and length and
// fails, rather than reading short, when the range does not lie inside the source.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `out` from `offset`; false when [offset, offset + out.size()) is not inside the source.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size() && length <= size() - offset;
    }
    bool readU16(std::uint64_t offset, std::uint16_t& value) const {
        std::uint8_t b[2];
        if (!read(offset, b)) return false;
        value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool readU32(std::uint64_t offset, std::uint32_t& value) const {
        std::uint8_t b[4];
        if (!read(offset, b)) return false;
        value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        return true;
    }
};

// A ByteSource over memory the caller keeps alive.
class SpanByteSource final : public ByteSource {
public:
    explicit SpanByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (!contains(offset, out.size())) return false;
        if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace marlin::platform
