#pragma once
// A local date and time as the recorder writes it into section lines and file names.

#include <cstdint>
#include <string>

namespace marlin {

struct TimeStamp {
    std::int16_t Year = 0;
    std::int16_t Month = 0;
    std::int16_t DayOfWeek = 0;  // 0 = Sunday
    std::int16_t Day = 0;
    std::int16_t Hour = 0;
    std::int16_t Minute = 0;
    std::int16_t Second = 0;
    std::int16_t Milliseconds = 0;

    // The local time now, read from the clock once so that its parts belong together.
    static TimeStamp now();
    // "2010.3.2_9.5.7:40": no padding anywhere.
    std::string sectionText() const;
};

}  // namespace marlin
