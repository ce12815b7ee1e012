// Checks a fast single-precision text against the library conversion for every one of the 2^32
// bit patterns (or a range of them: FIRST and LAST in hex): the recorder's number text against
// to_chars to seven digits, or with --shortest the export's shortest text against plain to_chars.
// Run by hand; it takes minutes, so it is no test. Prints the patterns that differ.
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "marlin/base/ShortestText.h"
#include "marlin/core/SingleText.h"
#include "marlin/core/TextHelpers.h"

namespace {

char* shortestByLibrary(char* p, float value) {
    return std::to_chars(p, p + marlin::kShortestTextRoom, value).ptr;
}

}  // namespace

int main(int argc, char** argv) {
    // The fast text and its reference.
    char* (*fastText)(char*, float) = marlin::writeSingleText;
    char* (*libraryText)(char*, float) = marlin::writeSingleTextGeneral;
    std::size_t longest = marlin::kMaxSingleNumberText;  // what a caller makes room for
    if (argc > 1 && std::strcmp(argv[1], "--shortest") == 0) {
        fastText = marlin::writeShortestText;
        libraryText = shortestByLibrary;
        longest = marlin::kMaxShortestText;
        --argc;
        ++argv;
    }
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "Usage: marlin_single_text_exhaustive [--shortest] [FIRST LAST]\n"
            "Compares the recorder's number text of a single (with --shortest: the export's shortest\n"
            "text) with the library conversion for every bit pattern from FIRST to LAST (hexadecimal, default 0 to FFFFFFFF). Exit status 0 when all\n"
            "agree, 1 when any differs (each is printed, the first 20 in full).\n");
        return 0;
    }
    std::uint64_t first = 0, last = 0xFFFFFFFFu;
    if (argc == 3) {
        first = std::strtoull(argv[1], nullptr, 16);
        last = std::strtoull(argv[2], nullptr, 16);
    } else if (argc != 1) {
        std::fprintf(stderr, "marlin_single_text_exhaustive: give FIRST and LAST, or nothing; see --help\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t differ = 0;
    for (std::uint64_t pattern = first; pattern <= last; ++pattern) {
        const auto bits = static_cast<std::uint32_t>(pattern);
        float value;
        std::memcpy(&value, &bits, 4);
        char fast[marlin::kShortestTextRoom], general[marlin::kShortestTextRoom];
        const std::size_t fastLength = static_cast<std::size_t>(fastText(fast, value) - fast);
        const std::size_t generalLength = static_cast<std::size_t>(libraryText(general, value) - general);
        if (fastLength != generalLength || fastLength > longest || std::memcmp(fast, general, fastLength) != 0) {
            if (++differ <= 20)
                std::printf("%08X: fast \"%.*s\", library \"%.*s\"\n", bits, static_cast<int>(fastLength), fast,
                            static_cast<int>(generalLength), general);
        }
        if ((pattern & 0x0FFFFFFFu) == 0x0FFFFFFFu) {
            std::fprintf(stderr, "  up to %08X, %llu differ\n", bits, static_cast<unsigned long long>(differ));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu patterns from %08llX to %08llX checked in %.0f s: %llu differ\n",
                static_cast<unsigned long long>(last - first + 1), static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(last), seconds, static_cast<unsigned long long>(differ));
    return differ == 0 ? 0 : 1;
}
