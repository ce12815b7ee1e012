#pragma once
// The stopwatch that times the wait between readings: reset, then whole milliseconds elapsed.
// Any monotonic clock serves; tests drive their own.

#include <chrono>

namespace marlin {

class Stopwatch {
public:
    virtual ~Stopwatch() = default;
    // Starts counting from zero now.
    virtual void reset() = 0;
    // Milliseconds since the last reset. Fractions are allowed (and used by the production clock)
    // so that very short intervals need not wait for a whole millisecond to pass.
    virtual double elapsedMs() const = 0;
};

// The production stopwatch on the system's monotonic clock.
class SteadyStopwatch final : public Stopwatch {
public:
    SteadyStopwatch() { reset(); }
    void reset() override { start_ = std::chrono::steady_clock::now(); }
    double elapsedMs() const override {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

}  // namespace marlin
