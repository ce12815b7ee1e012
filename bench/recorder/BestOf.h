#pragma once
// The shortest of several runs of a piece of work, in milliseconds: the run least disturbed by
// whatever else the machine was doing.

#include <algorithm>
#include <chrono>

namespace marlin::bench {

inline double bestOf(int runs, const auto& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace marlin::bench
