#include <cstdio>
#include <ctime>

#include "marlin/reader/TraceReader.h"

namespace marlin::reader {

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The local zone's offset from UTC for one hour of one day, asked of the C library once per hour
// (a recording has millions of stamps but few distinct hours).
long long utcOffsetSeconds(const CivilTime& t) {
    thread_local long long cachedHour = -1;
    thread_local long long cachedOffset = 0;
    const long long hourKey = daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 24 + t.hour;
    if (hourKey == cachedHour) return cachedOffset;
    std::tm local{};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_isdst = -1;
    const std::time_t asLocal = std::mktime(&local);
    long long offset = 0;
    if (asLocal != static_cast<std::time_t>(-1)) offset = hourKey * 3600 - static_cast<long long>(asLocal);
    cachedHour = hourKey;
    cachedOffset = offset;
    return offset;
}

}  // namespace

std::string CivilTime::isoText() const {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, hour, minute, second,
                  millisecond);
    return text;
}

double CivilTime::epochSeconds() const {
    const long long local = (daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 24 + hour) * 3600 +
                            minute * 60 + second;
    return static_cast<double>(local - utcOffsetSeconds(*this)) + millisecond / 1000.0;
}

}  // namespace marlin::reader
