// Time stamps of the QZStandard procedure module: the local date and time as the
// diagnostics log stamps its entries and writes its TIME lines.
#pragma once

#include <string>

#include <marlin/base/TimeStamp.h>

namespace marlin::QZStandard {

// The current local date and time, to the millisecond. DayOfWeek stays 0: the log's
// stamps have never carried the day of the week.
TimeStamp CurrentTimeStamp();

// "yyyy-mm-dd hh:nn:ss.mmmm" (TimeStamp::isoText), written inside the error trap:
// reports into the shared diagnostics log like every QZStandard procedure.
std::string GetISOTimeString(const TimeStamp& stamp);

}  // namespace marlin::QZStandard
