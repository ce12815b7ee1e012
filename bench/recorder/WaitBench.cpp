// The wait between readings: CPU use of the recording thread during a 10-second wait, beside a
// polling wait measured in the same run, and the time from a STOP request to the instrument
// receiving "INIT:CONT ON" and to the recording's end. Goals: under 2 % of one core; STOP within
// 50 ms.
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <analyzer_sim/Simulator.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "ConsoleWindow.h"
#include "marlin/core/QzibBinding.h"
#include "marlin/core/NetworkHostProbe.h"
#include "marlin/core/RecordingSession.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main() {
    ::setenv(marlin::QzibBinding::kPathVariable, MARLIN_BENCH_BUS_LIBRARY, 1);
    constexpr double kWaitSeconds = 10.0;

    // Baseline: a wait that polls a clock, as a loop without a blocking wait would.
    double spinShare = 0;
    {
        const double cpu0 = threadCpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const auto t0 = Clock::now();
        volatile long spins = 0;
        while (Clock::now() - t0 < std::chrono::seconds(1)) spins = spins + 1;
        spinShare = (threadCpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0) /
                    std::chrono::duration<double>(Clock::now() - t0).count();
    }

    std::mutex mutex;
    std::condition_variable changed;
    int traces = 0;
    Clock::time_point stopReachedInstrument{};
    marlin::sim::SimulatorOptions options;
    options.bindAddress = "127.0.0.150";
    options.port = 2525;
    options.verbose = true;
    options.log = [&](std::string_view line) {
        std::lock_guard lock(mutex);
        if (line.find("TRAC? TRACE1") != std::string_view::npos) ++traces;
        if (line.find("INIT:CONT ON") != std::string_view::npos) stopReachedInstrument = Clock::now();
        changed.notify_all();
    };
    marlin::sim::Simulator sim(options);
    sim.start();

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return 1;
    const std::string dir =
        std::filesystem::temp_directory_path() / ("marlin-wait-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    marlin::RecorderSettings settings = marlin::RecorderSettings::defaults();
    settings.address = options.bindAddress;
    settings.interval = "100";
    settings.fileName = dir + "/wait.sft";
    std::ostringstream out, err;
    marlin::cli::ConsoleWindow window(settings, true, true, false, {}, out, err, pipeFds[0]);
    marlin::QzibBinding bus;
    marlin::NetworkHostProbe probe;
    marlin::SteadyStopwatch stopwatch;
    marlin::RecordingSession session(window, bus, probe, stopwatch);
    window.attach(&session);

    clockid_t sessionClock;
    pthread_getcpuclockid(pthread_self(), &sessionClock);
    double waitShare = -1;
    Clock::time_point stopAsked;
    std::thread observer([&] {
        {
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, std::chrono::seconds(20), [&] { return traces >= 1; })) {
                std::fprintf(stderr, "no reading within 20 s: %s\n", err.str().c_str());
                std::exit(1);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reading is written
        const double cpu0 = threadCpuSeconds(sessionClock);
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(kWaitSeconds));
        waitShare = (threadCpuSeconds(sessionClock) - cpu0) /
                    std::chrono::duration<double>(Clock::now() - t0).count();
        stopAsked = Clock::now();
        const char byte = 1;
        (void)!::write(pipeFds[1], &byte, 1);
    });
    session.StartRec_Click();
    const auto ended = Clock::now();
    observer.join();

    const double toInstrument =
        std::chrono::duration<double, std::milli>(stopReachedInstrument - stopAsked).count();
    const double toEnd = std::chrono::duration<double, std::milli>(ended - stopAsked).count();
    std::printf("CPU during a %.0f s wait: %.3f %% of one core (polling wait baseline %.1f %%, ratio %.5f)\n",
                kWaitSeconds, 100 * waitShare, 100 * spinShare, waitShare / spinShare);
    std::printf("STOP: instrument told after %.2f ms, recording ended after %.2f ms\n", toInstrument, toEnd);
    std::printf("goals: CPU < 2 %%: %s; STOP within 50 ms: %s\n", waitShare < 0.02 ? "met" : "NOT met",
                toInstrument < 50 && toEnd < 50 ? "met" : "NOT met");
    std::filesystem::remove_all(dir);
    return 0;
}
