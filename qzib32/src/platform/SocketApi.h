#pragma once

// The operating system's socket interface, reduced to what the channels need.
// Sockets are always non-blocking; every wait goes through waitFor() with its own
// limit, so that no operation can block past its time. Error numbers are reported
// in Winsock numbering on every platform, so that an error code means the same
// wherever the library runs. SocketApiPosix.cpp implements this on POSIX systems,
// SocketApiWin32.cpp with Winsock 2 on Windows.

#include <cstddef>
#include <cstdint>

#include "channels/SendBuffer.h"

namespace qzib {

#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif
inline constexpr SocketHandle kInvalidSocket = static_cast<SocketHandle>(-1);

// An IPv4 address (network byte order, as the resolver gives it) and a port (host order).
struct InetEndpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

enum class SocketType { Stream, Datagram };

namespace socketapi {

// Winsock error numbers used across the library.
inline constexpr int kWouldBlock = 10035;  // WSAEWOULDBLOCK
inline constexpr int kInProgress = 10036;  // WSAEINPROGRESS
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kTimedOut = 10060;

enum class Direction { Read, Write };
enum class WaitResult { Ready, TimedOut, Failed };

// Starts and stops the socket layer of the process. start() returns 0 or an error number,
// stop() returns 0 or -1.
int start();
int stop();

// The error of the last failed socket call of this thread, translated.
int lastError();
// Translates a native error number (errno here) to Winsock numbering.
int translateError(int nativeError);

// Creates a non-blocking IPv4 socket; kInvalidSocket on failure (see lastError()).
SocketHandle openSocket(SocketType type, int protocol);
// Makes an adopted socket non-blocking; false on failure.
bool makeNonBlocking(SocketHandle socket);
int closeSocket(SocketHandle socket);
int shutdownSend(SocketHandle socket);

// Connects within timeoutMs; returns 0 or the error number (kTimedOut when the time ran out).
int connectWithin(SocketHandle socket, const InetEndpoint& peer, std::int64_t timeoutMs);

// Receive or send what the socket takes right now. The result is the byte count (0 from
// receive: the peer closed), or -1 with error set (kWouldBlock when nothing can move yet).
long receiveSome(SocketHandle socket, void* buffer, std::size_t count, int& error);
long sendSome(SocketHandle socket, const void* buffer, std::size_t count, int& error);
// Gathered send of the buffers, skipping the first `skip` bytes already sent.
long sendGathered(SocketHandle socket, const SendBuffer* buffers, std::size_t number, std::uint64_t skip,
                  int& error);

// Waits until the socket is ready in the direction (a closed or failed socket counts as
// ready, so the next call reports it). timeoutMs < 0 waits without limit. Interrupted waits
// are resumed with the time that remains. On Failed, error holds the number.
WaitResult waitFor(SocketHandle socket, Direction direction, std::int64_t timeoutMs, int& error);
// Waits until any of the sockets is readable; sets readable[i] per socket. Returns Ready,
// TimedOut or Failed as waitFor does. Invalid sockets are ignored.
WaitResult waitForAnyReadable(const SocketHandle* sockets, bool* readable, std::size_t number,
                              std::int64_t timeoutMs, int& error);

bool setNoDelay(SocketHandle socket, bool on);
bool setReuseAddress(SocketHandle socket);
int bindTo(SocketHandle socket, const InetEndpoint& local);
int listenOn(SocketHandle socket, int backlog);
// Accepts one pending connection as a non-blocking socket, or kInvalidSocket with error set
// (kWouldBlock when none is pending).
SocketHandle acceptOne(SocketHandle listener, int& error);
// The port the socket is bound to, in host order (0 when unknown).
std::uint16_t localPort(SocketHandle socket);

// Name services. Addresses are in network byte order, ports in host order.
bool parseDottedAddress(const char* text, std::uint32_t& address);
bool resolveHostName(const char* name, std::uint32_t& address);
// The wildcard address that binds to every local interface.
std::uint32_t anyAddress();
// Protocol number from the protocols database; -1 when unknown.
int protocolNumber(const char* name);
// Port of a service from the services database, in host order; -1 when unknown.
int servicePort(const char* service, const char* protocol);

}  // namespace socketapi
}  // namespace qzib
