#include "SocketLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace marlin::sim {

SocketLink::SocketLink(int fd) : fd_(fd) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && addr.sin_family == AF_INET) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
        peer_ = std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
    } else {
        peer_ = "?";
    }
}

SocketLink::~SocketLink() {
    ::close(fd_);
}

SocketLink::Result SocketLink::waitFor(short events, Deadline deadline, std::initializer_list<int> wake) {
    pollfd fds[8];
    nfds_t n = 0;
    fds[n++] = {fd_, events, 0};
    for (int w : wake) {
        if (n < std::size(fds)) fds[n++] = {w, POLLIN, 0};
    }
    for (;;) {
        int timeoutMs = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return Result::Timeout;
            timeoutMs = static_cast<int>(std::min<long long>(left, 1 << 30));
        }
        const int r = ::poll(fds, n, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Result::Closed;
        }
        if (r == 0) continue;  // the deadline check above decides
        for (nfds_t i = 1; i < n; ++i) {
            if (fds[i].revents) return Result::Interrupted;
        }
        if (fds[0].revents) return Result::Ok;
    }
}

SocketLink::Result SocketLink::readExact(void* buffer, std::size_t count, Deadline deadline,
                                         std::initializer_list<int> wake) {
    auto* out = static_cast<char*>(buffer);
    while (count > 0) {
        const ssize_t n = ::recv(fd_, out, count, 0);
        if (n > 0) {
            out += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return Result::Closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Result::Closed;
        const Result w = waitFor(POLLIN, deadline, wake);
        if (w != Result::Ok) return w;
    }
    return Result::Ok;
}

SocketLink::Result SocketLink::discard(std::size_t count, Deadline deadline,
                                       std::initializer_list<int> wake) {
    char scratch[4096];
    while (count > 0) {
        const std::size_t chunk = std::min(count, sizeof scratch);
        const Result r = readExact(scratch, chunk, deadline, wake);
        if (r != Result::Ok) return r;
        count -= chunk;
    }
    return Result::Ok;
}

SocketLink::Result SocketLink::writeAll(const iovec* buffers, int count, Deadline deadline,
                                        std::initializer_list<int> wake) {
    std::vector<iovec> rest(buffers, buffers + count);
    std::size_t first = 0;
    while (first < rest.size()) {
        msghdr msg{};
        msg.msg_iov = rest.data() + first;
        msg.msg_iovlen = std::min<std::size_t>(rest.size() - first, IOV_MAX);
        const ssize_t n = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Result::Closed;
            const Result w = waitFor(POLLOUT, deadline, wake);
            if (w != Result::Ok) return w;
            continue;
        }
        std::size_t sent = static_cast<std::size_t>(n);
        while (first < rest.size() && sent >= rest[first].iov_len) {
            sent -= rest[first].iov_len;
            ++first;
        }
        if (first < rest.size()) {
            rest[first].iov_base = static_cast<char*>(rest[first].iov_base) + sent;
            rest[first].iov_len -= sent;
        }
    }
    return Result::Ok;
}

SocketLink::Result SocketLink::waitReadable(Deadline deadline, std::initializer_list<int> wake) {
    return waitFor(POLLIN, deadline, wake);
}

bool SocketLink::readable() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void SocketLink::shutdown() {
    ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace marlin::sim
