#pragma once
// A stopwatch whose time moves only when the test says so: by `elapsed` set from outside (a fake
// window that lets events run), or by a fixed step every time it is read.

#include <functional>

#include "marlin/core/Stopwatch.h"

namespace marlin::testing {

class FakeStopwatch : public Stopwatch {
public:
    FakeStopwatch() = default;
    explicit FakeStopwatch(double stepMs) : step(stepMs) {}

    void reset() override { elapsed = 0; }
    double elapsedMs() const override {
        elapsed += step;
        if (onRead) onRead(elapsed);
        return elapsed;
    }

    mutable double elapsed = 0;
    double step = 0;  // milliseconds added by each read
    std::function<void(double)> onRead;
};

}  // namespace marlin::testing
