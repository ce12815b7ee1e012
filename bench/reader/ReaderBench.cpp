// Reading recorded files, each figure beside a baseline measured in the same run:
//   - indexing a binary file (marlin-cli info) against `cat FILE > /dev/null` on the same warm file
//     (goal: at least 0.5 of cat's throughput);
//   - npy and hdf5 export against `cp` of the same file (goal: at least 1/3 of its throughput);
//   - csv value formatting against the recorder's own ASCII section formatting, per value (goal: at
//     least as fast);
//   - the peak memory (RSS) of every command for a small and a large file (goal: flat).
// Usage: marlin_bench_reader [SMALL_MiB [LARGE_MiB]]   (default 100 and 2048; files go to /tmp and
// are deleted afterwards; mind the free space: the large run needs about 3.5 times LARGE_MiB)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ExportSink.h"
#include "marlin/base/ShortestText.h"
#include "marlin/core/TraceFile.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kPoints = 1001;

struct RunResult {
    double seconds = 0.0;
    double cpuSeconds = 0.0;  // user + system, all threads: the figure that a busy machine disturbs least
    long maxRssKiB = 0;
    int status = -1;
};

// Runs a program with its output to /dev/null, waits for it, and takes its times and peak RSS.
RunResult runProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    RunResult r;
    const auto t0 = Clock::now();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return r;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.maxRssKiB = usage.ru_maxrss;
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// A binary recording with the recorder's own texts: head, count field, section lines, raw floats.
void writeRecording(const std::string& path, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string exportText = "Type;QSA-3;\r\nStart;1000000;Hz\r\nStop;2000000;Hz\r\nX Unit;Hz;\r\nY Unit;dBm;\r\n"
                             "Values;" + std::to_string(kPoints) + ";\r\n";
    out << marlin::TraceFile::headText(1.0, exportText);
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(-80.0f, 3.0f);
    std::vector<std::string> data(64, std::string(kPoints * 4, '\0'));
    for (auto& d : data) {
        for (std::uint32_t i = 0; i < kPoints; ++i) {
            const float v = noise(rng);
            std::memcpy(d.data() + 4 * i, &v, 4);
        }
    }
    std::uint64_t written = 0;
    std::int32_t k = 0;
    marlin::TimeStamp t;
    t.Year = 2010, t.Month = 3, t.Day = 2;
    while (written < bytes) {
        ++k;
        t.Hour = static_cast<std::int16_t>(k / 3600 % 24);
        t.Minute = static_cast<std::int16_t>(k / 60 % 60);
        t.Second = static_cast<std::int16_t>(k % 60);
        const std::string line = marlin::TraceFile::sectionLine(k, t, false) + "\n";
        out << line << data[static_cast<std::size_t>(k) % data.size()] << '\n';
        written += line.size() + kPoints * 4 + 1;
    }
    out.seekp(0);
    out << marlin::TraceFile::countField(k);
}

double mib(const std::string& path) {
    return static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
}

