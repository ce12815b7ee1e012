#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/SocketApi.h"

namespace qzib::socketapi {
namespace {

using Clock = std::chrono::steady_clock;

// poll() takes an int; longer waits are made of several polls.
int pollSlice(std::int64_t remainingMs) {
    if (remainingMs < 0) return -1;
    return static_cast<int>(std::min<std::int64_t>(remainingMs, INT_MAX));
}

std::int64_t remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? left : 0;
}

// Polls until an event, the deadline or an error; EINTR resumes with the time left.
WaitResult pollUntil(pollfd* fds, nfds_t number, std::int64_t timeoutMs, int& error) {
    const bool unlimited = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
    std::int64_t left = timeoutMs;
    for (;;) {
        int r = ::poll(fds, number, pollSlice(left));
        if (r > 0) return WaitResult::Ready;
        if (r < 0 && errno != EINTR) {
            error = translateError(errno);
            return WaitResult::Failed;
        }
        if (!unlimited) {
            left = remainingMs(deadline);
            // A zero-time wait still gets its one look at the socket above.
            if (left == 0 && r == 0) return WaitResult::TimedOut;
        }
    }
}

}  // namespace

int start() {
    return 0;
}
int stop() {
    return 0;
}

int lastError() {
    return translateError(errno);
}

int translateError(int e) {
    switch (e) {
        case 0:
            return 0;
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
        case ENFILE:
            return 10024;
#if EAGAIN != EWOULDBLOCK
        case EAGAIN:
#endif
        case EWOULDBLOCK:
            return 10035;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
        case EPIPE:
            return 10054;
        case ENOBUFS:
        case ENOMEM:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return e;
    }
}

SocketHandle openSocket(SocketType type, int protocol) {
    int native = type == SocketType::Datagram ? SOCK_DGRAM : SOCK_STREAM;
    return ::socket(AF_INET, native | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

bool makeNonBlocking(SocketHandle socket) {
    int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    if (::fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    return true;
}

int closeSocket(SocketHandle socket) {
    return ::close(socket) == 0 ? 0 : -1;
}

int shutdownSend(SocketHandle socket) {
    return ::shutdown(socket, SHUT_WR) == 0 ? 0 : -1;
}

int connectWithin(SocketHandle socket, const InetEndpoint& peer, std::int64_t timeoutMs) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = peer.address;
    sa.sin_port = htons(peer.port);
    int r;
    do {
        r = ::connect(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return 0;
    // An interrupted connect goes on in the background and reports EALREADY afterwards.
    if (errno != EINPROGRESS && errno != EALREADY) return lastError();
    int error = 0;
    switch (waitFor(socket, Direction::Write, timeoutMs, error)) {
        case WaitResult::TimedOut:
            return kTimedOut;
        case WaitResult::Failed:
            return error;
        case WaitResult::Ready:
            break;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) return lastError();
    return translateError(soError);
}

long receiveSome(SocketHandle socket, void* buffer, std::size_t count, int& error) {
    for (;;) {
        ssize_t n = ::recv(socket, buffer, count, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        error = lastError();
        return -1;
    }
}

long sendSome(SocketHandle socket, const void* buffer, std::size_t count, int& error) {
    for (;;) {
        ssize_t n = ::send(socket, buffer, count, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        error = lastError();
        return -1;
    }
}

long sendGathered(SocketHandle socket, const SendBuffer* buffers, std::size_t number, std::uint64_t skip,
                  int& error) {
    constexpr std::size_t kInline = 8;
    iovec inlineVectors[kInline];
    std::vector<iovec> heapVectors;
    iovec* vectors = inlineVectors;
    if (number > kInline) {
        heapVectors.resize(number);
        vectors = heapVectors.data();
    }
    std::size_t used = 0;
    for (std::size_t i = 0; i < number && used < IOV_MAX; ++i) {
        std::uint64_t length = buffers[i].length;
        if (skip >= length) {
            skip -= length;
            continue;
        }
        vectors[used].iov_base = const_cast<char*>(static_cast<const char*>(buffers[i].data) + skip);
        vectors[used].iov_len = static_cast<std::size_t>(length - skip);
        skip = 0;
        ++used;
    }
    if (used == 0) return 0;
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = used;
    for (;;) {
        ssize_t n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        error = lastError();
        return -1;
    }
}

WaitResult waitFor(SocketHandle socket, Direction direction, std::int64_t timeoutMs, int& error) {
    pollfd fd{};
    fd.fd = socket;
    fd.events = direction == Direction::Read ? POLLIN : POLLOUT;
    return pollUntil(&fd, 1, timeoutMs, error);
}

WaitResult waitForAnyReadable(const SocketHandle* sockets, bool* readable, std::size_t number,
                              std::int64_t timeoutMs, int& error) {
    std::vector<pollfd> fds(number);
    for (std::size_t i = 0; i < number; ++i) {
        fds[i].fd = sockets[i];  // negative descriptors are skipped by poll()
        fds[i].events = POLLIN;
        readable[i] = false;
    }
    WaitResult r = pollUntil(fds.data(), fds.size(), timeoutMs, error);
    if (r == WaitResult::Ready) {
        for (std::size_t i = 0; i < number; ++i) readable[i] = sockets[i] >= 0 && fds[i].revents != 0;
    }
    return r;
}

bool setNoDelay(SocketHandle socket, bool on) {
    int value = on ? 1 : 0;
    return ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
}

bool setReuseAddress(SocketHandle socket) {
    int value = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) == 0;
}

int bindTo(SocketHandle socket, const InetEndpoint& local) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = local.address;
    sa.sin_port = htons(local.port);
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int listenOn(SocketHandle socket, int backlog) {
    return ::listen(socket, backlog) == 0 ? 0 : -1;
}

SocketHandle acceptOne(SocketHandle listener, int& error) {
    for (;;) {
        int s = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (s >= 0) return s;
        // A connection that was reset while it waited in the queue is not an error of the listener.
        if (errno == EINTR || errno == ECONNABORTED) continue;
        error = lastError();
        return kInvalidSocket;
    }
}

std::uint16_t localPort(SocketHandle socket) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

bool parseDottedAddress(const char* text, std::uint32_t& address) {
    in_addr a{};
    if (::inet_aton(text, &a) == 0) return false;
    address = a.s_addr;
    return true;
}

bool resolveHostName(const char* name, std::uint32_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return true;
}

std::uint32_t anyAddress() {
    return htonl(INADDR_ANY);
}

int protocolNumber(const char* name) {
    protoent entry{};
    protoent* found = nullptr;
    char scratch[1024];
    if (::getprotobyname_r(name, &entry, scratch, sizeof scratch, &found) == 0 && found != nullptr)
        return found->p_proto;
    // Minimal systems ship without a protocols database; the two we speak are fixed numbers.
    if (std::strcmp(name, "tcp") == 0) return IPPROTO_TCP;
    if (std::strcmp(name, "udp") == 0) return IPPROTO_UDP;
    return -1;
}

int servicePort(const char* service, const char* protocol) {
    servent entry{};
    servent* found = nullptr;
    char scratch[1024];
    if (::getservbyname_r(service, protocol, &entry, scratch, sizeof scratch, &found) == 0 &&
        found != nullptr)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    return -1;
}

}  // namespace qzib::socketapi
