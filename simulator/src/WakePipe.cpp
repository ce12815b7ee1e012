#include "WakePipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace marlin::sim {

WakePipe::WakePipe() {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
}

WakePipe::~WakePipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void WakePipe::signal() {
    const char byte = 1;
    // A full pipe is already readable, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(fds_[1], &byte, 1);
}

void WakePipe::drain() {
    char buffer[64];
    while (::read(fds_[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace marlin::sim