void formattingRatio() {
    constexpr std::size_t kValues = 100001;
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(-80.0f, 3.0f);
    std::vector<float> values(kValues);
    for (auto& v : values) v = noise(rng);
    std::string bytes(kValues * 4, '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    std::size_t sink = 0;
    // Both as they run: the recorder into the section buffer it keeps, the export into its row.
    marlin::TextBuffer section;
    marlin::TextBuffer row;
    // Rounds taken in turn, best of each: a busy machine disturbs both alike. A round takes about
    // a millisecond, so there are many.
    double recorder = 1e300;
    double csv = 1e300;
    auto time = [](double& best, auto&& work) {
        const auto t0 = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    };
    for (int i = 0; i < 300; ++i) {
        time(recorder, [&] {
            marlin::TraceFile::asciiSectionInto(section, 1, marlin::TimeStamp{}, bytes, ",");
            sink += section.size();
        });
        // As the csv export writes a row's values.
        time(csv, [&] {
            row.clear();
            marlin::appendShortestTexts(row, values, ',');
            sink += row.size();
        });
    }
    std::printf("csv value formatting:  %.1f ns/value; recorder's ASCII sections: %.1f ns/value; "
                "ratio %.2f (goal >= 1)  [%zu]\n",
                csv * 1e9 / kValues, recorder * 1e9 / kValues, recorder / csv, sink % 10);
}

void throughput(const std::string& cli, const std::string& file) {
    const std::string dir = std::filesystem::path(file).parent_path();
    runProgram({"cat", file});  // warm
    // Interleaved rounds, best of each: a busy machine disturbs the baselines and the commands alike.
    const std::vector<std::vector<std::string>> commands = {
        {"sh", "-c", "cat '" + file + "' > /dev/null"},
        {cli, "info", file},
        {"cp", file, dir + "/copy.sft"},
        {cli, "export", file, "--format", "npy", "--output", dir + "/out.npy", "--overwrite", "--quiet"},
        {cli, "export", file, "--format", "hdf5", "--output", dir + "/out.h5", "--overwrite", "--quiet"},
        {cli, "export", file, "--format", "hdf5", "--compression", "none", "--output", dir + "/raw.h5", "--overwrite",
         "--quiet"}};
    std::vector<RunResult> best(commands.size());
    for (auto& b : best) b.seconds = 1e300;
    for (int round = 0; round < 5; ++round) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const RunResult r = runProgram(commands[i]);
            if (r.seconds < best[i].seconds) best[i] = r;
        }
    }
    std::filesystem::remove(dir + "/copy.sft");
    const RunResult &cat = best[0], &info = best[1], &cp = best[2], &npy = best[3], &h5 = best[4], &raw = best[5];
    const double size = mib(file);
    auto line = [&](const char* what, const RunResult& base, const char* baseName, const RunResult& ours,
                    const char* goal) {
        std::printf("%-5s %.0f MiB: %s %.0f MiB/s, %s %.0f MiB/s: ratio %.2f (by CPU time %.2f) %s\n", what, size,
                    baseName, size / base.seconds, what, size / ours.seconds, base.seconds / ours.seconds,
                    base.cpuSeconds / ours.cpuSeconds, goal);
    };
    line("info", cat, "cat", info, "(goal >= 0.5)");
    line("npy", cp, "cp", npy, "(goal >= 0.33)");
    line("hdf5", cp, "cp", h5, "(goal >= 0.33)");
    line("hdf5", cp, "cp", raw, "(--compression none)");
    for (const char* f : {"/out.npy", "/out.time.npy", "/out.freq.npy", "/out.h5", "/raw.h5"})
        std::filesystem::remove(dir + f);
}

void memory(const std::string& cli, const std::string& file, std::vector<std::pair<std::string, long>>& rows) {
    const std::string dir = std::filesystem::path(file).parent_path();
    const std::string size = std::to_string(static_cast<long>(mib(file))) + " MiB";
    rows.emplace_back("info " + size, runProgram({cli, "info", file}).maxRssKiB);
    for (const char* format : {"csv", "npy", "hdf5", "png"}) {
        const std::string out = dir + "/out." + format;
        const RunResult r =
            runProgram({cli, "export", file, "--format", format, "--output", out, "--overwrite", "--quiet"});
        rows.emplace_back(std::string("export ") + format + " " + size + (r.status == 0 ? "" : " (failed)"),
                          r.maxRssKiB);
        for (const char* f : {".csv", ".npy", ".time.npy", ".freq.npy", ".hdf5", ".png"}) {
            std::filesystem::remove(dir + "/out" + f);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t small = argc > 1 ? std::stoull(argv[1]) : 100;
    const std::uint64_t large = argc > 2 ? std::stoull(argv[2]) : 2048;
    const std::string cli = MARLIN_BENCH_CLI_PROGRAM;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "marlin-reader-bench";
    std::filesystem::create_directories(dir);

    formattingRatio();
    const std::string smallFile = (dir / "small.sft").string();
    writeRecording(smallFile, small << 20);
    throughput(cli, smallFile);

    std::vector<std::pair<std::string, long>> rows;
    memory(cli, smallFile, rows);
    std::filesystem::remove(smallFile);
    if (large > 0) {
        const std::string largeFile = (dir / "large.sft").string();
        writeRecording(largeFile, large << 20);
        memory(cli, largeFile, rows);
        std::filesystem::remove(largeFile);
    }
    std::printf("peak memory (RSS):\n");
    for (const auto& [what, kib] : rows) std::printf("  %-28s %6.1f MiB\n", what.c_str(), kib / 1024.0);
    std::filesystem::remove_all(dir);
    return 0;
}
