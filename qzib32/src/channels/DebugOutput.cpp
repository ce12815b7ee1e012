#include "channels/DebugOutput.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/SocketApi.h"

namespace qzib {

void debugOutput(const char* text) {
#ifdef _WIN32
    // The debugger's output first; standard error as well, where a console program has one.
    ::OutputDebugStringA(text);
#endif
    std::fputs(text, stderr);
    std::fflush(stderr);
}

int ReportSocketError(const char* message) {
    return ReportSocketError(message, socketapi::lastError());
}

int ReportSocketError(const char* message, int number) {
    char line[2048];
    std::snprintf(line, sizeof line, "%s, %s = %d%c", message, "WSALastError()", number, '\n');
    debugOutput(line);
    return number;
}

}  // namespace qzib
