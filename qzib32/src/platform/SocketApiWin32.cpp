// The socket layer on Windows: Winsock 2, sockets created for overlapped operation and kept
// in non-blocking mode. A wait for input is an overlapped zero-byte receive with a
// manual-reset event, which ends when bytes arrive, the peer closes or the connection fails;
// a wait that runs out cancels it with CancelIo (looked up at run time, as old systems may not
// have it). Without CancelIo, WaitReadable watches the socket instead. Waits for sending and
// for a connection to complete go through select(). Error numbers are Winsock's own.

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/SocketApi.h"

namespace qzib::socketapi {
namespace {

using Clock = std::chrono::steady_clock;
using CancelIoFunction = BOOL(WINAPI*)(HANDLE);

SOCKET native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

std::int64_t remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? left : 0;
}

// The cancel function of kernel32, looked up once; nullptr where the system has none.
CancelIoFunction cancelFunction() {
    static const CancelIoFunction function = [] {
        HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
        if (kernel == nullptr) return CancelIoFunction{};
        FARPROC address = ::GetProcAddress(kernel, "CancelIo");
        return reinterpret_cast<CancelIoFunction>(reinterpret_cast<void (*)()>(address));
    }();
    return function;
}

// The overlapped block of one wait with its own manual-reset event, not signalled. It lives
// for the one wait only, so no thread or module ever holds on to it.
struct OverlappedRecord {
    OverlappedRecord() : event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) { overlapped.hEvent = event; }
    ~OverlappedRecord() {
        if (event != nullptr) ::CloseHandle(event);
    }
    OverlappedRecord(const OverlappedRecord&) = delete;
    OverlappedRecord& operator=(const OverlappedRecord&) = delete;

    OVERLAPPED overlapped{};
    HANDLE event;
};

// select() on one socket, resumed until the deadline; write waits also watch the exception
// set, where Winsock reports a connection that failed to open.
WaitResult selectUntil(SOCKET s, Direction direction, std::int64_t timeoutMs, int& error) {
    const bool unlimited = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
    std::int64_t left = timeoutMs;
    for (;;) {
        fd_set readSet;
        fd_set writeSet;
        fd_set exceptSet;
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&exceptSet);
        if (direction == Direction::Read) {
            FD_SET(s, &readSet);
        } else {
            FD_SET(s, &writeSet);
            FD_SET(s, &exceptSet);
        }
        timeval limit{};
        std::int64_t slice = std::min<std::int64_t>(left, INT_MAX / 1000);
        limit.tv_sec = static_cast<long>(slice / 1000);
        limit.tv_usec = static_cast<long>((slice % 1000) * 1000);
        int r = ::select(0, &readSet, &writeSet, &exceptSet, unlimited ? nullptr : &limit);
        if (r > 0) return WaitResult::Ready;
        if (r == SOCKET_ERROR) {
            error = ::WSAGetLastError();
            return WaitResult::Failed;
        }
        if (!unlimited) {
            left = remainingMs(deadline);
            if (left == 0) return WaitResult::TimedOut;
        }
    }
}

// Waits until the socket has input, has been closed by the peer or failed, for systems
// without CancelIo: no overlapped operation is left pending when the wait runs out.
WaitResult waitReadable(SOCKET s, std::int64_t timeoutMs, int& error) {
    u_long available = 0;
    if (::ioctlsocket(s, FIONREAD, &available) == 0 && available > 0) return WaitResult::Ready;
    return selectUntil(s, Direction::Read, timeoutMs, error);
}

