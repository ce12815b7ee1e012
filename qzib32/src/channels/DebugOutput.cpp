#include "channels/DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/SocketApi.h"

namespace qzib {

bool debugLinesOnStandardError() {
    // Read at every line, so that a program can turn the lines on while it runs.
    const char* wanted = std::getenv(kDebugVariable);
    return wanted != nullptr && std::strcmp(wanted, "1") == 0;
}

void debugOutput(const char* text) {
#ifdef _WIN32
    // Windows has a channel that only a debugger reads; it always gets the lines.
    ::OutputDebugStringA(text);
#endif
    // Standard error belongs to the user of the program that loaded us: only on request.
    if (!debugLinesOnStandardError()) return;
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
