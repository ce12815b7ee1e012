#include <marlin/base/TimeStamp.h>

#include <chrono>
#include <cstdio>

namespace marlin {

TimeStamp TimeStamp::now() {
    // One reading of the clock for every field: a stamp taken just before a second boundary
    // must not carry the milliseconds of the next second.
    const auto clock = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(clock);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch()).count() % 1000;
    return fromLocal(local, static_cast<int>(ms < 0 ? ms + 1000 : ms));
}

TimeStamp TimeStamp::fromLocal(const std::tm& local, int milliseconds) {
    TimeStamp t;
    t.Year = static_cast<std::int16_t>(local.tm_year + 1900);
    t.Month = static_cast<std::int16_t>(local.tm_mon + 1);
    t.DayOfWeek = static_cast<std::int16_t>(local.tm_wday);
    t.Day = static_cast<std::int16_t>(local.tm_mday);
    t.Hour = static_cast<std::int16_t>(local.tm_hour);
    t.Minute = static_cast<std::int16_t>(local.tm_min);
    t.Second = static_cast<std::int16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    t.Milliseconds = static_cast<std::int16_t>(milliseconds);
    return t;
}

std::string TimeStamp::sectionText() const {
    using std::to_string;
    return to_string(Year) + "." + to_string(Month) + "." + to_string(Day) + "_" + to_string(Hour) + "." +
           to_string(Minute) + "." + to_string(Second) + ":" + to_string(Milliseconds);
}

std::string TimeStamp::isoText() const {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%04d", Year, Month,
                                     Day, Hour, Minute, Second, Milliseconds);
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0U);
}

}  // namespace marlin