// The overlapped wait for input described at the top of this file.
WaitResult waitForInput(SOCKET s, std::int64_t timeoutMs, int& error) {
    CancelIoFunction cancel = cancelFunction();
    if (cancel == nullptr) return waitReadable(s, timeoutMs, error);

    // A listening socket has no receive to wait on; its connections are waited for with select().
    BOOL listening = FALSE;
    int length = sizeof listening;
    if (::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &length) == 0 &&
        listening)
        return selectUntil(s, Direction::Read, timeoutMs, error);

    OverlappedRecord record;
    if (record.event == nullptr) return waitReadable(s, timeoutMs, error);
    char none = 0;
    WSABUF nothing{0, &none};
    DWORD received = 0;
    DWORD flags = 0;
    if (::WSARecv(s, &nothing, 1, &received, &flags, &record.overlapped, nullptr) == 0)
        return WaitResult::Ready;
    int started = ::WSAGetLastError();
    // The receive takes the connection's pending error with it, so the wait reports it: a
    // reset must not look like an orderly close to the next receive.
    if (started != WSA_IO_PENDING) {
        error = started;
        return WaitResult::Failed;
    }

    const bool unlimited = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
    DWORD outcome;
    for (;;) {
        DWORD slice = unlimited
                          ? INFINITE
                          : static_cast<DWORD>(std::min<std::int64_t>(remainingMs(deadline), INFINITE - 1));
        outcome = ::WaitForSingleObject(record.event, slice);
        if (outcome != WAIT_TIMEOUT || unlimited || remainingMs(deadline) == 0) break;
    }
    if (outcome == WAIT_OBJECT_0) {
        if (::WSAGetOverlappedResult(s, &record.overlapped, &received, FALSE, &flags))
            return WaitResult::Ready;
        error = ::WSAGetLastError();
        return WaitResult::Failed;
    }
    int waitError = outcome == WAIT_FAILED ? static_cast<int>(::GetLastError()) : 0;
    cancel(reinterpret_cast<HANDLE>(s));
    // The record must outlive the cancelled receive, so its end is awaited. It may have
    // completed just before the cancel: then there is input after all.
    bool completed = ::WSAGetOverlappedResult(s, &record.overlapped, &received, TRUE, &flags) != FALSE;
    if (outcome == WAIT_FAILED) {
        error = waitError;
        return WaitResult::Failed;
    }
    return completed ? WaitResult::Ready : WaitResult::TimedOut;
}

}  // namespace

int start() {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 0), &data);
}

int stop() {
    return ::WSACleanup() == 0 ? 0 : -1;
}

int lastError() {
    return ::WSAGetLastError();
}

int translateError(int nativeError) {
    return nativeError;
}

SocketHandle openSocket(SocketType type, int protocol) {
    int nativeType = type == SocketType::Datagram ? SOCK_DGRAM : SOCK_STREAM;
    SOCKET s = ::WSASocketW(AF_INET, nativeType, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // Child processes must not keep the instrument's connections open.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    if (!makeNonBlocking(s)) {
        int error = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(error);
        return kInvalidSocket;
    }
    return s;
}

bool makeNonBlocking(SocketHandle socket) {
    u_long on = 1;
    return ::ioctlsocket(native(socket), FIONBIO, &on) == 0;
}

int closeSocket(SocketHandle socket) {
    return ::closesocket(native(socket)) == 0 ? 0 : -1;
}

int shutdownSend(SocketHandle socket) {
    return ::shutdown(native(socket), SD_SEND) == 0 ? 0 : -1;
}

