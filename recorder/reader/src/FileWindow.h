#pragma once
// A moving window over a file read with pread: the reader asks for byte ranges in (mostly) rising
// order and gets them from one buffer that is refilled in large reads. It never maps the file, so a
// file that is emptied under it cannot bring the process down.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace marlin::reader {

class FileWindow {
public:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;

    FileWindow(int fd, std::uint64_t limit) : fd_(fd), limit_(limit) {}
    // Bytes [offset, offset + length), fewer where the file (as far as `limit`) ends; empty past it.
    // A read error gives an empty view and sets error().
    std::string_view get(std::uint64_t offset, std::size_t length);
    std::uint64_t limit() const { return limit_; }
    int error() const { return error_; }

private:
    int fd_;
    std::uint64_t limit_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    int error_ = 0;
};

// Reads `length` bytes at `offset` into `out` (fewer at the end of the file); the count read, or -1
// with `error` set.
long long readAt(int fd, std::uint64_t offset, std::size_t length, char* out, int& error);
// The same into a vector, resized to what was read.
bool readAt(int fd, std::uint64_t offset, std::size_t length, std::vector<char>& out, int& error);

}  // namespace marlin::reader
