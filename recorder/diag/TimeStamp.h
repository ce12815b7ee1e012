// Time stamps of the QZStandard procedure module: the local date and time as the
// diagnostics log stamps its entries and writes its TIME lines.
#pragma once

#include <cstdint>
#include <string>

namespace QZStandard {

// Same field order as the Windows SYSTEMTIME record, so a stamp can be handed to
// code that expects that layout. DayOfWeek is never filled and stays 0.
struct TimeStamp {
    std::int16_t Year = 0;
    std::int16_t Month = 0;
    std::int16_t DayOfWeek = 0;
    std::int16_t Day = 0;
    std::int16_t Hour = 0;
    std::int16_t Minute = 0;
    std::int16_t Second = 0;
    std::int16_t Milliseconds = 0;

    friend bool operator==(const TimeStamp&, const TimeStamp&) = default;
};

// The current local date and time, to the millisecond.
TimeStamp CurrentTimeStamp();

// "yyyy-mm-dd hh:nn:ss.mmmm": milliseconds take four digits (0000 to 0999), a
// format the log files have always used and their readers expect.
// Reports into the shared diagnostics log like every QZStandard procedure.
std::string GetISOTimeString(const TimeStamp& stamp);

}  // namespace QZStandard
