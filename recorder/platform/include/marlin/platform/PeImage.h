#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <marlin/platform/ByteSource.h>

namespace marlin::platform {

// The parts of a Windows program file (PE: .exe, .dll, .ocx, .sys) that the version query needs:
// the section table, to map addresses to file offsets, and the resource tree, to find the
// version resource. Every offset read from the file is checked against the file's size; a file
// that is truncated or lies about its layout simply has no version resource.
class PeImage {
public:
    // The largest version resource we accept; the resource's own length field is 16 bits wide.
    static constexpr std::uint32_t kMaxVersionResourceSize = 0x10000;

    // The raw bytes of the first version resource (type 16), or nothing when there is none or the
    // file is damaged on the way to it.
    static std::optional<std::vector<std::uint8_t>> versionResource(const ByteSource& source);

private:
    struct Section {
        std::uint32_t virtualAddress;
        std::uint32_t virtualSize;
        std::uint32_t rawSize;
        std::uint32_t rawOffset;
    };
    static std::optional<std::uint64_t> rvaToOffset(const std::vector<Section>& sections, std::uint32_t rva,
                                                    std::uint32_t length);
};

}  // namespace marlin::platform
