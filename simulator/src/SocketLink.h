#pragma once

#include <sys/uio.h>

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>

namespace marlin::sim {

// One accepted TCP connection of the instrument, non-blocking underneath. Every wait also watches
// a set of wake descriptors, so a stop or a device clear ends it at once; none of the waits
// blocks without such a way out.
class SocketLink {
public:
    using Clock = std::chrono::steady_clock;
    using Deadline = std::optional<Clock::time_point>;
    enum class Result { Ok, Closed, Timeout, Interrupted };

    explicit SocketLink(int fd);  // takes ownership
    ~SocketLink();
    SocketLink(const SocketLink&) = delete;
    SocketLink& operator=(const SocketLink&) = delete;

    int fd() const { return fd_; }
    const std::string& peer() const { return peer_; }

    Result readExact(void* buffer, std::size_t count, Deadline deadline, std::initializer_list<int> wake);
    // Reads and drops count bytes.
    Result discard(std::size_t count, Deadline deadline, std::initializer_list<int> wake);
    // Sends all bytes of the buffers in order; partial sends continue where they stopped.
    Result writeAll(const iovec* buffers, int count, Deadline deadline, std::initializer_list<int> wake);
    // Ok when the socket has bytes (or its end) to read.
    Result waitReadable(Deadline deadline, std::initializer_list<int> wake);
    bool readable() const;
    // Ends both directions so that the peer sees the connection close; the descriptor stays
    // open until destruction.
    void shutdown();

private:
    Result waitFor(short events, Deadline deadline, std::initializer_list<int> wake);

    int fd_;
    std::string peer_;
};

}  // namespace marlin::sim
