#include "channels/CSocketCommunicationChannel.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "channels/DebugOutput.h"
#include "channels/ErrorNumberFailure.h"

namespace qzib {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

std::int64_t leftUntil(std::int64_t deadlineMs) {
    std::int64_t left = deadlineMs - nowMs();
    return left > 0 ? left : 0;
}

// Waits for the socket; true when ready, false when the wait ran out, raises on an error.
bool waitReady(SocketHandle socket, socketapi::Direction direction, std::int64_t timeoutMs) {
    int error = 0;
    switch (socketapi::waitFor(socket, direction, timeoutMs, error)) {
        case socketapi::WaitResult::Ready:
            return true;
        case socketapi::WaitResult::TimedOut:
            return false;
        case socketapi::WaitResult::Failed:
            break;
    }
    throw ErrorNumberFailure(error);
}

std::uint64_t totalLength(const SendBuffer* buffers, std::uint32_t number) {
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < number; ++i) total += buffers[i].length;
    return total;
}

}  // namespace

CSocketCommunicationChannel::CSocketCommunicationChannel(SocketHandle dataSocket, SocketHandle controlSocket)
    : m_DataSocket(dataSocket), m_ControlSocket(kInvalidSocket) {
    if (m_DataSocket != kInvalidSocket) socketapi::makeNonBlocking(m_DataSocket);
    SetControlSocket(controlSocket);
}

std::int64_t CSocketCommunicationChannel::SteadyMs() {
    return nowMs();
}

std::int64_t CSocketCommunicationChannel::limit(std::int64_t timeoutMs) const {
    if (m_callDeadlineMs < 0) return timeoutMs;
    const std::int64_t left = leftUntil(m_callDeadlineMs);
    return timeoutMs < 0 ? left : std::min(timeoutMs, left);
}

bool CSocketCommunicationChannel::callExpired() const {
    return m_callDeadlineMs >= 0 && nowMs() >= m_callDeadlineMs;
}

CSocketCommunicationChannel::~CSocketCommunicationChannel() {
    std::int64_t deadline = nowMs() + kShutdownDrainMs;
    if (m_callDeadlineMs >= 0) deadline = std::min(deadline, m_callDeadlineMs);
    if (m_DataSocket != kInvalidSocket) closeConnection(m_DataSocket, deadline);
    if (m_ControlSocket != kInvalidSocket) closeConnection(m_ControlSocket, deadline);
}

void CSocketCommunicationChannel::closeConnection(SocketHandle socket, std::int64_t deadlineMs) {
    if (socketapi::shutdownSend(socket) != 0)
        ReportSocketError("CSocketCommunicationChannel: Error shutting down  send side of socket");
    // Take in what the peer still sends until it closes its side, within the bound.
    unsigned char scratch[1024];
    for (;;) {
        int error = 0;
        long n = socketapi::receiveSome(socket, scratch, sizeof scratch, error);
        // A peer that keeps sending is cut off at the bound like one that sends nothing.
        if (n > 0 && leftUntil(deadlineMs) == 0) break;
        if (n > 0) continue;
        if (n == 0) break;
        if (error == socketapi::kWouldBlock) {
            socketapi::WaitResult r =
                socketapi::waitFor(socket, socketapi::Direction::Read, leftUntil(deadlineMs), error);
            if (r == socketapi::WaitResult::Ready) continue;
            if (r == socketapi::WaitResult::TimedOut) break;
        }
        ReportSocketError(
            "CSocketCommunicationChannelBase: Error reading data from other side while shutting down "
            "connection\n",
            error);
        break;
    }
    if (socketapi::closeSocket(socket) != 0)
        ReportSocketError("CSocketCommunicationChannelBase: Error closing socket\n");
}

void CSocketCommunicationChannel::SetControlSocket(SocketHandle controlSocket) {
    m_ControlSocket = controlSocket;
    if (m_ControlSocket != kInvalidSocket) socketapi::makeNonBlocking(m_ControlSocket);
}

bool CSocketCommunicationChannel::ReadData(void* buffer, std::uint32_t count, std::uint32_t& received,
                                           std::uint32_t timeoutMs) {
    auto* target = static_cast<unsigned char*>(buffer);
    received = 0;
    while (count > 0) {
        if (callExpired()) return false;
        // When the last receive emptied the connection (it got less than it asked for), the
        // next one would most likely find nothing: wait first instead of asking in vain.
        if (m_readAheadPos == m_readAheadEnd && m_dataDrained &&
            !waitReady(m_DataSocket, socketapi::Direction::Read, limit(timeoutMs)))
            return false;
        int error = 0;
        long n = ReceiveData(target + received, count, error);
        if (n > 0) {
            received += static_cast<std::uint32_t>(n);
            count -= static_cast<std::uint32_t>(n);
            continue;
        }
        if (n == 0) return false;  // the peer closed the connection
        if (error != socketapi::kWouldBlock) throw ErrorNumberFailure(error);
        // m_dataDrained is set now: the next pass waits.
    }
    return true;
}

