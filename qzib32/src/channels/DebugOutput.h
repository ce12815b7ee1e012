#pragma once

namespace qzib {

// Diagnostics of the bus library: single text lines for a developer, never shown to a user.
// They go to the debugger output on Windows, and to standard error only while the environment
// variable QZIB32_DEBUG is "1" (the channel a developer turns on where no debugger output exists).
inline constexpr const char* kDebugVariable = "QZIB32_DEBUG";
void debugOutput(const char* text);

// Writes "<message>, WSALastError() = <number>\n" and returns the number. Without an explicit
// number the socket layer's last error of this thread is taken.
int ReportSocketError(const char* message);
int ReportSocketError(const char* message, int number);

}  // namespace qzib
