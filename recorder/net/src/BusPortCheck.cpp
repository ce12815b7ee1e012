#include "marlin/net/BusPortCheck.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#endif

namespace marlin {

std::uint16_t BusPortCheck::port() {
#ifndef _WIN32
    if (const servent* service = ::getservbyname("qzib", "tcp"))
        return ntohs(static_cast<std::uint16_t>(service->s_port));
#endif
    return kDefaultPort;
}

#ifdef _WIN32

// The recorder's Windows build leaves the reason to the bus library's debugger output.
std::string BusPortCheck::explainOpenFailure(const std::string&, int) {
    return {};
}

#else

namespace {

using Clock = std::chrono::steady_clock;

std::string errorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

// Waits until the socket is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd, events, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

struct Socket {
    int fd;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string BusPortCheck::explainOpenFailure(const std::string& dottedAddress, int timeLimitMs) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port());
    if (::inet_pton(AF_INET, dottedAddress.c_str(), &to.sin_addr) != 1) return {};
    const std::string where = dottedAddress + ", port " + std::to_string(port());
    const std::string seconds = std::to_string((timeLimitMs + 999) / 1000) + " s";
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs);

    Socket s{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (s.fd < 0) return "could not connect to " + where + ": " + errorText(errno);
    if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)
        return "could not connect to " + where + ": " + errorText(errno);
    if (!waitFor(s.fd, POLLOUT, deadline)) return "could not connect to " + where + ": no answer within " + seconds;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return "could not connect to " + where + ": " + errorText(error);

    // The protocol version 2.0 as the set-up sends it: a single-precision float, little-endian.
    const unsigned char version[4] = {0x00, 0x00, 0x00, 0x40};
    if (::send(s.fd, version, sizeof version, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof version))
        return "connected to " + where + ", but the connection set-up could not be sent: " + errorText(errno);
    unsigned char reply[4];
    std::size_t got = 0;
    while (got < sizeof reply) {
        if (!waitFor(s.fd, POLLIN, deadline))
            return "connected to " + where + ", but the instrument did not answer the connection set-up within " +
                   seconds;
        const ssize_t n = ::recv(s.fd, reply + got, sizeof reply - got, 0);
        if (n == 0) return "connected to " + where + ", but the instrument closed the connection during the set-up";
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return "connected to " + where + ", but the connection set-up failed: " + errorText(errno);
        }
        got += static_cast<std::size_t>(n);
    }
    float answered;
    std::memcpy(&answered, reply, sizeof answered);
    if (answered != 2.0f) {
        std::ostringstream text;
        text << "the instrument at " << where << " speaks protocol version " << answered
             << ", which is not supported (version 2 is)";
        return text.str();
    }
    return {};
}

#endif

}  // namespace marlin
