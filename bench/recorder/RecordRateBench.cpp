// Readings per second of `marlin-cli record --interval 0` against the simulator (sweep time 0),
// beside a raw-socket client that sends the same commands and moves the same bytes without the
// bus library and without a file. Goal: at least 0.9 of the raw client's rate for 501 binary
// points (back to back, so without --sync); for 100,001 ASCII points the recording is limited by
// the formatting of the values. The recorder still waits its interval of 10 microseconds between
// readings, and opens and closes the file for each, as the file format asks. Both rates are taken
// while recording; marlin-cli's whole run, start and end included, is shown beside it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "RawBusClient.h"
#include "marlin/core/TraceFile.h"
#include "marlin/reader/TraceReader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSeconds = 2.0;
constexpr int kRounds = 3;

double rawRate(const std::string& address, std::uint16_t port) {
    marlin::bench::RawBusClient client(address, port);
    // The recorder's start sequence, so that the instrument is in the same state.
    client.write("*IDN?");
    client.read();
    client.write("SYST:DISP:UPD ON");
    client.write("INIT:CONT OFF");
    client.write("SYST:Err:CLE:All");
    client.write("FORMat ASCii");
    client.write("MMEM:STOR:TRAC  1,'C:\\TRACE.DAT'");
    client.write("MMEM:DATA? 'C:\\TRACE.DAT'");
    client.read();
    long readings = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(kSeconds);
    while (Clock::now() < end) {
        client.write("SWE:TIME?");
        client.read();
        client.write("INIT:IMM;*WAI");
        client.write("FORM REAL,32");
        client.write("TRAC? TRACE1");
        if (client.read().size() < 8) throw std::runtime_error("no trace data");
        ++readings;
    }
    return static_cast<double>(readings) / std::chrono::duration<double>(Clock::now() - start).count();
}

struct Recorded {
    long readings = 0;
    double steadyRate = 0;  // readings per second from the first section's time stamp to the last's
};

// The sections of a recording, through the trace reader.
Recorded recorded(const std::string& path) {
    marlin::reader::TraceReader reader(path);
    reader.update();
    Recorded r;
    r.readings = static_cast<long>(reader.sectionCount());
    const auto first = reader.firstSection();
    const auto last = reader.lastSection();
    if (first && last) {
        const double span = last->time.epochSeconds() - first->time.epochSeconds();
        if (span > 0) r.steadyRate = static_cast<double>(last->number - first->number) / span;
    }
    return r;
}

double lastCpuSeconds = 0;
long lastReadings = 0;
double lastWholeRunRate = 0;

double cliRate(const std::string& address, bool ascii, const std::string& dir) {
    const std::string file = dir + "/rate.sft";
    const std::string ini = dir + "/rate.ini";
    std::filesystem::remove(file);
    const std::string duration = std::to_string(kSeconds);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(MARLIN_BENCH_CLI_PROGRAM, "marlin-cli", "record", "--address", address.c_str(), "--file",
                file.c_str(), "--settings", ini.c_str(), "--interval", "0", "--format",
                ascii ? "ascii" : "binary", "--duration", duration.c_str(), "--quiet",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto start = Clock::now();
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    lastCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "marlin-cli failed with status %d\n",
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return 0;
    }
    // The rate while recording, as the raw client's is taken after its start sequence: from the
    // time stamps of the first and last sections. The whole run (loading the program, opening the
    // instrument, the head, returning it to local) is shown beside it.
    const Recorded r = recorded(file);
    lastReadings = r.readings;
    lastWholeRunRate = static_cast<double>(r.readings) / std::max(elapsed, kSeconds);
    return r.steadyRate;
}

double formatMs(std::uint32_t points) {
    std::string bytes(points * 4, '\0');
    for (std::uint32_t i = 0; i < points; ++i) {
        const float v = -80.0f + static_cast<float>(i % 97) * 0.173f;
        std::memcpy(bytes.data() + 4 * i, &v, 4);
    }
    double best = 1e300;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        const auto text = marlin::TraceFile::JoinValues(bytes, ",");
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (text.empty()) return 0;
    }
    return best;
}

// The four loopback addresses the simulators listen on, from FIRST on (default 127.0.0.151).
std::vector<std::string> addressesFrom(const std::string& first) {
    const auto dot = first.rfind('.');
    const int last = std::atoi(first.c_str() + dot + 1);
    std::vector<std::string> addresses;
    for (int i = 0; i < 4; ++i) addresses.push_back(first.substr(0, dot + 1) + std::to_string(last + i));
    return addresses;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || argv[1][0] == '-'))) {
        std::printf("Usage: marlin_bench_record_rate [FIRST_ADDRESS]\n"
                    "The simulators listen on four loopback addresses from FIRST_ADDRESS on (default "
                    "127.0.0.151).\n");
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const auto addresses = addressesFrom(argc == 2 ? argv[1] : "127.0.0.151");
    const std::string dir =
        std::filesystem::temp_directory_path() / ("marlin-rate-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        std::uint32_t points;
        bool ascii;
        const char* address;
    };
    const Case cases[] = {{501, false, addresses[0].c_str()},
                          {501, true, addresses[1].c_str()},
                          {100001, false, addresses[2].c_str()},
                          {100001, true, addresses[3].c_str()}};
    std::printf("%-8s %-7s %14s %14s %7s %12s %16s\n", "points", "form", "raw client/s", "marlin-cli/s", "ratio",
                "cli CPU ms/r", "whole run: /s");
    for (const auto& c : cases) {
        // The simulator runs as a process of its own, so that both clients cross a process
        // boundary to reach it.
        const std::string points = std::to_string(c.points);
        const pid_t sim = ::fork();
        if (sim == 0) {
            ::execl(MARLIN_BENCH_SIMULATOR, "analyzer-sim", "--bind", c.address, "--port", "2525", "--points",
                    points.c_str(), "--sweep-time", "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        double raw = 0;
        for (int attempt = 0; attempt < 100 && raw == 0; ++attempt) {
            try {
                raw = rawRate(c.address, 2525);
            } catch (const std::exception&) {
                ::usleep(50000);  // not listening yet
            }
        }
        // Interleaved rounds, best of each: a busy machine disturbs both clients alike.
        double cli = 0;
        double cpuPerReading = 0;
        double wholeRun = 0;
        for (int round = 0; round < kRounds; ++round) {
            if (round > 0) raw = std::max(raw, rawRate(c.address, 2525));
            const double rate = cliRate(c.address, c.ascii, dir);
            if (rate > cli) {
                cli = rate;
                wholeRun = lastWholeRunRate;
                cpuPerReading =
                    lastReadings > 0 ? 1000.0 * lastCpuSeconds / static_cast<double>(lastReadings) : 0;
            }
        }
        std::printf("%-8u %-7s %14.1f %14.1f %7.2f %12.3f %8.1f (%.2f)\n", c.points, c.ascii ? "ASCII" : "binary",
                    raw, cli, raw > 0 ? cli / raw : 0.0, cpuPerReading, wholeRun, raw > 0 ? wholeRun / raw : 0.0);
        if (c.points == 100001 && c.ascii && cli > 0) {
            std::printf(
                "  100,001 ASCII: %.1f ms per reading, %.1f ms of it CPU of marlin-cli; formatting the\n"
                "  values alone takes %.1f ms\n",
                1000.0 / cli, cpuPerReading, formatMs(c.points));
        }
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
    }
    std::printf("goal: marlin-cli >= 0.9 x raw client for 501 binary points\n");
    std::filesystem::remove_all(dir);
    return 0;
}
