// What --sync costs: 501-point binary sections appended at 1, 10 and 100 readings per second,
// each with and without waiting for the disk, in the same run. Prints the time one append takes
// (median and longest) and the part of the interval between readings it uses. The files go to
// the system's temporary folder, or to the folder given as the first argument (use one on the
// disk that recordings go to: a RAM-backed folder makes syncing free).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "marlin/core/TraceFile.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double medianMs = 0;
    double longestMs = 0;
};

Timing appendAtRate(const std::string& path, double rate, int readings, bool sync, const std::string& data) {
    std::filesystem::remove(path);
    marlin::TraceFile::writeHead(path, marlin::TraceFile::headText(1.0 / rate, "Values;501;\r\n"), nullptr, sync);
    std::vector<double> ms;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    auto next = Clock::now();
    for (int k = 1; k <= readings; ++k) {
        std::this_thread::sleep_until(next);
        next += period;
        const auto t0 = Clock::now();
        if (!marlin::TraceFile::appendBinarySection(path, k, marlin::TimeStamp::now(), data, nullptr, sync)) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return {};
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: marlin_bench_sync [FOLDER]\nAppends 501-point sections with and without sync at "
                    "1, 10 and 100 readings per second.\n");
        return 0;
    }
    const std::filesystem::path folder =
        (argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path()) /
        ("marlin-sync-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string data(501 * 4, '\x42');
    struct Case {
        double rate;
        int readings;
    };
    std::printf("501-point binary sections in %s\n", folder.c_str());
    std::printf("%-10s %-8s %12s %12s %14s\n", "readings/s", "sync", "median ms", "longest ms", "of interval");
    for (const Case c : {Case{1, 6}, Case{10, 40}, Case{100, 300}}) {
        const double periodMs = 1000.0 / c.rate;
        Timing off = appendAtRate((folder / "off.sft").string(), c.rate, c.readings, false, data);
        Timing on = appendAtRate((folder / "on.sft").string(), c.rate, c.readings, true, data);
        std::printf("%-10.0f %-8s %12.3f %12.3f %13.2f%%\n", c.rate, "off", off.medianMs, off.longestMs,
                    100.0 * off.medianMs / periodMs);
        std::printf("%-10.0f %-8s %12.3f %12.3f %13.2f%%   (sync/no sync: %.0fx)\n", c.rate, "on", on.medianMs,
                    on.longestMs, 100.0 * on.medianMs / periodMs, off.medianMs > 0 ? on.medianMs / off.medianMs : 0);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
