// One registry call on a damaged or oversized store: how the time grows with the file. Each
// call reads and parses the whole store file, so a call must cost time linear in the file's
// size. Two shapes that once took seconds: many values in one key, and one large binary value
// continued over many lines. For each, the store grows eightfold; the parse's growth is printed
// beside the growth of a plain line-by-line scan of the same files in the same run. Goal: the
// two growths stay within a factor of 2 of each other (a quadratic reader shows about 8).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <marlin/base/AtomicFile.h>
#include <marlin/platform/RegistryStore.h>

#include "BestOf.h"

namespace {

using marlin::bench::bestOf;
using marlin::platform::RegistryStore;

std::string manyValues(int count) {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\n";
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "\"value%d\"=dword:%08x\n", i, static_cast<unsigned>(i));
        text += line;
    }
    return text;
}

std::string largeBinary(std::size_t bytes) {
    std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big]\n\"value0\"=hex:";
    for (std::size_t i = 0; i < bytes; ++i) {
        text += "5a";
        if (i + 1 < bytes) text += (i % 25 == 24) ? ",\\\n  " : ",";
    }
    return text + "\n";
}

struct Timing {
    double parse;
    double scan;
};

Timing measure(const std::string& file, const std::string& text) {
    marlin::AtomicFile::write(file, text);
    std::size_t sink = 0;
    const double parse = bestOf(3, [&] {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        sink += static_cast<std::size_t>(
            RegistryStore::queryValue(RegistryStore::kLocalMachine, "SOFTWARE\\Big", "value0", type, data));
        sink += data.size();
    });
    const double scan = bestOf(3, [&] {
        std::string read;
        marlin::AtomicFile::read(file, read);
        for (const char* p = read.data();
             (p = static_cast<const char*>(std::memchr(p, '\n', read.data() + read.size() - p))); ++p)
            ++sink;
    });
    if (sink == 0) std::puts("");
    return {parse, scan};
}

void report(const char* what, const std::string& file, const std::string& small, const std::string& large) {
    const Timing a = measure(file, small);
    const Timing b = measure(file, large);
    const double parseGrowth = b.parse / a.parse;
    const double scanGrowth = b.scan / a.scan;
    std::printf("%-34s %8.1f KB -> %8.1f KB: parse %7.2f -> %8.2f ms (x%.1f), line scan x%.1f, ratio %.2f\n",
                what, static_cast<double>(small.size()) / 1024, static_cast<double>(large.size()) / 1024,
                a.parse, b.parse, parseGrowth, scanGrowth, parseGrowth / scanGrowth);
}

}  // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("marlin-registry-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "registry.reg").string();
    RegistryStore::setStorePath(RegistryStore::kLocalMachine, file);
    std::puts(
        "Registry store: one value read, store grown eightfold (ratio near 1 = linear, near 8 = quadratic)");
    report("values in one key (5,000 -> 40,000)", file, manyValues(5000), manyValues(40000));
    report("binary value (0.4 MB -> 3 MB of hex)", file, largeBinary(130000), largeBinary(1040000));
    std::filesystem::remove_all(dir);
    return 0;
}