long CSocketCommunicationChannel::ReceiveData(void* buffer, std::size_t count, int& error) {
    auto serveBuffered = [&] {
        std::size_t n = std::min<std::size_t>(count, m_readAheadEnd - m_readAheadPos);
        std::memcpy(buffer, m_readAhead.get() + m_readAheadPos, n);
        m_readAheadPos += static_cast<std::uint32_t>(n);
        return static_cast<long>(n);
    };
    if (m_readAheadPos < m_readAheadEnd) return serveBuffered();
    // Large reads go straight into the caller's buffer.
    if (count >= kReadAheadSize) {
        long n = socketapi::receiveSome(m_DataSocket, buffer, count, error);
        m_dataDrained = n < static_cast<long>(count);
        return n;
    }
    if (!m_readAhead) m_readAhead = std::make_unique<std::uint8_t[]>(kReadAheadSize);
    long n = socketapi::receiveSome(m_DataSocket, m_readAhead.get(), kReadAheadSize, error);
    m_dataDrained = n < static_cast<long>(kReadAheadSize);
    if (n <= 0) return n;
    m_readAheadPos = 0;
    m_readAheadEnd = static_cast<std::uint32_t>(n);
    return serveBuffered();
}

bool CSocketCommunicationChannel::writeAll(const SendBuffer* buffers, std::uint32_t number,
                                           std::uint32_t& sent, std::int64_t timeoutMs) {
    const std::uint64_t total = totalLength(buffers, number);
    std::uint64_t done = 0;
    sent = 0;
    while (done < total) {
        int error = 0;
        // Every retry continues from the running total, never from the start.
        long n = socketapi::sendGathered(m_DataSocket, buffers, number, done, error);
        if (n > 0) {
            done += static_cast<std::uint64_t>(n);
            sent = done > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(done);
            continue;
        }
        if (n < 0 && error != socketapi::kWouldBlock) throw ErrorNumberFailure(error);
        if (!waitReady(m_DataSocket, socketapi::Direction::Write, limit(timeoutMs))) return false;
    }
    return true;
}

bool CSocketCommunicationChannel::WriteData(const SendBuffer* buffers, std::uint32_t number,
                                            std::uint32_t& sent, std::uint32_t timeoutMs) {
    return writeAll(buffers, number, sent, timeoutMs);
}

bool CSocketCommunicationChannel::WriteDataBlocking(const SendBuffer* buffers, std::uint32_t number,
                                                    std::uint32_t& sent) {
    return writeAll(buffers, number, sent, -1);
}

bool CSocketCommunicationChannel::ReadControl(void* buffer, std::uint32_t count, std::uint32_t timeoutMs) {
    // A reply may arrive in more than one piece; it is gathered within one time limit.
    const std::int64_t deadline = nowMs() + timeoutMs;
    auto* target = static_cast<unsigned char*>(buffer);
    std::uint32_t got = 0;
    while (got < count) {
        int error = 0;
        long n = socketapi::receiveSome(m_ControlSocket, target + got, count - got, error);
        if (n > 0) {
            got += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n == 0) return false;
        if (error != socketapi::kWouldBlock) throw ErrorNumberFailure(error);
        if (!waitReady(m_ControlSocket, socketapi::Direction::Read, limit(leftUntil(deadline)))) return false;
    }
    return true;
}

bool CSocketCommunicationChannel::WriteControl(const void* buffer, std::uint32_t count,
                                               std::uint32_t timeoutMs) {
    const std::int64_t deadline = nowMs() + timeoutMs;
    const auto* source = static_cast<const unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        int error = 0;
        long n = socketapi::sendSome(m_ControlSocket, source + done, count - done, error);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && error != socketapi::kWouldBlock) throw ErrorNumberFailure(error);
        if (!waitReady(m_ControlSocket, socketapi::Direction::Write, limit(leftUntil(deadline)))) return false;
    }
    return true;
}

unsigned CSocketCommunicationChannel::WaitForInput(std::uint32_t timeoutMs) {
    SocketHandle sockets[2] = {m_DataSocket, m_ControlSocket};
    bool readable[2] = {false, false};
    int error = 0;
    const bool buffered = m_readAheadPos < m_readAheadEnd;
    // With bytes read ahead there is input now: only look whether the control connection has some too.
    switch (socketapi::waitForAnyReadable(sockets, readable, 2, buffered ? 0 : timeoutMs, error)) {
        case socketapi::WaitResult::TimedOut:
            return buffered ? kDataReadable : 0u;
        case socketapi::WaitResult::Failed:
            throw ErrorNumberFailure(error);
        case socketapi::WaitResult::Ready:
            break;
    }
    return (readable[0] || buffered ? kDataReadable : 0u) | (readable[1] ? kControlReadable : 0u);
}

void CSocketCommunicationChannel::DropStaleControlInput() {
    if (m_ControlSocket == kInvalidSocket) return;
    unsigned char scratch[1024];
    int error = 0;
    while (socketapi::receiveSome(m_ControlSocket, scratch, sizeof scratch, error) > 0) {
        if (callExpired()) return;
    }
}

}  // namespace qzib
