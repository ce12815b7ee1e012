#pragma once
// A local date and time with the fields of the Windows SYSTEMTIME record, in its order, and the
// two texts the recorder writes from one: the trace file's section stamp and the log's stamp.

#include <cstdint>
#include <ctime>
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
    // The stamp of a broken-down local time. A leap second (tm_sec 60) is shown as the last
    // second of its minute, so that no text ever carries a 60.
    static TimeStamp fromLocal(const std::tm& local, int milliseconds);

    // "2010.3.2_9.5.7:40": no padding anywhere.
    std::string sectionText() const;
    // "2010-03-02 09:05:07.0040": milliseconds take four digits (0000 to 0999), a form the log
    // files have always used and their readers expect.
    std::string isoText() const;

    friend bool operator==(const TimeStamp&, const TimeStamp&) = default;
};

}  // namespace marlin
