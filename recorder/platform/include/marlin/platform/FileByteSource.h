#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include <marlin/platform/ByteSource.h>

namespace marlin::platform {

// Reads a file on demand, so that looking at the headers of a large library does not load all of it.
class FileByteSource final : public ByteSource {
public:
    // Opens `path` for reading; isOpen() tells whether that worked.
    explicit FileByteSource(const std::string& path);
    bool isOpen() const { return open_; }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    mutable std::ifstream in_;
    std::uint64_t size_ = 0;
    bool open_ = false;
};

}  // namespace marlin::platform
