#pragma once
// The moment the trace-file examples are written for: 2 March 2010, 09:05:07.040.

#include <marlin/base/TimeStamp.h>

namespace marlin::testing {

inline TimeStamp exampleTime() {
    TimeStamp t;
    t.Year = 2010;
    t.Month = 3;
    t.Day = 2;
    t.Hour = 9;
    t.Minute = 5;
    t.Second = 7;
    t.Milliseconds = 40;
    return t;
}

}  // namespace marlin::testing
