#pragma once

// The few socket and process calls of the tests that differ between POSIX and Winsock.
// Sockets are held as int on both: Winsock's handles are small numbers too.

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qzibtest {

#ifdef _WIN32
inline constexpr int kShutWrite = SD_SEND;
#else
inline constexpr int kShutWrite = SHUT_WR;
#endif

// Shuts the sending side of a test socket down.
inline void shutdownWrite(int fd) {
    ::shutdown(fd, kShutWrite);
}

// Wine, which runs the Windows build's tests here, passes a peer's reset to a reader as an
// orderly close (the receive gives 0); Windows itself reports WSAECONNRESET.
inline bool resetReadsAsClose() {
#ifdef _WIN32
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline int processId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

}  // namespace qzibtest
