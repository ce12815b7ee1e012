#include <marlin/diag/TimeStamp.h>

#include <marlin/diag/ErrorTrap.h>

namespace marlin::QZStandard {

TimeStamp CurrentTimeStamp() {
    TimeStamp stamp = TimeStamp::now();
    stamp.DayOfWeek = 0;
    return stamp;
}

std::string GetISOTimeString(const TimeStamp& stamp) {
    ErrorTrap trap("QZStandard", "GetISOTimeString");
    std::string text;
    trap.Run([&] { text = stamp.isoText(); });
    return text;
}

}  // namespace marlin::QZStandard