int connectWithin(SocketHandle socket, const InetEndpoint& peer, std::int64_t timeoutMs) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = peer.address;
    sa.sin_port = ::htons(peer.port);
    if (::connect(native(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
    int started = ::WSAGetLastError();
    if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS && started != WSAEALREADY) return started;
    int error = 0;
    switch (selectUntil(native(socket), Direction::Write, timeoutMs, error)) {
        case WaitResult::TimedOut:
            return kTimedOut;
        case WaitResult::Failed:
            return error;
        case WaitResult::Ready:
            break;
    }
    int soError = 0;
    int len = sizeof soError;
    if (::getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
        return ::WSAGetLastError();
    return soError;
}

long receiveSome(SocketHandle socket, void* buffer, std::size_t count, int& error) {
    int asked = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
    int n = ::recv(native(socket), static_cast<char*>(buffer), asked, 0);
    if (n != SOCKET_ERROR) return n;
    error = ::WSAGetLastError();
    return -1;
}

long sendSome(SocketHandle socket, const void* buffer, std::size_t count, int& error) {
    int offered = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
    int n = ::send(native(socket), static_cast<const char*>(buffer), offered, 0);
    if (n != SOCKET_ERROR) return n;
    error = ::WSAGetLastError();
    return -1;
}

long sendGathered(SocketHandle socket, const SendBuffer* buffers, std::size_t number, std::uint64_t skip,
                  int& error) {
    // One gathered send of header and payload, without copying the payload. A call moves at
    // most LONG_MAX bytes, so that its count fits the result.
    constexpr std::uint64_t kMostPerCall = LONG_MAX;
    std::vector<WSABUF> vectors;
    vectors.reserve(number);
    std::uint64_t offered = 0;
    for (std::size_t i = 0; i < number && offered < kMostPerCall; ++i) {
        std::uint64_t length = buffers[i].length;
        if (skip >= length) {
            skip -= length;
            continue;
        }
        std::uint64_t take = std::min(length - skip, kMostPerCall - offered);
        WSABUF piece;
        piece.buf = const_cast<char*>(static_cast<const char*>(buffers[i].data) + skip);
        piece.len = static_cast<u_long>(take);
        vectors.push_back(piece);
        offered += take;
        skip = 0;
    }
    if (vectors.empty()) return 0;
    DWORD sent = 0;
    if (::WSASend(native(socket), vectors.data(), static_cast<DWORD>(vectors.size()), &sent, 0, nullptr,
                  nullptr) == 0)
        return static_cast<long>(sent);
    error = ::WSAGetLastError();
    return -1;
}

WaitResult waitFor(SocketHandle socket, Direction direction, std::int64_t timeoutMs, int& error) {
    if (direction == Direction::Read) return waitForInput(native(socket), timeoutMs, error);
    return selectUntil(native(socket), direction, timeoutMs, error);
}

WaitResult waitForAnyReadable(const SocketHandle* sockets, bool* readable, std::size_t number,
                              std::int64_t timeoutMs, int& error) {
    const bool unlimited = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(unlimited ? 0 : timeoutMs);
    std::int64_t left = timeoutMs;
    for (std::size_t i = 0; i < number; ++i) readable[i] = false;
    for (;;) {
        fd_set readSet;
        FD_ZERO(&readSet);
        bool any = false;
        for (std::size_t i = 0; i < number; ++i) {
            if (sockets[i] == kInvalidSocket) continue;
            FD_SET(native(sockets[i]), &readSet);
            any = true;
        }
        if (!any) {
            // select() refuses empty sets; there is nothing that could become readable.
            if (!unlimited) ::Sleep(static_cast<DWORD>(std::min<std::int64_t>(left, INFINITE - 1)));
            return WaitResult::TimedOut;
        }
        timeval limit{};
        std::int64_t slice = std::min<std::int64_t>(left, INT_MAX / 1000);
        limit.tv_sec = static_cast<long>(slice / 1000);
        limit.tv_usec = static_cast<long>((slice % 1000) * 1000);
        int r = ::select(0, &readSet, nullptr, nullptr, unlimited ? nullptr : &limit);
        if (r > 0) {
            for (std::size_t i = 0; i < number; ++i)
                readable[i] = sockets[i] != kInvalidSocket && FD_ISSET(native(sockets[i]), &readSet);
            return WaitResult::Ready;
        }
        if (r == SOCKET_ERROR) {
            error = ::WSAGetLastError();
            return WaitResult::Failed;
        }
        if (!unlimited) {
            left = remainingMs(deadline);
            if (left == 0) return WaitResult::TimedOut;
        }
    }
}

bool setNoDelay(SocketHandle socket, bool on) {
    int value = on ? 1 : 0;
    return ::setsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                        sizeof value) == 0;
}

bool setReuseAddress(SocketHandle socket) {
    // Winsock binds a listening port whose old connections linger in TIME_WAIT without help, and
    // its SO_REUSEADDR would let a second listener take a port that is in use: leave it off.
    (void)socket;
    return true;
}

int bindTo(SocketHandle socket, const InetEndpoint& local) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = local.address;
    sa.sin_port = ::htons(local.port);
    return ::bind(native(socket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int listenOn(SocketHandle socket, int backlog) {
    return ::listen(native(socket), backlog) == 0 ? 0 : -1;
}

SocketHandle acceptOne(SocketHandle listener, int& error) {
    for (;;) {
        SOCKET s = ::accept(native(listener), nullptr, nullptr);
        if (s != INVALID_SOCKET) {
            ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
            if (makeNonBlocking(s)) return s;
            error = ::WSAGetLastError();
            ::closesocket(s);
            return kInvalidSocket;
        }
        int e = ::WSAGetLastError();
        // A connection that was reset while it waited in the queue is not an error of the listener.
        if (e == WSAECONNRESET || e == WSAEINTR) continue;
        error = e;
        return kInvalidSocket;
    }
}

std::uint16_t localPort(SocketHandle socket) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (::getsockname(native(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ::ntohs(sa.sin_port);
}

bool parseDottedAddress(const char* text, std::uint32_t& address) {
    // inet_addr takes the short forms too ("127.1"); its failure value is also the address
    // of the limited broadcast, which is therefore recognised by its text.
    unsigned long a = ::inet_addr(text);
    if (a == INADDR_NONE && std::strcmp(text, "255.255.255.255") != 0) return false;
    address = static_cast<std::uint32_t>(a);
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
    return ::htonl(INADDR_ANY);
}

int protocolNumber(const char* name) {
    if (const protoent* found = ::getprotobyname(name)) return found->p_proto;
    if (std::strcmp(name, "tcp") == 0) return IPPROTO_TCP;
    if (std::strcmp(name, "udp") == 0) return IPPROTO_UDP;
    return -1;
}

int servicePort(const char* service, const char* protocol) {
    if (const servent* found = ::getservbyname(service, protocol))
        return ::ntohs(static_cast<u_short>(found->s_port));
    return -1;
}

}  // namespace qzib::socketapi
