#include "diag/TimeStamp.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "diag/ErrorTrap.h"

namespace QZStandard {

TimeStamp CurrentTimeStamp() {
    // One reading of the clock for every field: a stamp taken just before a second
    // boundary must not carry the milliseconds of the next second.
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    long long millis = sinceEpoch.count() % 1000;
    if (millis < 0) {
        millis += 1000;
    }
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    TimeStamp stamp;
    stamp.Year = static_cast<std::int16_t>(local.tm_year + 1900);
    stamp.Month = static_cast<std::int16_t>(local.tm_mon + 1);
    stamp.Day = static_cast<std::int16_t>(local.tm_mday);
    stamp.Hour = static_cast<std::int16_t>(local.tm_hour);
    stamp.Minute = static_cast<std::int16_t>(local.tm_min);
    // A leap second (tm_sec 60) is shown as the last second of its minute.
    stamp.Second = static_cast<std::int16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    stamp.Milliseconds = static_cast<std::int16_t>(millis);
    return stamp;
}

std::string GetISOTimeString(const TimeStamp& stamp) {
    marlin::ErrorTrap trap("QZStandard", "GetISOTimeString");
    std::string text;
    trap.Run([&] {
        char buffer[64];
        const int length =
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%04d", stamp.Year,
                          stamp.Month, stamp.Day, stamp.Hour, stamp.Minute, stamp.Second, stamp.Milliseconds);
        text.assign(buffer, length > 0 ? static_cast<std::size_t>(length) : 0U);
    });
    return text;
}

}  // namespace QZStandard
