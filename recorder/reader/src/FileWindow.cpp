#include "FileWindow.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace marlin::reader {

long long readAt(int fd, std::uint64_t offset, std::size_t length, char* out, int& error) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

bool readAt(int fd, std::uint64_t offset, std::size_t length, std::vector<char>& out, int& error) {
    out.resize(length);
    const long long n = readAt(fd, offset, length, out.data(), error);
    out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return n >= 0;
}

std::string_view FileWindow::get(std::uint64_t offset, std::size_t length) {
    if (offset >= limit_ || error_ != 0) return {};
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, limit_ - offset));
    if (offset < start_ || offset + wanted > start_ + filled_) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::uint64_t>(std::max(wanted, kChunk), limit_ - offset));
        if (capacity_ < size) {
            buffer_ = std::make_unique_for_overwrite<char[]>(size);
            capacity_ = size;
        }
        const long long n = readAt(fd_, offset, size, buffer_.get(), error_);
        start_ = offset;
        filled_ = n < 0 ? 0 : static_cast<std::size_t>(n);
        if (n < 0) return {};
    }
    const std::size_t from = static_cast<std::size_t>(offset - start_);
    return std::string_view(buffer_.get() + from, std::min(wanted, filled_ - from));
}

}  // namespace marlin::reader
