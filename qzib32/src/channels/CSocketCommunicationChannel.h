#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "channels/CSocketCommunicationChannelBase.h"
#include "platform/SocketApi.h"

namespace qzib {

// A channel over two TCP sockets that it owns. The client factory makes one from the
// connections it opens; a server wraps the sockets it accepted.
//
// Every wait is a poll with its own limit; a wait that runs out leaves the connection open
// and usable. Short reads of the data connection (message headers, short replies) take in
// what has arrived beyond them, up to kReadAheadSize, so that a header and a short payload cost
// one receive: read the data connection only through the channel, never on its socket. Destroying the channel
// shuts each connection down in order (data, control) and drains what the peer still sends for at most
// kShutdownDrainMs in all, so closing a device can never hang on a peer that does not close its side.
class CSocketCommunicationChannel : public CSocketCommunicationChannelBase {
public:
    static constexpr std::uint32_t kShutdownDrainMs = 1000;
    static constexpr std::uint32_t kReadAheadSize = 16 * 1024;

    // Results of WaitForInput, combined as bits.
    static constexpr unsigned kDataReadable = 1;
    static constexpr unsigned kControlReadable = 2;

    // Takes ownership of the sockets and makes them non-blocking.
    explicit CSocketCommunicationChannel(SocketHandle dataSocket,
                                         SocketHandle controlSocket = kInvalidSocket);
    ~CSocketCommunicationChannel() override;

    bool ReadData(void* buffer, std::uint32_t count, std::uint32_t& received,
                  std::uint32_t timeoutMs) override;
    bool WriteData(const SendBuffer* buffers, std::uint32_t number, std::uint32_t& sent,
                   std::uint32_t timeoutMs) override;
    bool WriteDataBlocking(const SendBuffer* buffers, std::uint32_t number, std::uint32_t& sent) override;
    bool ReadControl(void* buffer, std::uint32_t count, std::uint32_t timeoutMs) override;
    bool WriteControl(const void* buffer, std::uint32_t count, std::uint32_t timeoutMs) override;

    SocketHandle GetDataSocket() const override { return m_DataSocket; }
    SocketHandle GetControlSocket() const override { return m_ControlSocket; }

    // Hands the control connection to the channel once it is open (ownership passes).
    void SetControlSocket(SocketHandle controlSocket);

    // Waits up to timeoutMs until the data or the control connection has input (or was
    // closed by the peer, or bytes read ahead wait in the channel); returns the
    // kDataReadable/kControlReadable bits, 0 on time-out.
    // A server uses it to serve both connections from one thread.
    unsigned WaitForInput(std::uint32_t timeoutMs);

    // Drops whatever already waits unread on the control connection, without waiting:
    // a late reply to an exchange that timed out must not be taken as the reply to the next.
    // A peer that keeps sending is cut off at the call's deadline.
    void DropStaleControlInput();

    // The end of the call under way, in milliseconds of the steady clock (SteadyMs), or -1 for
    // none. While it is set, every operation ends by it however much or little the peer sends:
    // each wait is cut to it, and a read or discard that always finds input stops there too.
    // The per-wait limits still apply within it. Destroying the channel drains for no longer
    // than it allows either.
    void SetCallDeadline(std::int64_t deadlineMs) { m_callDeadlineMs = deadlineMs; }
    static std::int64_t SteadyMs();

protected:
    long ReceiveData(void* buffer, std::size_t count, int& error) override;

private:
    bool writeAll(const SendBuffer* buffers, std::uint32_t number, std::uint32_t& sent,
                  std::int64_t timeoutMs);
    static void closeConnection(SocketHandle socket, std::int64_t deadlineMs);
    // timeoutMs cut to the call's deadline; 0 once it has passed.
    std::int64_t limit(std::int64_t timeoutMs) const;
    bool callExpired() const;

    SocketHandle m_DataSocket;
    SocketHandle m_ControlSocket;
    std::unique_ptr<std::uint8_t[]> m_readAhead;
    std::uint32_t m_readAheadPos = 0;
    std::uint32_t m_readAheadEnd = 0;
    bool m_dataDrained = true;  // the last receive took all the data connection had
    std::int64_t m_callDeadlineMs = -1;
};

}  // namespace qzib
