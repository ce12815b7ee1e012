#include "WakePipe.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace marlin::sim {

// One eventfd instead of a pipe's two descriptors: every device holds three of these.
WakePipe::WakePipe() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakePipe::~WakePipe() {
    ::close(fd_);
}

void WakePipe::signal() {
    const std::uint64_t one = 1;
    // A counter at its maximum is already readable, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakePipe::drain() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
}

}  // namespace marlin::sim
