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

#include <cstdlib>
#include <optional>
#include <string>

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

// Sets an environment variable for the scope of a test and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) before_ = old;
        set(value);
    }
    ~ScopedEnvironment() { set(before_ ? before_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const char* value) {
#ifdef _WIN32
        ::_putenv_s(name_.c_str(), value ? value : "");
#else
        if (value) {
            ::setenv(name_.c_str(), value, 1);
        } else {
            ::unsetenv(name_.c_str());
        }
#endif
    }

    std::string name_;
    std::optional<std::string> before_;
};

// The bus library's debug lines reach standard error only on request.
inline ScopedEnvironment debugLinesOn() {
    return {"QZIB32_DEBUG", "1"};
}

inline int processId() {
#ifdef _WIN32
    return ::_getpid();
#else
    return ::getpid();
#endif
}

}  // namespace qzibtest
